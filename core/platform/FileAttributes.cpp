#include "core/platform/FileAttributes.h"

#include <sys/xattr.h>
#include <QList>
#include <QtEndian>
#include <cerrno>

namespace cadrell {

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";

// The layout of "system.posix_acl_access": a version, then entries of tag, permissions and id,
// all little-endian.
constexpr quint32 kAclVersion = 2;
constexpr quint16 kAclGroupObj = 0x04;
constexpr qsizetype kAclHeader = 4;
constexpr qsizetype kAclEntry = 8;

// Reads a size-then-fill value, trying again while it grows between the two calls.
template <class Call>
bool readSized(QByteArray& out, Call call) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t got = call(out.data(), size_t(size));
        if (got >= 0) {
            out.truncate(got);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

}  // namespace

FileAttributeList ReadFileAttributes(int fd, const QByteArray& fileName) {
    const char* path = fileName.constData();
    QByteArray names;
    const bool listed =
        fd >= 0 ? readSized(names, [&](char* b, size_t n) { return ::flistxattr(fd, b, n); })
                : readSized(names, [&](char* b, size_t n) { return ::llistxattr(path, b, n); });
    FileAttributeList out;
    if (!listed)
        return out;
    for (const QByteArray& name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value;
        const char* n = name.constData();
        const bool read =
            fd >= 0
                ? readSized(value, [&](char* b, size_t s) { return ::fgetxattr(fd, n, b, s); })
                : readSized(value, [&](char* b, size_t s) { return ::lgetxattr(path, n, b, s); });
        if (read)
            out.emplace_back(name, value);
    }
    return out;
}

void WriteFileAttributes(int fd, const FileAttributeList& attributes) {
    for (const auto& [name, value] : attributes) {
        // A capability set belongs to a program; a file written anew gets none of it.
        if (name == "security.capability")
            continue;
        ::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0);
    }
}

mode_t PermissionsForCopy(mode_t mode, const FileAttributeList& attributes) {
    mode &= 0777;
    for (const auto& [name, acl] : attributes) {
        if (name != kAccessAcl)
            continue;
        if (acl.size() < kAclHeader || qFromLittleEndian<quint32>(acl.constData()) != kAclVersion)
            return mode & ~mode_t(070);
        for (qsizetype at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry) {
            if (qFromLittleEndian<quint16>(acl.constData() + at) == kAclGroupObj)
                return (mode & ~mode_t(070)) |
                       mode_t((qFromLittleEndian<quint16>(acl.constData() + at + 2) & 7) << 3);
        }
        // An ACL without the owning group's entry is malformed: give the group nothing.
        return mode & ~mode_t(070);
    }
    return mode;
}

}  // namespace cadrell
