#pragma once

#include <QString>

namespace cadrell {

// Files the program keeps for itself (settings, the desktop entry, copies kept during a save)
// are made only where they stay the user's own. Run as root with another user's HOME (what
// "sudo -E" gives), the program must not leave root's files in that home, nor follow that
// user's links there; so nothing is made below a home folder the effective user does not own,
// and root makes nothing inside a folder that belongs to another user.

// Why nothing may be made at `path` (a file or folder, existing or not), or "" when it may.
QString ForeignFolderRefusal(const QString& path);

// False when `path` is refused; the reason then goes to standard error, once per process for
// each folder refused.
bool MayMakeFilesAt(const QString& path);

}  // namespace cadrell
