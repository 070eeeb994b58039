#include "core/playlist/MissingFiles.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "core/playlist/Items.h"

namespace cadrell {

namespace {

// 0 when the file is there, else the error: only ENOENT and ENOTDIR say that it is not.
int lookUp(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? 0 : errno;
}

bool isAbsence(int error) {
    return error == ENOENT || error == ENOTDIR;
}

struct Folder {
    std::vector<std::pair<int, std::string>> files;  // row and full path
    size_t nameAt = 0;                               // where the names start in those paths
};

}  // namespace

EntryKind LocalFileOf(QByteArrayView entry, QByteArrayView folder, QByteArray& path) {
    if (!IsMediaEntry(entry))
        return EntryKind::NotAFile;
    if (entry.startsWith('/')) {
        path = entry.toByteArray();
        return EntryKind::LocalFile;
    }
    if (entry.size() >= 7 &&
        QByteArrayView(entry.first(7)).compare("file://", Qt::CaseInsensitive) == 0) {
        QByteArrayView rest = entry.sliced(7);
        if (rest.size() >= 10 && rest.first(10).compare("localhost/", Qt::CaseInsensitive) == 0)
            rest = rest.sliced(9);
        if (!rest.startsWith('/'))
            return EntryKind::NotChecked;  // a file on another host
        path = QByteArray::fromPercentEncoding(rest.toByteArray());
        // An escaped zero byte would cut the name short and ask about another file.
        if (path.contains('\0'))
            return EntryKind::NotChecked;
        return EntryKind::LocalFile;
    }
    const bool drive =
        entry.size() >= 2 && entry[1] == ':' && std::isalpha(static_cast<unsigned char>(entry[0]));
    if (drive || entry.startsWith("\\\\") || IsWebAddress(entry) || folder.isEmpty())
        return EntryKind::NotChecked;
    path = folder.toByteArray();
    if (!path.endsWith('/'))
        path += '/';
    path += entry;
    return EntryKind::LocalFile;
}

MissingFiles FindMissingFiles(const std::vector<QByteArray>& entries, const QByteArray& folder,
                              const std::function<void(qsizetype, qsizetype)>& progress,
                              const std::atomic<bool>* cancel) {
    MissingFiles result;
    const qsizetype total = static_cast<qsizetype>(entries.size());
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

    // Group the names by folder first: a folder that holds many of them is read once, which
    // costs far less than asking for each file.
    std::unordered_map<std::string, Folder> folders;
    QByteArray path;
    for (qsizetype r = 0; r < total; ++r) {
        switch (LocalFileOf(entries[static_cast<size_t>(r)], folder, path)) {
            case EntryKind::NotAFile:
                continue;
            case EntryKind::NotChecked:
                ++result.notChecked;
                continue;
            case EntryKind::LocalFile:
                break;
        }
        const qsizetype slash = path.lastIndexOf('/');
        Folder& f = folders[std::string(path.constData(), static_cast<size_t>(slash + 1))];
        f.nameAt = static_cast<size_t>(slash + 1);
        f.files.emplace_back(static_cast<int>(r), path.toStdString());
    }

    qsizetype checked = 0;
    for (const auto& entry : folders)
        checked += static_cast<qsizetype>(entry.second.files.size());
    qsizetype done = 0;
    std::vector<char> isMissing(entries.size(), 0);
    std::unordered_set<std::string_view> names;
    std::vector<std::string> store;
    for (auto& [dir, f] : folders) {
        if (cancelled()) {
            result.cancelled = true;
            break;
        }
        // Reading a folder pays for every name in it; stat pays for each name asked for. A
        // folder's size in bytes tells roughly how many names it holds (some 32 bytes each).
        bool listed = false;
        struct stat st;
        if (f.files.size() >= 8 && ::stat(dir.c_str(), &st) == 0 &&
            static_cast<size_t>(st.st_size) / 32 <= 8 * f.files.size()) {
            if (DIR* d = ::opendir(dir.c_str())) {
                names.clear();
                store.clear();
                while (const dirent* e = ::readdir(d)) {
                    // A symbolic link may point nowhere; those are asked about one by one.
                    if (e->d_type != DT_LNK)
                        store.emplace_back(e->d_name);
                }
                ::closedir(d);
                names.reserve(store.size());
                for (const std::string& s : store)
                    names.insert(s);
                listed = true;
            }
        }
        for (const auto& [row, full] : f.files) {
            const std::string_view name = std::string_view(full).substr(f.nameAt);
            // "." and ".." and names with a path of their own are left to stat.
            const bool plain = listed && !name.empty() && name != "." && name != "..";
            const int error = plain && names.count(name) ? 0 : lookUp(full);
            if (error == 0) {
                ++result.present;
            } else if (isAbsence(error)) {
                isMissing[static_cast<size_t>(row)] = 1;
            } else {
                // A folder we may not enter or a mount that is gone says nothing about the file.
                ++result.unreachable;
                if (result.unreachableError == 0)
                    result.unreachableError = error;
            }
            if (++done % 4096 == 0 && progress)
                progress(done, checked);
        }
    }
    for (size_t r = 0; r < isMissing.size(); ++r)
        if (isMissing[r])
            result.missing.push_back(static_cast<int>(r));
    if (progress && !result.cancelled)
        progress(checked, checked);
    return result;
}

QString MissingFilesMessage(const MissingFiles& result) {
    using strings::FormatCount;
    const qsizetype missing = static_cast<qsizetype>(result.missing.size());
    QString text =
        QStringLiteral("%1 missing, %2 not checked")
            .arg(FormatCount(missing), FormatCount(result.notChecked + result.unreachable));
    if (result.unreachable > 0)
        text += QStringLiteral(" (%1 could not be checked: %2)")
                    .arg(FormatCount(result.unreachable),
                         QString::fromLocal8Bit(std::strerror(result.unreachableError)));
    return text;
}

}  // namespace cadrell
