#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The subtitle languages the application supports, by its own codes, and their codes at the
// services: OpenSubtitles' three-letter codes and Podnapisi's numeric ids (kept as text).
// The tables never change after construction.
class SubtitlesLanguages final
{
public:
    using PreferredLanguages = std::function<QStringList()>;

    static SubtitlesLanguages &sharedInstance();

    // The preferred languages default to the system's, most preferred first.
    explicit SubtitlesLanguages(PreferredLanguages preferredLanguages = {});

    // Tests put their own list of the system's preferred languages in place.
    void setPreferredLanguages(PreferredLanguages preferredLanguages);

    // Looks up the lower-cased text, so "EN" is supported and "pt-BR" never is.
    bool isLangSupported(const QString &text) const;
    // Every code, sorted without regard to case.
    QStringList supportedLanguages() const;

    // Codes without a row are skipped; the lookup is exact.
    QStringList translateToOSLanguages(const QStringList &codes) const;
    QStringList translateToPodLanguages(const QStringList &codes) const;
    // The application code of the exact service code, else a null string.
    QString translateFromOSLanguage(const QString &code) const;
    QString translateFromPodLanguage(const QString &id) const;
    // By the service key, compared without regard to case: OpenSubtitles and Podnapisi codes
    // are translated, BetaSeries codes already are ours, and any other service gives null.
    QString translate(const QString &code, const QString &serviceKey) const;

    // The application code of the first supported preferred language of the system, else a
    // null string. The code is the table's own, however the system spells it.
    QString tryFindFirstLocalLangSupported() const;

private:
    QStringList m_codes;
    QHash<QString, QString> m_toOS;
    QHash<QString, QString> m_toPod;
    QHash<QString, QString> m_fromOS;
    QHash<QString, QString> m_fromPod;
    PreferredLanguages m_preferredLanguages;
};
