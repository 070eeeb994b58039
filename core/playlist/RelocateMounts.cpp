#include <dirent.h>

#include <QFile>
#include <algorithm>
#include <cerrno>

#include "core/platform/PathParts.h"
#include "core/playlist/Relocate.h"

namespace cadrell {

bool MountTable::emptyOrMissing(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return errno == ENOENT || errno == ENOTDIR;
    bool empty = true;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArrayView name(e->d_name);
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

QByteArray MountTable::driveFolder(QByteArrayView path) const {
    for (const MountTable::Root& root : roots) {
        if (!path.startsWith(root.folder) || path.size() <= root.folder.size() ||
            path[root.folder.size()] != '/')
            continue;
        std::vector<QByteArrayView> parts;
        SplitPathComponents(path.sliced(root.folder.size()), parts);
        QByteArray folder = root.folder;
        const size_t levels =
            std::min(static_cast<size_t>(root.levels), parts.empty() ? 0 : parts.size() - 1);
        for (size_t i = 0; i < levels; ++i) {
            folder += '/';
            folder += parts[i];
            if (std::find(points.begin(), points.end(), folder) != points.end())
                return {};
        }
        return levels > 0 ? folder : QByteArray();
    }
    return {};
}

MountTable MountTable::current() {
    MountTable table;
    QFile file(QStringLiteral("/proc/self/mounts"));
    if (file.open(QIODevice::ReadOnly))
        table.points = parse(file.readAll());
    return table;
}

std::vector<QByteArray> MountTable::parse(const QByteArray& mountsText) {
    std::vector<QByteArray> points;
    for (const QByteArray& line : mountsText.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue;
        const QByteArray& field = fields[1];
        QByteArray point;
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                bool ok = false;
                const int code = field.mid(i + 1, 3).toInt(&ok, 8);
                if (ok) {
                    point += static_cast<char>(code);
                    i += 3;
                    continue;
                }
            }
            point += field[i];
        }
        points.push_back(point);
    }
    return points;
}

bool MountTable::unmounted(const QByteArray& path) const {
    const QByteArray folder = driveFolder(path);
    return !folder.isEmpty() && emptyOrMissing(folder);
}

}  // namespace cadrell
