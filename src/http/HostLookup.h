#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// Name lookups that a caller waits for only until its deadline. A lookup that outlives the
// deadline is abandoned: dropped if it has not begun, its answer thrown away if it has. At
// most MaxThreads lookups run at once, and callers asking for a name already being looked
// up share that lookup, so resolvers that never answer pile up neither threads nor memory.
class HostLookup
{
public:
    using Resolver = std::function<QList<QHostAddress>(const QString &host)>;
    using Deadline = std::chrono::steady_clock::time_point;

    static constexpr int MaxThreads = 4;

    // The addresses of host, or nullopt when the lookup did not end by the deadline.
    static std::optional<QList<QHostAddress>> addresses(const QString &host, Deadline deadline);

    // The system's resolver unless set; tests put one in its place.
    static void setResolver(Resolver resolver);
};
