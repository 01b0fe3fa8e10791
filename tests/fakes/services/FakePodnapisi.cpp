#include "fakes/services/FakePodnapisi.h"

#include "fakes/services/RawQuery.h"

namespace Fakes {

namespace {

QString replyKey(const QString &name, const QString &language)
{
    return name + u'\n' + language;
}

QByteArray element(const char *name, const QString &text)
{
    return QByteArray("<") + name + '>' + text.toHtmlEscaped().toUtf8() + "</" + name + '>';
}

} // namespace

FakePodnapisi::FakePodnapisi()
    : m_server([this](const FakeRequest &request) { return handle(request); },
               FakeHttpServer::Transport::Tls)
{}

QByteArray FakePodnapisi::resultsXml(const QList<Record> &records) const
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
                     "<!DOCTYPE results [\n  <!ELEMENT results (#PCDATA|pagination|subtitle)*>\n"
                     "  <!ELEMENT id (#PCDATA)>\n]>\n<results><pagination><current>1</current>"
                     "<count>1</count><results>" +
                     QByteArray::number(records.size()) + "</results></pagination>";
    for (const Record &record : records) {
        xml += "<subtitle>";
        if (!record.id.isNull())
            xml += element("id", record.id);
        if (!record.pid.isNull())
            xml += element("pid", record.pid);
        xml += element("title", QStringLiteral("Name"));
        xml += element("url", m_server.url(record.urlPath).toString());
        if (!record.release.isNull())
            xml += element("release", record.release);
        if (!record.releases.isEmpty()) {
            xml += "<releases>";
            for (const QString &release : record.releases)
                xml += element("release", release);
            xml += "</releases>";
        }
        xml += element("languageId", QStringLiteral("2"));
        xml += "</subtitle>";
    }
    return xml + "</results>";
}

void FakePodnapisi::addRecords(const QString &name, const QString &language,
                               const QList<Record> &records)
{
    setReply(name, language, resultsXml(records));
}

void FakePodnapisi::setReply(const QString &name, const QString &language, const QByteArray &xml)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(replyKey(name, language), xml);
}

void FakePodnapisi::addDownload(const QString &pid, const QByteArray &archive)
{
    QMutexLocker lock(&m_mutex);
    m_downloads.insert("/subtitles/" + pid.toUtf8() + "/download", archive);
}

void FakePodnapisi::setFailure(Failure failure)
{
    QMutexLocker lock(&m_mutex);
    m_failure = failure;
}

QStringList FakePodnapisi::queries() const
{
    QMutexLocker lock(&m_mutex);
    return m_queries;
}

QStringList FakePodnapisi::violations() const
{
    QMutexLocker lock(&m_mutex);
    return m_violations;
}

FakeResponse FakePodnapisi::handle(const FakeRequest &request)
{
    QMutexLocker lock(&m_mutex);
    if (const auto download = m_downloads.constFind(request.path()); download != m_downloads.cend())
        return {200, "application/zip", *download};
    if (request.path() != "/en/ppodnapisi/search")
        return FakeResponse::html("<!DOCTYPE html><html><body>Not found</body></html>", 404);
    m_queries.append(QString::fromLatin1(request.query()));
    const RawQuery query(request.query());
    m_violations += query.problems();
    const QStringList keys = query.keys();
    const QStringList episode{"sK", "sJ", "sTS", "sTE", "sT", "sXML"};
    const QStringList movie{"sK", "sJ", "sY", "sT", "sXML"};
    const QStringList other{"sK", "sJ", "sT", "sXML"};
    if (keys != episode && keys != movie && keys != other)
        m_violations.append(QStringLiteral("query keys %1").arg(keys.join(u',')));
    if (query.value(QStringLiteral("sT")) != (keys == episode ? "1" : "0") ||
        query.value(QStringLiteral("sXML")) != QLatin1String("1"))
        m_violations.append(QStringLiteral("query %1").arg(QString::fromLatin1(request.query())));

    switch (m_failure) {
    case Failure::Html:
        return FakeResponse::html("<!DOCTYPE html><html><body><p>Search &nbsp;<br></body></html>");
    case Failure::ServerError:
        return FakeResponse::html("<html><body>Internal error</body></html>", 500);
    case Failure::Stall:
        return FakeResponse::stall();
    case Failure::Swollen:
        return FakeResponse::xml("<results>" + QByteArray("<subtitle/>").repeated(1000000) +
                                 "</results>");
    case Failure::None:
        break;
    }
    const QString key =
        replyKey(query.value(QStringLiteral("sK")), query.value(QStringLiteral("sJ")));
    return FakeResponse::xml(m_replies.value(key, resultsXml({})));
}

} // namespace Fakes
