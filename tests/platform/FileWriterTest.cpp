#include "platform/FileWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A writer that dies between writing and moving leaves its hidden file behind; the next
// writer in that folder must know it for one of its own, whatever the subtitle was called.
TEST(FileWriter, TemporariesOfAnyNameAreKnownAgainWhenStale)
{
    QTemporaryDir folder;
    for (const QString &name : {QStringLiteral("Film.srt"), QStringLiteral("a%1b.srt"),
                                QStringLiteral("%2%3 100%.srt")}) {
        const QString temporary =
            QFile::decodeName(FileWriter::temporaryNameBeside(folder.filePath(name)));
        const QString hidden = QFileInfo(temporary).fileName();
        EXPECT_TRUE(hidden.startsWith(QLatin1Char('.') + name + QLatin1Char('.')))
            << qPrintable(hidden);
        QFile left(temporary);
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
        left.setFileTime(QDateTime::currentDateTimeUtc().addDays(-2),
                         QFileDevice::FileModificationTime);
        left.close();
    }
    FileWriter::removeStaleTemporaries(folder.path(), std::chrono::hours(24));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}
