#pragma once

#include <QFileDialog>

// The import panel: several video files and folders at once, in one dialog.
class TNOpenPanel final : public QFileDialog
{
    Q_OBJECT

public:
    explicit TNOpenPanel(QWidget *parent = nullptr);

    // What the user chose, folders included, in order.
    QStringList chosenPaths() const;

    // Takes the selection, folders included; Qt's own dialog would open a selected folder
    // instead, and would leave folders out of a selection that also holds files.
    void accept() override;

    static QString nameFilter();

private:
    QStringList selectedInView() const;
};
