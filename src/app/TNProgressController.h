#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class ProgressSheet;
}

// The sheet that covers the main window while a batch runs: phase image, action line,
// detail line, progress bar and a Cancel button. It stays up until the batch ends.
class TNProgressController final : public QDialog
{
    Q_OBJECT

public:
    explicit TNProgressController(QWidget *parentWindow);
    ~TNProgressController() override;

    void startImport();
    void startSearch();
    void startDownload(quint64 count);
    void cancel();
    void endSheet();

    // From any thread; they return once the text is shown.
    void setActionText(const QString &text);
    void setDetailedText(const QString &text);

    void subtitlesFound(quint64 count);
    void subtitlesDownloadedOK(quint64 count);
    void subtitlesDownloadedError(quint64 count);

    QString actionText() const;
    QString detailedText() const;

Q_SIGNALS:
    void cancelRequested();

protected:
    // Escape and the window's close button leave the sheet up: only the batch ends it.
    void reject() override {}

private:
    void beginSheet();
    void setImage(const QString &name);
    void setIndeterminate();
    void incrementProgressValue(quint64 count);
    QString downloadedText() const;

    std::unique_ptr<Ui::ProgressSheet> m_ui;
    quint64 m_subtitlesDownloadedOK = 0;
    quint64 m_subtitlesDownloadedError = 0;
    quint64 m_subtitlesFound = 0;
};
