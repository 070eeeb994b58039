#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <utility>
#include <vector>

namespace cadrell {

// A file's extended attributes, the access ACL among them (it is the attribute
// "system.posix_acl_access"), so that a file written anew can carry what the old one had.
using FileAttributeList = std::vector<std::pair<QByteArray, QByteArray>>;

// Read from the open file, else, where it cannot be opened for reading, from the name (which
// must not be a link: none is followed). Attributes that cannot be read are left out.
FileAttributeList ReadFileAttributes(int fd, const QByteArray& fileName);
// Set on the open file; the ones the file system or our rights refuse are skipped.
void WriteFileAttributes(int fd, const FileAttributeList& attributes);

// The permission bits a copy of the file gets before its ACL is set. With an access ACL the
// group bits of the mode are the ACL's mask, which may grant the group more than the ACL does;
// the owning group's own entry is taken instead, so a copy that ends up without the ACL is
// never open to the group.
mode_t PermissionsForCopy(mode_t mode, const FileAttributeList& attributes);

}  // namespace cadrell
