// The desktop's list of recently used files as other programs left it, noted for a fixed file
// and then for the first address the list already holds.
#include "FuzzSupport.h"
#include "platform/RecentDocuments.h"

#include <pugixml.hpp>

#include <cstring>
#include <limits>
#include <sstream>

namespace {

const QByteArray Application = "trovanel";

struct List
{
    pugi::xml_document document;
    bool readable = false;
};

// Read as the desktop's other programs read it: the encoding its declaration names.
std::unique_ptr<List> parse(const QByteArray &content)
{
    auto list = std::make_unique<List>();
    const pugi::xml_parse_result result = list->document.load_buffer(
        content.constData(), size_t(content.size()), pugi::parse_full | pugi::parse_ws_pcdata);
    list->readable = result && std::strcmp(list->document.document_element().name(), "xbel") == 0;
    return list;
}

// The list as any program using the parser writes it back: it mends what is not quite XML,
// such as "--" inside a comment, as it writes. Read again as the text it was read as, so that
// a wrong declaration still shows.
std::unique_ptr<List> asWritten(const List &list)
{
    std::ostringstream out;
    list.document.save(out, "", pugi::format_raw | pugi::format_no_declaration,
                       pugi::encoding_utf8);
    const std::string text = out.str();
    auto written = std::make_unique<List>();
    written->document.load_buffer(text.data(), text.size(),
                                  pugi::parse_full | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    written->readable = list.readable;
    return written;
}

bool same(const pugi::xml_node &a, const pugi::xml_node &b)
{
    if (a.type() != b.type() || std::strcmp(a.name(), b.name()) != 0 ||
        std::strcmp(a.value(), b.value()) != 0)
        return false;
    auto attribute = b.first_attribute();
    for (const pugi::xml_attribute &mine : a.attributes()) {
        if (!attribute || std::strcmp(mine.name(), attribute.name()) != 0 ||
            std::strcmp(mine.value(), attribute.value()) != 0)
            return false;
        attribute = attribute.next_attribute();
    }
    if (attribute)
        return false;
    auto child = b.first_child();
    for (const pugi::xml_node &mine : a.children()) {
        if (!child || !same(mine, child))
            return false;
        child = child.next_sibling();
    }
    return !child;
}

pugi::xml_node bookmarkOf(const pugi::xml_node &root, const QUrl &url)
{
    for (const pugi::xml_node &bookmark : root.children("bookmark")) {
        if (QUrl::fromEncoded(bookmark.attribute("href").value()) == url)
            return bookmark;
    }
    return {};
}

// The children of a node but one, in order.
std::vector<pugi::xml_node> childrenBut(const pugi::xml_node &parent, const pugi::xml_node &left)
{
    std::vector<pugi::xml_node> children;
    for (const pugi::xml_node &child : parent.children()) {
        if (child != left)
            children.push_back(child);
    }
    return children;
}

pugi::xml_node applicationsOf(const pugi::xml_node &bookmark)
{
    for (const pugi::xml_node &metadata : bookmark.child("info").children("metadata")) {
        if (std::strcmp(metadata.attribute("owner").value(), "http://freedesktop.org") == 0)
            return metadata.child("bookmark:applications");
    }
    return {};
}

pugi::xml_node ourApplication(const pugi::xml_node &applications)
{
    return applications.find_child_by_attribute("bookmark:application", "name",
                                                Application.constData());
}

// Everything other programs wrote is still there, read the same; only this program's own
// entry for the address changed.
void checkNoted(const List &before, const List &after, const QUrl &url)
{
    FUZZ_CHECK(after.readable, "the list written back cannot be read as a list");
    const pugi::xml_node oldRoot = before.document.document_element();
    const pugi::xml_node newRoot = after.document.document_element();
    // Attributes may be added after those found, never changed.
    pugi::xml_attribute added = newRoot.first_attribute();
    for (const pugi::xml_attribute &attribute : oldRoot.attributes()) {
        FUZZ_CHECK(added && std::strcmp(added.name(), attribute.name()) == 0 &&
                       std::strcmp(added.value(), attribute.value()) == 0,
                   "an attribute of the list changed");
        added = added.next_attribute();
    }
    const pugi::xml_node oldBookmark = bookmarkOf(oldRoot, url);
    const pugi::xml_node newBookmark = bookmarkOf(newRoot, url);
    FUZZ_CHECK(newBookmark, "the address noted is not in the list");
    const std::vector<pugi::xml_node> oldOthers = childrenBut(oldRoot, oldBookmark);
    const std::vector<pugi::xml_node> newOthers = childrenBut(newRoot, newBookmark);
    FUZZ_CHECK(oldOthers.size() == newOthers.size(), "entries of the list were added or lost");
    for (size_t i = 0; i < oldOthers.size(); ++i)
        FUZZ_CHECK(same(oldOthers[i], newOthers[i]), "another program's entry was changed");

    const pugi::xml_node application = ourApplication(applicationsOf(newBookmark));
    FUZZ_CHECK(application, "the address has no entry of this program");
    const long long count = application.attribute("count").as_llong();
    const long long oldCount =
        oldBookmark ? ourApplication(applicationsOf(oldBookmark)).attribute("count").as_llong() : 0;
    const long long largest = std::numeric_limits<int>::max();
    FUZZ_CHECK(count == (oldCount <= 0 ? 1 : std::min(oldCount + 1, largest)),
               "the use count is not the one before plus one, kept within an int");
    if (!oldBookmark)
        return;
    const auto holds = [](const pugi::xml_node &parent, const pugi::xml_node &child) {
        return bool(
            parent.find_child([&](const pugi::xml_node &node) { return same(child, node); }));
    };
    for (const pugi::xml_node &child : oldBookmark.children()) {
        if (std::strcmp(child.name(), "info") != 0)
            FUZZ_CHECK(holds(newBookmark, child),
                       "the title or description of the address noted was changed");
    }
    const pugi::xml_node ours = ourApplication(applicationsOf(oldBookmark));
    for (const pugi::xml_node &other : applicationsOf(oldBookmark).children()) {
        if (other != ours)
            FUZZ_CHECK(holds(applicationsOf(newBookmark), other),
                       "another program's use of the address noted was changed");
    }
}

void note(const QString &path, const QByteArray &content, const QUrl &url)
{
    FUZZ_CHECK(Fuzz::writeFile(path, content));
    const bool noted = RecentDocuments(path).noteNewRecentDocumentURL(url);
    const QByteArray written = Fuzz::readFile(path);
    FUZZ_CHECK(Fuzz::entriesBelow(QFileInfo(path).path()) ==
                   QStringList{QFileInfo(path).fileName()},
               "a file other than the list was left beside it");
    const std::unique_ptr<List> before = parse(content);
    FUZZ_CHECK(!noted || content.trimmed().isEmpty() || before->readable,
               "a list that cannot be read was replaced");
    // Lists are refused when text before the declaration kept it from counting.
    FUZZ_CHECK(noted || !before->readable || !content.startsWith('<'),
               "a readable list was refused");
    if (!noted) {
        FUZZ_CHECK(written == content, "a list that was refused changed");
        return;
    }
    const std::unique_ptr<List> after = parse(written);
    if (before->readable)
        checkNoted(*asWritten(*before), *after, url);
    else
        FUZZ_CHECK(after->readable && bookmarkOf(after->document.document_element(), url),
                   "a new list cannot be read or lacks the address noted");
    FUZZ_CHECK(RecentDocuments(path).noteNewRecentDocumentURL(url),
               "the list this program wrote cannot be noted again");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(Application));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = Fuzz::freshFolder(QStringLiteral("list"));
    const QString path = QDir(folder).filePath(QStringLiteral("recently-used.xbel"));
    const QByteArray content = Fuzz::bytes(data, size);

    note(path, content, QUrl::fromLocalFile(QStringLiteral("/srv/Films/Été à Paris.mkv")));
    const std::unique_ptr<List> list = parse(content);
    const QUrl first = QUrl::fromEncoded(
        list->document.document_element().child("bookmark").attribute("href").value());
    if (list->readable && first.isValid() && !first.isRelative())
        note(path, content, first);
    return 0;
}
