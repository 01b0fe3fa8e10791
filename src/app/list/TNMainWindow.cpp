#include "app/list/TNMainWindow.h"

#include "app/list/TNOutlineView.h"

#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>

TNMainWindow::TNMainWindow(QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/images/trovanel.png")));
    // Key schemes without a quit binding still get the usual one.
    QList<QKeySequence> quit = QKeySequence::keyBindings(QKeySequence::Quit);
    if (quit.isEmpty())
        quit.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_ui->actionQuit->setShortcuts(quit);
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
    if (!event->isAccepted())
        return;
    Q_EMIT closing();
    QCoreApplication::quit();
}
