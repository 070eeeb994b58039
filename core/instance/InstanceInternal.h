#pragma once

#include <sys/socket.h>
#include <unistd.h>
#include <QByteArray>
#include <QPointer>
#include <cerrno>
#include <cstring>

namespace cadrell {

class InstanceServer;

// What the parts of the single-instance machinery share among themselves; nothing outside
// core/instance has any business with it.
namespace internal {

inline QByteArray errnoText() {
    return QByteArray(std::strerror(errno));
}

inline bool peerIsUs(int fd, qint64* pid = nullptr) {
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return false;
    if (pid)
        *pid = cred.pid;
    return cred.uid == ::geteuid();
}

// The server HandOffToRunningInstance made, which InstanceServer::current() hands out.
extern QPointer<InstanceServer> g_current;

}  // namespace internal

}  // namespace cadrell
