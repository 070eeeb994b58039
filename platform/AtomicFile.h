#pragma once

#include <QByteArray>

namespace cadrell {

// Writes a file as a whole or not at all: the text goes to a new file beside the target, which
// is renamed over the target only once every byte has reached the disk. File names are bytes, as
// the file system holds them, so a name that is not valid UTF-8 is written under exactly that
// name. A symbolic link stays a link and its target gets the text; the target keeps its mode.
// Where the folder refuses a new file but the file itself may be written, it is rewritten in
// place instead.
class AtomicFile {
public:
    enum class Failure { None, Create, Write };

    explicit AtomicFile(QByteArray fileName);
    ~AtomicFile();  // removes the new file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    bool write(const char* data, qsizetype size);
    bool commit();
    // Why the last call failed: the file could not be made (or put in place), or the bytes did
    // not all reach the disk.
    Failure failure() const { return failure_; }

private:
    QByteArray target_;
    QByteArray temp_;
    int fd_ = -1;
    bool inPlace_ = false;
    Failure failure_ = Failure::None;
};

}  // namespace cadrell
