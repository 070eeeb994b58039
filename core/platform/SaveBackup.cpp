#include "core/platform/SaveBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <memory>

#include "core/platform/OwnHome.h"

namespace cadrell {

namespace {

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// Makes the folder and any missing parent private to the user; an existing one is used as it
// is, unless it is not a folder.
bool makePrivateFolder(const QByteArray& folder) {
    struct stat st;
    if (::stat(folder.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash > 0 && !makePrivateFolder(folder.first(slash)))
        return false;
    return ::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool copyAll(int from, int to) {
    constexpr size_t kPiece = 1 << 20;
    const std::unique_ptr<char[]> piece(new char[kPiece]);
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(from, piece.get(), kPiece, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return ::fsync(to) == 0;
        if (!writeAll(to, piece.get(), n))
            return false;
        at += n;
    }
}

}  // namespace

QString BackupFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/cadrell/backup");
}

std::optional<QByteArray> KeepOldBytes(int fd, const QByteArray& fileName, QString& why) {
    const QString folderName = BackupFolder();
    why = QStringLiteral("no copy of the old text could be kept in %1").arg(folderName);
    const QString refusal = ForeignFolderRefusal(folderName);
    if (!refusal.isEmpty()) {
        why += QStringLiteral(": ") + refusal;
        return std::nullopt;
    }
    const QByteArray folder = QFile::encodeName(folderName);
    if (!makePrivateFolder(folder)) {
        why += QStringLiteral(": ") + errnoText(errno);
        return std::nullopt;
    }
    // The playlist's own name, shortened to leave room for the suffix, tells the user which
    // file the copy belongs to.
    const QByteArray base = fileName.mid(fileName.lastIndexOf('/') + 1).left(200);
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray path = folder + '/' + base + '.';
        for (int i = 0; i < 6; ++i)
            path += kLetters[QRandomGenerator::global()->bounded(62)];
        const int copy =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (copy < 0 && errno == EEXIST)
            continue;
        if (copy < 0)
            break;
        const bool copied = copyAll(fd, copy);
        const int err = errno;
        if (::close(copy) == 0 && copied)
            return path;
        ::unlink(path.constData());
        errno = copied ? EIO : err;
        break;
    }
    why += QStringLiteral(": ") + errnoText(errno);
    return std::nullopt;
}

}  // namespace cadrell
