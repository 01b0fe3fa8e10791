#pragma once

#include <QFileDialog>

class QLineEdit;

// The import panel: several video files and folders at once, in one dialog. It opens in the
// folder of the last import, or the home folder.
class TNOpenPanel final : public QFileDialog
{
    Q_OBJECT

public:
    // The settings key of the folder the panel starts in: the folder of the last import (a
    // folder imported, or the folder of a file imported).
    static inline const QString LastImportFolderKey = QStringLiteral("LastImportFolder");

    explicit TNOpenPanel(QWidget *parent = nullptr);

    // What the user chose, folders included, in order.
    QStringList chosenPaths() const;

    // Takes the selection, folders included; Qt's own dialog would open a selected folder
    // instead, and would leave folders out of a selection that also holds files. A folder
    // path typed by hand is opened, as in any file dialog.
    void accept() override;

    static QString nameFilter();

    // The remembered folder while it exists, else the home folder.
    static QString startFolder();
    // Remembers the folder of the last of the imported paths that exists.
    static void rememberImport(const QStringList &paths);

private:
    QStringList selectedInView() const;
    QLineEdit *fileNameField() const;

    // What the user last typed into the file name field; the field holds it until the
    // dialog writes the selection's names there.
    QString m_typed;
};
