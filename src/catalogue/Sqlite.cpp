#include "catalogue/Sqlite.h"

#include "platform/Logging.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>

#include <sqlite3.h>

#include <chrono>
#include <limits>
#include <memory>
#include <thread>

namespace {

struct Finalizer
{
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

Sqlite::Sqlite() : m_openErrorMessage(utf8(sqlite3_errstr(SQLITE_OK))) {}

Sqlite::Sqlite(const QString &path) : Sqlite()
{
    open(path);
}

Sqlite::~Sqlite()
{
    close();
}

QString Sqlite::createUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString Sqlite::version()
{
    return utf8(sqlite3_libversion());
}

bool Sqlite::open(const QString &path)
{
    close();
    sqlite3 *db = nullptr;
    const int result = sqlite3_open(QFile::encodeName(path).constData(), &db);
    if (result != SQLITE_OK) {
        // SQLite hands out a handle even when it fails; it says why, then goes.
        m_openErrorCode = db ? sqlite3_errcode(db) : result;
        m_openErrorMessage = utf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(result));
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    m_filePath = path;
    return true;
}

void Sqlite::close()
{
    if (!m_db)
        return;
    // Closes for good once the caller finalizes any statement still open.
    if (sqlite3_close_v2(m_db) != SQLITE_OK)
        qCWarning(lcCatalogue).noquote() << QStringLiteral("SQLite %1 Closing Error: %2")
                                                .arg(m_filePath, utf8(sqlite3_errmsg(m_db)));
    m_db = nullptr;
    m_filePath = QString();
    m_openErrorCode = SQLITE_OK;
    m_openErrorMessage = utf8(sqlite3_errstr(SQLITE_OK));
}

int Sqlite::errorCode() const
{
    return m_db ? sqlite3_errcode(m_db) : m_openErrorCode;
}

QString Sqlite::errorMessage() const
{
    return m_db ? utf8(sqlite3_errmsg(m_db)) : m_openErrorMessage;
}

template <typename Call> int Sqlite::retryingWhileBusy(Call &&call)
{
    qint64 retries = 0;
    for (;;) {
        const int result = call();
        if (result != SQLITE_BUSY)
            return result;
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        if (retries >= m_busyRetryTimeout) {
            qCWarning(lcCatalogue).noquote() << QStringLiteral("SQLite Busy: %1").arg(m_filePath);
            return result;
        }
        ++retries;
    }
}

bool Sqlite::prepareSql(const QString &sql, sqlite3_stmt **statement)
{
    const QByteArray text = sql.toUtf8();
    const int result = m_db ? retryingWhileBusy([&] {
        return sqlite3_prepare_v2(m_db, text.constData(), -1, statement, nullptr);
    })
                            : SQLITE_MISUSE;
    if (result == SQLITE_OK)
        return true;
    if (result != SQLITE_BUSY) {
        qCWarning(lcCatalogue).noquote()
            << QStringLiteral("SQLite Prepare Failed: %1").arg(errorMessage());
        qCWarning(lcCatalogue).noquote() << QStringLiteral(" - Query: %1").arg(sql);
    }
    return false;
}

bool Sqlite::executeStatement(sqlite3_stmt *statement)
{
    const int result = retryingWhileBusy([&] { return sqlite3_step(statement); });
    if (result == SQLITE_OK || result == SQLITE_DONE)
        return true;
    if (result != SQLITE_BUSY)
        qCWarning(lcCatalogue).noquote()
            << QStringLiteral("SQLite Step Failed: %1").arg(errorMessage());
    return false;
}

std::optional<bool> Sqlite::nextRow(sqlite3_stmt *statement)
{
    const int result = retryingWhileBusy([&] { return sqlite3_step(statement); });
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    if (result != SQLITE_BUSY)
        qCWarning(lcCatalogue).noquote()
            << QStringLiteral("SQLite Prepare Failed: %1").arg(errorMessage());
    return std::nullopt;
}

bool Sqlite::hasData(sqlite3_stmt *statement)
{
    return nextRow(statement).value_or(false);
}

bool Sqlite::bindObject(const QVariant &object, int column, sqlite3_stmt *statement)
{
    int result = SQLITE_OK;
    switch (object.isNull() ? QMetaType::UnknownType : object.typeId()) {
    case QMetaType::UnknownType:
        result = sqlite3_bind_null(statement, column);
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = object.toByteArray();
        result = sqlite3_bind_blob64(statement, column, bytes.constData(),
                                     static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    case QMetaType::QDateTime:
        result = sqlite3_bind_double(statement, column,
                                     object.toDateTime().toMSecsSinceEpoch() / 1000.0);
        break;
    case QMetaType::Bool:
        result = sqlite3_bind_int(statement, column, object.toBool() ? 1 : 0);
        break;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
        result = sqlite3_bind_int64(statement, column, object.toLongLong());
        break;
    case QMetaType::ULongLong:
        // Beyond the signed range SQLite has no integer for it; its digits are kept.
        if (object.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            result = sqlite3_bind_text(statement, column, object.toString().toUtf8().constData(),
                                       -1, SQLITE_TRANSIENT);
        else
            result = sqlite3_bind_int64(statement, column, object.toLongLong());
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        result = sqlite3_bind_double(statement, column, object.toDouble());
        break;
    default: {
        if (!object.canConvert<QString>()) {
            qCWarning(lcCatalogue).noquote()
                << QStringLiteral("SQLite Bind Failed: no text for a value of type %1")
                       .arg(utf8(object.typeName()));
            return false;
        }
        const QByteArray text = object.toString().toUtf8();
        result = sqlite3_bind_text64(statement, column, text.constData(),
                                     static_cast<sqlite3_uint64>(text.size()), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
    }
    }
    if (result != SQLITE_OK) {
        qCWarning(lcCatalogue).noquote()
            << QStringLiteral("SQLite Bind Failed: %1").arg(errorMessage());
        return false;
    }
    return true;
}

QVariant Sqlite::columnData(sqlite3_stmt *statement, int columnIndex)
{
    switch (sqlite3_column_type(statement, columnIndex)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qlonglong>(sqlite3_column_int64(statement, columnIndex));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, columnIndex);
    case SQLITE_TEXT: {
        // The pointer first: asking for the size may convert the value.
        const auto *text =
            reinterpret_cast<const char *>(sqlite3_column_text(statement, columnIndex));
        return QString::fromUtf8(text, sqlite3_column_bytes(statement, columnIndex));
    }
    case SQLITE_BLOB: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, columnIndex));
        return QByteArray(bytes, sqlite3_column_bytes(statement, columnIndex));
    }
    default:
        return QVariant();
    }
}

QString Sqlite::columnName(sqlite3_stmt *statement, int columnIndex)
{
    return utf8(sqlite3_column_name(statement, columnIndex));
}

bool Sqlite::bindArguments(sqlite3_stmt *statement, const QVariantList &arguments)
{
    const int expected = sqlite3_bind_parameter_count(statement);
    if (arguments.size() < expected) {
        qCWarning(lcCatalogue).noquote()
            << QStringLiteral("SQLite Bind Failed: expected %1 arguments, got %2")
                   .arg(expected)
                   .arg(arguments.size());
        return false;
    }
    for (int index = 0; index < expected; ++index) {
        if (!bindObject(arguments.at(index), index + 1, statement))
            return false;
    }
    return true;
}

std::optional<QList<QVariantMap>> Sqlite::executeQuery(const QString &sql,
                                                       const QVariantList &arguments)
{
    sqlite3_stmt *prepared = nullptr;
    if (!prepareSql(sql, &prepared))
        return std::nullopt;
    const Statement statement(prepared);
    if (!bindArguments(prepared, arguments))
        return std::nullopt;
    QList<QVariantMap> rows;
    const int columns = sqlite3_column_count(prepared);
    for (;;) {
        const std::optional<bool> row = nextRow(prepared);
        if (!row)
            return std::nullopt;
        if (!*row)
            return rows;
        QVariantMap values;
        for (int column = 0; column < columns; ++column)
            values.insert(columnName(prepared, column), columnData(prepared, column));
        rows.append(values);
    }
}

bool Sqlite::executeNonQuery(const QString &sql, const QVariantList &arguments)
{
    sqlite3_stmt *prepared = nullptr;
    if (!prepareSql(sql, &prepared))
        return false;
    const Statement statement(prepared);
    return bindArguments(prepared, arguments) && executeStatement(prepared);
}

bool Sqlite::commit()
{
    return executeNonQuery(QStringLiteral("COMMIT TRANSACTION;"));
}

bool Sqlite::rollback()
{
    return executeNonQuery(QStringLiteral("ROLLBACK TRANSACTION;"));
}

bool Sqlite::beginTransaction()
{
    return executeNonQuery(QStringLiteral("BEGIN EXCLUSIVE TRANSACTION;"));
}

bool Sqlite::beginDeferredTransaction()
{
    return executeNonQuery(QStringLiteral("BEGIN DEFERRED TRANSACTION;"));
}
