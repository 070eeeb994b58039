#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

namespace cadrell {

// The copying of one file for File > Export with Files.

// A copy under its temporary name: closed and removed when it goes out of scope unless it was
// put in place.
struct TempFile {
    QByteArray path;
    int fd = -1;
    bool kept = false;
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
};

struct CopyResult {
    enum Kind {
        Done,
        Unreadable,  // the source failed; `error` says how
        Unwritable,  // the target failed (full, read-only, gone); `error` says how
        TooLarge,    // larger than the target's file system takes
        Changed,     // written to while it was copied
        Cancelled
    };
    Kind kind = Done;
    int error = 0;
    qint64 bytes = 0;
};

// Copies the open regular file `from`, as `before` describes it, to a new file of its own in
// `folder`, `temp`: every byte and the modification time, then closes it. `copied` hears each
// piece's size as it is written; `cancel` is looked at between pieces.
CopyResult CopyToTemp(int from, const struct stat& before, const QByteArray& folder, TempFile& temp,
                      const std::function<void(qint64)>& copied, const std::atomic<bool>& cancel);

// Waits until everything written to the folder's file system is on the disk: 0, or the errno.
// Done after a few files at a time: a flush of the disk's cache costs milliseconds, which
// after every file would take longer than copying small ones.
int SyncFileSystem(const QByteArray& folder);

// Why a file of this type is not copied: "a folder, not a file", ...
QString NotAFileWhy(mode_t mode);

// Renames without replacing anything there: 0, or the errno (EEXIST when the name is taken).
int RenameNoReplace(const QByteArray& from, const QByteArray& to);

}  // namespace cadrell
