#pragma once

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class TNOutlineView;

namespace Ui {
class MainWindow;
}

// The main window: toolbar, menus, the results list and the status line under it.
class TNMainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit TNMainWindow(QWidget *parent = nullptr);
    ~TNMainWindow() override;

    TNOutlineView *outlineView() const;
    QLabel *statusTextField() const;
    // The toolbar and menu action named by the identifier, or null.
    QAction *action(const QString &identifier) const;
    QList<QAction *> toolbarActions() const;
    QAction *reScanAction() const;

Q_SIGNALS:
    // The window is closing, which quits the application.
    void closing();

protected:
    // Closing the main window quits, even while the progress sheet is up.
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::MainWindow> m_ui;
};
