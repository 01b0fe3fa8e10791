#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNOutlineView.h"
#include "catalogue/TNModelController.h"

#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

namespace {

// A list as a long session leaves it: every video expanded with all its candidates, in
// every status, from each service and in several languages.
void fill(TNModelController &catalogue, int videos, int candidates)
{
    const QStringList languages{"en", "fr", "de", "es", "pt-BR", "sl", "tk", "zh-Hans"};
    const QStringList services{"opensubtitles.org", "podnapisi.net", "betaseries.com"};
    const QList<qint32> statuses{0, 1, 2, 3, 4, 5, 7};
    for (int v = 0; v < videos; ++v) {
        VideoFile *video = catalogue.insertVideoFile(
            QStringLiteral("/media/tv/Show.%1.S01E%2.720p.mkv").arg(v).arg(v % 24 + 1));
        video->setName(QStringLiteral("show number %1").arg(v));
        video->setSeason(1);
        video->setEpisode(v % 24 + 1);
        for (int c = 0; c < candidates; ++c) {
            Subtitle *subtitle = catalogue.insertSubtitle();
            subtitle->setFileName(
                QStringLiteral("Show.%1.S01E%2.HDTV.XviD-GROUP.%3.srt").arg(v).arg(c).arg(c));
            subtitle->setLanguage(languages.at(c % languages.size()));
            subtitle->setService(services.at(c % services.size()));
            subtitle->setStatus(statuses.at(c % statuses.size()));
            subtitle->setParent(video);
        }
    }
}

// One frame of scrolling: the list moves by a few rows and paints what is visible.
void BM_ScrollAndPaintVisibleRows(benchmark::State &state)
{
    TNModelController catalogue;
    fill(catalogue, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CatalogueTreeModel model(catalogue);
    TNOutlineView view;
    view.setModel(&model);
    view.resize(900, 700);
    view.expandAll();
    view.show();
    QScrollBar *scrollBar = view.verticalScrollBar();
    // Lays out every row once, as the first scroll to the end does.
    scrollBar->setValue(scrollBar->maximum());
    QImage frame(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const int step = 97;
    int position = 0;
    for (auto _ : state) {
        position = (position + step) % std::max(scrollBar->maximum(), 1);
        scrollBar->setValue(position);
        QPainter painter(&frame);
        view.viewport()->render(&painter);
    }
    state.counters["rows"] =
        static_cast<double>(catalogue.countVideoFiles() + catalogue.countSubtitles());
}
BENCHMARK(BM_ScrollAndPaintVisibleRows)->Args({5000, 20})->Unit(benchmark::kMillisecond);

// Opening every video at once: the list measures each row before it can scroll to the end.
void BM_ExpandEveryVideo(benchmark::State &state)
{
    TNModelController catalogue;
    fill(catalogue, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CatalogueTreeModel model(catalogue);
    TNOutlineView view;
    view.setModel(&model);
    view.resize(900, 700);
    view.show();
    for (auto _ : state) {
        view.collapseAll();
        view.expandAll();
        // Asking for a row runs the layout the expansion put off.
        benchmark::DoNotOptimize(view.indexAt(QPoint(1, 1)));
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        benchmark::DoNotOptimize(view.indexAt(QPoint(1, 1)));
    }
}
BENCHMARK(BM_ExpandEveryVideo)->Args({5000, 20})->Unit(benchmark::kMillisecond);

} // namespace
