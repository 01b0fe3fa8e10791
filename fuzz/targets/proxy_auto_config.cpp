// A proxy auto-config script as a network hands it out, evaluated for one address with a short
// time limit, against a resolver that answers some names at once and never answers others.
// The input is also read as the answer such a script gives.
#include "FuzzSupport.h"
#include "http/HostLookup.h"
#include "http/ProxyAutoConfig.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds TimeLimit = 100ms;
// Room for starting the script engine on a busy machine; a script the limit fails to stop runs
// on far longer.
constexpr std::chrono::milliseconds Slack = 3s;

std::atomic<int> runningLookups{0};

QList<QHostAddress> resolve(const QString &host)
{
    const int running = ++runningLookups;
    FUZZ_CHECK(running <= HostLookup::MaxThreads, "more host lookups run at once than allowed");
    QList<QHostAddress> addresses;
    if (host.endsWith(QLatin1String(".invalid")) || host.endsWith(QLatin1String(".silent"))) {
        std::this_thread::sleep_for(1s);
    } else if (!host.startsWith(QLatin1String("none"))) {
        const size_t hash = qHash(host);
        addresses.append(QHostAddress(QStringLiteral("10.%1.%2.%3")
                                          .arg(hash & 0xff)
                                          .arg((hash >> 8) & 0xff)
                                          .arg((hash >> 16) & 0xff)));
        addresses.append(QHostAddress(QStringLiteral("fd00::%1").arg(hash & 0xffff, 0, 16)));
    }
    --runningLookups;
    return addresses;
}

QString answer(const QList<ProxyEntry> &entries)
{
    QStringList items;
    for (const ProxyEntry &entry : entries) {
        switch (entry.type) {
        case ProxyEntry::Type::Direct:
            items.append(QStringLiteral("DIRECT"));
            continue;
        case ProxyEntry::Type::Http:
            items.append(QStringLiteral("PROXY"));
            break;
        case ProxyEntry::Type::Https:
            items.append(QStringLiteral("HTTPS"));
            break;
        case ProxyEntry::Type::Socks:
            items.append(QStringLiteral("SOCKS"));
            break;
        }
        items.last() += u' ' + entry.host + u':' + QString::number(entry.port);
    }
    return items.join(QStringLiteral("; "));
}

// Every proxy named can be connected to, and written as an answer it reads back the same.
void checkEntries(const QList<ProxyEntry> &entries)
{
    for (const ProxyEntry &entry : entries) {
        if (entry.type == ProxyEntry::Type::Direct) {
            FUZZ_CHECK(entry.host.isEmpty() && entry.port == 0, "a direct connection names a host");
            continue;
        }
        FUZZ_CHECK(!entry.host.isEmpty() && entry.port > 0, "a proxy without host or port");
        FUZZ_CHECK(!entry.host.contains(u';') && entry.host.simplified() == entry.host &&
                       !entry.host.contains(u' '),
                   "a proxy host holds a separator or a blank");
    }
    FUZZ_CHECK(ProxyAutoConfig::parseResult(answer(entries)) == entries,
               "the proxies read back from their own answer differ");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ensureApplication();
    HostLookup::setResolver(resolve);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QString> text = Fuzz::text(data, size);
    if (!text)
        return 0;
    const QString &script = *text;
    checkEntries(ProxyAutoConfig::parseResult(script));

    const auto start = std::chrono::steady_clock::now();
    const auto proxies = ProxyAutoConfig::proxiesForScript(
        script, QUrl(QStringLiteral("http://www.example.com:8080/path/page.html?q=1")), TimeLimit);
    FUZZ_CHECK(std::chrono::steady_clock::now() - start < TimeLimit + Slack,
               "a script ran on past its time limit");
    if (proxies)
        checkEntries(*proxies);
    return 0;
}
