#include "core/instance/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>

#include "core/instance/InstanceInternal.h"

namespace cadrell {

using internal::errnoText;

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

InstanceLock::Result InstanceLock::tryAcquire(const QString& path) {
    release();
    const QByteArray file = QFile::encodeName(path);
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("Cadrell: cannot open the instance lock %s: %s", file.constData(),
                 errnoText().constData());
        return Result::Failed;
    }
    // Our folder is private, so a file of someone else's here means it was tampered with.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        qWarning("Cadrell: the instance lock %s is not a file of this user's own",
                 file.constData());
        ::close(fd);
        return Result::Failed;
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (!held)
            qWarning("Cadrell: cannot lock %s: %s", file.constData(), errnoText().constData());
        ::close(fd);
        return held ? Result::HeldElsewhere : Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::release() {
    // The lock file stays: removing it would let a third start lock a fresh file while a
    // second one still holds the old, unlinked one.
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace cadrell
