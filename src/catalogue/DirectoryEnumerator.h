#pragma once

#include <QString>

#include <functional>

// Lists a folder from the names the file system really holds: hidden entries included,
// symbolic links never followed. A name that does not decode to text that maps back to
// the same bytes could not be opened again through its path, so it is skipped (with its
// subtree). A folder that cannot be read yields nothing. Both are told to whoever asks.
class DirectoryEnumerator final
{
public:
    struct Entry
    {
        // The path below the listed folder, joined with "/".
        QString relativePath;
        // The listed folder joined with the relative path.
        QString path;
        // A folder itself, not a link to one.
        bool isDirectory = false;
    };

    // Something the listing had to pass over.
    struct Unreadable
    {
        // As near to the real path as text can tell it.
        QString path;
        QString reason;
        // A folder that could not be listed, rather than an entry whose name is unreadable.
        bool isListing = false;
        // A folder itself, not a link to one.
        bool isDirectory = false;
    };

    // Answers false from the visitor to stop; enumerate() then answers false too.
    using Visitor = std::function<bool(const Entry &)>;
    using UnreadableVisitor = std::function<void(const Unreadable &)>;

    DirectoryEnumerator() = delete;

    // One level, or the whole tree (each folder's entries before its sub-folders' ones).
    static bool enumerate(const QString &folder, bool deep, const Visitor &visit,
                          const UnreadableVisitor &passedOver = {});
};
