#include "platform/RecentDocuments.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <pugixml.hpp>

#include <sstream>

namespace {

// As GTK writes it: another program's entries, a comment and a group.
const QByteArray GtkList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n"
    "  <!-- kept -->\n"
    "  <bookmark href=\"file:///home/u/notes%20%C3%A9t%C3%A9.txt\" "
    "added=\"2024-01-02T10:00:00.000001Z\" modified=\"2024-01-02T10:00:00.000001Z\" "
    "visited=\"2024-01-02T10:00:00.000001Z\">\n"
    "    <info>\n"
    "      <metadata owner=\"http://freedesktop.org\">\n"
    "        <mime:mime-type type=\"text/plain\"/>\n"
    "        <bookmark:groups><bookmark:group>gedit</bookmark:group></bookmark:groups>\n"
    "        <bookmark:applications>\n"
    "          <bookmark:application name=\"gedit\" exec=\"&apos;gedit %u&apos;\" "
    "modified=\"2024-01-02T10:00:00.000001Z\" count=\"3\"/>\n"
    "        </bookmark:applications>\n"
    "      </metadata>\n"
    "    </info>\n"
    "  </bookmark>\n"
    "  <bookmark href=\"file:///srv/Films\" added=\"2023-05-05T05:05:05Z\" "
    "modified=\"2023-05-05T05:05:05Z\" visited=\"2023-05-05T05:05:05Z\">\n"
    "    <info>\n"
    "      <metadata owner=\"http://freedesktop.org\">\n"
    "        <mime:mime-type type=\"inode/directory\"/>\n"
    "        <bookmark:applications>\n"
    "          <bookmark:application name=\"nautilus\" exec=\"&apos;nautilus %u&apos;\" "
    "modified=\"2023-05-05T05:05:05Z\" count=\"1\"/>\n"
    "        </bookmark:applications>\n"
    "      </metadata>\n"
    "    </info>\n"
    "  </bookmark>\n"
    "</xbel>\n";

class RecentDocumentsTest : public ::testing::Test
{
protected:
    QString listPath() const { return m_dir.filePath(QStringLiteral("share/recently-used.xbel")); }

    void writeList(const QByteArray &content) const
    {
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("share"))));
        QFile file(listPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray readList() const
    {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The list as a desktop reads it; null when it is no XBEL document.
    pugi::xml_node parsed()
    {
        m_content = readList();
        if (!m_document.load_buffer(m_content.constData(), size_t(m_content.size())))
            return {};
        const pugi::xml_node root = m_document.child("xbel");
        return root;
    }

    static std::string text(pugi::xml_node node)
    {
        std::ostringstream out;
        node.print(out, "", pugi::format_raw);
        return out.str();
    }

    static pugi::xml_node bookmark(pugi::xml_node root, const char *href)
    {
        return root.find_child_by_attribute("bookmark", "href", href);
    }

    static pugi::xml_node ourApplication(pugi::xml_node bookmark)
    {
        return bookmark.child("info")
            .child("metadata")
            .child("bookmark:applications")
            .find_child_by_attribute("bookmark:application", "name", "trovanel");
    }

    QTemporaryDir m_dir;
    QByteArray m_content;
    pugi::xml_document m_document;
};

} // namespace

TEST_F(RecentDocumentsTest, AFirstNoteWritesAListDesktopsRead)
{
    const QString folder = m_dir.filePath(QStringLiteral("Films"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(RecentDocuments(listPath()).noteNewRecentDocumentURL(QUrl::fromLocalFile(folder)));

    const pugi::xml_node root = parsed();
    ASSERT_TRUE(root) << m_content.toStdString();
    EXPECT_STREQ(root.attribute("version").value(), "1.0");
    EXPECT_STREQ(root.attribute("xmlns:bookmark").value(),
                 "http://www.freedesktop.org/standards/desktop-bookmarks");
    EXPECT_STREQ(root.attribute("xmlns:mime").value(),
                 "http://www.freedesktop.org/standards/shared-mime-info");
    const pugi::xml_node entry = root.child("bookmark");
    EXPECT_EQ(QUrl::fromEncoded(entry.attribute("href").value()), QUrl::fromLocalFile(folder));
    for (const char *stamp : {"added", "modified", "visited"})
        EXPECT_TRUE(QDateTime::fromString(QString::fromUtf8(entry.attribute(stamp).value()),
                                          Qt::ISODateWithMs)
                        .isValid())
            << stamp;
    const pugi::xml_node metadata = entry.child("info").child("metadata");
    EXPECT_STREQ(metadata.attribute("owner").value(), "http://freedesktop.org");
    EXPECT_STREQ(metadata.child("mime:mime-type").attribute("type").value(), "inode/directory");
    const pugi::xml_node application = ourApplication(entry);
    EXPECT_STREQ(application.attribute("exec").value(), "'trovanel %u'");
    EXPECT_EQ(application.attribute("count").as_int(), 1);
    EXPECT_EQ(QDir(m_dir.filePath(QStringLiteral("share"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("recently-used.xbel")})
        << "the list is replaced whole, with no leftover";
}

TEST_F(RecentDocumentsTest, EveryOtherEntryIsKeptAndRepeatedUseIsCounted)
{
    writeList(GtkList);
    pugi::xml_document before;
    ASSERT_TRUE(before.load_buffer(GtkList.constData(), size_t(GtkList.size())));
    const RecentDocuments recent(listPath());
    const QUrl films(QStringLiteral("file:///srv/Films"));
    const QUrl other(QStringLiteral("file:///srv/Other%20Films"));
    ASSERT_TRUE(recent.noteNewRecentDocumentURL(films));
    ASSERT_TRUE(recent.noteNewRecentDocumentURL(other));
    ASSERT_TRUE(recent.noteNewRecentDocumentURL(films));

    const pugi::xml_node root = parsed();
    ASSERT_TRUE(root) << m_content.toStdString();
    EXPECT_TRUE(m_content.contains("<!-- kept -->"));
    const char *const notes = "file:///home/u/notes%20%C3%A9t%C3%A9.txt";
    EXPECT_EQ(text(bookmark(root, notes)), text(bookmark(before.child("xbel"), notes)));
    EXPECT_EQ(std::distance(root.children("bookmark").begin(), root.children("bookmark").end()), 3);

    const pugi::xml_node shared = bookmark(root, "file:///srv/Films");
    EXPECT_STREQ(shared.attribute("added").value(), "2023-05-05T05:05:05Z");
    EXPECT_STRNE(shared.attribute("modified").value(), "2023-05-05T05:05:05Z");
    const pugi::xml_node applications =
        shared.child("info").child("metadata").child("bookmark:applications");
    EXPECT_EQ(
        text(applications.find_child_by_attribute("bookmark:application", "name", "nautilus")),
        text(bookmark(before.child("xbel"), "file:///srv/Films")
                 .child("info")
                 .child("metadata")
                 .child("bookmark:applications")
                 .first_child()));
    EXPECT_EQ(ourApplication(shared).attribute("count").as_int(), 2);
    EXPECT_EQ(
        ourApplication(bookmark(root, "file:///srv/Other%20Films")).attribute("count").as_int(), 1);
}

TEST_F(RecentDocumentsTest, ListsInOtherEncodingsStayReadableWhateverTheirDeclaration)
{
    const auto list = [](const char *declaration) {
        return QStringLiteral("<?xml version=\"1.0\" %1?>\n<xbel version=\"1.0\">"
                              "<bookmark href=\"file:///home/u/x.txt\"><title>\u00c9t\u00e9 "
                              "\u00e0 Paris</title></bookmark></xbel>\n")
            .arg(QLatin1String(declaration));
    };
    QStringEncoder utf16(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom);
    const QUrl films(QStringLiteral("file:///srv/Films"));
    // Readers take the encoding from "encoding=" wherever it stands in the declaration.
    for (const QByteArray &content :
         {list("encoding=\"ISO-8859-1\"").toLatin1(),
          list("xencoding=\"ISO-8859-1\" standalone=\"yes\"").toLatin1(),
          QByteArray(utf16.encode(list("encoding=\"UTF-16\"")))}) {
        writeList(content);
        // Noted twice: nothing may drift from one rewrite to the next.
        for (int note = 0; note < 2; ++note) {
            ASSERT_TRUE(RecentDocuments(listPath()).noteNewRecentDocumentURL(films));
            const pugi::xml_node root = parsed();
            ASSERT_TRUE(root) << m_content.toStdString();
            EXPECT_STREQ(bookmark(root, "file:///home/u/x.txt").child_value("title"),
                         "\u00c9t\u00e9 \u00e0 Paris");
            EXPECT_TRUE(ourApplication(bookmark(root, "file:///srv/Films")));
            EXPECT_TRUE(m_content.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\""))
                << m_content.left(60).toStdString();
        }
    }
}

TEST_F(RecentDocumentsTest, TheUseCountStopsAtItsLargestValue)
{
    QByteArray content = GtkList;
    content.replace("name=\"nautilus\" exec=\"&apos;nautilus %u&apos;\"",
                    "name=\"trovanel\" exec=\"&apos;trovanel %u&apos;\"");
    writeList(content.replace("count=\"1\"", "count=\"2147483647\""));
    ASSERT_TRUE(RecentDocuments(listPath())
                    .noteNewRecentDocumentURL(QUrl(QStringLiteral("file:///srv/Films"))));
    EXPECT_STREQ(ourApplication(bookmark(parsed(), "file:///srv/Films")).attribute("count").value(),
                 "2147483647");
}

TEST_F(RecentDocumentsTest, AFullDiskLeavesTheWholeListAsItWas)
{
    writeList(GtkList);
    QFile::setPermissions(listPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QUrl films(QStringLiteral("file:///srv/Films"));
    bool noted = true;
    TestSupport::withFileSizeLimit(GtkList.size(), [&] {
        noted = RecentDocuments(listPath()).noteNewRecentDocumentURL(films);
    });
    EXPECT_FALSE(noted);
    EXPECT_EQ(readList(), GtkList);
    EXPECT_EQ(QDir(m_dir.filePath(QStringLiteral("share"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("recently-used.xbel")});

    // Another program's privacy choice outlives the replacement.
    ASSERT_TRUE(RecentDocuments(listPath()).noteNewRecentDocumentURL(films));
    EXPECT_FALSE(QFileInfo(listPath()).permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

TEST_F(RecentDocumentsTest, ADamagedOrLinkedListIsNeverReplaced)
{
    const QUrl films(QStringLiteral("file:///srv/Films"));
    for (const QByteArray &damaged :
         {GtkList.left(GtkList.size() / 2), QByteArray("<?xml version=\"1.0\"?><html/>"),
          QByteArray("\xff\xfe garbage"),
          // Read as UTF-8; written without the text, its declaration would count.
          "text<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + GtkList.mid(39)}) {
        writeList(damaged);
        EXPECT_FALSE(RecentDocuments(listPath()).noteNewRecentDocumentURL(films));
        EXPECT_EQ(readList(), damaged);
    }

    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.xbel"));
    QFile::remove(listPath());
    {
        QFile target(elsewhere);
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        target.write(GtkList);
    }
    ASSERT_TRUE(QFile::link(elsewhere, listPath()));
    EXPECT_FALSE(RecentDocuments(listPath()).noteNewRecentDocumentURL(films));
    QFile target(elsewhere);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), GtkList);
    EXPECT_TRUE(QFileInfo(listPath()).isSymLink());
}
