#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <QByteArray>
#include <ctime>
#include <optional>

namespace cadrell {

// Which file a name held and which version of its content: a replaced file gets a new inode, an
// edited one a new size or modification time (to the nanosecond, so two saves within a second
// still differ).
struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t sec = 0;
    long nsec = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp StampOf(const struct stat& st);
// The stamp of the file the name leads to (links followed); nothing when there is none.
std::optional<FileStamp> StampOfFile(const QByteArray& fileName);

}  // namespace cadrell
