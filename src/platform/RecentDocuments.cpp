#include "platform/RecentDocuments.h"

#include "platform/FileWriter.h"
#include "platform/Logging.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStandardPaths>

#include <pugixml.hpp>

#include <algorithm>
#include <limits>
#include <sstream>

namespace {

const char *const BookmarkNamespace = "http://www.freedesktop.org/standards/desktop-bookmarks";
const char *const MimeNamespace = "http://www.freedesktop.org/standards/shared-mime-info";
const char *const MetadataOwner = "http://freedesktop.org";

void setAttribute(pugi::xml_node node, const char *name, const QByteArray &value)
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        attribute = node.append_attribute(name);
    attribute.set_value(value.constData());
}

pugi::xml_node childOrNew(pugi::xml_node parent, const char *name)
{
    const pugi::xml_node child = parent.child(name);
    return child ? child : parent.append_child(name);
}

pugi::xml_node childWith(pugi::xml_node parent, const char *name, const char *attribute,
                         const QByteArray &value)
{
    for (pugi::xml_node child : parent.children(name)) {
        if (value == child.attribute(attribute).value())
            return child;
    }
    pugi::xml_node child = parent.append_child(name);
    child.append_attribute(attribute).set_value(value.constData());
    return child;
}

pugi::xml_node bookmarkFor(pugi::xml_node root, const QUrl &url, const QByteArray &now)
{
    // Other programs escape a little differently: compare the URLs, not their texts.
    for (pugi::xml_node bookmark : root.children("bookmark")) {
        if (QUrl::fromEncoded(bookmark.attribute("href").value()) == url)
            return bookmark;
    }
    pugi::xml_node bookmark = root.append_child("bookmark");
    setAttribute(bookmark, "href", url.toEncoded());
    setAttribute(bookmark, "added", now);
    return bookmark;
}

QByteArray mimeTypeOf(const QUrl &url)
{
    const QMimeDatabase types;
    const QMimeType type =
        url.isLocalFile() ? types.mimeTypeForFile(url.toLocalFile()) : types.mimeTypeForUrl(url);
    return type.name().toUtf8();
}

void noteUse(pugi::xml_node root, const QUrl &url)
{
    const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    if (!root.attribute("xmlns:bookmark"))
        setAttribute(root, "xmlns:bookmark", BookmarkNamespace);
    if (!root.attribute("xmlns:mime"))
        setAttribute(root, "xmlns:mime", MimeNamespace);

    pugi::xml_node bookmark = bookmarkFor(root, url, now);
    setAttribute(bookmark, "modified", now);
    setAttribute(bookmark, "visited", now);
    pugi::xml_node metadata =
        childWith(childOrNew(bookmark, "info"), "metadata", "owner", MetadataOwner);
    if (!metadata.child("mime:mime-type"))
        setAttribute(metadata.append_child("mime:mime-type"), "type", mimeTypeOf(url));

    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    pugi::xml_node application = childWith(childOrNew(metadata, "bookmark:applications"),
                                           "bookmark:application", "name", name);
    setAttribute(application, "exec", "'" + name + " %u'");
    setAttribute(application, "modified", now);
    // Readers keep the count in an int: it stops at the largest one.
    const long long count = application.attribute("count").as_llong();
    const long long largest = std::numeric_limits<int>::max();
    setAttribute(application, "count",
                 QByteArray::number(count <= 0 ? 1 : std::min(count + 1, largest)));
}

// A list read in another encoding is written back as UTF-8, so its declaration must say so.
// Readers find the encoding by looking for "encoding" anywhere in the declaration, so it is
// written anew with nothing else they could take for one.
void declareUtf8(pugi::xml_document &document)
{
    for (pugi::xml_node node : document.children()) {
        if (node.type() != pugi::node_declaration)
            continue;
        const QByteArray version = node.attribute("version").value();
        const QByteArray standalone = node.attribute("standalone").value();
        node.remove_attributes();
        static const QRegularExpression versionNumber(QStringLiteral("^1\\.[0-9]+$"));
        node.append_attribute("version") =
            QString::fromLatin1(version).contains(versionNumber) ? version.constData() : "1.0";
        node.append_attribute("encoding") = "UTF-8";
        if (standalone == "yes" || standalone == "no")
            node.append_attribute("standalone") = standalone.constData();
    }
}

} // namespace

QString RecentDocuments::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("recently-used.xbel"));
}

RecentDocuments::RecentDocuments(QString path) : m_path(std::move(path)) {}

bool RecentDocuments::noteNewRecentDocumentURL(const QUrl &url) const
{
    const auto refuse = [this](const char *reason) {
        qCWarning(lcPlatform).noquote() << "Recent documents not noted:" << m_path << reason;
        return false;
    };
    if (!url.isValid() || url.isRelative())
        return refuse("(no absolute URL given)");
    const QFileInfo info(m_path);
    if (info.isSymLink())
        return refuse("is a link");

    pugi::xml_document document;
    QByteArray content;
    if (info.exists()) {
        QFile file(m_path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly))
            return refuse("cannot be read");
        content = file.read(MaximumSize + 1);
        if (content.size() > MaximumSize)
            return refuse("is too large");
    }
    const bool fresh = content.trimmed().isEmpty();
    if (fresh) {
        pugi::xml_node declaration = document.append_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
        declaration.append_attribute("encoding") = "UTF-8";
        document.append_child("xbel").append_attribute("version") = "1.0";
    } else {
        const pugi::xml_parse_result read = document.load_buffer(
            content.constData(), size_t(content.size()), pugi::parse_full | pugi::parse_ws_pcdata);
        if (!read || std::string_view(document.document_element().name()) != "xbel")
            return refuse("is damaged; it is left as it is");
        // Only what had to be converted changes encoding; bytes read as they stand (an
        // encoding the parser does not know) are written back under their own declaration.
        if (read.encoding != pugi::encoding_utf8)
            declareUtf8(document);
    }
    noteUse(document.document_element(), url);

    std::ostringstream out;
    document.save(out, "  ", fresh ? pugi::format_indent : pugi::format_raw, pugi::encoding_utf8);
    const QByteArray written = QByteArray::fromStdString(out.str());
    // Text before the declaration, which the parser skips and the writer leaves out, kept the
    // declaration from counting when the list was read; first in the file, it would.
    pugi::xml_document reread;
    const pugi::xml_parse_result again = reread.load_buffer(
        written.constData(), size_t(written.size()), pugi::parse_full | pugi::parse_ws_pcdata);
    if (!again || again.encoding != pugi::encoding_utf8)
        return refuse("would read differently once written; it is left as it is");
    if (!QDir().mkpath(info.absolutePath()))
        return refuse("(its folder cannot be made)");
    QString problem;
    // Other programs' entries live in this file too: a list cut short would lose them all.
    if (!FileWriter::replace(m_path, written, FileWriter::Access::AsReplaced, &problem))
        return refuse(qPrintable(problem));
    return true;
}
