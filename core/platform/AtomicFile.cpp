#include "core/platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "core/platform/FileAttributes.h"
#include "core/platform/SaveBackup.h"

namespace cadrell {

namespace {

AtomicFile::StepHook& stepHook() {
    static AtomicFile::StepHook hook;
    return hook;
}

// The errno a test wants the step to fail with, or 0 to do it.
int injected(AtomicFile::Step step, const QByteArray& target) {
    return stepHook() ? stepHook()(step, target) : 0;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

// Resolving links here bypasses the kernel's own guard for shared folders, and root follows a
// link anywhere; so a link is followed only when its owner could have written the target
// anyway: the writer, or root.
bool mayFollow(const struct stat& linkStat) {
    return linkStat.st_uid == ::geteuid() || linkStat.st_uid == 0;
}

// The file a chain of symbolic links ends at, also when that file does not exist yet; nothing
// when a link on the way may not be followed.
std::optional<QByteArray> finalTarget(QByteArray path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (!mayFollow(st))
            return std::nullopt;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n =
            ::readlink(path.constData(), link.data(), static_cast<size_t>(link.size()));
        // A link that cannot be read, or a loop, names no file: renaming over it would replace
        // the link itself.
        if (n <= 0 || n >= link.size())
            return std::nullopt;
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    return std::nullopt;
}

// When the program started: a temporary file of ours older than this belongs to no save at work.
const struct timespec kStarted = [] {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}();

constexpr char kTempMark[] = ".cadrell-";
constexpr int kTempLetters = 6;  // as mkostemp fills them in

// Temporary names in the target's folder are the target's own name, the mark and six letters
// where that fits the file system, else the mark and the letters alone (a name of 241 bytes and
// more leaves no room). This returns the name without the letters.
QByteArray tempPrefix(const QByteArray& target) {
    const QByteArray folder = folderOf(target);
    const qsizetype base = target.size() - target.lastIndexOf('/') - 1;
    long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (max <= 0)
        max = NAME_MAX;
    if (base + qsizetype(sizeof kTempMark) - 1 + kTempLetters <= max)
        return target + kTempMark;
    return folder + '/' + kTempMark;
}

QByteArray randomLetters() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out;
    for (int i = 0; i < kTempLetters; ++i)
        out += letters[QRandomGenerator::global()->bounded(62)];
    return out;
}

bool isTempName(QByteArrayView entry, QByteArrayView base) {
    const QByteArrayView mark(kTempMark);
    if (entry.startsWith(base) && entry.sliced(base.size()).startsWith(mark))
        entry = entry.sliced(base.size() + mark.size());
    else if (entry.startsWith(mark))
        entry = entry.sliced(mark.size());
    else
        return false;
    if (entry.size() != kTempLetters)
        return false;
    for (char c : entry) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Temporary files that a save killed half-way left beside the target: ours by name and owner,
// and older than this run, so a save under way here is never touched. One of another instance
// that has stalled for that long loses its file and reports the failed rename; nothing the user
// had is lost.
void removeStaleTemps(const QByteArray& target) {
    DIR* dir = ::opendir(folderOf(target).constData());
    if (!dir)
        return;
    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTempName(entry->d_name, base))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != me)
            continue;
        if (st.st_mtim.tv_sec < kStarted.tv_sec ||
            (st.st_mtim.tv_sec == kStarted.tv_sec && st.st_mtim.tv_nsec < kStarted.tv_nsec))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The attributes of the file about to be replaced, from the file itself where it can be opened
// for reading and is still the one looked at, else from its name.
FileAttributeList attributesOf(const QByteArray& path, const struct stat& st) {
    const int fd =
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return ReadFileAttributes(-1, path);
    struct stat now;
    FileAttributeList attributes;
    if (::fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        attributes = ReadFileAttributes(fd, path);
    ::close(fd);
    return attributes;
}

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// In a sticky folder only the file's or the folder's owner may replace a file; anyone else who
// may write the file has to write it where it is.
bool renameRefused(const QByteArray& folder, const struct stat& file) {
    struct stat dir;
    if (::stat(folder.constData(), &dir) != 0)
        return false;
    const uid_t me = ::geteuid();
    return (dir.st_mode & S_ISVTX) && me != 0 && file.st_uid != me && dir.st_uid != me;
}

bool syncStep(int fd, const QByteArray& target) {
    if (const int err = injected(AtomicFile::Step::Sync, target)) {
        errno = err;
        return false;
    }
    return ::fsync(fd) == 0;
}

// The descriptor is gone afterwards whatever the outcome, as with close itself.
bool closeStep(int& fd, const QByteArray& target) {
    const int err = injected(AtomicFile::Step::Close, target);
    const bool closed = ::close(fd) == 0;
    fd = -1;
    if (err) {
        errno = err;
        return false;
    }
    return closed;
}

bool renameStep(const QByteArray& from, const QByteArray& to) {
    if (const int err = injected(AtomicFile::Step::Rename, to)) {
        errno = err;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

// Makes the new name itself survive a power cut. Some file systems cannot sync a folder; the
// file is in place by now either way.
void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void AtomicFile::setStepHook(StepHook hook) {
    stepHook() = std::move(hook);
}

mode_t CurrentUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char buf[8192];
        size_t used = 0;
        ssize_t n;
        while (used < sizeof buf - 1 && (n = ::read(fd, buf + used, sizeof buf - 1 - used)) != 0) {
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            used += size_t(n);
        }
        ::close(fd);
        buf[used] = '\0';
        if (const char* line = std::strstr(buf, "\nUmask:"))
            return mode_t(std::strtoul(line + 7, nullptr, 8) & 0777);
    }
    // Without a way to read it, a new file is better too private than too open.
    return 077;
}

AtomicFile::AtomicFile(QByteArray fileName, mode_t newMode)
    : target_(std::move(fileName)), newMode_(newMode) {}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.isEmpty())
        ::unlink(temp_.constData());
    // Kept when the old bytes were written over; useless when they were not.
    if (!backup_.isEmpty() && !touched_)
        ::unlink(backup_.constData());
}

bool AtomicFile::open(qint64 size) {
    failure_ = Failure::Create;
    detail_.clear();
    if (target_.isEmpty() || target_.contains('\0'))
        return false;
    std::optional<QByteArray> resolved = finalTarget(target_);
    if (!resolved)
        return false;
    target_ = std::move(*resolved);
    removeStaleTemps(target_);
    struct stat st;
    mode_t mode = newMode_ & ~CurrentUmask() & 0777;
    const bool exists = ::stat(target_.constData(), &st) == 0;
    FileAttributeList attributes;
    if (exists) {
        // Only a regular file may be replaced, and only one we may write to.
        if (!S_ISREG(st.st_mode) || ::access(target_.constData(), W_OK) != 0)
            return false;
        if (renameRefused(folderOf(target_), st))
            return openInPlace(st.st_dev, st.st_ino, size);
        attributes = attributesOf(target_, st);
        // Set-user and set-group bits would make a playlist into something else.
        mode = PermissionsForCopy(st.st_mode, attributes);
    }
    bool made = openUnnamed();
    if (!made && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        made = openNamed();
    if (!made) {
        // A file we may write in a folder we may not: rewrite it in place, as an editor must
        // to save it at all.
        if (exists && (errno == EACCES || errno == EPERM))
            return openInPlace(st.st_dev, st.st_ino, size);
        return false;
    }
    // Owner and group where we may; else at least the group, so that a playlist shared with a
    // group stays shared with it when a member saves it.
    if (exists && ::fchown(fd_, st.st_uid, st.st_gid) != 0 &&
        ::fchown(fd_, uid_t(-1), st.st_gid) != 0) {
        // Not ours to give away: the new file keeps our ownership.
    }
    ::fchmod(fd_, mode);
    // After the mode: setting an ACL sets the group bits to its mask.
    WriteFileAttributes(fd_, attributes);
    failure_ = Failure::None;
    return true;
}

bool AtomicFile::openUnnamed() {
    if (const int err = injected(Step::Unnamed, target_)) {
        errno = err;
        return false;
    }
    fd_ = ::open(folderOf(target_).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    unnamed_ = fd_ >= 0;
    return unnamed_;
}

bool AtomicFile::openNamed() {
    QByteArray name = tempPrefix(target_) + QByteArray(kTempLetters, 'X');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0)
        temp_ = std::move(name);
    return fd_ >= 0;
}

bool AtomicFile::openInPlace(dev_t dev, ino_t ino, qint64 size) {
    // The name may have been replaced since it was looked at: only the same regular file will
    // do, and a FIFO planted meanwhile must not block the open.
    if (const int err = injected(Step::Reopen, target_)) {
        errno = err;
        return false;
    }
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    fd_ = ::open(target_.constData(), O_RDWR | flags);
    // A file we may write but not read cannot be copied; nor could its text have been read.
    const bool readable = fd_ >= 0;
    if (!readable && errno == EACCES)
        fd_ = ::open(target_.constData(), O_WRONLY | flags);
    struct stat now;
    if (fd_ < 0 || ::fstat(fd_, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != dev ||
        now.st_ino != ino) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return false;
    }
    inPlace_ = true;
    auto refuse = [this](const QString& why) {
        detail_ = why;
        ::close(fd_);
        fd_ = -1;
        return false;
    };
    if (size >= 0 && !reserve(size))
        return refuse(detail_);
    if (readable) {
        QString why;
        std::optional<QByteArray> copy = KeepOldBytes(fd_, target_, why);
        if (!copy)
            return refuse(why);
        backup_ = std::move(*copy);
    }
    failure_ = Failure::None;
    return true;
}

bool AtomicFile::reserve(qint64 size) {
    int err = 0;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        rlim_t(size) > limit.rlim_cur) {
        err = EFBIG;
    } else if ((err = injected(Step::Reserve, target_)) == 0 && size > 0) {
        // Room beyond the end is taken without changing the size, so a crash right after
        // leaves the old text as it was.
        int done;
        while ((done = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, off_t(size))) != 0 &&
               errno == EINTR) {
        }
        err = done == 0 ? 0 : errno;
    }
    // A file system that cannot reserve room is written as before.
    if (err == 0 || err == EOPNOTSUPP || err == ENOSYS)
        return true;
    detail_ = errnoText(err) + QStringLiteral("; the file was not changed");
    return false;
}

bool AtomicFile::write(const char* data, qsizetype size) {
    if (inPlace_ && size > 0)
        touched_ = true;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure_ = Failure::Write;
            keptDetail();
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void AtomicFile::keptDetail() {
    if (touched_ && !backup_.isEmpty())
        detail_ = QStringLiteral("the old text is kept in %1").arg(QFile::decodeName(backup_));
}

bool AtomicFile::linkUnnamed() {
    const QByteArray prefix = tempPrefix(target_);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = prefix + randomLetters();
        int linked =
            ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW);
        // Without /proc the descriptor itself is linked, which some systems allow.
        if (linked != 0 && errno == ENOENT)
            linked = ::linkat(fd_, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH);
        if (linked == 0) {
            temp_ = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool AtomicFile::commit() {
    // Every failure from here on means the file is not (or not surely) in place.
    failure_ = Failure::Create;
    struct stat st;
    if (inPlace_) {
        // The new text may be shorter than the old: cut what is left of the old.
        touched_ = true;
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        const bool ok = end >= 0 && ::ftruncate(fd_, end) == 0 && syncStep(fd_, target_) &&
                        ::fstat(fd_, &st) == 0;
        const bool closed = closeStep(fd_, target_);
        if (!ok || !closed) {
            keptDetail();
            return false;
        }
        stamp_ = StampOf(st);
        if (!backup_.isEmpty())
            ::unlink(backup_.constData());
        backup_.clear();
        failure_ = Failure::None;
        return true;
    }
    // Named only now that every byte is on the disk: until here a killed save leaves nothing.
    if (!syncStep(fd_, target_) || ::fstat(fd_, &st) != 0 || (unnamed_ && !linkUnnamed())) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    stamp_ = StampOf(st);
    if (!closeStep(fd_, target_) || !renameStep(temp_, target_))
        return false;
    temp_.clear();
    syncFolder(folderOf(target_));
    failure_ = Failure::None;
    return true;
}

}  // namespace cadrell
