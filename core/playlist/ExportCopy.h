#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <atomic>
#include <functional>

namespace cadrell {

// The copying of one file for File > Export with Files.

// A temporary file's name, removed when it goes out of scope unless it was put in place.
struct TempName {
    QByteArray path;
    bool kept = false;
    TempName() = default;
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    ~TempName();
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
// `folder`, named in `temp`: every byte, the modification time, on the disk and closed. `copied`
// hears each piece's size as it is written; `cancel` is looked at between pieces. Whatever the
// result, nothing but a complete copy is left under the temporary name.
CopyResult CopyToTemp(int from, const struct stat& before, const QByteArray& folder, TempName& temp,
                      const std::function<void(qint64)>& copied, const std::atomic<bool>& cancel);

// Renames without replacing anything there: 0, or the errno (EEXIST when the name is taken).
int RenameNoReplace(const QByteArray& from, const QByteArray& to);

}  // namespace cadrell
