#include "core/platform/OwnHome.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>

namespace cadrell {

namespace {

bool below(const QString& path, const QString& folder) {
    return path == folder ||
           path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

QString refusal(const QString& folder, uid_t owner) {
    return QStringLiteral("nothing is written below %1: it belongs to another user (uid %2)")
        .arg(folder)
        .arg(owner);
}

}  // namespace

QString ForeignFolderRefusal(const QString& path) {
    const uid_t me = ::geteuid();
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
    // "/" as a home is no home: system accounts have it, and it would take in every path.
    const QString home = QDir::cleanPath(QDir::homePath());
    struct stat st;
    if (home != QLatin1String("/") && below(target, home) &&
        ::stat(QFile::encodeName(home).constData(), &st) == 0 && st.st_uid != me)
        return refusal(home, st.st_uid);
    if (me != 0)
        return {};
    // Root with only XDG_CONFIG_HOME or XDG_DATA_HOME pointing into a user's home: the nearest
    // folder that exists tells whose the place is.
    QString at = target;
    while (::lstat(QFile::encodeName(at).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        const QString up = QDir::cleanPath(at + QStringLiteral("/.."));
        if (up == at)
            return {};
        at = up;
    }
    return st.st_uid == 0 ? QString() : refusal(at, st.st_uid);
}

bool MayMakeFilesAt(const QString& path) {
    const QString why = ForeignFolderRefusal(path);
    if (why.isEmpty())
        return true;
    static QMutex mutex;
    static QSet<QString> told;
    const QMutexLocker lock(&mutex);
    if (!told.contains(why)) {
        told.insert(why);
        qWarning("cadrell: %s", qPrintable(why));
    }
    return false;
}

}  // namespace cadrell
