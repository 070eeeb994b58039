#include "core/instance/InstanceNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>

#include "core/instance/InstanceInternal.h"

namespace cadrell {

namespace {

using internal::errnoText;

// Opens the folder without following a link and checks it is ours. A folder we made ourselves
// gets its mode fixed through the open descriptor, so nobody can swap it between the check and
// the chmod; any other folder open to others is refused rather than changed behind the
// session's back.
bool isPrivateFolder(const QByteArray& path, bool ours) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        qWarning("Cadrell: cannot use the runtime folder %s: %s", path.constData(),
                 errnoText().constData());
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (!ok)
        qWarning("Cadrell: the runtime folder %s does not belong to this user", path.constData());
    else if (!ours && (st.st_mode & 077) != 0) {
        qWarning("Cadrell: the runtime folder %s is open to other users; using a private one",
                 path.constData());
        ok = false;
    } else if (ours && (st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        qWarning("Cadrell: cannot make the runtime folder %s private: %s", path.constData(),
                 errnoText().constData());
        ok = false;
    }
    ::close(fd);
    return ok;
}

// The longest socket path the system takes, without the final zero.
constexpr qsizetype kMaxSocketPath = qsizetype(sizeof(sockaddr_un::sun_path)) - 1;

bool socketFits(const QByteArray& folder) {
    return folder.size() + 1 + QFile::encodeName(InstanceSocketName()).size() <= kMaxSocketPath;
}

QByteArray currentFolder() {
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
}

}  // namespace

QString InstanceVersion() {
    const QString v = qEnvironmentVariable("CADRELL_INSTANCE_VERSION");
    return v.isEmpty() ? QStringLiteral("2.2.4") : v;
}

QString InstanceLockName() {
    return QStringLiteral("Cadrell v.%1 mutex").arg(InstanceVersion());
}

QString InstanceSocketName() {
    return QStringLiteral("Cadrell v.%1 message").arg(InstanceVersion());
}

QString RuntimeFolder() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (xdg.startsWith('/') && isPrivateFolder(xdg, false)) {
        if (socketFits(xdg))
            return QFile::decodeName(xdg);
        qWarning(
            "Cadrell: the runtime folder %s is too long a path for a socket; using a "
            "private one",
            xdg.constData());
    }

    const QByteArray own =
        QFile::encodeName(QDir::tempPath()) + "/cadrell-" + QByteArray::number(::geteuid());
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST) {
        qWarning("Cadrell: cannot create the runtime folder %s: %s", own.constData(),
                 errnoText().constData());
        return {};
    }
    if (!isPrivateFolder(own, true))
        return {};
    if (!socketFits(own)) {
        qWarning("Cadrell: the runtime folder %s is too long a path for a socket", own.constData());
        return {};
    }
    return QFile::decodeName(own);
}

QByteArray AbsoluteName(const QByteArray& name, const QByteArray& folder) {
    if (name.isEmpty() || name.startsWith('/'))
        return name;
    QByteArray result = folder.isEmpty() ? currentFolder() : folder;
    if (result.isEmpty())
        return name;  // the current folder is gone; nothing better to resolve against
    for (const QByteArray& part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (!result.endsWith('/'))
            result += '/';
        result += part;
    }
    if (name.endsWith('/') && !result.endsWith('/'))
        result += '/';
    return result;
}

}  // namespace cadrell
