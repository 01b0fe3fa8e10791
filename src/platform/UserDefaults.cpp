#include "platform/UserDefaults.h"

#include "platform/ApplicationFolders.h"
#include "platform/DamagedFiles.h"
#include "platform/FileWriter.h"
#include "platform/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QThread>

#include <limits>

namespace {

// What the value will be after a round trip through the file, so that the answers before
// and after a restart are the same.
QVariant asStored(const QVariant &value)
{
    return QJsonValue::fromVariant(value).toVariant();
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

} // namespace

UserDefaults &UserDefaults::standard()
{
    static UserDefaults *shared = [] {
        auto *defaults = new UserDefaults(ApplicationFolders::configuration() +
                                          QStringLiteral("/settings.json"));
        if (const QCoreApplication *app = QCoreApplication::instance())
            defaults->moveToThread(app->thread());
        return defaults;
    }();
    return *shared;
}

UserDefaults::UserDefaults(QString filePath, QObject *parent)
    : QObject(parent), m_filePath(std::move(filePath))
{
    m_values = load();
}

QVariantMap UserDefaults::load()
{
    QFile file(m_filePath);
    if (!file.exists())
        return {};
    QJsonParseError parseError{};
    QJsonDocument document;
    QString problem;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else {
        document = QJsonDocument::fromJson(file.readAll(), &parseError);
        file.close();
        if (parseError.error != QJsonParseError::NoError)
            problem = parseError.errorString();
        else if (!document.isObject())
            problem = QStringLiteral("not a JSON object");
    }
    if (problem.isEmpty())
        return document.object().toVariantMap();

    const QString aside = DamagedFiles::keepAside(m_filePath);
    m_damagedFile = DamagedFile{problem, aside};
    if (!aside.isEmpty())
        qCWarning(lcPlatform).noquote()
            << "Settings file" << m_filePath << "is damaged (" << problem << "); kept as" << aside
            << "and starting from the defaults";
    else
        qCWarning(lcPlatform).noquote()
            << "Settings file" << m_filePath << "is damaged (" << problem
            << ") and could not be moved aside; starting from the defaults";
    return {};
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    {
        QMutexLocker locker(&m_mutex);
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
            m_defaults.insert(it.key(), asStored(it.value()));
    }
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        Q_EMIT valueChanged(it.key());
}

QVariantMap UserDefaults::registeredDefaults() const
{
    QMutexLocker locker(&m_mutex);
    return m_defaults;
}

QVariant UserDefaults::value(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    const auto found = m_values.constFind(key);
    if (found != m_values.cend())
        return *found;
    return m_defaults.value(key);
}

bool UserDefaults::contains(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    return m_values.contains(key) || m_defaults.contains(key);
}

QVariant UserDefaults::userValue(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    return m_values.value(key);
}

void UserDefaults::setValue(const QString &key, const QVariant &value)
{
    store(key, asStored(value));
}

void UserDefaults::removeValue(const QString &key)
{
    store(key, QVariant());
}

void UserDefaults::store(const QString &key, const QVariant &value)
{
    {
        QMutexLocker locker(&m_mutex);
        const auto found = m_values.constFind(key);
        const bool present = found != m_values.cend();
        if (value.isNull()) {
            if (!present)
                return;
            m_values.erase(found);
        } else {
            if (present && *found == value && found->typeId() == value.typeId())
                return;
            m_values.insert(key, value);
        }
    }
    synchronize();
    Q_EMIT valueChanged(key);
}

bool UserDefaults::boolFromValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return isNumber(value) && value.toDouble() != 0.0;
}

QString UserDefaults::stringFromValue(const QVariant &value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

bool UserDefaults::boolValue(const QString &key) const
{
    return boolFromValue(value(key));
}

qint64 UserDefaults::integerValue(const QString &key) const
{
    QVariant v = value(key);
    std::optional<qint64> number = integerFromValue(v);
    // A number no integer can hold counts as not set: the registered default answers.
    if (!number && isNumber(v)) {
        v = registeredDefaults().value(key);
        number = integerFromValue(v);
    }
    return number.value_or(0);
}

std::optional<qint64> UserDefaults::integerFromValue(const QVariant &value)
{
    // 2^63, exactly representable, is the first double beyond a 64-bit integer.
    constexpr double Limit = 9223372036854775808.0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (!(number >= -Limit && number < Limit))
            return std::nullopt;
        return qint64(number);
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(value.toULongLong());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong();
    default:
        return std::nullopt;
    }
}

double UserDefaults::doubleValue(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1.0 : 0.0;
    return isNumber(v) ? v.toDouble() : 0.0;
}

QString UserDefaults::stringValue(const QString &key) const
{
    return stringFromValue(value(key));
}

QVariantList UserDefaults::listValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QVariantList ? v.toList() : QVariantList();
}

QVariantMap UserDefaults::mapValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

bool UserDefaults::synchronize()
{
    // Each writer takes the newest values while holding the write lock, so an older
    // snapshot can never land after a newer one.
    QMutexLocker writeLocker(&m_writeMutex);
    QByteArray json;
    {
        QMutexLocker locker(&m_mutex);
        json = QJsonDocument(QJsonObject::fromVariantMap(m_values)).toJson(QJsonDocument::Indented);
    }
    // The folder may have been removed since the start.
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QString problem;
    if (!FileWriter::replace(m_filePath, json, FileWriter::Access::Shared, &problem)) {
        qCWarning(lcPlatform).noquote()
            << "Could not write the settings to" << m_filePath << ":" << problem;
        return false;
    }
    return true;
}

std::optional<UserDefaults::DamagedFile> UserDefaults::takeDamagedFile()
{
    QMutexLocker locker(&m_writeMutex);
    return std::exchange(m_damagedFile, std::nullopt);
}

void UserDefaults::reset()
{
    QStringList keys;
    {
        QMutexLocker writeLocker(&m_writeMutex);
        QMutexLocker locker(&m_mutex);
        keys = m_values.keys() + m_defaults.keys();
        m_values.clear();
        m_defaults.clear();
        m_damagedFile.reset();
        QFile::remove(m_filePath);
    }
    keys.removeDuplicates();
    for (const QString &key : std::as_const(keys))
        Q_EMIT valueChanged(key);
}

void UserDefaults::reload()
{
    QMutexLocker writeLocker(&m_writeMutex);
    const QVariantMap values = load();
    QMutexLocker locker(&m_mutex);
    m_values = values;
}
