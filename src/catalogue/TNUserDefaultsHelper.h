#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <optional>

// The fields of a service's entry in the settings' "servers" list.
namespace ServiceEntry {
inline const QString NameKey = QStringLiteral("Name");
inline const QString UserNameKey = QStringLiteral("UserName");
inline const QString InformationKey = QStringLiteral("Information");
inline const QString LoginEnabledKey = QStringLiteral("LoginEnabled");
inline const QString ServerEnabledKey = QStringLiteral("ServerEnabled");
inline const QString URLKey = QStringLiteral("URL");
} // namespace ServiceEntry

// The typed doorway to the user's settings in UserDefaults::standard(): each operation reads
// one key and applies its rule. Usable from any thread.
class TNUserDefaultsHelper final
{
public:
    static inline const QString ImportAtStartupKey = QStringLiteral("ImportAtStartup");
    static inline const QString ImportFolderKey = QStringLiteral("ImportFolder");
    static inline const QStringList LanguageKeys = {
        QStringLiteral("lang0"), QStringLiteral("lang1"), QStringLiteral("lang2"),
        QStringLiteral("lang3")};
    static inline const QString DownloadDestinationKey = QStringLiteral("DownloadDestination");
    static inline const QString DownloadFolderKey = QStringLiteral("DownloadFolder");
    static inline const QString RenameSubToVideoNameKey = QStringLiteral("RenameSubToVideoName");
    static inline const QString AlwaysAppendLanguageKey = QStringLiteral("AlwaysAppendLanguage");
    static inline const QString IgnoreVideoWithSubtitlesKey =
        QStringLiteral("IgnoreVideoWithSubtitles");
    static inline const QString AlertLoginErrorsKey = QStringLiteral("AlertLoginErrors");
    static inline const QString AlertIgnoredVideoFilesKey =
        QStringLiteral("AlertIgnoredVideoFiles");
    static inline const QString DontRecurseDirectoriesKey =
        QStringLiteral("DontRecurseDirectories");
    static inline const QString OneStepKey = QStringLiteral("oneStep");
    static inline const QString AskForPreferencesKey = QStringLiteral("AskForPreferences");
    static inline const QString ReplaceTxtFileExtensionKey =
        QStringLiteral("replaceTxtFileExtension");
    static inline const QString IgnoreFilePatternKey = QStringLiteral("ignoreFilePattern");
    static inline const QString ServersKey = QStringLiteral("servers");

    // "DownloadDestination" value that sends subtitles to the download folder.
    static constexpr int DownloadToFolder = 1;

    static inline const QString DefaultsResource = QStringLiteral(":/Defaults.json");

    TNUserDefaultsHelper() = delete;

    // Makes the support folder, registers the defaults file when it holds a JSON object, and
    // adds a disabled BetaSeries entry when there is none. Run before any window is built,
    // so that the defaults answer before anything reads the languages.
    static void initDefaults(const QString &defaultsFile = DefaultsResource);

    static bool hasToImportAtStartup();
    // The folder with a leading tilde expanded, only when a folder exists there.
    static QString startupImportFolder();

    // "lang0" to "lang3", non-empty strings only, in order. With none set, the system's first
    // supported language, which is then kept as "lang0".
    static QStringList configuredLanguages();
    static void saveDefaultLanguage(const QString &code);

    static int downloadDestination();
    // The download folder when subtitles go there and the folder exists; else null.
    static QString subtitleDownloadFolder();

    static bool renameSubtitle();
    static bool appendLanguageName();
    static bool filterFilesWithSubtitles();
    // The alert switches are written to disk at once.
    static bool showAlertForLoginError();
    static void setShowAlertForLoginError(bool show);
    static bool showAlertForIgnoredVideoFiles();
    static void setShowAlertForIgnoredVideoFiles(bool show);
    static bool dontRecurseDirectories();
    static bool oneStep();
    static bool askForPreferences();
    // Written to disk at once, as the alert switches are.
    static void askForPreferences(bool ask);
    // The stored text when it is a string; else null.
    static QString replaceTxtFileExtension();
    static QString ignoreSubFilePattern();

    // The first entry of "servers" whose "Name" is the key exactly. Elements that are not
    // entries are passed over.
    static std::optional<QVariantMap> serviceInfo(const QString &serviceKey);
    // Appends the entry to "servers" (the user's, else the defaults'), keeping every element
    // already there; a "servers" value that is no list is left alone.
    static void setServiceInfo(const QVariantMap &entry);
    static bool isServiceEnabled(const QString &serviceKey);
    static bool IsOSEnabled();
    static bool IsPodEnabled();
    static bool IsBetaSeriesEnabled();
    static QString userNameForService(const QString &serviceKey);
    // The entry's "URL" when it holds one, else the service's own address.
    static QUrl serviceURL(const QString &serviceKey);
    static QUrl defaultServiceURL(const QString &serviceKey);
};
