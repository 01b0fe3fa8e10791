#include "app/controller/SearchResultQueue.h"

#include "platform/MainThread.h"

#include <QElapsedTimer>
#include <QPointer>

SearchResultQueue::SearchResultQueue(const TNVideoFileParser &parser, Catalogue catalogue,
                                     QObject *parent)
    : QObject(parent), m_parser(std::make_shared<const TNVideoFileParser>(parser)),
      m_catalogue(std::move(catalogue))
{
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &SearchResultQueue::handOverSlice);
}

SearchResultQueue::~SearchResultQueue()
{
    m_stopping->store(true);
}

bool SearchResultQueue::needsReading(const TNRemoteSubtitle &record)
{
    return !record.subFileName.isEmpty() && (!record.season || !record.episode || !record.year);
}

QList<ParserResult> SearchResultQueue::readNames(const TNVideoFileParser &parser,
                                                 const QList<TNRemoteSubtitle> &records,
                                                 qsizetype first, qsizetype end,
                                                 const std::atomic<bool> *stopping)
{
    QList<ParserResult> names(end - first);
    for (qsizetype i = first; i < end; ++i) {
        if (stopping && stopping->load(std::memory_order_relaxed))
            break;
        if (needsReading(records.at(i)))
            names[i - first] = parser.parseFile(records.at(i).subFileName);
    }
    return names;
}

void SearchResultQueue::append(SearchReply reply)
{
    Q_ASSERT(MainThread::isCurrent());
    const qsizetype size = reply.records.size();
    if (size == 0)
        return;
    if (m_waiting.empty() && size <= InlineLimit) {
        m_catalogue(reply, 0, readNames(*m_parser, reply.records, 0, size, nullptr), true);
        return;
    }
    const quint64 serial = m_nextSerial++;
    const QList<TNRemoteSubtitle> records = reply.records;
    m_waiting.push_back(Waiting{serial, std::move(reply), 0, {}});
    for (qsizetype first = 0; first < size; first += SliceSize) {
        m_reader.start([parser = m_parser, stopping = m_stopping, records,
                        self = QPointer<SearchResultQueue>(this), serial, first,
                        end = std::min(first + SliceSize, size)] {
            if (stopping->load())
                return;
            QList<ParserResult> names = readNames(*parser, records, first, end, stopping.get());
            MainThread::post([self, serial, names = std::move(names)]() mutable {
                if (self)
                    self->sliceRead(serial, std::move(names));
            });
        });
    }
}

void SearchResultQueue::sliceRead(quint64 serial, QList<ParserResult> names)
{
    // Serials wait in order and without gaps, so the reply is found by its distance from the
    // first.
    if (m_waiting.empty() || serial < m_waiting.front().serial)
        return;
    const quint64 at = serial - m_waiting.front().serial;
    if (at >= m_waiting.size())
        return;
    m_waiting[at].read.push_back(std::move(names));
    if (!m_waiting.front().read.empty())
        m_turn.start();
}

void SearchResultQueue::handOverSlice()
{
    if (m_waiting.empty() || m_waiting.front().read.empty())
        return;
    // Steps of one or several replies go in together until the turn's budget is spent, so
    // that many small replies do not each cost the window a layout and a repaint.
    QElapsedTimer turn;
    turn.start();
    qsizetype handed = 0;
    while (handed < TurnLimit && !turn.hasExpired(TurnBudgetMs) && !m_waiting.empty() &&
           !m_waiting.front().read.empty()) {
        Waiting &head = m_waiting.front();
        const QList<ParserResult> &slice = head.read.front();
        const QList<ParserResult> names = slice.mid(head.readOffset, StepSize);
        head.readOffset += names.size();
        if (head.readOffset == slice.size()) {
            head.read.pop_front();
            head.readOffset = 0;
        }
        const qsizetype first = head.handedOver;
        head.handedOver += names.size();
        handed += names.size();
        const bool last = head.handedOver == head.reply.records.size();
        m_catalogue(head.reply, first, names, last);
        if (last)
            m_waiting.pop_front();
    }
    if (m_waiting.empty())
        Q_EMIT drained();
    else if (!m_waiting.front().read.empty())
        m_turn.start();
}
