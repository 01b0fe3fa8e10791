#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class ProgressSheet;
}

// The sheet that covers the main window while a batch runs: phase image, action line,
// detail line, progress bar and a Cancel button. It stays up until the batch ends, centred
// over its window and never wider than it. It blocks nothing, so that closing the main
// window or quitting still works while a batch runs; Escape and its close button cancel.
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
    // Escape and the close button ask for the cancellation; the sheet stays up until the
    // batch ends.
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    static constexpr int PreferredWidth = 460;

    void beginSheet();
    void placeOverParent();
    void setImage(const QString &name);
    void setIndeterminate();
    void incrementProgressValue(quint64 count);
    QString downloadedText() const;

    std::unique_ptr<Ui::ProgressSheet> m_ui;
    quint64 m_subtitlesDownloadedOK = 0;
    quint64 m_subtitlesDownloadedError = 0;
    quint64 m_subtitlesFound = 0;
};
