#include "http/HostLookup.h"

#include <QHash>
#include <QHostInfo>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// A lookup thread with nothing to do for this long ends.
constexpr std::chrono::seconds IdleTime{10};

struct Lookup
{
    QString host;
    int waiters = 0;
    bool started = false;
    bool done = false;
    QList<QHostAddress> addresses;
};

struct Lookups
{
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable answered;
    std::deque<std::shared_ptr<Lookup>> queue;
    // Every lookup queued or running, by host.
    QHash<QString, std::shared_ptr<Lookup>> pending;
    int threads = 0;
    int idleThreads = 0;
    HostLookup::Resolver resolver;
};

// Never destroyed: a thread stuck in a lookup may still hold it when the program ends.
Lookups &lookups()
{
    static auto *state = new Lookups;
    return *state;
}

QList<QHostAddress> systemResolver(const QString &host)
{
    return QHostInfo::fromName(host).addresses();
}

void runLookups()
{
    Lookups &state = lookups();
    std::unique_lock lock(state.mutex);
    for (;;) {
        ++state.idleThreads;
        const bool hasWork =
            state.work.wait_for(lock, IdleTime, [&] { return !state.queue.empty(); });
        --state.idleThreads;
        if (!hasWork) {
            --state.threads;
            return;
        }
        const std::shared_ptr<Lookup> lookup = std::move(state.queue.front());
        state.queue.pop_front();
        lookup->started = true;
        const HostLookup::Resolver resolve = state.resolver ? state.resolver : systemResolver;
        lock.unlock();
        QList<QHostAddress> addresses = resolve(lookup->host);
        lock.lock();
        lookup->addresses = std::move(addresses);
        lookup->done = true;
        state.pending.remove(lookup->host);
        state.answered.notify_all();
    }
}

} // namespace

std::optional<QList<QHostAddress>> HostLookup::addresses(const QString &host, Deadline deadline)
{
    Lookups &state = lookups();
    std::unique_lock lock(state.mutex);
    std::shared_ptr<Lookup> &entry = state.pending[host];
    if (!entry) {
        entry = std::make_shared<Lookup>();
        entry->host = host;
        state.queue.push_back(entry);
        if (state.idleThreads >= qsizetype(state.queue.size()) || state.threads >= MaxThreads) {
            state.work.notify_one();
        } else {
            ++state.threads;
            std::thread(runLookups).detach();
        }
    }
    const std::shared_ptr<Lookup> lookup = entry;
    ++lookup->waiters;
    const bool done = state.answered.wait_until(lock, deadline, [&] { return lookup->done; });
    --lookup->waiters;
    if (done)
        return lookup->addresses;
    if (lookup->waiters == 0 && !lookup->started) {
        std::erase(state.queue, lookup);
        state.pending.remove(host);
    }
    return std::nullopt;
}

void HostLookup::setResolver(Resolver resolver)
{
    std::lock_guard lock(lookups().mutex);
    lookups().resolver = std::move(resolver);
}
