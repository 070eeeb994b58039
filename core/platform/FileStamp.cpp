#include "core/platform/FileStamp.h"

namespace cadrell {

FileStamp StampOf(const struct stat& st) {
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

std::optional<FileStamp> StampOfFile(const QByteArray& fileName) {
    struct stat st;
    if (fileName.isEmpty() || fileName.contains('\0') || ::stat(fileName.constData(), &st) != 0)
        return std::nullopt;
    return StampOf(st);
}

}  // namespace cadrell
