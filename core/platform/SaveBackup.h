#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace cadrell {

// While a file is rewritten in place its old bytes exist nowhere else, so a copy of them is kept
// in the user's state folder until the new bytes are on the disk: a crash or a failed write in
// between leaves the old text there for the user.

// $XDG_STATE_HOME/cadrell/backup (an absolute XDG_STATE_HOME only), else
// ~/.local/state/cadrell/backup.
QString BackupFolder();

// Copies everything `fd` reads from offset 0 on (the file position is left alone) into a new
// file of mode 0600 in the backup folder (made 0700 where missing), named after `fileName`,
// and syncs it. Its path, or nothing with `why` saying what failed.
std::optional<QByteArray> KeepOldBytes(int fd, const QByteArray& fileName, QString& why);

}  // namespace cadrell
