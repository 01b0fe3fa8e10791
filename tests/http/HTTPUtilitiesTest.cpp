#include "http/HTTPUtilities.h"
#include "http/CookieStorage.h"
#include "http/CredentialStorage.h"
#include "http/HTTPDate.h"
#include "http/HTTPRequest.h"
#include "http/SessionCookies.h"
#include "http/SessionCredentialStore.h"
#include "http/TextEncoding.h"
#include "http/UserAgent.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>

#include <unicode/ucnv.h>

namespace {

TEST(HTTPUtilitiesTest, DatesParseInTheirThreeFormsWhateverTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German));
    qputenv("TZ", "Asia/Tokyo");
    const QDateTime expected(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC);
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("Sun, 06 Nov 1994 08:49 GMT"), expected.addSecs(-37));
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("Sun, 06 Nov 1994 00:49:37 PST"), expected);
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("Sun, 06 Nov 1994 09:49:37 +0100"), expected);
    for (const char *bad : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                            "Sun, 06 Nov 1994 08:49:37 XYZ", "Sun, 31 Feb 1994 08:49:37 GMT",
                            "Sun, 06 Nov 1994 25:49:37 GMT", "", "Sun, 06 Nov 1994",
                            "Fri, 31 Dec 9999 23:00:00 PST", "Mon, 01 Jan 1000 00:30:00 +0100"})
        EXPECT_FALSE(HTTPDate::dateFromRFC1123String(bad).isValid()) << bad;
    EXPECT_EQ(HTTPDate::rfc1123String(expected.toTimeZone(QTimeZone("Asia/Tokyo"))),
              "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(HTTPDate::dateFromRFC1123String("Fri, 31 Dec 9999 23:00:00 GMT"),
              QDateTime(QDate(9999, 12, 31), QTime(23, 0), Qt::UTC));
    EXPECT_TRUE(HTTPDate::rfc1123String(QDateTime(QDate(10000, 1, 1), {}, Qt::UTC)).isNull());
    QLocale::setDefault(QLocale::c());
    qunsetenv("TZ");
}

TEST(HTTPUtilitiesTest, UserAgentNamesThisPlatform)
{
    EXPECT_EQ(UserAgent::threeNumberVersion("6.1.0-13-amd64"), "6.1.0");
    EXPECT_TRUE(UserAgent::threeNumberVersion("6.1").isNull());
    EXPECT_TRUE(UserAgent::threeNumberVersion("").isNull());
    QCoreApplication::setApplicationVersion("1.2");
    const QString agent = UserAgent::defaultUserAgentString();
    EXPECT_TRUE(agent.startsWith("trovanel 1.2 (X11; Linux ")) << agent.toStdString();
    EXPECT_TRUE(agent.endsWith("; " + QLocale::system().name() + ")"));
    QCoreApplication::setApplicationVersion({});
}

TEST(HTTPUtilitiesTest, MimeTypesAndBase64)
{
    QTemporaryDir dir;
    for (const char *name : {"a.TXT", "b.unknownext", "noextension"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(HTTPUtilities::mimeTypeForFileAtPath(dir.filePath("a.TXT")), "text/plain");
    EXPECT_EQ(HTTPUtilities::mimeTypeForFileAtPath(dir.filePath("b.unknownext")),
              "application/octet-stream");
    EXPECT_EQ(HTTPUtilities::mimeTypeForFileAtPath(dir.filePath("noextension")),
              "application/octet-stream");
    EXPECT_TRUE(HTTPUtilities::mimeTypeForFileAtPath(dir.filePath("missing.txt")).isNull());
    EXPECT_EQ(HTTPUtilities::base64forData(""), "");
    EXPECT_EQ(HTTPUtilities::base64forData("a"), "YQ==");
    EXPECT_EQ(HTTPUtilities::base64forData("user:pässword"), "dXNlcjpww6Rzc3dvcmQ=");
}

TEST(HTTPUtilitiesTest, CharacterSetsDecodeStrictly)
{
    EXPECT_TRUE(TextEncoding::isKnown("utf-8"));
    EXPECT_TRUE(TextEncoding::isKnown("windows-1252"));
    EXPECT_FALSE(TextEncoding::isKnown("no-such-charset"));
    EXPECT_FALSE(TextEncoding::isKnown("\"utf-8\""));
    EXPECT_EQ(TextEncoding::decode("caf\xc3\xa9", TextEncoding::UTF8).value_or(""), "café");
    EXPECT_EQ(TextEncoding::decode("caf\xe9", TextEncoding::ISOLatin1).value_or(""), "café");
    EXPECT_EQ(TextEncoding::decode("\x80", "windows-1252").value_or(""), "€");
    EXPECT_FALSE(TextEncoding::decode("caf\xe9!", TextEncoding::UTF8));
}

TEST(HTTPUtilitiesTest, EveryCharacterSetTakesEmptyTextAndEndsWhatItStarts)
{
    QList<QByteArray> names{TextEncoding::UTF8, TextEncoding::ISOLatin1, "UTF-16"};
    for (int32_t i = 0; i < ucnv_countAvailable(); ++i)
        names.append(ucnv_getAvailableName(i));
    for (const QByteArray &name : names) {
        EXPECT_EQ(TextEncoding::encode(QString(), name), QByteArray()) << name.constData();
        EXPECT_EQ(
            TextEncoding::encode(QStringLiteral(""), name, TextEncoding::Unmappable::Substitute),
            QByteArray())
            << name.constData();
        EXPECT_EQ(TextEncoding::decode(QByteArray(), name), QString()) << name.constData();
    }
    // A stateful character set returns to its first state at the end of each text.
    EXPECT_EQ(TextEncoding::encode(QStringLiteral("\uac00"), "UTF-7"), "+rAA-");
    EXPECT_EQ(TextEncoding::encode(QStringLiteral("\u3042"), "ISO-2022-JP"), "\x1b$B$\"\x1b(B");
    EXPECT_EQ(TextEncoding::encode(QStringLiteral("\uac00"), "ISO-2022-KR"), "\x1b$)C\x0e"
                                                                             "0!\x0f");
    // What it cannot carry fails, or is substituted when asked; nothing goes missing silently.
    EXPECT_FALSE(TextEncoding::encode(QStringLiteral("a\u200db"), "US-ASCII"));
    EXPECT_EQ(TextEncoding::encode(QStringLiteral("a\u00e9"), "US-ASCII",
                                   TextEncoding::Unmappable::Substitute),
              "a\x1a");
    EXPECT_FALSE(TextEncoding::decode("a\x82", "Shift_JIS"));
}

TEST(HTTPUtilitiesTest, SessionCookiesReplaceByIdentityAndLeaveTheStoreTogether)
{
    const QUrl url("http://example.com/path");
    const auto cookies = CookieStorage::cookiesFromResponse(
        {"a=1; Path=/", "b=2", "=novalue", "evil=1; Domain=other.org"}, url);
    ASSERT_EQ(cookies.size(), 3);
    CookieStorage::shared().setCookiesFromUrl(cookies, url);
    const auto stored = CookieStorage::shared().cookiesForUrl(url);
    EXPECT_EQ(stored.size(), 2); // the foreign-domain cookie is refused
    for (const QNetworkCookie &cookie : stored)
        SessionCookies::addSessionCookie(cookie);
    QNetworkCookie replacement = stored.first();
    replacement.setValue("changed");
    SessionCookies::addSessionCookie(replacement);
    const auto session = SessionCookies::sessionCookies();
    ASSERT_EQ(session.size(), 2);
    EXPECT_EQ(session.last().value(), "changed");
    SessionCookies::setSessionCookies(std::nullopt);
    EXPECT_TRUE(CookieStorage::shared().cookiesForUrl(url).isEmpty());
    EXPECT_TRUE(SessionCookies::sessionCookies().isEmpty());
}

TEST(HTTPUtilitiesTest, ACookieWithoutDomainStaysWithItsHostAndLeavesWithTheSession)
{
    const QUrl url("http://www.example.com/");
    const auto cookies =
        CookieStorage::cookiesFromResponse({"own=1", "shared=1; Domain=example.com"}, url);
    // As a response is read with cookies kept.
    CookieStorage::shared().setCookiesFromUrl(cookies, url);
    for (const QNetworkCookie &cookie : cookies)
        SessionCookies::addSessionCookie(cookie);
    const auto sent = [](const char *to) {
        QList<QByteArray> names;
        for (const QNetworkCookie &cookie : CookieStorage::shared().cookiesForUrl(QUrl(to)))
            names.append(cookie.name());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(sent("http://www.example.com/"), (QList<QByteArray>{"own", "shared"}));
    EXPECT_EQ(sent("http://sub.www.example.com/"), QList<QByteArray>{"shared"});
    EXPECT_EQ(sent("http://example.com/"), QList<QByteArray>{"shared"});
    SessionCookies::setSessionCookies(std::nullopt);
    EXPECT_TRUE(CookieStorage::shared().allCookies().isEmpty());
}

TEST(HTTPUtilitiesTest, AnAddressSharesItsCookiesWithNoOtherHost)
{
    CookieStorage &storage = CookieStorage::shared();
    const auto set = [&](const char *url, const QList<QByteArray> &values) {
        storage.setCookiesFromUrl(CookieStorage::cookiesFromResponse(values, QUrl(url)), QUrl(url));
    };
    set("http://10.0.0.1/", {"wide=1; Domain=.1", "other=1; Domain=0.1", "same=1; Domain=10.0.0.1",
                             "dotted=1; Domain=.10.0.0.1", "plain=1"});
    set("http://[::ffff:10.0.0.1]/", {"mapped=1; Domain=.1"});
    set("http://[::1]/", {"six=1"});
    set("http://x.10.0.0.1/", {"parent=1; Domain=.10.0.0.1"});
    set("http://name.1/", {"named=1; Domain=.1"});
    set("http://example.com/", {"ctl=\x01x", "del\x7f=x", "tab=a\tb"});
    const auto sent = [&](const char *url) {
        QList<QByteArray> names;
        for (const QNetworkCookie &cookie : storage.cookiesForUrl(QUrl(url)))
            names.append(cookie.name());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(sent("http://10.0.0.1/"), (QList<QByteArray>{"dotted", "plain", "same"}));
    EXPECT_EQ(sent("http://[::1]/"), QList<QByteArray>{"six"});
    for (const char *other :
         {"http://192.168.1.1/", "http://10.0.0.2/", "http://[::ffff:10.0.0.1]/",
          "http://x.10.0.0.1/", "http://[::2]/", "http://name.1/"})
        EXPECT_TRUE(sent(other).isEmpty()) << other;
    EXPECT_EQ(sent("http://example.com/"), QList<QByteArray>{"tab"});
}

TEST(HTTPUtilitiesTest, SessionCredentialsAreFoundByUrlThenPlaceAndRealm)
{
    // Proxy entries outlive a cleared session, so those of earlier tests are removed here.
    HTTPRequest::clearSession();
    for (const SessionCredentialEntry &stale :
         SessionCredentialStore::sessionProxyCredentialsStore())
        SessionCredentialStore::removeProxyAuthenticationCredentials(stale.credentials);
    auto first = std::make_shared<const Credentials>(Credentials{"ann", "one", {}});
    auto second = std::make_shared<const Credentials>(Credentials{"bob", "two", {}});
    SessionCredentialEntry entry{first, "Basic", QUrl("http://host/a"), QString("realm"), {}, 0};
    SessionCredentialStore::storeAuthenticationCredentials(entry);
    entry.url = QUrl("http://host/b");
    SessionCredentialStore::storeAuthenticationCredentials(entry); // same object: replaced
    EXPECT_EQ(SessionCredentialStore::sessionCredentialsStore().size(), 1);
    SessionCredentialStore::storeAuthenticationCredentials(
        {second, "Basic", QUrl("http://host:8080/c"), std::nullopt, {}, 0});

    const auto byPlace =
        SessionCredentialStore::findSessionAuthenticationCredentials(QUrl("http://host/z"), 0, {});
    ASSERT_TRUE(byPlace);
    EXPECT_EQ(byPlace->credentials, first);
    EXPECT_FALSE(SessionCredentialStore::findSessionAuthenticationCredentials(QUrl("http://host/z"),
                                                                              401, "other realm"));
    EXPECT_FALSE(SessionCredentialStore::findSessionAuthenticationCredentials(
        QUrl("https://host/b"), 0, {}));
    // An explicit port never matches an absent one.
    const auto withPort = SessionCredentialStore::findSessionAuthenticationCredentials(
        QUrl("http://host:8080/y"), 401, "any");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->credentials, second);

    SessionCredentialStore::storeProxyAuthenticationCredentials(
        {second, "Basic", {}, std::nullopt, "proxy", 3128});
    EXPECT_TRUE(SessionCredentialStore::findSessionProxyAuthenticationCredentials("proxy", 3128));
    EXPECT_FALSE(SessionCredentialStore::findSessionProxyAuthenticationCredentials("proxy", 80));
    SessionCredentialStore::clearSessionCredentials();
    EXPECT_TRUE(SessionCredentialStore::sessionCredentialsStore().isEmpty());
    EXPECT_EQ(SessionCredentialStore::sessionProxyCredentialsStore().size(), 1);
    SessionCredentialStore::removeProxyAuthenticationCredentials(second);
    EXPECT_TRUE(SessionCredentialStore::sessionProxyCredentialsStore().isEmpty());
}

TEST(HTTPUtilitiesTest, SavedCredentialsAreKeptByProtectionSpace)
{
    auto server = std::make_shared<const Credentials>(Credentials{"ann", "secret", {}});
    auto proxy = std::make_shared<const Credentials>(Credentials{"bob", "hidden", {}});
    CredentialStorage::saveCredentials(server, "host", 443, "https", "realm");
    CredentialStorage::saveCredentialsForProxy(proxy, "proxy", 3128, "realm");
    EXPECT_EQ(CredentialStorage::savedCredentialsForHost("host", 443, "https", "realm"), server);
    EXPECT_FALSE(CredentialStorage::savedCredentialsForHost("host", 443, "http", "realm"));
    EXPECT_FALSE(CredentialStorage::savedCredentialsForHost("host", 443, "https", "other"));
    EXPECT_EQ(CredentialStorage::savedCredentialsForProxy("proxy", 3128, "whatever", "realm"),
              proxy);
    EXPECT_FALSE(CredentialStorage::savedCredentialsForHost("proxy", 3128, "https", "realm"));
    CredentialStorage::removeCredentialsForHost("host", 443, "https", "realm");
    CredentialStorage::removeCredentialsForProxy("proxy", 3128, "realm");
    EXPECT_FALSE(CredentialStorage::savedCredentialsForHost("host", 443, "https", "realm"));
    EXPECT_FALSE(CredentialStorage::savedCredentialsForProxy("proxy", 3128, "", "realm"));
}

} // namespace
