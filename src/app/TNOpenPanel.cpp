#include "app/TNOpenPanel.h"

#include "catalogue/VideoExtensions.h"

#include <QAbstractItemView>
#include <QFileInfo>

#include <algorithm>

TNOpenPanel::TNOpenPanel(QWidget *parent) : QFileDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setOption(QFileDialog::DontUseNativeDialog);
    // Directory mode lists folders and files alike and keeps folders in the selection.
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, false);
    setNameFilter(nameFilter());
    setFilter(filter() & ~QDir::CaseSensitive);
    setAcceptMode(QFileDialog::AcceptOpen);
    for (auto *view : findChildren<QAbstractItemView *>(QStringLiteral("listView")))
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (auto *view : findChildren<QAbstractItemView *>(QStringLiteral("treeView")))
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

QString TNOpenPanel::nameFilter()
{
    QStringList patterns;
    for (const QString &extension : VideoExtensions::supportedVideoExtensions())
        patterns.append(QStringLiteral("*.") + extension);
    return tr("Videos (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QStringList TNOpenPanel::chosenPaths() const
{
    return selectedFiles();
}

void TNOpenPanel::accept()
{
    const QStringList chosen = selectedFiles();
    const bool allExist = !chosen.isEmpty() &&
                          std::all_of(chosen.begin(), chosen.end(),
                                      [](const QString &path) { return QFileInfo::exists(path); });
    if (allExist)
        QDialog::accept();
    else
        QFileDialog::accept();
}
