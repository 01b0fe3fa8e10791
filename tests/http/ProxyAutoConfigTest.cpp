#include "http/ProxyAutoConfig.h"
#include "http/HostLookup.h"

#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <atomic>
#include <future>

namespace {

using Type = ProxyEntry::Type;

TEST(ProxyAutoConfigTest, ResultsReadInOrder)
{
    EXPECT_EQ(ProxyAutoConfig::parseResult(
                  "PROXY cache.example:8080; SOCKS socks.example;DIRECT; NONSENSE x; HTTPS s:8443"),
              (QList<ProxyEntry>{{Type::Http, "cache.example", 8080},
                                 {Type::Socks, "socks.example", 1080},
                                 {},
                                 {Type::Https, "s", 8443}}));
    EXPECT_TRUE(ProxyAutoConfig::parseResult("").isEmpty());
}

TEST(ProxyAutoConfigTest, HelperFunctionsDecide)
{
    const QString script = R"JS(
        function FindProxyForURL(url, host) {
            if (isPlainHostName(host)) return "DIRECT";
            if (dnsDomainIs(host, ".example.org") && dnsDomainLevels(host) == 2)
                return "PROXY org-proxy:3128";
            if (shExpMatch(url, "*://*.test/files/*.srt")) return "SOCKS socks:1081";
            if (isInNet(host, "127.0.0.0", "255.0.0.0") && localHostOrDomainIs("www", "www.x"))
                return "PROXY loop:1";
            if (weekdayRange("SUN", "SAT") && timeRange(0, 24) && dateRange("JAN", "DEC")
                && dateRange(1, 31) && isResolvable("127.0.0.1") && myIpAddress() != "")
                return "PROXY always:2";
            return "DIRECT";
        })JS";
    const auto proxies = [&](const char *url) {
        return ProxyAutoConfig::proxiesForScript(script, QUrl(url)).value_or(QList<ProxyEntry>{});
    };
    EXPECT_EQ(proxies("http://intranet/page"), QList<ProxyEntry>{{}});
    EXPECT_EQ(proxies("http://www.example.org/"),
              QList<ProxyEntry>({{Type::Http, "org-proxy", 3128}}));
    EXPECT_EQ(proxies("https://cdn.test/files/movie.srt"),
              QList<ProxyEntry>({{Type::Socks, "socks", 1081}}));
    EXPECT_EQ(proxies("http://127.0.0.1/"), QList<ProxyEntry>({{Type::Http, "loop", 1}}));
    EXPECT_EQ(proxies("http://a.b.c.d/"), QList<ProxyEntry>({{Type::Http, "always", 2}}));
}

TEST(ProxyAutoConfigTest, BrokenScriptsCannotBeEvaluated)
{
    const QUrl url("http://host.example/");
    EXPECT_FALSE(ProxyAutoConfig::proxiesForScript("function FindProxyForURL(", url));
    EXPECT_FALSE(ProxyAutoConfig::proxiesForScript("var nothing = 1;", url));
    EXPECT_FALSE(
        ProxyAutoConfig::proxiesForScript("function FindProxyForURL(u, h) { return 42; }", url));
    EXPECT_FALSE(
        ProxyAutoConfig::proxiesForScript("function FindProxyForURL(u, h) { throw 'no'; }", url));
}

TEST(ProxyAutoConfigTest, ScriptsThatRunTooLongAreBrokenAndPatternsDoNotBacktrack)
{
    const QUrl url("http://host.example/");
    FakeHttpServer server;
    server.setReply("/loop.pac", FakeReply::ok("function FindProxyForURL(u, h) { for (;;) {} }"));
    server.setReply("/top.pac", FakeReply::ok("while (true) {}"));
    for (const char *path : {"/loop.pac", "/top.pac"})
        EXPECT_FALSE(ProxyAutoConfig::proxiesForURL(url, server.url(path))) << path;

    const QString stars = QStringLiteral("*a").repeated(20) + QStringLiteral("*b");
    const QString script = QStringLiteral(R"JS(
        function FindProxyForURL(url, host) {
            var text = 'a'.repeat(60);
            if (shExpMatch(text, '%1')) return 'PROXY wrong:1';
            if (shExpMatch(text + 'b', '%1') && shExpMatch('x.srt', '?.s*t')
                && !shExpMatch('x.srt', '?.s') && shExpMatch('', '*'))
                return 'PROXY right:2';
            return 'DIRECT';
        })JS")
                               .arg(stars);
    EXPECT_EQ(ProxyAutoConfig::proxiesForScript(script, url),
              QList<ProxyEntry>({{Type::Http, "right", 2}}));

    // Each step of this match comes back to the start of the pattern: no time limit would
    // stop it, so it stops the script itself.
    const QString endless = QStringLiteral(R"JS(
        function FindProxyForURL(url, host) {
            var text = 'a'.repeat(200000);
            return shExpMatch(text, '*' + 'a'.repeat(2000) + 'b') ? 'PROXY wrong:1' : 'DIRECT';
        })JS");
    EXPECT_FALSE(ProxyAutoConfig::proxiesForScript(endless, url, std::chrono::minutes(10)));
}

TEST(ProxyAutoConfigTest, ScriptsAreReadFromFilesAndServers)
{
    const QByteArray script = "function FindProxyForURL(u, h) { return 'PROXY p:1'; }";
    QTemporaryDir folder;
    QFile file(folder.filePath("proxy.pac"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(script);
    file.close();
    const QUrl url("http://host.example/");
    const QList<ProxyEntry> expected{{Type::Http, "p", 1}};
    EXPECT_EQ(ProxyAutoConfig::proxiesForURL(url, QUrl::fromLocalFile(file.fileName())), expected);
    // An unreadable script means connecting directly, not a failure.
    EXPECT_EQ(ProxyAutoConfig::proxiesForURL(url, QUrl::fromLocalFile(folder.filePath("none"))),
              QList<ProxyEntry>{});

    FakeHttpServer server;
    server.setReply("/proxy.pac", FakeReply::ok(script, "application/x-ns-proxy-autoconfig"));
    EXPECT_EQ(ProxyAutoConfig::proxiesForURL(url, server.url("/proxy.pac")), expected);
    EXPECT_EQ(ProxyAutoConfig::proxiesForURL(url, server.url("/missing.pac")), QList<ProxyEntry>{});
}

TEST(ProxyAutoConfigTest, HostLookupsEndWithTheScriptsTime)
{
    // A resolver that answers only once released.
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const auto calls = std::make_shared<std::atomic<int>>(0);
    HostLookup::setResolver([released, calls](const QString &) {
        ++*calls;
        released.wait();
        return QList<QHostAddress>{QHostAddress(QStringLiteral("192.0.2.1"))};
    });
    bool answered = false;
    const auto answer = [&] {
        if (!std::exchange(answered, true))
            release.set_value();
    };
    const auto restore = qScopeGuard([&] {
        answer();
        HostLookup::setResolver({});
    });
    const QString script = QStringLiteral(
        "function FindProxyForURL(u, h) { return isResolvable(h) ? 'PROXY p:1' : 'DIRECT'; }");
    const auto proxies = [&](int host, std::chrono::milliseconds limit) {
        return ProxyAutoConfig::proxiesForScript(
            script, QUrl(QStringLiteral("http://silent%1.test/").arg(host)), limit);
    };
    // Each script gives up on its lookup, and the lookups that never end take a bounded number
    // of threads; those that never began are dropped.
    for (int host = 0; host < 3 * HostLookup::MaxThreads; ++host)
        EXPECT_FALSE(proxies(host, std::chrono::milliseconds(20))) << host;
    EXPECT_FALSE(proxies(0, std::chrono::milliseconds(20)));
    EXPECT_LE(calls->load(), HostLookup::MaxThreads);

    answer();
    EXPECT_EQ(proxies(0, ProxyAutoConfig::DefaultTimeLimit),
              QList<ProxyEntry>({{Type::Http, "p", 1}}));
}

} // namespace
