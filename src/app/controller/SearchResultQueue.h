#pragma once

#include "catalogue/TNVideoFileParser.h"
#include "platform/WorkerPool.h"
#include "services/TNRemoteSubtitle.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

// One search reply as its operation delivered it.
struct SearchReply
{
    QList<TNRemoteSubtitle> records;
    // The services logged in when the reply arrived.
    QSet<QString> loggedIn;
};

// Search replies waiting to be catalogued, handed over in the order they arrived, each
// record with what its file name says. A small reply that nothing waits before is handed
// over at once, whole. Any other goes a slice per turn of the event loop, the names of each
// slice read beforehand on a worker thread, so that the window answers while a reply of
// tens of thousands of records goes in. Main thread only.
class SearchResultQueue final : public QObject
{
    Q_OBJECT

public:
    // A reply up to this size that nothing waits before goes in at once, names read here.
    static constexpr qsizetype InlineLimit = 500;
    // Records read on the worker per slice. A turn hands records over a step at a time until
    // about TurnBudgetMs has gone or TurnLimit records are in: short enough that no user
    // notices, however costly the records, and long enough that the window is not repainted
    // after every few.
    static constexpr qsizetype SliceSize = 1000;
    static constexpr qsizetype StepSize = 100;
    static constexpr qsizetype TurnLimit = 5000;
    static constexpr qint64 TurnBudgetMs = 20;

    // Hands over records [first, first + names.size()) of reply; names[i] is the reading of
    // record first + i, made only when that record needs one. last says that the reply ends
    // with this slice.
    using Catalogue = std::function<void(const SearchReply &reply, qsizetype first,
                                         const QList<ParserResult> &names, bool last)>;

    SearchResultQueue(const TNVideoFileParser &parser, Catalogue catalogue,
                      QObject *parent = nullptr);
    // Reads no further names; waits for the record being read.
    ~SearchResultQueue() override;

    void append(SearchReply reply);
    bool isEmpty() const { return m_waiting.empty(); }

Q_SIGNALS:
    // The last waiting record has been handed over.
    void drained();

private:
    struct Waiting
    {
        quint64 serial = 0;
        SearchReply reply;
        qsizetype handedOver = 0;
        // Slices read and not yet handed over, in order; the first from readOffset on.
        std::deque<QList<ParserResult>> read;
        qsizetype readOffset = 0;
    };

    // A file name is read only to fill in what the service left out.
    static bool needsReading(const TNRemoteSubtitle &record);
    static QList<ParserResult> readNames(const TNVideoFileParser &parser,
                                         const QList<TNRemoteSubtitle> &records, qsizetype first,
                                         qsizetype end, const std::atomic<bool> *stopping);
    void sliceRead(quint64 serial, QList<ParserResult> names);
    void handOverSlice();

    const std::shared_ptr<const TNVideoFileParser> m_parser;
    const Catalogue m_catalogue;
    std::deque<Waiting> m_waiting;
    quint64 m_nextSerial = 0;
    QTimer m_turn;
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);
    // One thread: the patterns a reading uses are taken one caller at a time anyway.
    WorkerPool m_reader;
};
