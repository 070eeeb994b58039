#include "core/playlist/ExportCopy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "core/platform/AtomicFile.h"
#include "core/playlist/Export.h"

namespace cadrell {

namespace {

// Small enough that Cancel answers at once and the progress moves, large enough that the calls
// cost nothing next to the copying.
constexpr size_t kPiece = 8 << 20;
constexpr size_t kBuffer = 1 << 20;

CopyResult copyData(int from, int to, qint64 expected, const std::function<void(qint64)>& copied,
                    const std::atomic<bool>& cancel) {
    CopyResult result;
    std::unique_ptr<char[]> buffer;
    // copy_file_range lets the file system share or copy blocks without a trip through memory;
    // where it cannot (another file system, an old kernel, a file system without it), or where it
    // fails for any reason, plain reads and writes follow and tell which side failed.
    bool range = true;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            return {CopyResult::Cancelled, 0, result.bytes};
        ssize_t n;
        if (range) {
            n = ::copy_file_range(from, nullptr, to, nullptr, kPiece, 0);
            if (n < 0 && errno == EINTR)
                continue;
            // Nothing copied before the size is reached: a file system that copies nothing
            // (some report 0 for files they make up) or a file that shrank. Reads tell.
            if (n < 0 || (n == 0 && result.bytes < expected)) {
                range = false;
                continue;
            }
        } else {
            if (!buffer)
                buffer.reset(new char[kBuffer]);
            n = ::read(from, buffer.get(), kBuffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return {CopyResult::Unreadable, errno, result.bytes};
            for (ssize_t put = 0; put < n;) {
                const ssize_t w = ::write(to, buffer.get() + put, static_cast<size_t>(n - put));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    return {errno == EFBIG ? CopyResult::TooLarge : CopyResult::Unwritable, errno,
                            result.bytes};
                put += w;
            }
        }
        if (n == 0)
            return result;
        result.bytes += n;
        if (copied)
            copied(n);
    }
}

}  // namespace

TempFile::~TempFile() {
    if (fd >= 0)
        ::close(fd);
    if (!path.isEmpty() && !kept)
        ::unlink(path.constData());
}

CopyResult CopyToTemp(int from, const struct stat& before, const QByteArray& folder, TempFile& temp,
                      const std::function<void(qint64)>& copied, const std::atomic<bool>& cancel) {
    // The copy is made under a name of its own and renamed at the end, so that nothing stands
    // under the final name until the whole file does.
    QByteArray pattern = folder + "/.cadrell-export-XXXXXX";
    temp.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (temp.fd < 0)
        return {CopyResult::Unwritable, errno, 0};
    temp.path = pattern;
    // Files on a phone or a stick are for everyone who uses it, as a new file would be.
    ::fchmod(temp.fd, 0666 & ~CurrentUmask());

    CopyResult result = copyData(from, temp.fd, before.st_size, copied, cancel);
    if (result.kind != CopyResult::Done)
        return result;
    struct stat after;
    // The copy is what the file held from its start to its end; a file that was being written
    // meanwhile may have been caught half way, which a copy must not pass for the file.
    if (::fstat(from, &after) != 0 || after.st_size != result.bytes ||
        after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        return {CopyResult::Changed, 0, result.bytes};
    // The source's time on the copy lets the next export see that it is there already.
    const struct timespec times[2] = {after.st_atim, after.st_mtim};
    ::futimens(temp.fd, times);
    // Some file systems (network ones) say only now that the bytes did not fit.
    const int closed = ::close(temp.fd);
    temp.fd = -1;
    if (closed != 0)
        return {errno == EFBIG ? CopyResult::TooLarge : CopyResult::Unwritable, errno,
                result.bytes};
    return result;
}

int SyncFileSystem(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Reports what went wrong writing any file there since the last call (Linux 5.8 and on).
    const int error = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

QString NotAFileWhy(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe (FIFO), not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a file");
    return QStringLiteral("not a regular file");
}

FreeSpace FreeSpaceOf(const QByteArray& folder) {
    QByteArray path = folder;
    for (;;) {
        struct statvfs fs;
        if (::statvfs(path.constData(), &fs) == 0) {
            FreeSpace out;
            out.bytes = static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
            out.blockSize = static_cast<qint64>(fs.f_frsize ? fs.f_frsize : fs.f_bsize);
            out.readOnly = (fs.f_flag & ST_RDONLY) != 0;
            return out;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || path.lastIndexOf('/') <= 0)
            return {};
        path.truncate(path.lastIndexOf('/'));
    }
}

int RenameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot rename without replacing: look first, then rename.
    struct stat there;
    if (::lstat(to.constData(), &there) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

}  // namespace cadrell
