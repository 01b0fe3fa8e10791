#include "http/ProxyAutoConfig.h"

#include "http/HostLookup.h"

#include "platform/UrlLoader.h"

#include <QFile>
#include <QHostAddress>
#include <QJSEngine>
#include <QNetworkInterface>
#include <QObject>
#include <QStringDecoder>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int ScriptTimeoutMs = 10000;

// Name lookups for the helper functions; empty strings when nothing is found. A lookup
// still running when the script's time is up stops the script.
class PacHost final : public QObject
{
    Q_OBJECT

public:
    PacHost(QJSEngine &engine, HostLookup::Deadline deadline)
        : m_engine(engine), m_deadline(deadline)
    {}

    Q_INVOKABLE QString dnsResolve(const QString &host) const
    {
        const QHostAddress literal(host);
        if (!literal.isNull())
            return literal.toString();
        const auto addresses = HostLookup::addresses(host, m_deadline);
        if (!addresses) {
            m_engine.setInterrupted(true);
            return {};
        }
        for (const QHostAddress &address : *addresses) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                return address.toString();
        }
        return {};
    }

    // Shell patterns with * and ?, matched greedily with one point to come back to, so that
    // no pattern can make the match take longer than text length times pattern length. Both
    // can be long enough for that to take minutes, which no interruption of the script would
    // end: a match that needs more steps stops the script.
    Q_INVOKABLE bool shExpMatch(const QString &text, const QString &pattern) const
    {
        qsizetype t = 0;
        qsizetype p = 0;
        qsizetype star = -1;
        qsizetype resume = 0;
        for (qint64 steps = 0; t < text.size(); ++steps) {
            if (steps == MaximumMatchSteps) {
                m_engine.setInterrupted(true);
                return false;
            }
            if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == text[t])) {
                ++t;
                ++p;
            } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
                star = p++;
                resume = t;
            } else if (star >= 0) {
                p = star + 1;
                t = ++resume;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
            ++p;
        return p == pattern.size();
    }

    Q_INVOKABLE QString myIpAddress() const
    {
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                return address.toString();
        }
        return QStringLiteral("127.0.0.1");
    }

private:
    // Far more than any address and pattern need, and done in well under a second.
    static constexpr qint64 MaximumMatchSteps = qint64(1) << 24;

    QJSEngine &m_engine;
    const HostLookup::Deadline m_deadline;
};

// The helper functions configuration scripts expect.
const char *const Helpers = R"JS(
function __find(url, host) {
    try {
        var result = FindProxyForURL(url, host);
        return typeof result == 'string' ? { ok: true, value: result } : { ok: false };
    } catch (e) {
        return { ok: false };
    }
}
function isPlainHostName(host) { return host.indexOf('.') < 0; }
function dnsDomainIs(host, domain) {
    return host.length >= domain.length && host.substring(host.length - domain.length) == domain;
}
function localHostOrDomainIs(host, hostdom) {
    return host == hostdom || hostdom.lastIndexOf(host + '.', 0) == 0;
}
function dnsResolve(host) { var a = __pac.dnsResolve(host); return a == '' ? null : a; }
function isResolvable(host) { return dnsResolve(host) != null; }
function myIpAddress() { return __pac.myIpAddress(); }
function dnsDomainLevels(host) { return host.split('.').length - 1; }
function __address(ip) {
    var p = ip.split('.');
    return ((p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]) >>> 0;
}
function isInNet(host, pattern, mask) {
    var ip = /^\d+\.\d+\.\d+\.\d+$/.test(host) ? host : dnsResolve(host);
    if (!ip) return false;
    var m = __address(mask);
    return ((__address(ip) & m) >>> 0) == ((__address(pattern) & m) >>> 0);
}
function shExpMatch(text, pattern) { return __pac.shExpMatch(String(text), String(pattern)); }
function __clock(args) {
    var gmt = args.length > 0 && args[args.length - 1] == 'GMT';
    var values = Array.prototype.slice.call(args, 0, gmt ? args.length - 1 : args.length);
    var d = new Date();
    return { values: values,
             day: gmt ? d.getUTCDay() : d.getDay(),
             date: gmt ? d.getUTCDate() : d.getDate(),
             month: gmt ? d.getUTCMonth() : d.getMonth(),
             year: gmt ? d.getUTCFullYear() : d.getFullYear(),
             seconds: gmt ? d.getUTCHours() * 3600 + d.getUTCMinutes() * 60 + d.getUTCSeconds()
                          : d.getHours() * 3600 + d.getMinutes() * 60 + d.getSeconds() };
}
function __within(value, from, to) {
    return from <= to ? value >= from && value <= to : value >= from || value <= to;
}
function weekdayRange() {
    var c = __clock(arguments);
    var days = ['SUN', 'MON', 'TUE', 'WED', 'THU', 'FRI', 'SAT'];
    var from = days.indexOf(c.values[0]);
    var to = c.values.length > 1 ? days.indexOf(c.values[1]) : from;
    return from >= 0 && to >= 0 && __within(c.day, from, to);
}
function timeRange() {
    var c = __clock(arguments), v = c.values;
    if (v.length == 1) return Math.floor(c.seconds / 3600) == v[0];
    if (v.length == 2) return __within(c.seconds, v[0] * 3600, v[1] * 3600 - 1);
    if (v.length == 4) return __within(c.seconds, v[0] * 3600 + v[1] * 60, v[2] * 3600 + v[3] * 60 + 59);
    if (v.length == 6)
        return __within(c.seconds, v[0] * 3600 + v[1] * 60 + v[2], v[3] * 3600 + v[4] * 60 + v[5]);
    return false;
}
function dateRange() {
    var c = __clock(arguments), v = c.values;
    var months = ['JAN', 'FEB', 'MAR', 'APR', 'MAY', 'JUN', 'JUL', 'AUG', 'SEP', 'OCT', 'NOV', 'DEC'];
    // Each bound is read as year, month and day where given; today is read the same way.
    function key(parts, today) {
        var k = 0;
        for (var i = 0; i < parts.length; ++i) {
            var p = parts[i], month = months.indexOf(p);
            if (month >= 0) k += (today ? c.month : month) * 100;
            else if (p > 31) k += (today ? c.year : p) * 10000;
            else k += today ? c.date : p;
        }
        return k;
    }
    if (v.length == 0 || v.length % 2 == 1 && v.length > 1) return false;
    var from = v.length == 1 ? v : v.slice(0, v.length / 2);
    var to = v.length == 1 ? v : v.slice(v.length / 2);
    return __within(key(from, true), key(from, false), key(to, false));
}
)JS";

// Interrupts the engine's evaluation once the time is up, from a thread of its own.
class EvaluationWatchdog
{
public:
    EvaluationWatchdog(QJSEngine &engine, std::chrono::milliseconds limit)
        : m_thread([this, &engine, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; }))
                  engine.setInterrupted(true);
          })
    {}
    ~EvaluationWatchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    EvaluationWatchdog(const EvaluationWatchdog &) = delete;
    EvaluationWatchdog &operator=(const EvaluationWatchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

std::optional<QString> readScript(const QUrl &pacUrl)
{
    QByteArray bytes;
    if (pacUrl.isLocalFile()) {
        QFile file(pacUrl.toLocalFile());
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        bytes = file.readAll();
    } else {
        const UrlResponse response = UrlLoader::load(UrlRequest::get(pacUrl, ScriptTimeoutMs));
        if (!response.isSuccess())
            return std::nullopt;
        bytes = response.body;
    }
    const auto encoding = QStringConverter::encodingForData(bytes);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

} // namespace

std::optional<QList<ProxyEntry>> ProxyAutoConfig::proxiesForURL(const QUrl &url, const QUrl &pacUrl)
{
    const std::optional<QString> script = readScript(pacUrl);
    if (!script)
        return QList<ProxyEntry>();
    return proxiesForScript(*script, url);
}

std::optional<QList<ProxyEntry>>
ProxyAutoConfig::proxiesForScript(const QString &script, const QUrl &url,
                                  std::chrono::milliseconds timeLimit)
{
    QJSEngine engine;
    const EvaluationWatchdog watchdog(engine, timeLimit);
    PacHost host(engine, std::chrono::steady_clock::now() + timeLimit);
    engine.globalObject().setProperty(QStringLiteral("__pac"), engine.newQObject(&host));
    QJSEngine::setObjectOwnership(&host, QJSEngine::CppOwnership);
    engine.evaluate(QString::fromUtf8(Helpers));
    if (engine.evaluate(script).isError())
        return std::nullopt;
    if (!engine.globalObject().property(QStringLiteral("FindProxyForURL")).isCallable())
        return std::nullopt;
    // A thrown string would look like an answer; the wrapper tells them apart.
    const QJSValue result = engine.globalObject()
                                .property(QStringLiteral("__find"))
                                .call({url.toString(QUrl::FullyEncoded), url.host()});
    if (engine.isInterrupted() || !result.property(QStringLiteral("ok")).toBool())
        return std::nullopt;
    return parseResult(result.property(QStringLiteral("value")).toString());
}

QList<ProxyEntry> ProxyAutoConfig::parseResult(const QString &result)
{
    QList<ProxyEntry> entries;
    for (const QString &item : result.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = item.simplified().split(QLatin1Char(' '));
        const QString kind = words.value(0).toUpper();
        if (kind == QLatin1String("DIRECT")) {
            entries.append(ProxyEntry{});
            continue;
        }
        ProxyEntry entry;
        quint16 defaultPort = 80;
        if (kind == QLatin1String("PROXY") || kind == QLatin1String("HTTP")) {
            entry.type = ProxyEntry::Type::Http;
        } else if (kind == QLatin1String("HTTPS")) {
            entry.type = ProxyEntry::Type::Https;
            defaultPort = 443;
        } else if (kind.startsWith(QLatin1String("SOCKS"))) {
            entry.type = ProxyEntry::Type::Socks;
            defaultPort = 1080;
        } else {
            continue;
        }
        const QString address = words.value(1);
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const uint port = colon > 0 ? address.mid(colon + 1).toUInt(&ok) : 0;
        entry.host = colon > 0 && ok ? address.left(colon) : address;
        entry.port = ok && port > 0 && port < 65536 ? quint16(port) : defaultPort;
        if (!entry.host.isEmpty())
            entries.append(entry);
    }
    return entries;
}

#include "ProxyAutoConfig.moc"
