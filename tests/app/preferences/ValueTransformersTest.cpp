#include "app/preferences/ValueTransformers.h"
#include "app/preferences/LanguagesTableModel.h"

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

TEST(CountryImageTransform, FlagsComeInListAndSlotSizes)
{
    const QPixmap small = ValueTransformers::countryImageTransformSmall(QStringLiteral("fr"));
    const QPixmap large = ValueTransformers::countryImageTransform(QStringLiteral("fr"));
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.size(), QSize(16, 11));
    EXPECT_EQ(large.size(), QSize(48, 33));
    const auto colours = [](const QPixmap &image) {
        const QImage pixels = image.toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x)
                seen.insert(pixels.pixel(x, y));
        }
        return seen.size();
    };
    EXPECT_GT(colours(large), colours(small)) << "smoothed, not blown up pixel by pixel";
    EXPECT_TRUE(ValueTransformers::countryImageTransform(QStringLiteral("xx")).isNull());
    EXPECT_TRUE(ValueTransformers::countryImageTransformSmall(QString()).isNull());
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
              QSize(48, 33));
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
