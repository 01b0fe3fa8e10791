#include "app/sheets/TNOpenPanel.h"

#include "catalogue/VideoExtensions.h"
#include "platform/UserDefaults.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>

#include <algorithm>

TNOpenPanel::TNOpenPanel(QWidget *parent) : QFileDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Import Video Files"));
    setOption(QFileDialog::DontUseNativeDialog);
    // Lists folders and matching files; the selection may hold both.
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilter(nameFilter());
    setFilter(filter() & ~QDir::CaseSensitive);
    setAcceptMode(QFileDialog::AcceptOpen);
    setDirectory(startFolder());
    // The dialog writes the selection's names into the field without an edit signal.
    if (auto *field = fileNameField())
        connect(field, &QLineEdit::textEdited, this,
                [this](const QString &text) { m_typed = text; });
}

QLineEdit *TNOpenPanel::fileNameField() const
{
    return findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

QString TNOpenPanel::startFolder()
{
    const QString folder = UserDefaults::standard().stringValue(LastImportFolderKey);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void TNOpenPanel::rememberImport(const QStringList &paths)
{
    for (auto path = paths.crbegin(); path != paths.crend(); ++path) {
        const QFileInfo info(*path);
        if (!info.exists())
            continue;
        const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        UserDefaults::standard().setValue(LastImportFolderKey, folder);
        return;
    }
}

QString TNOpenPanel::nameFilter()
{
    QStringList patterns;
    for (const QString &extension : VideoExtensions::supportedVideoExtensions())
        patterns.append(QStringLiteral("*.") + extension);
    return tr("Videos (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QStringList TNOpenPanel::selectedInView() const
{
    const auto *view = findChild<QAbstractItemView *>(QStringLiteral("listView"));
    if (!view || !view->selectionModel())
        return {};
    QStringList paths;
    for (const QModelIndex &row : view->selectionModel()->selectedRows())
        paths.append(row.data(QFileSystemModel::FilePathRole).toString());
    return paths;
}

QStringList TNOpenPanel::chosenPaths() const
{
    // Names typed by hand replace the selection, as in every file dialog.
    const QStringList typed = selectedFiles();
    const QStringList selected = selectedInView();
    if (selected.isEmpty())
        return typed;
    const bool typedMatches = std::all_of(
        typed.begin(), typed.end(), [&](const QString &path) { return selected.contains(path); });
    return typedMatches ? selected : typed;
}

void TNOpenPanel::accept()
{
    const QStringList chosen = chosenPaths();
    const QLineEdit *field = fileNameField();
    const bool typed = field && !m_typed.isEmpty() && field->text() == m_typed;
    const bool typedFolder =
        typed && std::any_of(chosen.begin(), chosen.end(),
                             [](const QString &path) { return QFileInfo(path).isDir(); });
    if (typedFolder) {
        QFileDialog::accept();
        return;
    }
    const bool allExist = !chosen.isEmpty() &&
                          std::all_of(chosen.begin(), chosen.end(),
                                      [](const QString &path) { return QFileInfo::exists(path); });
    if (allExist)
        QDialog::accept();
    else
        QFileDialog::accept();
}
