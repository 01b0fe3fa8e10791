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
    struct Entry
    {
        std::unique_ptr<CachedRegex> regex;
        // The text of the caller that last found this entry, which may be text the
        // caller only lends (a literal, raw data): the same text is then found again by
        // its address without hashing it.
        const QChar *callerText = nullptr;
    };
    using Entries = std::list<Entry>;
    using Key = std::pair<QString, quint32>;
    // Where a caller's text lies, how long it is, and the options.
    using Address = std::pair<const QChar *, std::pair<qsizetype, quint32>>;

    CachedRegex *lookup(const QString &pattern, RegexOptions options, Error *error);
    // Moves the entry to the front, found from now on by the caller's text too.
    CachedRegex *use(Entries::iterator entry, const QString &pattern);
    void forgetCaller(Entries::iterator entry);
    static Address addressOf(const QChar *text, qsizetype size, RegexOptions options);

    mutable std::mutex m_mutex;
    qsizetype m_capacity;
    qsizetype m_compilations = 0;
    // Most recently used first, each found through the index by its text and options,
    // or through the addresses by the caller's text that last found it.
    Entries m_entries;
    QHash<Key, Entries::iterator> m_index;
    QHash<Address, Entries::iterator> m_addresses;
};

} // namespace rx
