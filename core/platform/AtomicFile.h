#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <functional>

namespace cadrell {

// Writes a file as a whole or not at all: the text goes to a new file beside the target, which
// is renamed over the target only once every byte has reached the disk. File names are bytes, as
// the file system holds them, so a name that is not valid UTF-8 is written under exactly that
// name. A symbolic link stays a link and its target gets the text; the target keeps its mode and,
// where the writer may set it, its owner and group. A link in a sticky world-writable folder is
// followed only when it belongs to the writer or to the folder's owner, as the kernel does.
// Where the new file cannot be put in place (the folder takes no new file, or it is a sticky
// folder and the file is another user's) but the file itself may be written, it is rewritten in
// place instead.
class AtomicFile {
public:
    enum class Failure { None, Create, Write };
    // The last steps of a save, which the disk or the file system may still refuse, and the
    // moment before a file to be rewritten in place is opened again.
    enum class Step { Sync, Close, Rename, Reopen };
    // Called before each step with the name being saved; a non-zero result is taken as the
    // step's errno and the step is not done. Lets tests make a step fail that no real file
    // system fails on demand. nullptr removes it.
    using StepHook = std::function<int(Step, const QByteArray& target)>;
    static void setStepHook(StepHook hook);

    // `newMode` is the mode of a file that does not exist yet, before the umask.
    explicit AtomicFile(QByteArray fileName, mode_t newMode = 0666);
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
    bool openInPlace(dev_t dev, ino_t ino);

    QByteArray target_;
    QByteArray temp_;
    mode_t newMode_;
    int fd_ = -1;
    bool inPlace_ = false;
    Failure failure_ = Failure::None;
};

// The process's umask, read without changing it (changing it is not safe with threads).
mode_t CurrentUmask();

}  // namespace cadrell
