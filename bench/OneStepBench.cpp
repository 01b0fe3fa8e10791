#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "fakes/services/FakeBetaSeries.h"
#include "fakes/services/FakeDownloadSite.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "fakes/services/FakePodnapisi.h"
#include "fakes/services/ZipArchiveBuilder.h"
#include "platform/UserDefaults.h"
#include "services/OSHashAlgorithm.h"
#include "services/TNKeychain.h"

#include "common/MainThreadLateness.h"
#include "common/RunEventsUntil.h"
#include "common/ShownController.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <optional>

namespace {

using Fakes::FakeBetaSeries;
using Fakes::FakeDownloadSite;
using Fakes::FakeOpenSubtitles;
using Fakes::FakePodnapisi;
using Fakes::ZipArchiveBuilder;

// A show title of letters alone, one per video, so that every search is its own.
QString title(int i)
{
    QString letters;
    for (int n = i + 26 * 26; n > 0; n /= 26)
        letters.prepend(QChar(u'a' + n % 26));
    letters[0] = letters[0].toUpper();
    return QStringLiteral("Show.") + letters;
}

QString episode(int i)
{
    return QStringLiteral("%1.S01E%2").arg(title(i)).arg(i % 20 + 1, 2, 10, QLatin1Char('0'));
}

// A subtitle of an episode's length, as the services send them.
QByteArray subtitleText(const QString &release)
{
    QByteArray text;
    for (int cue = 1; cue <= 600; ++cue)
        text += QByteArray::number(cue) + "\r\n00:01:02,345 --> 00:01:04,567\r\n" +
                release.toUtf8() + " line " + QByteArray::number(cue) + "\r\n\r\n";
    return text;
}

// The three services, each with one English subtitle for every video; the one whose release
// matches the video's turns from service to service.
struct Services
{
    FakeOpenSubtitles openSubtitles;
    FakePodnapisi podnapisi;
    FakeBetaSeries betaSeries;
    FakeDownloadSite betaSeriesFiles;

    void answer(int i, const QString &path)
    {
        const QString release = episode(i) + QStringLiteral(".720p.HDTV.x264-GRP");
        const auto releaseFor = [&](int service) {
            return i % 3 == service ? release : episode(i) + QStringLiteral(".WEB.x264-OTHER");
        };
        const QString id = QString::number(1000000 + i);
        const QString hash =
            OSHashAlgorithm::stringForHash(OSHashAlgorithm::hashForPath(path).hash);
        openSubtitles.addByHash(hash, {id, releaseFor(0) + QStringLiteral(".srt"),
                                       QStringLiteral("eng"), hash, title(i), std::nullopt,
                                       releaseFor(0), QStringLiteral("1234567")});
        openSubtitles.addDownload(id, subtitleText(releaseFor(0)));

        const QString pid = QStringLiteral("p") + id;
        podnapisi.addRecords(title(i).replace(u'.', u' '), QStringLiteral("2"),
                             {{id, pid, releaseFor(1), {}, QStringLiteral("/s/") + id}});
        podnapisi.addDownload(
            pid, ZipArchiveBuilder()
                     .addFile(releaseFor(1).toUtf8() + ".srt", subtitleText(releaseFor(1)))
                     .build());

        const QByteArray file = releaseFor(2).toUtf8() + ".zip";
        betaSeriesFiles.serveZip(
            QStringLiteral("/dl/") + file,
            ZipArchiveBuilder()
                .addFile(releaseFor(2).toUtf8() + ".en.srt", subtitleText(releaseFor(2)))
                .build());
        betaSeries.setSearchReply(
            QFileInfo(path).fileName(),
            FakeBetaSeries::subtitlesXml(
                "<subtitle><title>" + title(i).toUtf8() + "</title><season>1</season><episode>" +
                QByteArray::number(i % 20 + 1) + "</episode><language>VO</language><file>" + file +
                "</file><url>" + betaSeriesFiles.url(QStringLiteral("/dl/") + file).toEncoded() +
                "</url></subtitle>"));
    }

    void configure() const
    {
        const auto entry = [](const QString &key, const QString &user, const QUrl &url) {
            return QVariantMap{{QStringLiteral("Name"), key},
                               {QStringLiteral("UserName"), user},
                               {QStringLiteral("ServerEnabled"), true},
                               {QStringLiteral("URL"), url.toString()}};
        };
        UserDefaults::standard().setValue(
            QStringLiteral("servers"),
            QVariantList{
                entry(PodnapisiServiceKey, QString(), podnapisi.site()),
                entry(OpenSubtitlesServiceKey, QStringLiteral("alice"), openSubtitles.endpoint()),
                entry(BetaSeriesServiceKey, QStringLiteral("bob"), betaSeries.host())});
    }
};

// Sparse episodes of different sizes, so that each has its own movie hash.
QStringList makeLibrary(const QString &root, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/%2/Season 01/%3.720p.HDTV.x264-GRP.mkv")
                                 .arg(root, title(i), episode(i));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.resize(700LL * 1024 * 1024 + i * 4096LL);
        paths.append(path);
    }
    return paths;
}

int subtitlesWritten(const QString &root)
{
    int count = 0;
    for (QDirIterator it(root, {QStringLiteral("*.srt")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++count;
    return count;
}

// Import, search and download in one step through the real controller and window, against
// local stand-ins of the three services.
void BM_OneStep(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    qputenv("TROVANEL_KEYCHAIN", "memory");
    qputenv("TROVANEL_EXTRA_CA",
            QFile::encodeName(Fakes::FakeHttpServer::certificateAuthorityPath()));
    Services services;
    services.openSubtitles.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    services.betaSeries.addAccount(QStringLiteral("bob"), QStringLiteral("right"));
    TNKeychain *keychain = TNKeychain::defaultKeychain();
    keychain->addGenericPassword(
        QStringLiteral("secret"),
        TNKeychain::keychainNameForService(OpenSubtitlesServiceKey, QStringLiteral("alice")),
        QStringLiteral("alice"), true);
    keychain->addGenericPassword(
        QStringLiteral("right"),
        TNKeychain::keychainNameForService(BetaSeriesServiceKey, QStringLiteral("bob")),
        QStringLiteral("bob"), true);
    services.configure();
    for (const auto &[key, value] :
         {std::pair{"oneStep", QVariant(true)}, std::pair{"lang0", QVariant("en")},
          std::pair{"AlertIgnoredVideoFiles", QVariant(false)},
          std::pair{"AlertLoginErrors", QVariant(false)},
          std::pair{"DownloadDestination", QVariant(0)}})
        UserDefaults::standard().setValue(QString::fromLatin1(key), value);

    QTemporaryDir root;
    const QStringList paths = makeLibrary(root.path(), count);
    for (int i = 0; i < count; ++i)
        services.answer(i, paths.at(i));

    double searchSeconds = 0;
    double downloadSeconds = 0;
    std::array<qint64, 3> worstLateness{};
    int written = 0;
    for (auto _ : state) {
        TNLastActionResult::defaultActionResult() = TNLastActionResult();
        ShownController shown;
        TNController &controller = shown.controller;

        QElapsedTimer clock;
        clock.start();
        qint64 searchStart = -1;
        qint64 downloadStart = -1;
        qint64 end = -1;
        // A measure per phase, each ended when the next is seen to start.
        std::size_t phase = 0;
        std::optional<MainThreadLateness> lateness(std::in_place);
        const auto nextPhase = [&] {
            worstLateness[phase++] = lateness->worstMs();
            lateness.emplace();
        };
        QTimer phases;
        phases.setTimerType(Qt::PreciseTimer);
        QObject::connect(&phases, &QTimer::timeout, [&] {
            const quint64 action = TNLastActionResult::defaultActionResult().lastAction();
            if (searchStart < 0 && action == TNLastActionResult::SearchAction) {
                searchStart = clock.elapsed();
                nextPhase();
            }
            if (downloadStart < 0 && action == TNLastActionResult::DownloadAction) {
                downloadStart = clock.elapsed();
                nextPhase();
            }
            if (downloadStart >= 0 && !controller.progressSheet()->isVisible()) {
                end = clock.elapsed();
                phases.stop();
            }
        });
        phases.start(1);
        controller.applicationOpenFiles({root.path()});
        runEventsUntil([&end] { return end >= 0; });
        worstLateness[phase] = lateness->worstMs();
        if (end < 0 || searchStart < 0) {
            state.SkipWithError("the one step did not end with downloads");
            break;
        }
        state.SetIterationTime(double(end) / 1000);
        searchSeconds = double(downloadStart - searchStart) / 1000;
        downloadSeconds = double(end - downloadStart) / 1000;
        written = subtitlesWritten(root.path());
    }
    state.counters["search_s"] = searchSeconds;
    state.counters["download_s"] = downloadSeconds;
    state.counters["late_ms"] = double(std::ranges::max(worstLateness));
    state.counters["import_late_ms"] = double(worstLateness[0]);
    state.counters["search_late_ms"] = double(worstLateness[1]);
    state.counters["download_late_ms"] = double(worstLateness[2]);
    state.counters["subtitles_written"] = written;
}
BENCHMARK(BM_OneStep)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
