#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <functional>
#include <vector>

namespace cadrell {

enum class EntryKind { NotAFile, LocalFile, NotChecked };

// What an entry names for the check: a local file, with its absolute path in `path` (a POSIX
// path, a relative name joined to the folder, a file:// URL decoded); something not checked; or
// nothing (a blank or "#" line).
EntryKind LocalFileOf(QByteArrayView entry, QByteArrayView folder, QByteArray& path);

struct MissingFiles {
    std::vector<int> missing;  // rows, ascending
    qsizetype present = 0;
    qsizetype notChecked =
        0;  // drive paths, UNC names, web addresses, relative names without a folder
    bool cancelled = false;  // the other fields then cover only the rows done
};

// Checks a snapshot of the entries (the document is not touched, so this may run on any thread)
// against the disk. folder is the playlist's folder, empty for an untitled playlist. progress,
// when given, hears (rows done, rows) now and then, on the calling thread; cancel stops the work
// soon after it is set.
MissingFiles FindMissingFiles(const std::vector<QByteArray>& entries, const QByteArray& folder,
                              const std::function<void(qsizetype, qsizetype)>& progress = {},
                              const std::atomic<bool>* cancel = nullptr);

}  // namespace cadrell
