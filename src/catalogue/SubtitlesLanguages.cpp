#include "catalogue/SubtitlesLanguages.h"

#include "catalogue/ServiceKeys.h"

#include <QLocale>

#include <algorithm>

namespace {

struct LanguageRow
{
    const char *code;
    const char *openSubtitles;
    const char *podnapisi;
};

// "tk" is the application's code for Ukrainian.
constexpr LanguageRow Rows[] = {
    {"en", "eng", "2"},       {"es", "spa", "28"}, {"da", "dan", "24"}, {"de", "ger", "5"},
    {"fi", "fin", "31"},      {"pt", "por", "32"}, {"it", "ita", "9"},  {"pt-BR", "pob", "48"},
    {"zh-Hans", "chi", "17"}, {"fr", "fre", "8"},  {"bs", "bos", "10"}, {"bg", "bul", "33"},
    {"hr", "hrv", "38"},      {"cs", "cze", "7"},  {"et", "est", "20"}, {"el", "ell", "16"},
    {"is", "ice", "6"},       {"lv", "lav", "21"}, {"lt", "lit", "19"}, {"mk", "mac", "35"},
    {"no", "nor", "3"},       {"pl", "pol", "26"}, {"ro", "rum", "13"}, {"ru", "rus", "27"},
    {"sr", "scc", "36"},      {"sk", "slo", "37"}, {"sl", "slv", "1"},  {"sv", "swe", "25"},
    {"tr", "tur", "30"},      {"tk", "ukr", "46"}, {"nl", "dut", "23"}, {"ar", "ara", "12"},
    {"he", "heb", "22"},
};

QStringList translated(const QStringList &codes, const QHash<QString, QString> &table)
{
    QStringList result;
    for (const QString &code : codes) {
        const auto found = table.constFind(code);
        if (found != table.cend())
            result.append(*found);
    }
    return result;
}

QStringList systemPreferredLanguages()
{
    return QLocale::system().uiLanguages();
}

} // namespace

SubtitlesLanguages &SubtitlesLanguages::sharedInstance()
{
    static SubtitlesLanguages shared;
    return shared;
}

SubtitlesLanguages::SubtitlesLanguages(PreferredLanguages preferredLanguages)
{
    for (const LanguageRow &row : Rows) {
        const QString code = QString::fromLatin1(row.code);
        const QString os = QString::fromLatin1(row.openSubtitles);
        const QString pod = QString::fromLatin1(row.podnapisi);
        m_codes.append(code);
        m_toOS.insert(code, os);
        m_toPod.insert(code, pod);
        m_fromOS.insert(os, code);
        m_fromPod.insert(pod, code);
    }
    std::sort(m_codes.begin(), m_codes.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    setPreferredLanguages(std::move(preferredLanguages));
}

void SubtitlesLanguages::setPreferredLanguages(PreferredLanguages preferredLanguages)
{
    m_preferredLanguages = preferredLanguages ? std::move(preferredLanguages)
                                              : PreferredLanguages(systemPreferredLanguages);
}

bool SubtitlesLanguages::isLangSupported(const QString &text) const
{
    return m_toOS.contains(text.toLower());
}

QStringList SubtitlesLanguages::supportedLanguages() const
{
    return m_codes;
}

QStringList SubtitlesLanguages::translateToOSLanguages(const QStringList &codes) const
{
    return translated(codes, m_toOS);
}

QStringList SubtitlesLanguages::translateToPodLanguages(const QStringList &codes) const
{
    return translated(codes, m_toPod);
}

QString SubtitlesLanguages::translateFromOSLanguage(const QString &code) const
{
    return m_fromOS.value(code);
}

QString SubtitlesLanguages::translateFromPodLanguage(const QString &id) const
{
    return m_fromPod.value(id);
}

QString SubtitlesLanguages::translate(const QString &code, const QString &serviceKey) const
{
    if (serviceKey.compare(OpenSubtitlesServiceKey, Qt::CaseInsensitive) == 0)
        return translateFromOSLanguage(code);
    if (serviceKey.compare(PodnapisiServiceKey, Qt::CaseInsensitive) == 0)
        return translateFromPodLanguage(code);
    if (serviceKey.compare(BetaSeriesServiceKey, Qt::CaseInsensitive) == 0)
        return code;
    return QString();
}

QString SubtitlesLanguages::tryFindFirstLocalLangSupported() const
{
    // The lower-cased spelling is the key itself; the system's own spelling ("DE") would
    // fail every later exact lookup.
    for (const QString &language : m_preferredLanguages()) {
        if (isLangSupported(language))
            return language.toLower();
    }
    return QString();
}
