#include "catalogue/TNUserDefaultsHelper.h"

#include "catalogue/FileManager.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/SubtitlesLanguages.h"
#include "platform/PathUtilities.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <limits>

namespace {

UserDefaults &store()
{
    return UserDefaults::standard();
}

QString existingFolder(const QString &key)
{
    const QString path = store().stringValue(key);
    if (path.isEmpty())
        return QString();
    const QString expanded = PathUtilities::expandingTildeInPath(path);
    return FileManager::folderExists(expanded) ? expanded : QString();
}

void setAndSave(const QString &key, bool value)
{
    store().setValue(key, value);
    store().synchronize();
}

} // namespace

void TNUserDefaultsHelper::initDefaults(const QString &defaultsFile)
{
    FileManager::applicationSupportDirectory();

    QFile file(defaultsFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (document.isObject())
            store().registerDefaults(document.object().toVariantMap());
    }

    if (!serviceInfo(BetaSeriesServiceKey)) {
        setServiceInfo(
            {{ServiceEntry::InformationKey, QString()},
             {ServiceEntry::NameKey, BetaSeriesServiceKey},
             {ServiceEntry::UserNameKey, QString()},
             {ServiceEntry::LoginEnabledKey, false},
             {ServiceEntry::ServerEnabledKey, false},
             {ServiceEntry::URLKey, defaultServiceURL(BetaSeriesServiceKey).toString()}});
    }
}

bool TNUserDefaultsHelper::hasToImportAtStartup()
{
    return store().boolValue(ImportAtStartupKey);
}

QString TNUserDefaultsHelper::startupImportFolder()
{
    return existingFolder(ImportFolderKey);
}

QStringList TNUserDefaultsHelper::configuredLanguages()
{
    QStringList languages;
    for (const QString &key : LanguageKeys) {
        const QString code = store().stringValue(key);
        if (!code.isEmpty())
            languages.append(code);
    }
    if (!languages.isEmpty())
        return languages;
    const QString local = SubtitlesLanguages::sharedInstance().tryFindFirstLocalLangSupported();
    if (local.isEmpty())
        return languages;
    saveDefaultLanguage(local);
    return {local};
}

void TNUserDefaultsHelper::saveDefaultLanguage(const QString &code)
{
    store().setValue(LanguageKeys.first(), code);
}

int TNUserDefaultsHelper::downloadDestination()
{
    // Out-of-range numbers must not wrap round onto a meaningful value.
    return int(std::clamp<qint64>(store().integerValue(DownloadDestinationKey),
                                  std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

QString TNUserDefaultsHelper::subtitleDownloadFolder()
{
    if (downloadDestination() != DownloadToFolder)
        return QString();
    return existingFolder(DownloadFolderKey);
}

bool TNUserDefaultsHelper::renameSubtitle()
{
    return store().boolValue(RenameSubToVideoNameKey);
}

bool TNUserDefaultsHelper::appendLanguageName()
{
    return store().boolValue(AlwaysAppendLanguageKey);
}

bool TNUserDefaultsHelper::filterFilesWithSubtitles()
{
    return store().boolValue(IgnoreVideoWithSubtitlesKey);
}

bool TNUserDefaultsHelper::showAlertForLoginError()
{
    return store().boolValue(AlertLoginErrorsKey);
}

void TNUserDefaultsHelper::setShowAlertForLoginError(bool show)
{
    setAndSave(AlertLoginErrorsKey, show);
}

bool TNUserDefaultsHelper::showAlertForIgnoredVideoFiles()
{
    return store().boolValue(AlertIgnoredVideoFilesKey);
}

void TNUserDefaultsHelper::setShowAlertForIgnoredVideoFiles(bool show)
{
    setAndSave(AlertIgnoredVideoFilesKey, show);
}

bool TNUserDefaultsHelper::dontRecurseDirectories()
{
    return store().boolValue(DontRecurseDirectoriesKey);
}

bool TNUserDefaultsHelper::oneStep()
{
    return store().boolValue(OneStepKey);
}

bool TNUserDefaultsHelper::askForPreferences()
{
    return store().boolValue(AskForPreferencesKey);
}

void TNUserDefaultsHelper::askForPreferences(bool ask)
{
    setAndSave(AskForPreferencesKey, ask);
}

QString TNUserDefaultsHelper::replaceTxtFileExtension()
{
    return store().stringValue(ReplaceTxtFileExtensionKey);
}

QString TNUserDefaultsHelper::ignoreSubFilePattern()
{
    return store().stringValue(IgnoreFilePatternKey);
}

std::optional<QVariantMap> TNUserDefaultsHelper::serviceInfo(const QString &serviceKey)
{
    for (const QVariant &element : store().listValue(ServersKey)) {
        if (element.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap entry = element.toMap();
        const QVariant name = entry.value(ServiceEntry::NameKey);
        if (name.typeId() == QMetaType::QString && name.toString() == serviceKey)
            return entry;
    }
    return std::nullopt;
}

void TNUserDefaultsHelper::setServiceInfo(const QVariantMap &entry)
{
    const QVariant stored = store().value(ServersKey);
    if (stored.isValid() && stored.typeId() != QMetaType::QVariantList)
        return;
    QVariantList servers = stored.toList();
    servers.append(entry);
    store().setValue(ServersKey, servers);
}

bool TNUserDefaultsHelper::isServiceEnabled(const QString &serviceKey)
{
    const std::optional<QVariantMap> entry = serviceInfo(serviceKey);
    return entry && UserDefaults::boolFromValue(entry->value(ServiceEntry::ServerEnabledKey));
}

bool TNUserDefaultsHelper::IsOSEnabled()
{
    return isServiceEnabled(OpenSubtitlesServiceKey);
}

bool TNUserDefaultsHelper::IsPodEnabled()
{
    return isServiceEnabled(PodnapisiServiceKey);
}

bool TNUserDefaultsHelper::IsBetaSeriesEnabled()
{
    return isServiceEnabled(BetaSeriesServiceKey);
}

QString TNUserDefaultsHelper::userNameForService(const QString &serviceKey)
{
    const std::optional<QVariantMap> entry = serviceInfo(serviceKey);
    return entry ? UserDefaults::stringFromValue(entry->value(ServiceEntry::UserNameKey))
                 : QString();
}

QUrl TNUserDefaultsHelper::serviceURL(const QString &serviceKey)
{
    if (const std::optional<QVariantMap> entry = serviceInfo(serviceKey)) {
        const QUrl url(UserDefaults::stringFromValue(entry->value(ServiceEntry::URLKey)));
        if (url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty())
            return url;
    }
    return defaultServiceURL(serviceKey);
}

QUrl TNUserDefaultsHelper::defaultServiceURL(const QString &serviceKey)
{
    static const QHash<QString, QUrl> addresses = {
        {OpenSubtitlesServiceKey, QUrl(QStringLiteral("https://api.opensubtitles.org/xml-rpc"))},
        {PodnapisiServiceKey, QUrl(QStringLiteral("https://www.podnapisi.net"))},
        {BetaSeriesServiceKey, QUrl(QStringLiteral("http://api.betaseries.com"))},
        {SubDBServiceKey, QUrl(QStringLiteral("http://api.thesubdb.com/"))},
    };
    return addresses.value(serviceKey);
}
