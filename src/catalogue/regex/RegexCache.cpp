#include "catalogue/regex/RegexCache.h"

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

RegexCache::Address RegexCache::addressOf(const QChar *text, qsizetype size, RegexOptions options)
{
    return Address(text, std::pair(size, quint32(options.toInt())));
}

CachedRegex *RegexCache::lookup(const QString &pattern, RegexOptions options, Error *error)
{
    CachedRegex::checkLength(pattern);
    const auto known =
        m_addresses.constFind(addressOf(pattern.constData(), pattern.size(), options));
    if (known != m_addresses.cend()) {
        // Text shared with the entry cannot have changed; lent text is compared, since
        // its owner may have rewritten it in place.
        const QString &text = known.value()->regex->pattern();
        if (text.isSharedWith(pattern) || QStringView(text) == QStringView(pattern))
            return use(known.value(), pattern);
    }
    const auto indexed = m_index.constFind(Key(pattern, options.toInt()));
    if (indexed != m_index.cend())
        return use(indexed.value(), pattern);
    ++m_compilations;
    std::unique_ptr<CachedRegex> compiled = CachedRegex::compile(pattern, options, error);
    if (!compiled)
        return nullptr;
    if (static_cast<qsizetype>(m_entries.size()) >= m_capacity) {
        const Entries::iterator oldest = std::prev(m_entries.end());
        forgetCaller(oldest);
        m_index.remove(Key(oldest->regex->pattern(), oldest->regex->options().toInt()));
        m_entries.pop_back();
    }
    m_entries.push_front(Entry{std::move(compiled)});
    const CachedRegex &newest = *m_entries.front().regex;
    m_index.insert(Key(newest.pattern(), newest.options().toInt()), m_entries.begin());
    return use(m_entries.begin(), pattern);
}

CachedRegex *RegexCache::use(Entries::iterator entry, const QString &pattern)
{
    m_entries.splice(m_entries.begin(), m_entries, entry);
    if (entry->callerText != pattern.constData()) {
        forgetCaller(entry);
        entry->callerText = pattern.constData();
        m_addresses.insert(addressOf(entry->callerText, pattern.size(), entry->regex->options()),
                           entry);
    }
    return entry->regex.get();
}

void RegexCache::forgetCaller(Entries::iterator entry)
{
    const auto known = m_addresses.constFind(
        addressOf(entry->callerText, entry->regex->pattern().size(), entry->regex->options()));
    if (known != m_addresses.cend() && known.value() == entry)
        m_addresses.erase(known);
}

void RegexCache::clear()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_addresses.clear();
    m_index.clear();
    m_entries.clear();
}

void RegexCache::detach(const QString &subject)
{
    static const UChar empty[] = {0};
    const auto *begin = reinterpret_cast<const UChar *>(subject.constData());
    const UChar *end = begin + subject.size();
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const Entry &entry : m_entries) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = 0;
        const UChar *text = uregex_getText(entry.regex->icu(), &length, &status);
        if (U_SUCCESS(status) && text && std::less_equal<>()(begin, text) &&
            std::less_equal<>()(text, end)) {
            uregex_setText(entry.regex->icu(), empty, 0, &status);
            entry.regex->keepText(QString());
        }
    }
}

qsizetype RegexCache::compilations() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_compilations;
}

} // namespace rx
