#include "chooser/qt/native_path.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <memory>

namespace quorvel::RUVIV_CommonDialog {

namespace {

// No real folder comes near this; a larger one is not searched.
constexpr std::size_t kMaxEntriesSearched = 1'000'000;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

enum class Match { None, One, Several };

// The entry of `folder` whose decoded name is `shown`, in `found`.
Match findEntry(const QByteArray& folder, const QString& shown, QByteArray& found) {
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.constData()));
    if (!dir)
        return Match::None;
    Match match = Match::None;
    std::size_t searched = 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (++searched > kMaxEntriesSearched)
            return Match::Several;
        const QByteArray name(entry->d_name);
        if (QFile::decodeName(name) != shown)
            continue;
        if (match == Match::One)
            return Match::Several;
        found = name;
        match = Match::One;
    }
    return match;
}

// `name` read from `folder`, as a path to hand to the system.
QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    if (folder.isEmpty())
        return name.isEmpty() ? QByteArray(".") : name;
    if (name.isEmpty())
        return folder;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

} // namespace

std::optional<QByteArray> nativeNameUnder(const QByteArray& folder, const QString& relative) {
    QByteArray name;
    bool first = true;
    for (const QString& part : relative.split(u'/')) {
        const QByteArray within = joined(folder, name);
        if (!first)
            name += '/';
        first = false;
        // Only a name that lost bytes can differ from its own encoding.
        if (!part.contains(QChar::ReplacementCharacter)) {
            name += QFile::encodeName(part);
            continue;
        }
        QByteArray entry;
        switch (findEntry(within, part, entry)) {
        case Match::None:
            name += QFile::encodeName(part);
            break;
        case Match::One:
            name += entry;
            break;
        case Match::Several:
            return std::nullopt;
        }
    }
    return name;
}

std::optional<QByteArray> nativePath(const QString& path) {
    if (!path.startsWith(u'/'))
        return nativeNameUnder({}, path);
    const auto name = nativeNameUnder("/", path.mid(1));
    if (!name)
        return std::nullopt;
    return '/' + *name;
}

EntryKind entryKind(const QByteArray& path) {
    EntryKind kind;
    struct stat status {};
    if (lstat(path.constData(), &status) == 0)
        kind.isLink = S_ISLNK(status.st_mode);
    if (stat(path.constData(), &status) == 0) {
        kind.exists = true;
        kind.isFile = S_ISREG(status.st_mode);
        kind.isDir = S_ISDIR(status.st_mode);
    }
    return kind;
}

} // namespace quorvel::RUVIV_CommonDialog
