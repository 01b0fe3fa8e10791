// The plain password file as the program finds it when it opens the store, then written
// back with one password more and opened again.
#include "FuzzSupport.h"
#include "platform/FileKeychain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString Service = QStringLiteral("Trovanel - os: fuzz");
const QString Account = QStringLiteral("fuzz");
const QByteArray Secret("s\0e\xffr\"et", 8);

// The secret of each item that reads whole, the first of each service and account.
QMap<std::pair<QString, QString>, QByteArray> readable(const QByteArray &content)
{
    QMap<std::pair<QString, QString>, QByteArray> items;
    for (const QJsonValue &value : QJsonDocument::fromJson(content).array()) {
        const QJsonObject item = value.toObject();
        const QJsonValue service = item.value(QLatin1String("service"));
        const QJsonValue account = item.value(QLatin1String("account"));
        const QJsonValue secret = item.value(QLatin1String("secret_b64"));
        const auto bytes = QByteArray::fromBase64Encoding(secret.toString().toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
        const std::pair key{service.toString(), account.toString()};
        if (service.isString() && account.isString() && secret.isString() && bytes &&
            !items.contains(key))
            items.insert(key, *bytes);
    }
    return items;
}

void checkHolds(FileKeychain &store, const QMap<std::pair<QString, QString>, QByteArray> &items)
{
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        QByteArray secret;
        FUZZ_CHECK(store.find(it.key().first, it.key().second, &secret) ==
                       KeychainBackend::Status::Ok,
                   "a password the file holds is not found");
        FUZZ_CHECK(secret == it.value(), "a password was read otherwise than the file holds it");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = Fuzz::freshFolder(QStringLiteral("keys"));
    const QString path = QDir(folder).filePath(QStringLiteral("passwords.json"));
    const QByteArray content = Fuzz::bytes(data, size);
    FUZZ_CHECK(Fuzz::writeFile(path, content));

    FileKeychain store(path);
    FUZZ_CHECK(store.open(), "a password file that could be moved aside kept the store shut");
    const QStringList left = Fuzz::entriesBelow(folder);
    if (store.problem().isEmpty()) {
        FUZZ_CHECK(left == QStringList{QStringLiteral("passwords.json")} &&
                       Fuzz::readFile(path) == content,
                   "a password file read without damage was changed");
    } else {
        // A damaged file is kept aside whole, for the user to mend.
        FUZZ_CHECK(left.size() == 1 && left[0].startsWith(QLatin1String("passwords.json.damaged-")),
                   "a damaged password file was not moved aside, or something else was left");
        FUZZ_CHECK(Fuzz::readFile(QDir(folder).filePath(left[0])) == content,
                   "a damaged password file was not kept as it was");
    }
    auto items = readable(content);
    checkHolds(store, items);

    // What the store writes, it reads back whole and undamaged. It writes on a change only:
    // the items kept from a damaged file are not on disk before one.
    if (store.add(Service, Account, Secret) != KeychainBackend::Status::Ok)
        return 0;
    items.insert({Service, Account}, Secret);
    FileKeychain reopened(path);
    FUZZ_CHECK(reopened.open() && reopened.problem().isEmpty(),
               "a password file the store wrote reads back as damaged");
    checkHolds(reopened, items);
    const QFile::Permissions mine =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    FUZZ_CHECK((QFile::permissions(path) & ~mine) == 0,
               "the password file the store wrote can be read by others");
    return 0;
}
