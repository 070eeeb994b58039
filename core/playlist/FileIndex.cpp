#include "core/playlist/FileIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <set>

#include "core/platform/PathParts.h"

namespace cadrell {

namespace {

bool isAscii(QByteArrayView s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Other letters are folded only through valid UTF-8: bytes that are not would all become the
// same replacement character and match each other.
QByteArray foldedUnicode(QByteArrayView name) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    if (decoder.hasError()) {
        QByteArray out = name.toByteArray();
        for (char& c : out)
            c = lowerAscii(c);
        return out;
    }
    return text.toCaseFolded().toUtf8();
}

quint64 fnv(QByteArrayView s, bool lower) {
    quint64 h = 1469598103934665603ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(lower ? lowerAscii(c) : c);
        h *= 1099511628211ull;
    }
    return h;
}

// Names are stored with 32-bit offsets; a walk stops well before they would overflow.
constexpr qsizetype kMaxNameBytes = 0xf0000000;

}  // namespace

quint64 FoldedHash(QByteArrayView name) {
    return isAscii(name) ? fnv(name, true) : fnv(foldedUnicode(name), false);
}

bool SameFolded(QByteArrayView a, QByteArrayView b) {
    if (isAscii(a) && isAscii(b))
        return a.compare(b, Qt::CaseInsensitive) == 0;
    return foldedUnicode(a) == foldedUnicode(b);
}

QByteArrayView FileIndex::nameAt(quint32 at) const {
    const char* p = names_.constData() + at;
    return QByteArrayView(p, static_cast<qsizetype>(std::strlen(p)));
}

QByteArray FileIndex::folderPath(quint32 folder) const {
    std::vector<QByteArrayView> parts;
    for (quint32 f = folder; f != kNone; f = folders_[f].parent)
        parts.push_back(nameAt(folders_[f].name));
    QByteArray out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        out += '/';
        out += *it;
    }
    return out.isEmpty() ? QByteArray("/") : out;
}

quint32 FileIndex::folderOf(quint32 file) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), std::make_pair(file, kNone));
    return it == runs_.begin() ? kNone : std::prev(it)->second;
}

QByteArray FileIndex::filePath(quint32 file) const {
    QByteArray out = folderPath(folderOf(file));
    if (!out.endsWith('/'))
        out += '/';
    out += fileName(file);
    return out;
}

std::vector<quint32> FileIndex::find(QByteArrayView name) const {
    const auto key = static_cast<quint32>(FoldedHash(name));
    auto it = std::lower_bound(byName_.begin(), byName_.end(), std::make_pair(key, quint32(0)));
    std::vector<quint32> out;
    for (; it != byName_.end() && it->first == key; ++it)
        if (SameFolded(fileName(it->second), name))
            out.push_back(it->second);
    return out;
}

qsizetype FileIndex::heldBytes() const {
    return names_.capacity() +
           static_cast<qsizetype>(folders_.capacity() * sizeof(Folder) + fileName_.capacity() * 4 +
                                  runs_.capacity() * sizeof(runs_[0]) +
                                  byName_.capacity() * sizeof(byName_[0]));
}

class IndexBuilder {
public:
    IndexBuilder(const std::atomic<bool>& cancel,
                 const std::function<void(qint64, qint64)>& progress)
        : cancel_(cancel), progress_(progress) {}

    FileIndex run(std::vector<QByteArray> roots, bool subfolders) {
        // A folder named twice, or inside another one that is searched with its subfolders,
        // would list its files twice and make every one of them a tie.
        std::vector<std::vector<QByteArray>> split;
        for (QByteArray& root : roots) {
            if (!root.startsWith('/'))
                root = QFile::encodeName(QDir::current().absoluteFilePath(QFile::decodeName(root)));
            std::vector<QByteArrayView> parts;
            SplitPathComponents(root, parts);
            split.emplace_back();
            for (QByteArrayView part : parts)
                split.back().push_back(part.toByteArray());
        }
        std::sort(split.begin(), split.end());
        split.erase(std::unique(split.begin(), split.end()), split.end());
        std::vector<quint32> stack;
        for (size_t i = 0; i < split.size(); ++i) {
            if (subfolders) {
                bool inside = false;
                for (size_t j = 0; j < i && !inside; ++j)
                    inside = split[j].size() < split[i].size() &&
                             std::equal(split[j].begin(), split[j].end(), split[i].begin());
                if (inside)
                    continue;
            }
            quint32 parent = FileIndex::kNone;
            for (const QByteArray& part : split[i])
                parent = addFolder(parent, part);
            stack.push_back(parent);
        }
        std::reverse(stack.begin(), stack.end());
        walk(stack, subfolders, static_cast<qsizetype>(stack.size()));
        finish();
        return std::move(index_);
    }

    FileIndex list(const std::vector<QByteArray>& files) {
        // Folders are shared by consecutive files in the same folder, as a walk lists them.
        std::vector<QByteArray> folder;
        std::vector<quint32> ids;
        for (const QByteArray& path : files) {
            std::vector<QByteArrayView> parts;
            SplitPathComponents(path, parts);
            if (parts.empty())
                continue;
            size_t same = 0;
            while (same < folder.size() && same + 1 < parts.size() && folder[same] == parts[same])
                ++same;
            folder.resize(same);
            ids.resize(same);
            for (size_t i = same; i + 1 < parts.size(); ++i) {
                ids.push_back(addFolder(ids.empty() ? FileIndex::kNone : ids.back(), parts[i]));
                folder.push_back(parts[i].toByteArray());
            }
            addFile(parts.back(), ids.empty() ? FileIndex::kNone : ids.back());
        }
        finish();
        return std::move(index_);
    }

private:
    quint32 addName(QByteArrayView name) {
        const auto at = static_cast<quint32>(index_.names_.size());
        index_.names_.append(name.data(), name.size());
        index_.names_.append('\0');
        return at;
    }
    void addFile(QByteArrayView name, quint32 folder) {
        const auto file = static_cast<quint32>(index_.fileName_.size());
        index_.fileName_.push_back(addName(name));
        if (index_.runs_.empty() || index_.runs_.back().second != folder)
            index_.runs_.emplace_back(file, folder);
    }
    quint32 addFolder(quint32 parent, QByteArrayView name) {
        index_.folders_.push_back({parent, addName(name)});
        return static_cast<quint32>(index_.folders_.size() - 1);
    }
    bool cancelled() const { return cancel_.load(std::memory_order_relaxed); }

    // The stack holds folders still to read; the first `roots` pushed are the searched folders
    // themselves, which may be links (the user chose them), unlike anything found below them.
    void walk(std::vector<quint32>& stack, bool subfolders, qsizetype roots) {
        qint64 done = 0;
        while (!stack.empty()) {
            if (cancelled()) {
                index_.cancelled = true;
                return;
            }
            const quint32 folder = stack.back();
            stack.pop_back();
            const bool root = static_cast<qsizetype>(stack.size()) < roots;
            if (root)
                roots = static_cast<qsizetype>(stack.size());
            read(folder, root, subfolders, stack);
            ++done;
            if (progress_ && (done % 64 == 0 || stack.empty()))
                progress_(done, index_.fileCount());
            if (index_.names_.size() > kMaxNameBytes)
                return;
        }
    }

    void read(quint32 folder, bool root, bool subfolders, std::vector<quint32>& stack) {
        const QByteArray path = index_.folderPath(folder);
        const int fd =
            ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (root ? 0 : O_NOFOLLOW));
        if (fd < 0) {
            ++index_.unreadableFolders;
            return;
        }
        struct stat st;
        // A folder mounted inside itself is a folder, not a link, and would be walked forever.
        if (::fstat(fd, &st) != 0 || !seen_.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            ++index_.unreadableFolders;
            return;
        }
        qint64 count = 0;
        while (const dirent* e = ::readdir(dir)) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if (++count % 4096 == 0 && cancelled())
                break;
            unsigned type = e->d_type;
            if (type == DT_UNKNOWN) {
                if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISREG(st.st_mode)   ? DT_REG
                       : S_ISDIR(st.st_mode) ? DT_DIR
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : DT_FIFO;
            }
            if (type == DT_LNK) {
                // A link to a file names that file; a link to a folder is not followed.
                if (::fstatat(::dirfd(dir), name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                    continue;
                type = DT_REG;
            }
            if (type == DT_REG) {
                addFile(name, folder);
            } else if (type == DT_DIR && subfolders) {
                stack.push_back(addFolder(folder, name));
            }
        }
        ::closedir(dir);
    }

    void finish() {
        FileIndex& x = index_;
        x.names_.squeeze();
        x.folders_.shrink_to_fit();
        x.fileName_.shrink_to_fit();
        x.runs_.shrink_to_fit();
        x.byName_.reserve(x.fileName_.size());
        for (size_t i = 0; i < x.fileName_.size(); ++i) {
            const auto file = static_cast<quint32>(i);
            x.byName_.emplace_back(static_cast<quint32>(FoldedHash(x.fileName(file))), file);
        }
        std::sort(x.byName_.begin(), x.byName_.end());
    }

    const std::atomic<bool>& cancel_;
    const std::function<void(qint64, qint64)>& progress_;
    FileIndex index_;
    std::set<std::pair<dev_t, ino_t>> seen_;
};

FileIndex IndexFolders(const std::vector<QByteArray>& folders, bool subfolders,
                       const std::atomic<bool>& cancel,
                       const std::function<void(qint64, qint64)>& progress) {
    return IndexBuilder(cancel, progress).run(folders, subfolders);
}

FileIndex IndexPaths(const std::vector<QByteArray>& files) {
    static const std::atomic<bool> never{false};
    return IndexBuilder(never, {}).list(files);
}

}  // namespace cadrell
