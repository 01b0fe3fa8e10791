#include "app/notices/TNRemoteNotificationWindowController.h"

#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/UrlLoader.h"

#include "ui_notice.h"

#include <QDesktopServices>
#include <QPointer>
#include <QScreen>
#include <QStringDecoder>
#include <QThreadPool>

TNRemoteNotificationWindowController::TNRemoteNotificationWindowController(UserDefaults &defaults,
                                                                           QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TNRemoteNotificationWindowController>()),
      m_defaults(defaults)
{
    m_ui->setupUi(this);
    connect(m_ui->okButton, &QPushButton::clicked, this,
            &TNRemoteNotificationWindowController::okButtonClicked);
    connect(m_ui->webView, &QTextBrowser::anchorClicked, this,
            &TNRemoteNotificationWindowController::decidePolicyForNavigationAction);
}

TNRemoteNotificationWindowController::~TNRemoteNotificationWindowController() = default;

void TNRemoteNotificationWindowController::showNotification(
    const TNRemoteNotification &notification)
{
    if (const QScreen *screen = this->screen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_remoteNotification = notification;
    QPointer<TNRemoteNotificationWindowController> self(this);
    const QUrl url = notification.url();
    QThreadPool::globalInstance()->start([self, url] {
        const UrlResponse response = UrlLoader::load(UrlRequest::get(url));
        MainThread::post([self, url, response] {
            // A later notice replaced this one, or the window is gone.
            if (self && self->m_remoteNotification && self->m_remoteNotification->url() == url)
                self->didFinishLoad(response);
        });
    });
}

void TNRemoteNotificationWindowController::didFinishLoad(const UrlResponse &response)
{
    if (!response.isSuccess()) {
        didFailLoad();
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString page = utf8.decode(response.body);
    const QString lowered = page.toLower();
    if (!utf8.hasError() && !lowered.contains(QLatin1String("404 ")) &&
        !lowered.contains(QLatin1String("not found"))) {
        m_ui->webView->setHtml(page);
        show();
        raise();
        activateWindow();
        m_remoteNotification->saveShownFlagInUserDefaults(m_defaults);
    }
    Q_EMIT loadEnded();
}

void TNRemoteNotificationWindowController::didFailLoad()
{
    qCInfo(lcApp, "%s", "");
    Q_EMIT loadEnded();
}

void TNRemoteNotificationWindowController::decidePolicyForNavigationAction(const QUrl &link)
{
    const QUrl target = m_remoteNotification ? m_remoteNotification->url().resolved(link) : link;
    // A page may link to the web or to mail; it gets no say over other handlers of the desktop.
    static const QStringList schemes{QStringLiteral("https"), QStringLiteral("http"),
                                     QStringLiteral("mailto")};
    if (!schemes.contains(target.scheme())) {
        qCInfo(lcApp, "Not opening a notice link of scheme %s", qPrintable(target.scheme()));
        return;
    }
    QDesktopServices::openUrl(target);
}

void TNRemoteNotificationWindowController::okButtonClicked()
{
    hide();
}
