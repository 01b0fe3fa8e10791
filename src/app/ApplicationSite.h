#pragma once

#include <QUrl>

// The application's web site, and where it publishes its notices.
namespace ApplicationSite {

inline QUrl homePage()
{
    return QUrl(QStringLiteral("https://trovanel.github.io/"));
}

inline QUrl noticeEndpoint()
{
    return QUrl(QStringLiteral("https://trovanel.github.io/notices"));
}

} // namespace ApplicationSite
