#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <functional>

#include "core/platform/FileStamp.h"

namespace cadrell {

// Writes a file as a whole or not at all: the text goes to a new file beside the target, which
// is put in the target's place only once every byte has reached the disk. Where the file system
// allows, the new file has no name until then, so a save that is killed leaves nothing behind;
// elsewhere it is a temporary name of our own pattern, and such names left by an earlier run
// are removed at the next save in that folder. File names are bytes, as the file system holds
// them, so a name that is not valid UTF-8 is written under exactly that name.
//
// A symbolic link stays a link and its target gets the text; the target keeps its mode, ACL and
// extended attributes and, where the writer may set them, its owner and group. A link is
// followed only when it belongs to the writer or to root: anyone else's link could point a save
// by root (or by anyone else) at a file its owner may not write.
//
// Where the new file cannot be put in place (the folder takes no new file, or it is a sticky
// folder and the file is another user's) but the file itself may be written, it is rewritten in
// place instead: the room for the new text is reserved first, so a full disk refuses the save
// before a byte is touched, and a copy of the old bytes is kept in the user's state folder
// (SaveBackup.h) until the new ones are on the disk.
class AtomicFile {
public:
    enum class Failure { None, Create, Write };
    // The steps a save takes that the disk or the file system may refuse: making the unnamed
    // file, reserving room for an in-place rewrite, the last steps, and the moment before a file
    // to be rewritten in place is opened again.
    enum class Step { Unnamed, Reserve, Sync, Close, Rename, Reopen };
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

    // `size`, when known, is the size of the text to come: reserved before an in-place rewrite.
    bool open(qint64 size = -1);
    bool write(const char* data, qsizetype size);
    bool commit();
    // Why the last call failed: the file could not be made (or put in place), or the bytes did
    // not all reach the disk.
    Failure failure() const { return failure_; }
    // What the user should know beyond that, or "": why the file was not touched, or where the
    // old text of a failed in-place rewrite is kept.
    QString detail() const { return detail_; }
    // The file as written, once committed.
    const FileStamp& stamp() const { return stamp_; }

private:
    bool openUnnamed();
    bool openNamed();
    bool openInPlace(dev_t dev, ino_t ino, qint64 size);
    bool reserve(qint64 size);
    bool linkUnnamed();
    void keptDetail();

    QByteArray target_;
    QByteArray temp_;    // the temporary name the new file has, if any
    QByteArray backup_;  // the copy of the old bytes during an in-place rewrite
    mode_t newMode_;
    int fd_ = -1;
    bool unnamed_ = false;
    bool inPlace_ = false;
    bool touched_ = false;  // bytes of the old file were written over
    Failure failure_ = Failure::None;
    QString detail_;
    FileStamp stamp_;
};

// The process's umask, read without changing it (changing it is not safe with threads).
mode_t CurrentUmask();

}  // namespace cadrell
