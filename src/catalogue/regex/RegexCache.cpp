#include "catalogue/regex/RegexCache.h"

#include <algorithm>
#include <functional>

namespace rx {

RegexCache::RegexCache(qsizetype capacity) : m_capacity(capacity)
{
    m_index.reserve(capacity);
}

RegexCache &RegexCache::shared()
{
    // Never destroyed, so that threads still running at exit find it intact.
    static RegexCache *cache = new RegexCache;
    return *cache;
}

CachedRegex *RegexCache::lookup(const QString &pattern, RegexOptions options, Error *error)
{
    CachedRegex::checkLength(pattern);
    // The very string an entry was made from is found without reading its text.
    auto hit = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto &entry) {
        const QString &key = entry->pattern();
        return entry->options() == options && key.isSharedWith(pattern) &&
               key.constData() == pattern.constData() && key.size() == pattern.size();
    });
    if (hit == m_entries.end()) {
        const auto indexed = m_index.constFind(Key(pattern, options.toInt()));
        if (indexed != m_index.cend())
            hit = indexed.value();
    }
    if (hit != m_entries.end()) {
        m_entries.splice(m_entries.begin(), m_entries, hit);
        return m_entries.front().get();
    }
    ++m_compilations;
    std::unique_ptr<CachedRegex> compiled = CachedRegex::compile(pattern, options, error);
    if (!compiled)
        return nullptr;
    if (static_cast<qsizetype>(m_entries.size()) >= m_capacity) {
        const CachedRegex &oldest = *m_entries.back();
        m_index.remove(Key(oldest.pattern(), oldest.options().toInt()));
        m_entries.pop_back();
    }
    m_entries.push_front(std::move(compiled));
    const CachedRegex &newest = *m_entries.front();
    m_index.insert(Key(newest.pattern(), newest.options().toInt()), m_entries.begin());
    return m_entries.front().get();
}

void RegexCache::clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_index.clear();
    m_entries.clear();
}

void RegexCache::detach(const QString &subject)
{
    static const UChar empty[] = {0};
    const auto *begin = reinterpret_cast<const UChar *>(subject.constData());
    const UChar *end = begin + subject.size();
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const std::unique_ptr<CachedRegex> &entry : m_entries) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = 0;
        const UChar *text = uregex_getText(entry->icu(), &length, &status);
        if (U_SUCCESS(status) && text && std::less_equal<>()(begin, text) &&
            std::less_equal<>()(text, end))
            uregex_setText(entry->icu(), empty, 0, &status);
    }
}

qsizetype RegexCache::compilations() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_compilations;
}

} // namespace rx
