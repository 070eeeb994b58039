#include "core/instance/InstanceClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/instance/InstanceInternal.h"

namespace cadrell {

namespace {

using internal::peerIsUs;

// Waits until fd is ready for `events`; false when the deadline passes first.
bool waitReady(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const qint64 left = deadline.remainingTime();
        const int rc = ::poll(&p, 1, int(std::min<qint64>(left, 60000)));
        if (rc > 0)
            return true;
        if (rc < 0 && errno != EINTR)
            return true;  // the next read or write reports the fault
        if (deadline.hasExpired())
            return false;
    }
}

}  // namespace

SendOutcome SendHandOff(const QString& socketPath, const QByteArray& name,
                        std::chrono::milliseconds silence, qint64* peer) {
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(addr.sun_path))
        return SendOutcome::Unreachable;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));

    // Non-blocking throughout: a full backlog reports EAGAIN instead of blocking, so the
    // caller's connect limit holds, and a hung instance cannot keep us waiting past `silence`.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return SendOutcome::Unreachable;
    int rc;
    do
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return SendOutcome::Unreachable;
    }
    if (!peerIsUs(fd, peer)) {
        qWarning("Cadrell: %s is served by another user; not handing anything to it",
                 path.constData());
        ::close(fd);
        return SendOutcome::Unreachable;
    }

    const auto outcome = [&] {
        QDeadlineTimer quiet(silence);
        const QByteArray message = EncodeHandOff(name);
        for (qsizetype sent = 0; sent < message.size();) {
            const ssize_t n =
                ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
            if (n > 0) {
                sent += n;
                quiet.setRemainingTime(silence);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!waitReady(fd, POLLOUT, quiet))
                    return SendOutcome::Silent;
            } else {
                return SendOutcome::Lost;
            }
        }
        char word[4];
        for (qsizetype got = 0;;) {
            const ssize_t n = ::recv(fd, word + got, size_t(4 - got), 0);
            if (n > 0) {
                got += n;
                if (got < 4)
                    continue;
                if (std::memcmp(word, kHandOffAnswer, 4) == 0)
                    return SendOutcome::Answered;
                if (std::memcmp(word, kHandOffWorking, 4) != 0)
                    return SendOutcome::Lost;
                got = 0;
                quiet.setRemainingTime(silence);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!waitReady(fd, POLLIN, quiet))
                    return SendOutcome::Silent;
            } else {
                return SendOutcome::Lost;
            }
        }
    }();
    ::close(fd);
    return outcome;
}

}  // namespace cadrell
