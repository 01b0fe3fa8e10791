#pragma once

#include "catalogue/regex/CachedRegex.h"

#include <QHash>

#include <list>
#include <memory>
#include <mutex>

namespace rx {

// Compiled patterns keyed by pattern text and options, the least recently used
// evicted first. One lock guards the cache and every pattern in it.
class RegexCache
{
public:
    static constexpr qsizetype DefaultCapacity = 52;

    explicit RegexCache(qsizetype capacity = DefaultCapacity);
    RegexCache(const RegexCache &) = delete;
    RegexCache &operator=(const RegexCache &) = delete;

    // The cache every thread shares; it lives until the process ends.
    static RegexCache &shared();

    // Runs the body under the lock with the compiled pattern, or with null when the
    // pattern does not compile (the error then says why). The pattern is valid only
    // inside the body.
    template <typename Body>
    auto withRegex(const QString &pattern, RegexOptions options, Error *error, Body &&body)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return body(lookup(pattern, options, error));
    }

    // Closes every compiled pattern.
    void clear();

    // Sets every pattern that is set to the subject's text to an empty text instead.
    void detach(const QString &subject);

    // How many times a pattern was compiled since the cache was made.
    qsizetype compilations() const;

private:
    using Entries = std::list<std::unique_ptr<CachedRegex>>;
    using Key = std::pair<QString, quint32>;

    CachedRegex *lookup(const QString &pattern, RegexOptions options, Error *error);

    mutable std::mutex m_mutex;
    qsizetype m_capacity;
    qsizetype m_compilations = 0;
    // Most recently used first, each found through the index by its text and options.
    Entries m_entries;
    QHash<Key, Entries::iterator> m_index;
};

} // namespace rx
