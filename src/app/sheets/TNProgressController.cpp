#include "app/sheets/TNProgressController.h"

#include "platform/MainThread.h"

#include "ui_progresssheet.h"

#include <QPixmap>
#include <QPointer>

#include <limits>

TNProgressController::TNProgressController(QWidget *parentWindow)
    : QDialog(parentWindow), m_ui(std::make_unique<Ui::ProgressSheet>())
{
    m_ui->setupUi(this);
    setWindowOpacity(0.9);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &TNProgressController::cancelRequested);
    if (parentWindow)
        parentWindow->installEventFilter(this);
}

TNProgressController::~TNProgressController() = default;

void TNProgressController::startImport()
{
    setActionText(tr("Scanning video files..."));
    setDetailedText(QString());
    setIndeterminate();
    setImage(QStringLiteral("phase_import.png"));
    beginSheet();
}

void TNProgressController::startSearch()
{
    setActionText(tr("Searching the web for subtitles..."));
    setDetailedText(tr("Please, be patient. This may take a while."));
    setIndeterminate();
    setImage(QStringLiteral("phase_search.png"));
    beginSheet();
}

void TNProgressController::startDownload(quint64 count)
{
    setActionText(tr("Downloading subtitles..."));
    setDetailedText(QString());
    // A maximum of 0 would turn the bar into a busy indicator.
    const auto maximum = static_cast<int>(
        qBound<quint64>(1, count, static_cast<quint64>(std::numeric_limits<int>::max())));
    m_ui->progressControl->setRange(0, maximum);
    m_ui->progressControl->setValue(0);
    setImage(QStringLiteral("phase_download.png"));
    beginSheet();
}

void TNProgressController::cancel()
{
    setActionText(tr("Cancelling operation..."));
    setDetailedText(tr("Please wait until current operation is finished..."));
    m_ui->btnCancel->setEnabled(false);
}

void TNProgressController::beginSheet()
{
    m_subtitlesDownloadedOK = 0;
    m_subtitlesDownloadedError = 0;
    m_subtitlesFound = 0;
    m_ui->btnCancel->setEnabled(true);
    placeOverParent();
    show();
}

void TNProgressController::placeOverParent()
{
    const QWidget *window = parentWidget();
    if (!window)
        return;
    const QRect frame = window->frameGeometry();
    resize(qMin(PreferredWidth, window->width()), height());
    QRect sheet = frameGeometry();
    sheet.moveCenter(frame.center());
    move(sheet.topLeft());
}

bool TNProgressController::eventFilter(QObject *watched, QEvent *event)
{
    // The window manager may place the window after the sheet went up (at start-up).
    if (watched == parentWidget() && isVisible() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeOverParent();
    return QDialog::eventFilter(watched, event);
}

void TNProgressController::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Its own frame is known once it is on screen.
    placeOverParent();
}

void TNProgressController::reject()
{
    if (m_ui->btnCancel->isEnabled())
        Q_EMIT cancelRequested();
}

void TNProgressController::endSheet()
{
    hide();
}

void TNProgressController::setActionText(const QString &text)
{
    MainThread::run([this, text] { m_ui->textLine1->setText(text); });
}

void TNProgressController::setDetailedText(const QString &text)
{
    MainThread::run([this, text] { m_ui->textLine2->setFullText(text); });
}

QString TNProgressController::actionText() const
{
    return m_ui->textLine1->text();
}

QString TNProgressController::detailedText() const
{
    return m_ui->textLine2->fullText();
}

void TNProgressController::setImage(const QString &name)
{
    const QPixmap image(QStringLiteral(":/images/") + name);
    if (!image.isNull())
        m_ui->imgView->setPixmap(image);
}

void TNProgressController::setIndeterminate()
{
    m_ui->progressControl->setRange(0, 0);
    m_ui->progressControl->setValue(0);
}

void TNProgressController::subtitlesFound(quint64 count)
{
    m_subtitlesFound += count;
    setDetailedText(tr("%1 Subtitles found so far.").arg(m_subtitlesFound));
}

void TNProgressController::subtitlesDownloadedOK(quint64 count)
{
    m_subtitlesDownloadedOK += count;
    setDetailedText(downloadedText());
    incrementProgressValue(count);
}

void TNProgressController::subtitlesDownloadedError(quint64 count)
{
    m_subtitlesDownloadedError += count;
    setDetailedText(downloadedText());
    incrementProgressValue(count);
}

QString TNProgressController::downloadedText() const
{
    if (m_subtitlesDownloadedError != 0)
        return tr("%1 subtitles downloaded OK. %2 subtitles with error")
            .arg(m_subtitlesDownloadedOK)
            .arg(m_subtitlesDownloadedError);
    return tr("%1 subtitles downloaded").arg(m_subtitlesDownloadedOK);
}

void TNProgressController::incrementProgressValue(quint64 count)
{
    MainThread::post([bar = QPointer<QProgressBar>(m_ui->progressControl), count] {
        if (!bar)
            return;
        // The bar ignores values beyond its maximum, so it stops there instead.
        const quint64 next = static_cast<quint64>(bar->value()) + count;
        bar->setValue(static_cast<int>(qMin<quint64>(next, static_cast<quint64>(bar->maximum()))));
    });
}
