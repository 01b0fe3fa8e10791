#include "app/preferences/ValueTransformers.h"
#include "app/preferences/LanguagesTableModel.h"

#include "app/list/LanguageFlags.h"

#include "catalogue/ServiceKeys.h"
#include "platform/MemoryKeychain.h"
#include "services/TNKeychain.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(LanguageNameTransform, NamesEachLanguageInItselfCapitalised)
{
    using ValueTransformers::languageNameTransform;
    EXPECT_EQ(languageNameTransform(QStringLiteral("de")), QStringLiteral("Deutsch"));
    EXPECT_EQ(languageNameTransform(QStringLiteral("fr")), QStringLiteral("Français"));
    // Every word starts upper case and goes on lower case.
    EXPECT_EQ(languageNameTransform(QStringLiteral("pt-BR")), QStringLiteral("Português (brasil)"));
    EXPECT_EQ(languageNameTransform(QStringLiteral("zh-Hans")), QStringLiteral("中文（简体）"));
    // "tk" stands for Ukrainian here, not Turkmen.
    EXPECT_EQ(languageNameTransform(QStringLiteral("tk")), QStringLiteral("Українська"));
    EXPECT_TRUE(languageNameTransform(QString()).isNull());
}

TEST(CountryImageTransform, FlagsAreDrawnSharpAtTheScreensPixelRatio)
{
    const QPixmap small = ValueTransformers::countryImageTransformSmall(QStringLiteral("fr"));
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.deviceIndependentSize(), QSizeF(16, 12));
    EXPECT_EQ(
        ValueTransformers::countryImageTransform(QStringLiteral("fr")).deviceIndependentSize(),
        QSizeF(48, 36));
    EXPECT_TRUE(ValueTransformers::countryImageTransform(QStringLiteral("xx")).isNull());
    EXPECT_TRUE(ValueTransformers::countryImageTransformSmall(QString()).isNull());

    // Black, red and gold stripes: down the middle of a flag drawn for a screen of ratio 2,
    // every pixel inside the edge is one of the three, or a single blend where two meet.
    const QImage german = LanguageFlags::flagForLanguage(QStringLiteral("de"), 48, 2).toImage();
    ASSERT_EQ(german.size(), QSize(96, 72));
    const QList<QRgb> stripes{qRgb(0, 0, 0), qRgb(0xff, 0, 0), qRgb(0xff, 0xe6, 0)};
    int blended = 0;
    for (int y = 1; y < german.height() - 1; ++y)
        blended += !stripes.contains(german.pixel(48, y));
    EXPECT_LE(blended, 2);
}

TEST(ImageBindingTransform, OnlyTheExactServiceKeysHaveBadges)
{
    using ValueTransformers::imageBindingTransform;
    EXPECT_FALSE(imageBindingTransform(OpenSubtitlesServiceKey).isNull());
    EXPECT_FALSE(imageBindingTransform(PodnapisiServiceKey).isNull());
    EXPECT_FALSE(imageBindingTransform(BetaSeriesServiceKey).isNull());
    EXPECT_NE(imageBindingTransform(OpenSubtitlesServiceKey).toImage(),
              imageBindingTransform(PodnapisiServiceKey).toImage());
    EXPECT_TRUE(imageBindingTransform(QStringLiteral("Podnapisi.net")).isNull());
    EXPECT_TRUE(imageBindingTransform(QString()).isNull());
}

class CountingKeychain : public MemoryKeychain
{
public:
    explicit CountingKeychain(int *finds) : m_finds(finds) {}
    Status find(const QString &service, const QString &account, QByteArray *secret) override
    {
        ++*m_finds;
        return MemoryKeychain::find(service, account, secret);
    }

private:
    int *m_finds;
};

QVariantMap entry(const QString &name, const QString &user)
{
    return {{QStringLiteral("Name"), name}, {QStringLiteral("UserName"), user}};
}

TEST(PasswordTransform, ReadsThePasswordOfTheFirstSelectedAccount)
{
    int finds = 0;
    TNKeychain keychain(std::make_unique<CountingKeychain>(&finds));
    keychain.addGenericPassword(
        QStringLiteral("secret"),
        TNKeychain::keychainNameForService(OpenSubtitlesServiceKey, QStringLiteral("alice")),
        QStringLiteral("alice"), true);
    PasswordTransform transform(&keychain);

    const QVariantList selection{entry(OpenSubtitlesServiceKey, QStringLiteral("alice")),
                                 entry(PodnapisiServiceKey, QStringLiteral("bob"))};
    EXPECT_EQ(transform.transformedValue(selection), QStringLiteral("secret"));
    EXPECT_EQ(transform.strKeychain(), QStringLiteral("Trovanel - opensubtitles.org: alice"));

    EXPECT_TRUE(
        transform.transformedValue(QVariantList{entry(PodnapisiServiceKey, QStringLiteral("bob"))})
            .isNull());
    EXPECT_EQ(transform.strKeychain(), QStringLiteral("Trovanel - podnapisi.net: bob"));
}

TEST(PasswordTransform, AnythingButAListOfCompleteEntriesGivesNothingWithoutAsking)
{
    int finds = 0;
    TNKeychain keychain(std::make_unique<CountingKeychain>(&finds));
    PasswordTransform transform(&keychain);
    QVariantMap nameless = entry(OpenSubtitlesServiceKey, QStringLiteral("alice"));
    nameless.remove(QStringLiteral("UserName"));

    EXPECT_TRUE(transform.transformedValue(QVariantList{}).isNull());
    EXPECT_TRUE(transform.transformedValue(QVariantList{nameless}).isNull());
    EXPECT_TRUE(transform.transformedValue(entry(OpenSubtitlesServiceKey, QStringLiteral("alice")))
                    .isNull());
    EXPECT_TRUE(transform.transformedValue(QVariant()).isNull());
    EXPECT_EQ(finds, 0);
    EXPECT_TRUE(transform.strKeychain().isNull());
}

TEST(PathToStringTransformer, TextBecomesAUrlAndAUrlItsFullText)
{
    EXPECT_TRUE(PathToStringTransformer::transformedValue(QString()).isEmpty());
    EXPECT_TRUE(PathToStringTransformer::reverseTransformedValue(QUrl()).isNull());
    const QUrl link = PathToStringTransformer::transformedValue(
        QStringLiteral("https://example.org/a b?q=\u00fc"));
    EXPECT_EQ(link.host(), QStringLiteral("example.org"));
    EXPECT_EQ(link.path(), QStringLiteral("/a b"));
    EXPECT_EQ(PathToStringTransformer::reverseTransformedValue(link),
              QStringLiteral("https://example.org/a%20b?q=%C3%BC"));
}

TEST(BindingTransformersRegistry, ViewsShowWhatTheTransformerOfTheirNameGives)
{
    using Registry = BindingTransformersRegistry;
    EXPECT_EQ(Registry::transformedValue(Registry::LanguageNameTransformName, QStringLiteral("de")),
              QStringLiteral("Deutsch"));
    EXPECT_EQ(Registry::transformedValue(Registry::CountryImageTransformName, QStringLiteral("fr"))
                  .value<QPixmap>()
                  .size(),
              QSize(48, 36));
    EXPECT_EQ(Registry::transformedValue(Registry::ImageBindingTransformName, PodnapisiServiceKey)
                  .value<QPixmap>()
                  .toImage(),
              ValueTransformers::imageBindingTransform(PodnapisiServiceKey).toImage());
    EXPECT_FALSE(
        Registry::transformedValue(QStringLiteral("PathToStringTransformer"), QStringLiteral("x"))
            .isValid());

    LanguagesTableModel languages({QStringLiteral("de")});
    Registry::setValueTransformer(
        [](const QVariant &code) { return QVariant(QStringLiteral("<%1>").arg(code.toString())); },
        Registry::LanguageNameTransformName);
    EXPECT_EQ(languages.data(languages.index(0), Qt::DisplayRole), QStringLiteral("<de>"));
    Registry::registerTransformers();
    EXPECT_EQ(languages.data(languages.index(0), Qt::DisplayRole), QStringLiteral("Deutsch"));
}

} // namespace
