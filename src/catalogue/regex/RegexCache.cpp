#include "catalogue/regex/RegexCache.h"

#include <algorithm>

namespace rx {

RegexCache::RegexCache(qsizetype capacity) : m_capacity(capacity)
{
    m_entries.reserve(static_cast<size_t>(capacity));
}

RegexCache &RegexCache::shared()
{
    // Never destroyed, so that threads still running at exit find it intact.
    static RegexCache *cache = new RegexCache;
    return *cache;
}

CachedRegex *RegexCache::lookup(const QString &pattern, RegexOptions options, Error *error)
{
    const auto hit = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto &entry) {
        return entry->options() == options && entry->pattern() == pattern;
    });
    if (hit != m_entries.end()) {
        std::rotate(m_entries.begin(), hit, hit + 1);
        return m_entries.front().get();
    }
    ++m_compilations;
    std::unique_ptr<CachedRegex> compiled = CachedRegex::compile(pattern, options, error);
    if (!compiled)
        return nullptr;
    if (static_cast<qsizetype>(m_entries.size()) >= m_capacity)
        m_entries.pop_back();
    m_entries.insert(m_entries.begin(), std::move(compiled));
    return m_entries.front().get();
}

void RegexCache::clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_entries.clear();
}

qsizetype RegexCache::compilations() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_compilations;
}

} // namespace rx
