#pragma once

// File names on Linux are bytes, and Qt shows them decoded: the bytes of a
// name that is not valid UTF-8 come back from a QString as U+FFFD, which no
// longer names the file. These find the bytes again by listing the folder
// (POSIX), and tell what lies at a path given as bytes.

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorvel::RUVIV_CommonDialog {

// The file system's bytes for `path` as Qt shows it. A part of it that holds
// U+FFFD is matched against its folder's entries by their decoded names; a
// part that names nothing there keeps its own encoding. Nothing when two
// entries show as the same name, or the folder is too large to search.
std::optional<QByteArray> nativePath(const QString& path);
// The bytes of `relative` alone, read from the folder whose bytes are `folder`.
std::optional<QByteArray> nativeNameUnder(const QByteArray& folder, const QString& relative);

struct EntryKind {
    bool exists = false; // the link's target, for a link
    bool isFile = false; // a regular file, or a link to one
    bool isDir = false;  // a folder, or a link to one
    bool isLink = false; // a symbolic link, dangling or not
};
EntryKind entryKind(const QByteArray& path);

} // namespace quorvel::RUVIV_CommonDialog
