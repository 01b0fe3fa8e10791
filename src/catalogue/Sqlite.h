#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>
#include <type_traits>

struct sqlite3;
struct sqlite3_stmt;

// One SQLite database file: statements with positional parameters, query rows as
// maps keyed by column name, and a short retry while the database is busy. Every
// failure is logged and answered as false or empty; nothing is raised. One thread
// at a time may use an instance.
class Sqlite
{
public:
    Sqlite();
    // Opens the file; the object exists whether or not that succeeds.
    explicit Sqlite(const QString &path);
    ~Sqlite();
    Sqlite(const Sqlite &) = delete;
    Sqlite &operator=(const Sqlite &) = delete;

    static QString createUuid();
    static QString version();

    // How many times a busy answer is retried; 0 gives up at the first one.
    qint64 busyRetryTimeout() const { return m_busyRetryTimeout; }
    void setBusyRetryTimeout(qint64 retries) { m_busyRetryTimeout = retries; }
    // Null while no database is open.
    const QString &filePath() const { return m_filePath; }

    bool open(const QString &path);
    void close();
    int errorCode() const;
    QString errorMessage() const;

    // The rows, empty when there are none; no value when the statement fails at any point.
    std::optional<QList<QVariantMap>> executeQuery(const QString &sql,
                                                   const QVariantList &arguments = {});
    template <typename First, typename... Rest>
    requires(!std::is_same_v<First, QVariantList>) std::optional<QList<QVariantMap>> executeQuery(
        const QString &sql, const First &first, const Rest &...rest)
    {
        return executeQuery(sql, QVariantList{QVariant(first), QVariant(rest)...});
    }
    bool executeNonQuery(const QString &sql, const QVariantList &arguments = {});
    template <typename First, typename... Rest>
    requires(!std::is_same_v<First, QVariantList>) bool executeNonQuery(const QString &sql,
                                                                        const First &first,
                                                                        const Rest &...rest)
    {
        return executeNonQuery(sql, QVariantList{QVariant(first), QVariant(rest)...});
    }

    bool commit();
    bool rollback();
    bool beginTransaction();
    bool beginDeferredTransaction();

    bool prepareSql(const QString &sql, sqlite3_stmt **statement);
    // True when the statement ran to its end without producing a row.
    bool executeStatement(sqlite3_stmt *statement);
    // True while the statement produces rows.
    bool hasData(sqlite3_stmt *statement);
    bool bindObject(const QVariant &object, int column, sqlite3_stmt *statement);
    QVariant columnData(sqlite3_stmt *statement, int columnIndex);
    QString columnName(sqlite3_stmt *statement, int columnIndex);

private:
    template <typename Call> int retryingWhileBusy(Call &&call);
    bool bindArguments(sqlite3_stmt *statement, const QVariantList &arguments);
    // True for a row, false at the end, nothing on failure.
    std::optional<bool> nextRow(sqlite3_stmt *statement);

    qint64 m_busyRetryTimeout = 1;
    QString m_filePath;
    sqlite3 *m_db = nullptr;
    // What the last failed open said, kept once its handle is closed.
    int m_openErrorCode = 0;
    QString m_openErrorMessage;
};
