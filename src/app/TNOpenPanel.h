#pragma once

#include <QFileDialog>

// The import panel: several video files and folders at once, in one dialog.
class TNOpenPanel final : public QFileDialog
{
    Q_OBJECT

public:
    explicit TNOpenPanel(QWidget *parent = nullptr);

    // What the user chose, in order.
    QStringList chosenPaths() const;

    // Accepts every existing file and folder selected; Qt's own dialog would open a
    // selected folder instead.
    void accept() override;

    static QString nameFilter();
};
