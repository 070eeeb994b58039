#include "app/HandOff.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cadrell {

namespace {

QPointer<InstanceServer> g_current;

QByteArray errnoText() {
    return QByteArray(std::strerror(errno));
}

// Opens the folder without following a link and checks it is ours; the mode is fixed through
// the open descriptor, so nobody can swap the folder between the check and the chmod.
bool isPrivateFolder(const QByteArray& path, bool fixMode) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        qWarning("Cadrell: cannot use the runtime folder %s: %s", path.constData(),
                 errnoText().constData());
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    if (!ok)
        qWarning("Cadrell: the runtime folder %s does not belong to this user", path.constData());
    else if (fixMode && (st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        qWarning("Cadrell: cannot make the runtime folder %s private: %s", path.constData(),
                 errnoText().constData());
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Reads exactly size bytes; false when the connection ends first.
bool readAll(int fd, char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size_t(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

QString InstanceVersion() {
    const QString v = qEnvironmentVariable("CADRELL_INSTANCE_VERSION");
    return v.isEmpty() ? QStringLiteral("2.2.4") : v;
}

QString InstanceLockName() {
    return QStringLiteral("Cadrell v.%1 mutex").arg(InstanceVersion());
}

QString InstanceSocketName() {
    return QStringLiteral("Cadrell v.%1 message").arg(InstanceVersion());
}

QString RuntimeFolder() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (xdg.startsWith('/') && isPrivateFolder(xdg, true))
        return QFile::decodeName(xdg);

    const QByteArray own =
        QFile::encodeName(QDir::tempPath()) + "/cadrell-" + QByteArray::number(::geteuid());
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST) {
        qWarning("Cadrell: cannot create the runtime folder %s: %s", own.constData(),
                 errnoText().constData());
        return {};
    }
    return isPrivateFolder(own, true) ? QFile::decodeName(own) : QString();
}

QByteArray EncodeHandOff(const QByteArray& name) {
    Q_ASSERT(name.size() <= kMaxHandOffName);
    QByteArray message(kHandOffRequestMagic, 4);
    message.resize(kHandOffHeaderSize);
    qToBigEndian(quint32(name.size()), message.data() + 4);
    return message + name;
}

// ---- InstanceLock ----

InstanceLock::~InstanceLock() {
    release();
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

InstanceLock::Result InstanceLock::tryAcquire(const QString& path) {
    release();
    const QByteArray file = QFile::encodeName(path);
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("Cadrell: cannot open the instance lock %s: %s", file.constData(),
                 errnoText().constData());
        return Result::Failed;
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (!held)
            qWarning("Cadrell: cannot lock %s: %s", file.constData(), errnoText().constData());
        ::close(fd);
        return held ? Result::HeldElsewhere : Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::release() {
    // The lock file stays: removing it would let a third start lock a fresh file while a
    // second one still holds the old, unlinked one.
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---- client side ----

SendOutcome SendHandOff(const QString& socketPath, const QByteArray& name) {
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(addr.sun_path))
        return SendOutcome::Unreachable;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));

    // Non-blocking for the connect only: a full backlog reports EAGAIN instead of blocking, so
    // the caller's connect limit holds even against an instance that has stopped accepting.
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
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const QByteArray message = EncodeHandOff(name);
    char answer[4];
    const bool answered = writeAll(fd, message.constData(), message.size()) &&
                          readAll(fd, answer, sizeof answer) &&
                          std::memcmp(answer, kHandOffAnswer, sizeof answer) == 0;
    ::close(fd);
    return answered ? SendOutcome::Answered : SendOutcome::Lost;
}

// ---- InstanceServer ----

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {}

InstanceServer::~InstanceServer() {
    release();
}

InstanceServer* InstanceServer::current() {
    return g_current.data();
}

bool InstanceServer::listen(InstanceLock lock, const QString& socketPath) {
    release();
    lock_ = std::move(lock);
    socketPath_ = socketPath;
    // Only the holder of the lock may remove the file: a socket there now was left by an
    // instance that died without closing it, and binding over it would fail.
    if (lock_.isHeld())
        QFile::remove(socketPath);
    server_ = new QLocalServer(this);
    // Room for many starts at once while a slot keeps us from accepting (a long load).
    server_->setListenBacklogSize(128);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::acceptConnections);
    if (!server_->listen(socketPath)) {
        qWarning("Cadrell: cannot listen on %s: %s", qPrintable(socketPath),
                 qPrintable(server_->errorString()));
        delete server_;
        server_ = nullptr;
        // Holding the lock without listening would only make every later start wait for
        // nothing before it comes up on its own.
        lock_.release();
        return false;
    }
    return true;
}

bool InstanceServer::isListening() const {
    return server_ && server_->isListening();
}

void InstanceServer::setReady(bool ready) {
    ready_ = ready;
    if (ready_)
        scheduleDelivery();
}

void InstanceServer::release() {
    queue_.clear();
    partial_.clear();
    if (server_) {
        // The sockets are the server's children; abort them so their senders notice now.
        const auto sockets = server_->findChildren<QLocalSocket*>();
        for (QLocalSocket* s : sockets) {
            s->disconnect(this);
            s->abort();
        }
        server_->disconnect(this);
        server_->close();  // removes the socket file, before the lock goes
        server_->deleteLater();
        server_ = nullptr;
    }
    lock_.release();
}

void InstanceServer::acceptConnections() {
    while (server_ && server_->hasPendingConnections()) {
        QLocalSocket* s = server_->nextPendingConnection();
        partial_[s];
        connect(s, &QLocalSocket::readyRead, this, [this, s] { readFrom(s); });
        connect(s, &QLocalSocket::disconnected, this, [this, s] {
            const auto it = partial_.find(s);
            if (it != partial_.end()) {
                if (!it->second.isEmpty())
                    qWarning("Cadrell: dropped a hand-off message: truncated after %lld bytes",
                             static_cast<long long>(it->second.size()));
                partial_.erase(it);
            }
            s->deleteLater();
        });
        if (s->bytesAvailable() > 0)
            readFrom(s);
    }
}

void InstanceServer::readFrom(QLocalSocket* s) {
    const auto it = partial_.find(s);
    if (it == partial_.end())
        return;  // complete or dropped already; anything more it sends is ignored
    QByteArray& buf = it->second;
    // Never take more from the socket than the message may still hold.
    if (buf.size() < kHandOffHeaderSize) {
        buf += s->read(kHandOffHeaderSize - buf.size());
        const qsizetype magic = std::min<qsizetype>(buf.size(), 4);
        if (std::memcmp(buf.constData(), kHandOffRequestMagic, size_t(magic)) != 0)
            return drop(s, "bad magic");
        if (buf.size() < kHandOffHeaderSize)
            return;
    }
    const quint32 length = qFromBigEndian<quint32>(buf.constData() + 4);
    if (length > quint32(kMaxHandOffName))
        return drop(s, "name longer than 64 KiB");
    const qsizetype total = kHandOffHeaderSize + qsizetype(length);
    if (buf.size() < total)
        buf += s->read(total - buf.size());
    if (buf.size() < total)
        return;
    if (s->bytesAvailable() > 0)
        return drop(s, "bytes after the end of the message");

    queue_.push_back({s, buf.mid(kHandOffHeaderSize)});
    partial_.erase(it);
    scheduleDelivery();
}

void InstanceServer::drop(QLocalSocket* s, const char* reason) {
    qWarning("Cadrell: dropped a hand-off message: %s", reason);
    partial_.erase(s);
    s->abort();
    s->deleteLater();
}

void InstanceServer::scheduleDelivery() {
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &InstanceServer::deliver, Qt::QueuedConnection);
}

void InstanceServer::deliver() {
    scheduled_ = false;
    // A slot still busy further up the stack (its error box running a nested loop) finishes
    // first; its loop below picks up what arrived meanwhile.
    if (delivering_)
        return;
    delivering_ = true;
    QPointer<InstanceServer> self(this);
    struct Reset {
        QPointer<InstanceServer>& self;
        ~Reset() {
            if (self)
                self->delivering_ = false;
        }
    } reset{self};

    while (ready_ && !queue_.empty()) {
        Pending p = std::move(queue_.front());
        queue_.pop_front();
        emit handOffReceived(p.name);
        if (!self)
            return;
        // The sender may have died meanwhile; the name was still opened for the user.
        if (p.socket && p.socket->state() == QLocalSocket::ConnectedState) {
            p.socket->write(kHandOffAnswer, 4);
            p.socket->disconnectFromServer();  // after the answer is written
        }
    }
}

// ---- the program entry's test ----

HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument,
                                       std::chrono::milliseconds connectLimit) {
    delete g_current.data();

    auto startOnOwn = [](InstanceLock lock, const QString& socketPath) {
        auto* server = new InstanceServer(QCoreApplication::instance());
        g_current = server;
        if (lock.isHeld())
            server->listen(std::move(lock), socketPath);
        return HandOffResult::FirstInstance;
    };

    const QString folder = RuntimeFolder();
    if (folder.isEmpty())
        return startOnOwn({}, {});
    const QString lockPath = folder + QLatin1Char('/') + InstanceLockName();
    const QString socketPath = folder + QLatin1Char('/') + InstanceSocketName();

    // An instance that shuts down or dies while we talk to it ends the connection without an
    // answer; trying again then finds its lock free, or its successor. A few rounds suffice.
    int lostRounds = 0;
    QDeadlineTimer deadline(connectLimit);
    for (;;) {
        InstanceLock lock;
        switch (lock.tryAcquire(lockPath)) {
            case InstanceLock::Result::Acquired:
                return startOnOwn(std::move(lock), socketPath);
            case InstanceLock::Result::Failed:
                return startOnOwn({}, {});
            case InstanceLock::Result::HeldElsewhere:
                break;
        }
        if (firstArgument.size() > kMaxHandOffName) {
            std::fprintf(stderr,
                         "cadrell: the playlist name is %lld bytes long; the running Cadrell "
                         "accepts names of at most %lld bytes. Nothing was opened.\n",
                         static_cast<long long>(firstArgument.size()),
                         static_cast<long long>(kMaxHandOffName));
            return HandOffResult::NameTooLong;
        }
        switch (SendHandOff(socketPath, firstArgument)) {
            case SendOutcome::Answered:
                return HandOffResult::HandedOver;
            case SendOutcome::Lost:
                if (++lostRounds > 5) {
                    qWarning(
                        "Cadrell: the running instance keeps ending the hand-off; starting on "
                        "its own");
                    return startOnOwn({}, {});
                }
                deadline.setRemainingTime(connectLimit);
                break;
            case SendOutcome::Unreachable:
                if (deadline.hasExpired()) {
                    qWarning(
                        "Cadrell: another instance holds %s but does not answer; starting on "
                        "its own",
                        qPrintable(lockPath));
                    return startOnOwn({}, {});
                }
                QThread::msleep(50);
                break;
        }
    }
}

HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument, bool hasArgument) {
    return HandOffToRunningInstance(hasArgument ? firstArgument : QByteArray());
}

}  // namespace cadrell
