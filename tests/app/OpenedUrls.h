#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the user's browser: records what the program asks the desktop to open for
// the given schemes.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    explicit OpenedUrls(QStringList schemes) : m_schemes(std::move(schemes))
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedUrls() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }

    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }

private:
    QStringList m_schemes;
};
