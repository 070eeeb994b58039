#include "core/platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

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

// The kernel's rule for links in shared folders such as /tmp: there a link is followed only when
// it is the follower's own or the folder owner's, so nobody can plant one that points a save at
// the victim's files. Resolving links here bypasses the kernel, so the rule is applied here.
bool mayFollow(const QByteArray& link, const struct stat& linkStat) {
    struct stat dir;
    if (::stat(folderOf(link).constData(), &dir) != 0)
        return false;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == dir.st_uid;
}

// The file a chain of symbolic links ends at, also when that file does not exist yet; nothing
// when a link on the way may not be followed.
std::optional<QByteArray> finalTarget(QByteArray path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        if (!mayFollow(path, st))
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

// A temporary name in the target's folder that the file system accepts: the target's own name
// with a suffix where that fits, else a short one (a name of 249 bytes and more leaves no room).
QByteArray tempNameFor(const QByteArray& target) {
    const QByteArray folder = folderOf(target);
    const qsizetype base = target.size() - target.lastIndexOf('/') - 1;
    long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (max <= 0)
        max = NAME_MAX;
    if (base + 7 <= max)
        return target + ".XXXXXX";
    return folder + "/.cadrell-XXXXXX";
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
}

bool AtomicFile::open() {
    failure_ = Failure::Create;
    if (target_.isEmpty() || target_.contains('\0'))
        return false;
    std::optional<QByteArray> resolved = finalTarget(target_);
    if (!resolved)
        return false;
    target_ = std::move(*resolved);
    struct stat st;
    mode_t mode = newMode_ & ~CurrentUmask() & 0777;
    const bool exists = ::stat(target_.constData(), &st) == 0;
    if (exists) {
        // Only a regular file may be replaced, and only one we may write to.
        if (!S_ISREG(st.st_mode) || ::access(target_.constData(), W_OK) != 0)
            return false;
        // Set-user and set-group bits would make a playlist into something else.
        mode = st.st_mode & 0777;
        if (renameRefused(folderOf(target_), st))
            return openInPlace(st.st_dev, st.st_ino);
    }
    temp_ = tempNameFor(target_);
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        temp_.clear();
        // A file we may write in a folder we may not: rewrite it in place, as an editor must
        // to save it at all. Only then is a failure half-way able to damage the old text.
        if (exists && (err == EACCES || err == EPERM))
            return openInPlace(st.st_dev, st.st_ino);
        return false;
    }
    // Owner and group where we may; else at least the group, so that a playlist shared with a
    // group stays shared with it when a member saves it.
    if (exists && ::fchown(fd_, st.st_uid, st.st_gid) != 0 &&
        ::fchown(fd_, uid_t(-1), st.st_gid) != 0) {
        // Not ours to give away: the new file keeps our ownership.
    }
    ::fchmod(fd_, mode);
    failure_ = Failure::None;
    return true;
}

bool AtomicFile::openInPlace(dev_t dev, ino_t ino) {
    // The name may have been replaced since it was looked at: only the same regular file will
    // do, and a FIFO planted meanwhile must not block the open.
    if (const int err = injected(Step::Reopen, target_)) {
        errno = err;
        return false;
    }
    fd_ = ::open(target_.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat now;
    if (fd_ < 0 || ::fstat(fd_, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != dev ||
        now.st_ino != ino) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return false;
    }
    inPlace_ = true;
    failure_ = Failure::None;
    return true;
}

bool AtomicFile::write(const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure_ = Failure::Write;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool AtomicFile::commit() {
    // Every failure from here on means the file is not (or not surely) in place.
    failure_ = Failure::Create;
    if (inPlace_) {
        // The new text may be shorter than the old: cut what is left of the old.
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        const bool ok = end >= 0 && ::ftruncate(fd_, end) == 0 && syncStep(fd_, target_);
        const bool closed = closeStep(fd_, target_);
        if (!ok || !closed)
            return false;
        failure_ = Failure::None;
        return true;
    }
    if (!syncStep(fd_, target_)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    if (!closeStep(fd_, target_) || !renameStep(temp_, target_))
        return false;
    temp_.clear();
    syncFolder(folderOf(target_));
    failure_ = Failure::None;
    return true;
}

}  // namespace cadrell
