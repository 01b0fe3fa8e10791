#include "platform/FileKeychain.h"

#include "platform/DamagedFiles.h"
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

FileKeychain::Items FileKeychain::readItems(const QByteArray &text, QStringList *damage)
{
    QJsonParseError parsing;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parsing);
    if (parsing.error != QJsonParseError::NoError) {
        damage->append(parsing.errorString());
        return {};
    }
    if (!document.isArray()) {
        damage->append(QStringLiteral("not a list of items"));
        return {};
    }
    Items items;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString item = QStringLiteral("item %1").arg(i + 1);
        if (!array[i].isObject()) {
            damage->append(item + QStringLiteral(" is not an object"));
            continue;
        }
        const QJsonObject object = array[i].toObject();
        const QJsonValue service = object.value(ServiceKey);
        const QJsonValue account = object.value(AccountKey);
        if (!service.isString() || !account.isString()) {
            damage->append(item + QStringLiteral(" lacks its service or account"));
            continue;
        }
        const QByteArray::FromBase64Result secret = QByteArray::fromBase64Encoding(
            object.value(SecretKey).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!object.value(SecretKey).isString() || !secret) {
            damage->append(item + QStringLiteral(" holds no secret in base64"));
            continue;
        }
        const std::pair key{service.toString(), account.toString()};
        if (items.contains(key)) {
            damage->append(item + QStringLiteral(" repeats an earlier one"));
            continue;
        }
        items.insert(key, *secret);
    }
    return items;
}

bool FileKeychain::open()
{
    m_problem.clear();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        m_problem = QStringLiteral("The password file cannot be made: its folder %1 does not exist")
                        .arg(folder);
        qCWarning(lcPlatform).noquote() << m_problem;
        return false;
    }
    qCWarning(lcPlatform) << "Passwords are kept in the plain file" << m_path;
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        m_problem = QStringLiteral("The password file %1 cannot be read: %2")
                        .arg(m_path, file.errorString());
        qCWarning(lcPlatform).noquote() << m_problem;
        return false;
    }
    QStringList damage;
    const Items items = readItems(file.readAll(), &damage);
    file.close();
    if (!damage.isEmpty()) {
        const QString aside = DamagedFiles::keepAside(m_path);
        const QString reason = damage.join(QStringLiteral("; "));
        if (aside.isEmpty()) {
            m_problem = QStringLiteral("The password file %1 is damaged (%2) and could not be "
                                       "moved aside; it is left as it is")
                            .arg(m_path, reason);
            qCWarning(lcPlatform).noquote() << m_problem;
            return false;
        }
        m_problem = QStringLiteral("The password file %1 was damaged (%2); it was kept as %3 and "
                                   "the %4 passwords it held that could be read are kept")
                        .arg(m_path, reason, aside)
                        .arg(items.size());
        qCWarning(lcPlatform).noquote() << m_problem;
    }
    m_items = items;
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
    m_problem = QStringLiteral("Could not write the password file %1: %2").arg(m_path, problem);
    qCWarning(lcPlatform).noquote() << m_problem;
    return false;
}
