#pragma once

#include "fakes/services/FakeHttpServer.h"

#include <QHash>
#include <QStringList>

namespace Fakes {

// The Podnapisi search page over HTTPS (the committed test authority signs its
// certificate). Searches answer the XML set for the name and language searched, or an
// empty result list; archives are served at the records' download links; every query is checked for
// its keys, their order and its escaping.
class FakePodnapisi
{
public:
    struct Record
    {
        QString id;
        QString pid;
        QString release;
        QStringList releases;
        QString urlPath; // the record's page, on this server
    };

    enum class Failure
    {
        None,
        Html,
        ServerError,
        Stall,
        Swollen // a million empty records: more markup than a reply may hold
    };

    FakePodnapisi();

    QUrl site() const { return m_server.url(); }
    FakeHttpServer &server() { return m_server; }

    void addRecords(const QString &name, const QString &language, const QList<Record> &records);
    // The reply's body as given, for replies no record list describes.
    void setReply(const QString &name, const QString &language, const QByteArray &xml);
    void setFailure(Failure failure);
    // The archive sent for the record's download link, /subtitles/<pid>/download.
    void addDownload(const QString &pid, const QByteArray &archive);

    QStringList queries() const; // raw, as received
    QStringList violations() const;

    QByteArray resultsXml(const QList<Record> &records) const;

private:
    FakeResponse handle(const FakeRequest &request);

    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_replies;
    QHash<QByteArray, QByteArray> m_downloads;
    Failure m_failure = Failure::None;
    QStringList m_queries;
    QStringList m_violations;
    FakeHttpServer m_server;
};

} // namespace Fakes
