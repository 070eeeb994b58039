#include "core/platform/PathParts.h"

#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace cadrell {

namespace {

// Kept local so the scans below inline it: a library built position-independent will not inline
// an exported function, and Remove Path on a million entries calls this for every byte it scans.
inline bool delimiter(char c) {
    return c == '\\' || c == ':' || c == '/';
}

}  // namespace

bool IsDelimiter(char c) {
    return delimiter(c);
}

qsizetype LastDelimiter(QByteArrayView name) {
    const char* const begin = name.data();
    for (const char* p = begin + name.size(); p != begin;) {
        if (delimiter(*--p))
            return p - begin;
    }
    return -1;
}

QByteArray DrivePart(QByteArrayView name) {
    if (name.size() >= 2 && name[1] == ':')
        return name.first(2).toByteArray();
    if (name.startsWith("\\\\")) {
        const qsizetype server = name.indexOf('\\', 2);
        if (server < 0)
            return name.toByteArray();
        const qsizetype share = name.indexOf('\\', server + 1);
        return share < 0 ? name.toByteArray() : name.first(share).toByteArray();
    }
    return {};
}

qsizetype FileNameOffset(QByteArrayView name) {
    return LastDelimiter(name) + 1;
}

QByteArray FileNamePart(QByteArrayView name) {
    return name.sliced(FileNameOffset(name)).toByteArray();
}

qsizetype DirectoryLength(QByteArrayView name) {
    const qsizetype d = LastDelimiter(name);
    if (d < 0)
        return 0;
    // A colon belongs to the folder; a slash only where it makes a root (C:\, \\).
    const bool keep = name[d] == ':' ||
                      (d > 0 && (name[d - 1] == ':' || name[d - 1] == '\\' || name[d - 1] == '/'));
    return keep ? d + 1 : d;
}

QByteArray DirectoryPart(QByteArrayView name) {
    return name.first(DirectoryLength(name)).toByteArray();
}

QByteArray Extension(QByteArrayView name) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || dot < LastDelimiter(name))
        return {};
    return name.sliced(dot).toByteArray();
}

QByteArray ReplaceExtension(QByteArrayView name, QByteArrayView extension) {
    const qsizetype keep = name.size() - Extension(name).size();
    return name.first(keep).toByteArray() + extension.toByteArray();
}

qsizetype StripDriveOffset(QByteArrayView name) {
    const bool hasDrive = (name.size() >= 2 && name[1] == ':') || name.startsWith("\\\\");
    if (!hasDrive)
        return 0;
    const qsizetype colon = name.indexOf(':');
    return colon < 0 ? 0 : colon + 1;
}

bool IsWebAddress(QByteArrayView name) {
    // Only the scheme is scanned: Remove Path asks this of every entry.
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (name.isEmpty() || !alpha(name[0]))
        return false;
    qsizetype i = 1;
    while (i < name.size() && (alpha(name[i]) || (name[i] >= '0' && name[i] <= '9') ||
                               name[i] == '+' || name[i] == '-' || name[i] == '.'))
        ++i;
    return i >= 2 && name.size() - i >= 3 && name[i] == ':' && name[i + 1] == '/' &&
           name[i + 2] == '/';
}

QByteArray StripDrive(QByteArrayView name) {
    return name.sliced(StripDriveOffset(name)).toByteArray();
}

QByteArray NormaliseStartFolder(QByteArray folder) {
    if (folder.size() > 1 && (folder.endsWith('\\') || folder.endsWith('/')) &&
        folder[folder.size() - 2] != ':')
        folder.chop(1);
    return folder;
}

QByteArray StoredName(const QByteArray& path) {
    // Names are case-sensitive here and have no short forms: an object that exists is stored
    // under exactly the name it was found by.
    struct stat st;
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0)
        return {};
    return FileNamePart(path);
}

QByteArray DisplayPath(QByteArrayView name) {
    // Worked from the leaf towards the root without recursion, so a name of thousands of
    // components cannot exhaust the stack.
    const bool lookUp = name.size() < 4096;  // no longer name can exist on disk
    std::vector<QByteArray> pieces;
    QByteArrayView cur = name;
    QByteArray base;
    for (;;) {
        const QByteArray drive = DrivePart(cur);
        const QByteArrayView rest = cur.sliced(drive.size());
        if (rest.isEmpty() || rest == "\\") {
            base = cur.toByteArray();
            if (base.endsWith('\\'))
                base.chop(1);
            break;
        }
        const qsizetype d = LastDelimiter(cur);
        if (d < 0) {
            // A bare relative name reads best as itself.
            base = cur.toByteArray();
            break;
        }
        const qsizetype folder = DirectoryLength(cur);
        if (folder >= cur.size()) {
            // A doubled separator ("a\\\\b", "//b") keeps itself as its own folder; take it as
            // written rather than looking for a parent that never gets shorter.
            base = cur.first(cur.size() - 1).toByteArray();
            break;
        }
        QByteArray leaf = lookUp ? StoredName(cur.toByteArray()) : QByteArray();
        if (leaf.isEmpty())
            leaf = FileNamePart(cur);
        // Join with the separator that stood before the leaf; after a drive colon the
        // Windows separator, so C:a.m3u reads C:\a.m3u. Elsewhere a colon is part of a name.
        const bool driveColon = d == 1 && cur[d] == ':' && std::isalpha(uchar(cur[0]));
        const char sep = driveColon ? '\\' : cur[d];
        pieces.push_back(sep + leaf);
        cur = cur.first(folder);
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
        base += *it;
    return base;
}

void SplitPathComponents(QByteArrayView path, std::vector<QByteArrayView>& into) {
    qsizetype start = 0;
    while (start <= path.size()) {
        qsizetype end = path.indexOf('/', start);
        if (end < 0)
            end = path.size();
        const QByteArrayView part = path.sliced(start, end - start);
        if (part == "..") {
            if (!into.empty())
                into.pop_back();
        } else if (!part.isEmpty() && part != ".") {
            into.push_back(part);
        }
        start = end + 1;
    }
}

}  // namespace cadrell
