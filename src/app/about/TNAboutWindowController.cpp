#include "app/about/TNAboutWindowController.h"

#include "ui_about.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QScreen>

TNAboutWindowController &TNAboutWindowController::aboutController()
{
    static QPointer<TNAboutWindowController> shared;
    if (!shared) {
        shared = new TNAboutWindowController;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, shared, [] { delete shared; });
    }
    return *shared;
}

TNAboutWindowController::TNAboutWindowController(const QString &acknowledgements, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AboutWindow>())
{
    m_ui->setupUi(this);
    m_ui->fVersionField->setText(tr("Version %1").arg(QCoreApplication::applicationVersion()));
    QFile text(acknowledgements);
    m_ui->fTextView->setHtml(text.open(QIODevice::ReadOnly) ? QString::fromUtf8(text.readAll())
                                                            : QString());
    m_ui->fTextView->setOpenExternalLinks(true);
    m_ui->aboutPage->setButtons(m_ui->aboutPreviousButton, m_ui->aboutNextButton);
    m_ui->acknowledgementsPage->setButtons(m_ui->acknowledgementsPreviousButton,
                                           m_ui->acknowledgementsNextButton);
    m_ui->aboutPage->setNextView(m_ui->acknowledgementsPage);
    m_ui->acknowledgementsPage->setPreviousView(m_ui->aboutPage);
    windowDidLoad();
}

TNAboutWindowController::~TNAboutWindowController() = default;

void TNAboutWindowController::windowDidLoad()
{
    adjustSize();
    if (const QScreen *screen = this->screen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TNAboutWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
}
