#include "catalogue/Sqlite.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <limits>
#include <thread>

namespace {

class SqliteTest : public ::testing::Test
{
protected:
    QString path(const QString &name = QStringLiteral("test.db")) const
    {
        return m_folder.filePath(name);
    }

    QTemporaryDir m_folder;
};

} // namespace

TEST_F(SqliteTest, EveryColumnTypeRoundTripsExactly)
{
    Sqlite db(path());
    ASSERT_EQ(db.filePath(), path());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("CREATE TABLE t (k, v)")));
    QByteArray blob;
    for (int byte = 0; byte < 256; ++byte)
        blob.append(static_cast<char>(byte));
    const QString text =
        QStringLiteral("h\u00e9llo ") + QChar(0) + QStringLiteral(" w\u00f6rld \U0001F600");
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1700000000500, Qt::UTC);
    const QList<QPair<QVariant, QVariant>> cases = {
        {qlonglong(5000000000), qlonglong(5000000000)},
        {std::numeric_limits<qlonglong>::min(), std::numeric_limits<qlonglong>::min()},
        {2.5, 2.5},
        {text, text},
        {blob, blob},
        {QByteArray(""), QByteArray()},
        {QVariant(), QVariant()},
        {true, qlonglong(1)},
        {QVariant::fromValue<short>(5), qlonglong(5)},
        {QVariant::fromValue<char>(5), qlonglong(5)},
        {7u, qlonglong(7)},
        {date, 1700000000.5},
        {std::numeric_limits<qulonglong>::max(), QStringLiteral("18446744073709551615")},
    };
    for (int index = 0; index < cases.size(); ++index)
        ASSERT_TRUE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (?, ?)"), index,
                                       cases[index].first));
    const auto rows =
        db.executeQuery(QStringLiteral("SELECT v, typeof(v) AS type FROM t ORDER BY k"));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), cases.size());
    for (int index = 0; index < cases.size(); ++index) {
        SCOPED_TRACE(index);
        const QVariant value = rows->at(index).value(QStringLiteral("v"));
        EXPECT_EQ(value.typeId(), cases[index].second.typeId());
        EXPECT_EQ(value, cases[index].second);
    }
    EXPECT_EQ(rows->at(8).value(QStringLiteral("type")), QStringLiteral("integer"));
    EXPECT_EQ(rows->at(5).value(QStringLiteral("type")), QStringLiteral("blob"));
}

TEST_F(SqliteTest, AnEmptyResultIsNotAFailure)
{
    Sqlite db(path());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("CREATE TABLE t (v)")));
    const auto none = db.executeQuery(QStringLiteral("SELECT v FROM t"));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty());
    EXPECT_EQ(db.executeQuery(QStringLiteral("SELECT v FROM missing")), std::nullopt);
    EXPECT_EQ(db.errorCode(), SQLITE_ERROR);
    EXPECT_EQ(db.errorMessage(), QStringLiteral("no such table: missing"));
    // A statement that produces a row is no non-query.
    EXPECT_FALSE(db.executeNonQuery(QStringLiteral("SELECT 1")));
}

TEST_F(SqliteTest, AStepErrorInTheMiddleOfAQueryIsAFailure)
{
    Sqlite db(path());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("CREATE TABLE t (v INTEGER)")));
    for (const qlonglong value : {1LL, 2LL, std::numeric_limits<qlonglong>::min(), 4LL})
        ASSERT_TRUE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (?)"), value));
    EXPECT_EQ(db.executeQuery(QStringLiteral("SELECT abs(v) FROM t ORDER BY rowid")), std::nullopt);
    EXPECT_EQ(db.errorMessage(), QStringLiteral("integer overflow"));
    const auto firstTwo =
        db.executeQuery(QStringLiteral("SELECT abs(v) AS a FROM t WHERE rowid < 3"));
    ASSERT_TRUE(firstTwo);
    EXPECT_EQ(firstTwo->size(), 2);
}

TEST_F(SqliteTest, ArgumentsFollowTheStatementsParameters)
{
    Sqlite db(path());
    // A question mark inside a literal is no parameter; numbered and named ones are.
    const auto rows =
        db.executeQuery(QStringLiteral("SELECT '?' AS q, ?2 AS two, :name AS named"),
                        QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1);
    EXPECT_EQ(rows->first().value(QStringLiteral("q")), QStringLiteral("?"));
    EXPECT_EQ(rows->first().value(QStringLiteral("two")), QStringLiteral("second"));
    EXPECT_EQ(rows->first().value(QStringLiteral("named")), QStringLiteral("third"));
    EXPECT_EQ(db.executeQuery(QStringLiteral("SELECT ?, ?"), QVariantList{1}), std::nullopt);
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("CREATE TABLE t (v)")));
    EXPECT_FALSE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (?)")));
    EXPECT_TRUE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (?)"), 1, 2));
    EXPECT_EQ(db.executeQuery(QStringLiteral("SELECT v FROM t"))->size(), 1);
}

TEST_F(SqliteTest, TransactionsReportTheirRealResult)
{
    Sqlite db(path());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("CREATE TABLE t (v)")));
    EXPECT_FALSE(db.commit());
    ASSERT_TRUE(db.beginTransaction());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (1)")));
    ASSERT_TRUE(db.rollback());
    ASSERT_TRUE(db.beginDeferredTransaction());
    ASSERT_TRUE(db.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (2)")));
    ASSERT_TRUE(db.commit());
    const auto rows = db.executeQuery(QStringLiteral("SELECT v FROM t"));
    ASSERT_TRUE(rows);
    EXPECT_EQ(*rows, QList<QVariantMap>({{{QStringLiteral("v"), qlonglong(2)}}}));
}

TEST_F(SqliteTest, ABusyDatabaseIsRetriedThenGivenUp)
{
    Sqlite holder(path());
    ASSERT_TRUE(holder.executeNonQuery(QStringLiteral("CREATE TABLE t (v)")));
    Sqlite waiter(path());
    ASSERT_TRUE(holder.beginTransaction());

    waiter.setBusyRetryTimeout(0);
    EXPECT_FALSE(waiter.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (1)")));
    EXPECT_EQ(waiter.errorCode(), SQLITE_BUSY);
    waiter.setBusyRetryTimeout(1);
    EXPECT_FALSE(waiter.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (1)")));

    // Enough retries outlast the holder's transaction.
    waiter.setBusyRetryTimeout(10'000'000);
    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        holder.commit();
    });
    EXPECT_TRUE(waiter.executeNonQuery(QStringLiteral("INSERT INTO t VALUES (1)")));
    release.join();
    EXPECT_EQ(waiter.executeQuery(QStringLiteral("SELECT v FROM t"))->size(), 1);
}

TEST_F(SqliteTest, AFailedOpenKeepsItsCauseAndLeaksNothing)
{
    Sqlite db(path());
    ASSERT_FALSE(db.filePath().isNull());
    EXPECT_FALSE(db.open(path(QStringLiteral("missing/folder/test.db"))));
    EXPECT_TRUE(db.filePath().isNull());
    EXPECT_EQ(db.errorCode(), SQLITE_CANTOPEN);
    EXPECT_EQ(db.errorMessage(), QStringLiteral("unable to open database file"));
    EXPECT_EQ(db.executeQuery(QStringLiteral("SELECT 1")), std::nullopt);
    EXPECT_TRUE(db.open(path()));
    EXPECT_EQ(db.errorCode(), SQLITE_OK);
}

TEST_F(SqliteTest, ClosingWithAStatementStillOpenLosesNoConnection)
{
    Sqlite db(path());
    sqlite3_stmt *statement = nullptr;
    ASSERT_TRUE(db.prepareSql(QStringLiteral("SELECT 1 AS one"), &statement));
    ASSERT_TRUE(db.hasData(statement));
    EXPECT_EQ(db.columnName(statement, 0), QStringLiteral("one"));
    db.close();
    EXPECT_TRUE(db.filePath().isNull());
    // The connection goes once its last statement does.
    EXPECT_EQ(sqlite3_finalize(statement), SQLITE_OK);
}

TEST_F(SqliteTest, VersionAndIdentifiers)
{
    EXPECT_EQ(Sqlite::version(), QString::fromUtf8(sqlite3_libversion()));
    const QString uuid = Sqlite::createUuid();
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
    EXPECT_NE(uuid, Sqlite::createUuid());
}
