#include "fakes/services/FakeBetaSeries.h"

#include "fakes/services/RawQuery.h"

#include <QCryptographicHash>

namespace Fakes {

namespace {

const QString ApiKey = QStringLiteral("7d3f0a85c21e");

QByteArray root(const QByteArray &content)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>" + content + "</root>";
}

} // namespace

FakeBetaSeries::FakeBetaSeries()
    : m_server([this](const FakeRequest &request) { return handle(request); })
{}

QByteArray FakeBetaSeries::subtitlesXml(const QByteArray &records)
{
    return root("<subtitles>" + records + "</subtitles><code>1</code><errors/>");
}

void FakeBetaSeries::addAccount(const QString &login, const QString &password)
{
    QMutexLocker lock(&m_mutex);
    m_passwordHashes.insert(
        login, QString::fromLatin1(
                   QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex()));
}

void FakeBetaSeries::setLoginReply(LoginReply reply)
{
    QMutexLocker lock(&m_mutex);
    m_loginReply = reply;
}

void FakeBetaSeries::setSearchReply(const QString &file, const QByteArray &xml)
{
    QMutexLocker lock(&m_mutex);
    m_searchReplies.insert(file, xml);
}

QStringList FakeBetaSeries::queries() const
{
    QMutexLocker lock(&m_mutex);
    return m_queries;
}

QStringList FakeBetaSeries::violations() const
{
    QMutexLocker lock(&m_mutex);
    return m_violations;
}

FakeResponse FakeBetaSeries::handle(const FakeRequest &request)
{
    QMutexLocker lock(&m_mutex);
    m_queries.append(QString::fromLatin1(request.target));
    const RawQuery query(request.query());
    m_violations += query.problems();
    if (query.value(QStringLiteral("key")) != ApiKey)
        m_violations.append(
            QStringLiteral("no key in %1").arg(QString::fromLatin1(request.target)));

    if (request.path() == "/members/auth.xml") {
        if (query.keys() != QStringList{"key", "login", "password"})
            m_violations.append(QStringLiteral("login keys %1").arg(query.keys().join(u',')));
        const QString login = query.value(QStringLiteral("login"));
        const bool accepted =
            m_passwordHashes.contains(login) &&
            m_passwordHashes.value(login) == query.value(QStringLiteral("password"));
        if (m_loginReply == LoginReply::NotXml)
            return FakeResponse::html("Service temporarily unavailable");
        if (!accepted)
            return FakeResponse::xml(root("<code>0</code><errors><error><code>4003</code>"
                                          "<content>Bad password</content></error></errors>"));
        const QByteArray token = m_loginReply == LoginReply::EmptyToken ? QByteArray()
                                 : m_loginReply == LoginReply::TwoTokens
                                     ? QByteArray("a</token><token>")
                                     : QByteArray("4f2b8a1c9d");
        return FakeResponse::xml(root("<member><login>" + login.toUtf8() + "</login><token>" +
                                      token + "</token></member><code>1</code><errors/>"));
    }
    if (request.path() == "/subtitles/show.xml") {
        QStringList expected{"key", "file"};
        if (query.contains(QStringLiteral("language")))
            expected.append(QStringLiteral("language"));
        if (query.contains(QStringLiteral("token")))
            expected.append(QStringLiteral("token"));
        if (query.keys() != expected)
            m_violations.append(QStringLiteral("search keys %1").arg(query.keys().join(u',')));
        const QString language = query.value(QStringLiteral("language"));
        if (query.contains(QStringLiteral("language")) && language != QLatin1String("VF") &&
            language != QLatin1String("VO"))
            m_violations.append(QStringLiteral("language %1").arg(language));
        return FakeResponse::xml(
            m_searchReplies.value(query.value(QStringLiteral("file")), subtitlesXml({})));
    }
    return FakeResponse::html("<html><body>Not found</body></html>", 404);
}

} // namespace Fakes
