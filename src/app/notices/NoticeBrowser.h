#pragma once

#include <QTextBrowser>

// Shows a notice page as it came, and nothing more: it fetches no images or style sheets
// (not even local files a page names) and follows no link itself.
class NoticeBrowser final : public QTextBrowser
{
    Q_OBJECT

public:
    explicit NoticeBrowser(QWidget *parent = nullptr);

    QVariant loadResource(int type, const QUrl &name) override;
};
