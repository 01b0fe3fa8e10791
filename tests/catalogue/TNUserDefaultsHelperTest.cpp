#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/SubtitlesLanguages.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <utility>
#include <vector>

using Helper = TNUserDefaultsHelper;

namespace {

class TNUserDefaultsHelperTest : public ::testing::Test
{
protected:
    UserDefaults &store() { return UserDefaults::standard(); }

    // What a fresh start of the program would find in the settings file.
    QJsonObject writtenSettings() const
    {
        QFile file(UserDefaults::standard().filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QString writeFile(const QString &name, const QByteArray &content) const
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    static QVariantMap entry(const QString &name, const QVariant &enabled,
                             const QString &user = QString())
    {
        return {{ServiceEntry::NameKey, name},
                {ServiceEntry::ServerEnabledKey, enabled},
                {ServiceEntry::UserNameKey, user}};
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(TNUserDefaultsHelperTest, ShippedDefaultsAnswerEveryKeyWithoutBeingWritten)
{
    Helper::initDefaults();
    EXPECT_TRUE(
        QFileInfo(QDir(qEnvironmentVariable("XDG_DATA_HOME"))
                      .filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName()))
            .isDir());
    EXPECT_FALSE(Helper::hasToImportAtStartup());
    EXPECT_TRUE(Helper::startupImportFolder().isNull());
    EXPECT_EQ(Helper::downloadDestination(), 0);
    EXPECT_TRUE(Helper::subtitleDownloadFolder().isNull());
    EXPECT_TRUE(Helper::renameSubtitle());
    EXPECT_FALSE(Helper::appendLanguageName());
    EXPECT_FALSE(Helper::filterFilesWithSubtitles());
    EXPECT_TRUE(Helper::showAlertForLoginError());
    EXPECT_TRUE(Helper::showAlertForIgnoredVideoFiles());
    EXPECT_FALSE(Helper::dontRecurseDirectories());
    EXPECT_FALSE(Helper::oneStep());
    EXPECT_TRUE(Helper::askForPreferences());
    EXPECT_EQ(Helper::replaceTxtFileExtension(), "");
    EXPECT_EQ(Helper::ignoreSubFilePattern(), "sample");
    for (const QString &key : Helper::LanguageKeys)
        EXPECT_FALSE(store().contains(key)) << key.toStdString();

    EXPECT_TRUE(Helper::IsOSEnabled());
    EXPECT_TRUE(Helper::IsPodEnabled());
    EXPECT_FALSE(Helper::IsBetaSeriesEnabled());
    EXPECT_EQ(Helper::userNameForService(OpenSubtitlesServiceKey), "");
    EXPECT_TRUE(Helper::userNameForService(SubDBServiceKey).isNull());

    const std::optional<QVariantMap> beta = Helper::serviceInfo(BetaSeriesServiceKey);
    ASSERT_TRUE(beta.has_value());
    EXPECT_EQ(*beta, (QVariantMap{{"Information", ""},
                                  {"Name", BetaSeriesServiceKey},
                                  {"UserName", ""},
                                  {"LoginEnabled", false},
                                  {"ServerEnabled", false},
                                  {"URL", "http://api.betaseries.com"}}));
    // Only the list with the added entry reaches the user's file; defaults never do.
    const QJsonObject written = writtenSettings();
    EXPECT_EQ(written.keys(), QStringList{"servers"});
    EXPECT_EQ(written.value("servers").toArray().size(), 3);
}

TEST_F(TNUserDefaultsHelperTest, BetaSeriesEntryIsAddedOnceAcrossRestarts)
{
    Helper::initDefaults();
    Helper::initDefaults();
    store().reload();
    Helper::initDefaults();
    int betaEntries = 0;
    for (const QVariant &element : store().listValue(Helper::ServersKey))
        betaEntries += element.toMap().value("Name") == BetaSeriesServiceKey ? 1 : 0;
    EXPECT_EQ(betaEntries, 1);
}

TEST_F(TNUserDefaultsHelperTest, UnusableDefaultsFileIsSkipped)
{
    for (const QString &file :
         {m_dir.filePath("missing.json"), writeFile("list.json", "[{\"oneStep\": true}]"),
          writeFile("broken.json", "{\"oneStep\": tru")}) {
        Helper::initDefaults(file);
        EXPECT_TRUE(store().registeredDefaults().isEmpty()) << file.toStdString();
    }
    EXPECT_FALSE(Helper::showAlertForLoginError());
    EXPECT_EQ(Helper::ignoreSubFilePattern(), QString());
    EXPECT_FALSE(Helper::IsOSEnabled());
    EXPECT_EQ(store().listValue(Helper::ServersKey).size(), 1);
}

TEST_F(TNUserDefaultsHelperTest, FolderSettingsNameOnlyExistingFolders)
{
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("home/Movies")));
    qputenv("HOME", m_dir.filePath("home").toLocal8Bit());
    const QString file = writeFile("home/file.avi", "x");

    store().setValue(Helper::ImportFolderKey, "~/Movies");
    EXPECT_EQ(Helper::startupImportFolder(), m_dir.filePath("home/Movies"));
    for (const QVariant &bad : {QVariant("~/Missing"), QVariant(file), QVariant(""), QVariant(5)}) {
        store().setValue(Helper::ImportFolderKey, bad);
        EXPECT_TRUE(Helper::startupImportFolder().isNull()) << bad.toString().toStdString();
    }

    store().setValue(Helper::DownloadFolderKey, "~/Movies");
    store().setValue(Helper::DownloadDestinationKey, 0);
    EXPECT_TRUE(Helper::subtitleDownloadFolder().isNull());
    store().setValue(Helper::DownloadDestinationKey, 1);
    EXPECT_EQ(Helper::subtitleDownloadFolder(), m_dir.filePath("home/Movies"));
    store().setValue(Helper::DownloadDestinationKey, true);
    EXPECT_EQ(Helper::subtitleDownloadFolder(), m_dir.filePath("home/Movies"));
    // A number past 32 bits must not wrap round to 1.
    store().setValue(Helper::DownloadDestinationKey, (qint64(1) << 32) + 1);
    EXPECT_NE(Helper::downloadDestination(), 1);
    EXPECT_TRUE(Helper::subtitleDownloadFolder().isNull());
    store().setValue(Helper::DownloadDestinationKey, -1);
    EXPECT_EQ(Helper::downloadDestination(), -1);
    store().setValue(Helper::DownloadDestinationKey, 1);
    ASSERT_TRUE(QDir(m_dir.filePath("home/Movies")).removeRecursively());
    EXPECT_TRUE(Helper::subtitleDownloadFolder().isNull());
}

TEST_F(TNUserDefaultsHelperTest, ConfiguredLanguagesSkipGapsAndOtherTypes)
{
    store().setValue("lang0", "");
    store().setValue("lang1", "fr");
    store().setValue("lang2", 5);
    store().setValue("lang3", "de");
    EXPECT_EQ(Helper::configuredLanguages(), (QStringList{"fr", "de"}));
    EXPECT_EQ(store().value("lang0"), QVariant(""));
}

TEST_F(TNUserDefaultsHelperTest, SystemLanguageIsTakenAndKeptWhenNoneIsSet)
{
    SubtitlesLanguages::sharedInstance().setPreferredLanguages([] {
        return QStringList{"en-US", "DE"};
    });
    EXPECT_EQ(Helper::configuredLanguages(), QStringList{"de"});
    store().reload();
    EXPECT_EQ(store().stringValue("lang0"), "de");
    EXPECT_EQ(Helper::configuredLanguages(), QStringList{"de"});
}

TEST_F(TNUserDefaultsHelperTest, NoLanguageWhenTheSystemOffersNoneSupported)
{
    SubtitlesLanguages::sharedInstance().setPreferredLanguages([] {
        return QStringList{"C", "pt-BR"};
    });
    EXPECT_TRUE(Helper::configuredLanguages().isEmpty());
    EXPECT_FALSE(store().contains("lang0"));
}

TEST_F(TNUserDefaultsHelperTest, EachSwitchReadsItsOwnKey)
{
    const std::vector<std::pair<QString, std::function<bool()>>> switches = {
        {"ImportAtStartup", Helper::hasToImportAtStartup},
        {"RenameSubToVideoName", Helper::renameSubtitle},
        {"AlwaysAppendLanguage", Helper::appendLanguageName},
        {"IgnoreVideoWithSubtitles", Helper::filterFilesWithSubtitles},
        {"AlertLoginErrors", Helper::showAlertForLoginError},
        {"AlertIgnoredVideoFiles", Helper::showAlertForIgnoredVideoFiles},
        {"DontRecurseDirectories", Helper::dontRecurseDirectories},
        {"oneStep", Helper::oneStep},
        {"AskForPreferences", static_cast<bool (*)()>(Helper::askForPreferences)},
    };
    for (const auto &[key, read] : switches) {
        for (const auto &[other, readOther] : switches)
            store().setValue(other, other != key);
        EXPECT_FALSE(read()) << key.toStdString();
        store().setValue(key, true);
        EXPECT_TRUE(read()) << key.toStdString();
        store().setValue(key, 2);
        EXPECT_TRUE(read()) << key.toStdString();
        store().setValue(key, "YES");
        EXPECT_FALSE(read()) << key.toStdString();
        store().removeValue(key);
        EXPECT_FALSE(read()) << key.toStdString();
    }
}

TEST_F(TNUserDefaultsHelperTest, SwitchSettersReachTheDiskAtOnce)
{
    Helper::initDefaults();
    Helper::setShowAlertForLoginError(false);
    Helper::setShowAlertForIgnoredVideoFiles(false);
    Helper::askForPreferences(false);
    const QJsonObject written = writtenSettings();
    EXPECT_EQ(written.value("AlertLoginErrors"), QJsonValue(false));
    EXPECT_EQ(written.value("AlertIgnoredVideoFiles"), QJsonValue(false));
    EXPECT_EQ(written.value("AskForPreferences"), QJsonValue(false));
    store().reload();
    EXPECT_FALSE(Helper::showAlertForLoginError());
    EXPECT_FALSE(Helper::showAlertForIgnoredVideoFiles());
    EXPECT_FALSE(Helper::askForPreferences());
}

TEST_F(TNUserDefaultsHelperTest, TextSettingsMustBeStrings)
{
    store().setValue(Helper::ReplaceTxtFileExtensionKey, 5);
    EXPECT_TRUE(Helper::replaceTxtFileExtension().isNull());
    store().setValue(Helper::ReplaceTxtFileExtensionKey, "srt");
    EXPECT_EQ(Helper::replaceTxtFileExtension(), "srt");
    store().setValue(Helper::IgnoreFilePatternKey, " Sample (");
    EXPECT_EQ(Helper::ignoreSubFilePattern(), " Sample (");
    store().setValue(Helper::IgnoreFilePatternKey, QVariantList{"x"});
    EXPECT_TRUE(Helper::ignoreSubFilePattern().isNull());
}

TEST_F(TNUserDefaultsHelperTest, FirstEntryOfAServiceWinsAndNamesAreExact)
{
    store().setValue(Helper::ServersKey,
                     QVariantList{entry(PodnapisiServiceKey, false, "first"),
                                  entry(PodnapisiServiceKey, true, "second"),
                                  entry(OpenSubtitlesServiceKey.toUpper(), true, "upper")});
    EXPECT_EQ(Helper::userNameForService(PodnapisiServiceKey), "first");
    EXPECT_FALSE(Helper::IsPodEnabled());
    EXPECT_FALSE(Helper::serviceInfo(OpenSubtitlesServiceKey).has_value());
    EXPECT_FALSE(Helper::IsOSEnabled());
    EXPECT_TRUE(Helper::userNameForService(OpenSubtitlesServiceKey).isNull());

    // Appending never replaces: the earlier entry keeps answering.
    Helper::setServiceInfo(entry(PodnapisiServiceKey, true, "third"));
    EXPECT_EQ(store().listValue(Helper::ServersKey).size(), 4);
    EXPECT_EQ(Helper::userNameForService(PodnapisiServiceKey), "first");
}

TEST_F(TNUserDefaultsHelperTest, MalformedServerElementsAreSkippedAndKept)
{
    const QVariantList servers{"garbage",
                               42,
                               QVariantMap{{"Name", 7}, {"ServerEnabled", true}},
                               QVariantMap{{"ServerEnabled", true}},
                               entry(OpenSubtitlesServiceKey, 1, "me"),
                               QVariantMap{{"Name", BetaSeriesServiceKey}}};
    store().setValue(Helper::ServersKey, servers);
    EXPECT_TRUE(Helper::IsOSEnabled());
    EXPECT_EQ(Helper::userNameForService(OpenSubtitlesServiceKey), "me");
    EXPECT_TRUE(Helper::serviceInfo(BetaSeriesServiceKey).has_value());
    EXPECT_FALSE(Helper::IsBetaSeriesEnabled());
    EXPECT_TRUE(Helper::userNameForService(BetaSeriesServiceKey).isNull());

    const QVariantMap added = entry(PodnapisiServiceKey, true);
    Helper::setServiceInfo(added);
    store().reload();
    QVariantList expected = servers;
    expected.append(added);
    EXPECT_EQ(store().listValue(Helper::ServersKey), expected);
    EXPECT_TRUE(Helper::IsPodEnabled());
}

TEST_F(TNUserDefaultsHelperTest, ServersThatAreNoListAreLeftAlone)
{
    store().setValue(Helper::ServersKey, "not a list");
    EXPECT_FALSE(Helper::serviceInfo(OpenSubtitlesServiceKey).has_value());
    Helper::setServiceInfo(entry(OpenSubtitlesServiceKey, true));
    Helper::initDefaults(m_dir.filePath("missing.json"));
    EXPECT_EQ(store().value(Helper::ServersKey), QVariant("not a list"));
}

TEST_F(TNUserDefaultsHelperTest, FirstEntryCopiesTheDefaultListIntoTheUsersSettings)
{
    store().registerDefaults({{"servers", QVariantList{entry(PodnapisiServiceKey, true)}}});
    Helper::setServiceInfo(entry(OpenSubtitlesServiceKey, true));
    const QVariantList users = store().userValue(Helper::ServersKey).toList();
    ASSERT_EQ(users.size(), 2);
    EXPECT_EQ(users.at(0).toMap().value("Name"), PodnapisiServiceKey);
    EXPECT_EQ(users.at(1).toMap().value("Name"), OpenSubtitlesServiceKey);
}

TEST_F(TNUserDefaultsHelperTest, ServiceAddressesComeFromTheEntriesOrTheRealServices)
{
    EXPECT_EQ(Helper::serviceURL(OpenSubtitlesServiceKey),
              QUrl("https://api.opensubtitles.org/xml-rpc"));
    EXPECT_EQ(Helper::serviceURL(PodnapisiServiceKey), QUrl("https://www.podnapisi.net"));
    EXPECT_EQ(Helper::serviceURL(BetaSeriesServiceKey), QUrl("http://api.betaseries.com"));
    EXPECT_EQ(Helper::serviceURL(SubDBServiceKey), QUrl("http://api.thesubdb.com/"));
    EXPECT_TRUE(Helper::serviceURL("example.org").isEmpty());

    QVariantMap local = entry(OpenSubtitlesServiceKey, true);
    local.insert(ServiceEntry::URLKey, "http://127.0.0.1:4711/xml-rpc");
    QVariantMap blank = entry(PodnapisiServiceKey, true);
    blank.insert(ServiceEntry::URLKey, "");
    QVariantMap wrongType = entry(BetaSeriesServiceKey, true);
    wrongType.insert(ServiceEntry::URLKey, 3);
    store().setValue(Helper::ServersKey, QVariantList{local, blank, wrongType});
    EXPECT_EQ(Helper::serviceURL(OpenSubtitlesServiceKey), QUrl("http://127.0.0.1:4711/xml-rpc"));
    EXPECT_EQ(Helper::serviceURL(PodnapisiServiceKey), QUrl("https://www.podnapisi.net"));
    EXPECT_EQ(Helper::serviceURL(BetaSeriesServiceKey), QUrl("http://api.betaseries.com"));
}
