#pragma once

#include "fakes/http/FakeHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The application's web site as the notice feed sees it: "notifications.json" and the notice
// pages under one endpoint, on 127.0.0.1.
class FakeNoticeSite
{
public:
    QUrl endpoint() const { return m_server.url(QStringLiteral("/notices")); }

    void publish(const QJsonArray &notices)
    {
        publishRaw(QJsonDocument(QJsonObject{{QStringLiteral("notifications"), notices}}).toJson());
    }
    void publishRaw(const QByteArray &feed)
    {
        m_server.setReply(QStringLiteral("/notices/notifications.json"),
                          FakeReply::ok(feed, "application/json"));
    }
    void setPage(const QString &name, const QByteArray &html, int status = 200)
    {
        FakeReply page = FakeReply::ok(html, "text/html; charset=utf-8");
        page.status = status;
        m_server.setReply(QStringLiteral("/notices/") + name, page);
    }
    int requestCount() const { return int(m_server.requests().size()); }

private:
    FakeHttpServer m_server;
};
