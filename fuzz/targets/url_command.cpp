// A "trovanel:" link as any web page can send one, handled against a settings file that holds
// other settings and earlier markers. The input is also read as two markers, the text before
// its first newline and the text after it, sent in a well-formed link.
#include "FuzzSupport.h"
#include "app/controller/TNURLCommand.h"
#include "platform/UserDefaults.h"
#include "services/podnapisi/PodParseKeys.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QByteArray Settings = R"({"lang0": "fr", "oneStep": true, "TNPodParseBegin": "old begin",
    "servers": [{"Name": "www.podnapisi.net", "URL": "https://www.podnapisi.net"}]})";

QJsonObject storedSettings(const QString &path)
{
    return QJsonDocument::fromJson(Fuzz::readFile(path)).object();
}

// Settings as a fresh start finds them after the link: only the two markers may differ.
QJsonObject handled(const QString &link)
{
    const QString path = Fuzz::scratch().filePath(QStringLiteral("settings.json"));
    FUZZ_CHECK(Fuzz::writeFile(path, Settings));
    UserDefaults defaults(path);
    TNURLCommand(defaults).handleURLEvent(link);

    const QJsonObject after = storedSettings(path);
    FUZZ_CHECK(!after.isEmpty(), "the settings file was lost");
    QJsonObject original = QJsonDocument::fromJson(Settings).object();
    QJsonObject others = after;
    for (const QString &marker : {TNPodParseBegin, TNPodParseEnd}) {
        original.remove(marker);
        others.remove(marker);
        const QJsonValue value = after.value(marker);
        FUZZ_CHECK(value.isUndefined() || value.isString(), "a marker is stored as no string");
        FUZZ_CHECK(value.toString().size() <= TNURLCommand::MaximumMarkerLength,
                   "a marker longer than the limit was stored");
        FUZZ_CHECK(defaults.userValue(marker) == value.toVariant(),
                   "the file and the settings in memory differ");
    }
    FUZZ_CHECK(others == original, "a link changed a setting other than the two markers");
    return after;
}

bool changesSettings(const QJsonObject &after)
{
    return after != QJsonDocument::fromJson(Settings).object();
}

// What the marker becomes: sent escaped twice, stored with "+" read as a blank.
QJsonValue expectedMarker(const QString &text)
{
    if (text.size() > TNURLCommand::MaximumMarkerLength)
        return QJsonValue::Undefined;
    return QString(text).replace(u'+', u' ');
}

void checkWellFormedLink(const QString &begin, const QString &end)
{
    const auto twice = [](const QString &text) {
        return QString::fromLatin1(text.toUtf8().toPercentEncoding().toPercentEncoding());
    };
    const QJsonObject after = handled(
        QStringLiteral("trovanel://podparse/?begin=%1&end=%2").arg(twice(begin), twice(end)));
    FUZZ_CHECK(after.value(TNPodParseBegin) == expectedMarker(begin),
               "a well-formed begin marker was not stored as sent");
    FUZZ_CHECK(after.value(TNPodParseEnd) == expectedMarker(end),
               "a well-formed end marker was not stored as sent");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QString> text = Fuzz::text(data, size);
    if (!text)
        return 0;
    const QString &link = *text;

    const QJsonObject after = handled(link);
    if (changesSettings(after)) {
        // Letters of another case name another scheme and another host.
        const QUrl url(link);
        FUZZ_CHECK(link.startsWith(QLatin1String("trovanel://")) &&
                       link.contains(QLatin1String("podparse")) &&
                       (!url.isValid() || url.host() == QLatin1String("podparse")),
                   "a link of another scheme or host changed the markers");
        FUZZ_CHECK(link.contains(u'?'), "a link without a query changed the markers");
    }
    FUZZ_CHECK(handled(link) == after, "the same link twice gave other settings");

    const qsizetype newline = link.indexOf(u'\n');
    checkWellFormedLink(link.left(newline), newline < 0 ? QString() : link.mid(newline + 1));
    return 0;
}
