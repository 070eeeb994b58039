#pragma once

#include <QByteArray>
#include <QString>

namespace cadrell {

// "2.2.4", or the text of the environment variable CADRELL_INSTANCE_VERSION when it is set and
// not empty (tests use it to show that other versions do not find each other).
QString InstanceVersion();
QString InstanceLockName();    // "Cadrell v.2.2.4 mutex"
QString InstanceSocketName();  // "Cadrell v.2.2.4 message"

// $XDG_RUNTIME_DIR when it is a folder of this user's own that nobody else may enter and our
// socket's path fits in it; otherwise <temp>/cadrell-<uid>, created with mode 0700, refused
// when it is a symbolic link or belongs to someone else, and set back to 0700 when its mode
// has drifted (it is ours; the session's folder is never changed). Empty (with a warning that
// single-instance is off) when no such folder can be had.
QString RuntimeFolder();

// The command-line name as the running instance or the frame must see it: a relative name is
// joined to currentFolder (the process's own when empty), whether the file exists or not, with
// "." components and doubled slashes left out. ".." stays: it means something else after a
// symbolic link. Empty and absolute names are returned unchanged.
QByteArray AbsoluteName(const QByteArray& name, const QByteArray& currentFolder = {});

}  // namespace cadrell
