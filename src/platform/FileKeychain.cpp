#include "platform/FileKeychain.h"

#include "platform/FileWriter.h"
#include "platform/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString ServiceKey = QStringLiteral("service");
const QString AccountKey = QStringLiteral("account");
const QString SecretKey = QStringLiteral("secret_b64");

} // namespace

bool FileKeychain::open()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        qCWarning(lcPlatform) << "The password file cannot be made: its folder" << folder
                              << "does not exist";
        return false;
    }
    qCWarning(lcPlatform) << "Passwords are kept in the plain file" << m_path;
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError problem;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &problem);
    if (problem.error != QJsonParseError::NoError || !document.isArray()) {
        qCWarning(lcPlatform) << "The password file" << m_path << "is damaged";
        return false;
    }
    m_items.clear();
    const QJsonArray items = document.array();
    for (const QJsonValue &item : items) {
        const QJsonObject object = item.toObject();
        m_items.insert({object.value(ServiceKey).toString(), object.value(AccountKey).toString()},
                       QByteArray::fromBase64(object.value(SecretKey).toString().toLatin1()));
    }
    return true;
}

bool FileKeychain::itemsChanged(const Items &items)
{
    QJsonArray array;
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        array.append(QJsonObject{{ServiceKey, it.key().first},
                                 {AccountKey, it.key().second},
                                 {SecretKey, QString::fromLatin1(it.value().toBase64())}});
    }
    QString problem;
    if (FileWriter::replace(m_path, QJsonDocument(array).toJson(), FileWriter::Access::OwnerOnly,
                            &problem))
        return true;
    qCWarning(lcPlatform) << "Could not write the password file" << m_path << ":" << problem;
    return false;
}
