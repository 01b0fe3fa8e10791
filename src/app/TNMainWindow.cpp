#include "app/TNMainWindow.h"

#include "app/TNOutlineView.h"

#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>

TNMainWindow::TNMainWindow(QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/images/trovanel.png")));
    m_ui->actionQuit->setShortcut(QKeySequence::Quit);
    connect(m_ui->actionQuit, &QAction::triggered, this, &QWidget::close);
}

TNMainWindow::~TNMainWindow() = default;

TNOutlineView *TNMainWindow::outlineView() const
{
    return m_ui->outlineView;
}

QLabel *TNMainWindow::statusTextField() const
{
    return m_ui->statusTextField;
}

QAction *TNMainWindow::action(const QString &identifier) const
{
    return findChild<QAction *>(identifier);
}

QList<QAction *> TNMainWindow::toolbarActions() const
{
    return m_ui->toolBar->actions();
}

QAction *TNMainWindow::reScanAction() const
{
    return m_ui->actionReScan;
}

void TNMainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}
