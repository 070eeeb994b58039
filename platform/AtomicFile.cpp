#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace cadrell {

namespace {

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

// The file a chain of symbolic links ends at, also when that file does not exist yet.
QByteArray finalTarget(QByteArray path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n =
            ::readlink(path.constData(), link.data(), static_cast<size_t>(link.size()));
        if (n <= 0 || n >= link.size())
            return path;
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    return path;
}

}  // namespace

AtomicFile::AtomicFile(QByteArray fileName) : target_(std::move(fileName)) {}

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
    target_ = finalTarget(target_);
    struct stat st;
    mode_t mode = 0666;
    const bool exists = ::stat(target_.constData(), &st) == 0;
    if (exists) {
        // Only a regular file may be replaced, and only one we may write to.
        if (!S_ISREG(st.st_mode) || ::access(target_.constData(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    temp_ = target_ + ".XXXXXX";
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) {
        temp_.clear();
        // A file we may write in a folder we may not: rewrite it in place, as an editor must
        // to save it at all. Only then is a failure half-way able to damage the old text.
        if (exists && (errno == EACCES || errno == EPERM)) {
            fd_ = ::open(target_.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd_ < 0)
                return false;
            inPlace_ = true;
            failure_ = Failure::None;
            return true;
        }
        return false;
    }
    if (exists && ::fchown(fd_, st.st_uid, st.st_gid) != 0) {
        // Not ours to give away: the new file keeps our ownership.
    }
    ::fchmod(fd_, mode);
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
    if (inPlace_) {
        // The new text may be shorter than the old: cut what is left of the old.
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        const bool ok = end >= 0 && ::ftruncate(fd_, end) == 0 && ::fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!ok || !closed)
            failure_ = Failure::Write;
        return ok && closed;
    }
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        failure_ = Failure::Write;
        return false;
    }
    fd_ = -1;
    if (::rename(temp_.constData(), target_.constData()) != 0) {
        failure_ = Failure::Create;
        return false;
    }
    temp_.clear();
    return true;
}

}  // namespace cadrell
