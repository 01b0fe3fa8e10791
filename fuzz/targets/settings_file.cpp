// A settings file as the program finds it at start-up, read through every typed setting.
#include "FuzzSupport.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The store lives in the test-mode folders, never in the user's own.
    QStandardPaths::setTestModeEnabled(true);
    Fuzz::ensureApplication();
    TNUserDefaultsHelper::initDefaults();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    UserDefaults &store = UserDefaults::standard();
    const QString path = store.filePath();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return 0;
    file.close();
    store.reload();

    TNUserDefaultsHelper::hasToImportAtStartup();
    TNUserDefaultsHelper::startupImportFolder();
    TNUserDefaultsHelper::configuredLanguages();
    TNUserDefaultsHelper::downloadDestination();
    TNUserDefaultsHelper::subtitleDownloadFolder();
    TNUserDefaultsHelper::renameSubtitle();
    TNUserDefaultsHelper::appendLanguageName();
    TNUserDefaultsHelper::filterFilesWithSubtitles();
    TNUserDefaultsHelper::showAlertForLoginError();
    TNUserDefaultsHelper::showAlertForIgnoredVideoFiles();
    TNUserDefaultsHelper::dontRecurseDirectories();
    TNUserDefaultsHelper::oneStep();
    TNUserDefaultsHelper::askForPreferences();
    TNUserDefaultsHelper::replaceTxtFileExtension();
    TNUserDefaultsHelper::ignoreSubFilePattern();
    for (const QString &service :
         {OpenSubtitlesServiceKey, PodnapisiServiceKey, BetaSeriesServiceKey, SubDBServiceKey}) {
        TNUserDefaultsHelper::serviceInfo(service);
        TNUserDefaultsHelper::isServiceEnabled(service);
        TNUserDefaultsHelper::userNameForService(service);
        TNUserDefaultsHelper::serviceURL(service);
    }
    for (const QString &key : store.registeredDefaults().keys()) {
        store.boolValue(key);
        store.integerValue(key);
        store.doubleValue(key);
        store.listValue(key);
        store.mapValue(key);
    }

    // A damaged file is moved aside: keep the folder from filling up.
    const QFileInfo settings(path);
    for (const QFileInfo &aside :
         settings.dir().entryInfoList({settings.fileName() + QStringLiteral(".damaged-*")}))
        QFile::remove(aside.filePath());
    return 0;
}
