#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
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
    // Drive paths, UNC names, web addresses, relative names without a folder.
    qsizetype notChecked = 0;
    // Local files the system would not say anything about (a folder we may not enter, a mount
    // that no longer answers): neither present nor missing. The first such error.
    qsizetype unreachable = 0;
    int unreachableError = 0;
    bool cancelled = false;  // the other fields then cover only the rows done
};

// Checks a snapshot of the entries (the document is not touched, so this may run on any thread)
// against the disk. folder is the playlist's folder, empty for an untitled playlist. progress,
// when given, hears (rows done, rows) now and then, on the calling thread; cancel stops the work
// soon after it is set.
MissingFiles FindMissingFiles(const std::vector<QByteArray>& entries, const QByteArray& folder,
                              const std::function<void(qsizetype, qsizetype)>& progress = {},
                              const std::atomic<bool>* cancel = nullptr);

// "3 missing, 5 not checked", and why files could not be checked when some could not.
QString MissingFilesMessage(const MissingFiles& result);

}  // namespace cadrell
