#include "catalogue/SubtitlesLanguages.h"
#include "catalogue/ServiceKeys.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

// code/OpenSubtitles/Podnapisi, as the services name them.
const QStringList Rows = {
    "en/eng/2",  "es/spa/28",    "da/dan/24",      "de/ger/5",  "fi/fin/31", "pt/por/32",
    "it/ita/9",  "pt-BR/pob/48", "zh-Hans/chi/17", "fr/fre/8",  "bs/bos/10", "bg/bul/33",
    "hr/hrv/38", "cs/cze/7",     "et/est/20",      "el/ell/16", "is/ice/6",  "lv/lav/21",
    "lt/lit/19", "mk/mac/35",    "no/nor/3",       "pl/pol/26", "ro/rum/13", "ru/rus/27",
    "sr/scc/36", "sk/slo/37",    "sl/slv/1",       "sv/swe/25", "tr/tur/30", "tk/ukr/46",
    "nl/dut/23", "ar/ara/12",    "he/heb/22",
};

SubtitlesLanguages withPreferred(QStringList preferred)
{
    return SubtitlesLanguages([preferred] { return preferred; });
}

} // namespace

TEST(SubtitlesLanguages, EveryRowTranslatesBothWaysForEveryService)
{
    const SubtitlesLanguages languages;
    ASSERT_EQ(Rows.size(), 33);
    QStringList codes;
    for (const QString &row : Rows) {
        const QStringList fields = row.split('/');
        const QString &code = fields.at(0), &os = fields.at(1), &pod = fields.at(2);
        codes.append(code);
        EXPECT_EQ(languages.translateToOSLanguages({code}), QStringList{os});
        EXPECT_EQ(languages.translateToPodLanguages({code}), QStringList{pod});
        EXPECT_EQ(languages.translateFromOSLanguage(os), code);
        EXPECT_EQ(languages.translateFromPodLanguage(pod), code);
        EXPECT_EQ(languages.translate(os, OpenSubtitlesServiceKey), code);
        EXPECT_EQ(languages.translate(pod, PodnapisiServiceKey), code);
        EXPECT_EQ(languages.translate(code, BetaSeriesServiceKey), code);
        EXPECT_TRUE(languages.translate(os, SubDBServiceKey).isNull());
    }
    const QStringList supported = languages.supportedLanguages();
    EXPECT_EQ(QSet<QString>(codes.begin(), codes.end()),
              QSet<QString>(supported.begin(), supported.end()));
    EXPECT_EQ(supported.size(), 33);
}

TEST(SubtitlesLanguages, SupportedLanguagesAreSortedWithoutRegardToCase)
{
    EXPECT_EQ(
        SubtitlesLanguages().supportedLanguages(),
        (QStringList{"ar", "bg",    "bs", "cs", "da", "de", "el", "en", "es", "et", "fi",
                     "fr", "he",    "hr", "is", "it", "lt", "lv", "mk", "nl", "no", "pl",
                     "pt", "pt-BR", "ro", "ru", "sk", "sl", "sr", "sv", "tk", "tr", "zh-Hans"}));
}

TEST(SubtitlesLanguages, SupportLooksUpTheLowerCasedText)
{
    const SubtitlesLanguages languages;
    EXPECT_TRUE(languages.isLangSupported("EN"));
    EXPECT_TRUE(languages.isLangSupported("tk"));
    EXPECT_FALSE(languages.isLangSupported("uk"));
    EXPECT_FALSE(languages.isLangSupported("pt-BR"));
    EXPECT_FALSE(languages.isLangSupported("zh-Hans"));
    EXPECT_FALSE(languages.isLangSupported("en-US"));
    EXPECT_FALSE(languages.isLangSupported(QString()));
}

TEST(SubtitlesLanguages, TranslationsAreExactAndSkipUnknownCodes)
{
    const SubtitlesLanguages languages;
    EXPECT_EQ(languages.translateToOSLanguages({"pt-BR", "xx", "de"}), (QStringList{"pob", "ger"}));
    EXPECT_EQ(languages.translateToOSLanguages({"EN", "pt-br", ""}), QStringList());
    EXPECT_EQ(languages.translateToPodLanguages({"da"}), QStringList{"24"});
    EXPECT_EQ(languages.translateFromPodLanguage("24"), "da");
    EXPECT_TRUE(languages.translateFromOSLanguage("ENG").isNull());
    EXPECT_TRUE(languages.translateFromPodLanguage("024").isNull());
    EXPECT_TRUE(languages.translateFromOSLanguage(QString()).isNull());
}

TEST(SubtitlesLanguages, ServiceKeyIsComparedWithoutRegardToCase)
{
    const SubtitlesLanguages languages;
    EXPECT_EQ(languages.translate("eng", OpenSubtitlesServiceKey.toUpper()), "en");
    EXPECT_EQ(languages.translate("8", PodnapisiServiceKey.toUpper()), "fr");
    EXPECT_EQ(languages.translate("whatever", BetaSeriesServiceKey), "whatever");
    EXPECT_TRUE(languages.translate("eng", SubDBServiceKey).isNull());
    EXPECT_TRUE(languages.translate("eng", QString()).isNull());
    EXPECT_TRUE(languages.translate("xyz", OpenSubtitlesServiceKey).isNull());
}

TEST(SubtitlesLanguages, FirstSupportedPreferredLanguageIsTheTablesCode)
{
    EXPECT_EQ(withPreferred({"en-US", "fr"}).tryFindFirstLocalLangSupported(), "fr");
    EXPECT_EQ(withPreferred({"de-DE", "de-Latn-DE", "de"}).tryFindFirstLocalLangSupported(), "de");
    // The system's spelling would fail every later exact lookup; the table's code does not.
    const SubtitlesLanguages upper = withPreferred({"FR", "en"});
    EXPECT_EQ(upper.tryFindFirstLocalLangSupported(), "fr");
    EXPECT_EQ(upper.translateToOSLanguages({upper.tryFindFirstLocalLangSupported()}),
              QStringList{"fre"});
    EXPECT_TRUE(withPreferred({"C"}).tryFindFirstLocalLangSupported().isNull());
    EXPECT_TRUE(withPreferred({}).tryFindFirstLocalLangSupported().isNull());
    EXPECT_TRUE(withPreferred({"pt-BR", "zh-Hans"}).tryFindFirstLocalLangSupported().isNull());
}

TEST(SubtitlesLanguages, SharedInstanceTakesInjectedPreferences)
{
    SubtitlesLanguages &shared = SubtitlesLanguages::sharedInstance();
    EXPECT_EQ(&shared, &SubtitlesLanguages::sharedInstance());
    shared.setPreferredLanguages([] { return QStringList{"xx", "Sv"}; });
    EXPECT_EQ(shared.tryFindFirstLocalLangSupported(), "sv");
}
