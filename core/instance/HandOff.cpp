#include "core/instance/HandOff.h"

#include <fcntl.h>
#include <poll.h>
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
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace cadrell {

namespace {

QPointer<InstanceServer> g_current;

QByteArray errnoText() {
    return QByteArray(std::strerror(errno));
}

// Opens the folder without following a link and checks it is ours. A folder we made ourselves
// gets its mode fixed through the open descriptor, so nobody can swap it between the check and
// the chmod; any other folder open to others is refused rather than changed behind the
// session's back.
bool isPrivateFolder(const QByteArray& path, bool ours) {
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
    else if (!ours && (st.st_mode & 077) != 0) {
        qWarning("Cadrell: the runtime folder %s is open to other users; using a private one",
                 path.constData());
        ok = false;
    } else if (ours && (st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        qWarning("Cadrell: cannot make the runtime folder %s private: %s", path.constData(),
                 errnoText().constData());
        ok = false;
    }
    ::close(fd);
    return ok;
}

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

// The longest socket path the system takes, without the final zero.
constexpr qsizetype kMaxSocketPath = qsizetype(sizeof(sockaddr_un::sun_path)) - 1;

bool socketFits(const QByteArray& folder) {
    return folder.size() + 1 + QFile::encodeName(InstanceSocketName()).size() <= kMaxSocketPath;
}

bool peerIsUs(int fd, qint64* pid = nullptr) {
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return false;
    if (pid)
        *pid = cred.pid;
    return cred.uid == ::geteuid();
}

int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

QByteArray currentFolder() {
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
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
    if (xdg.startsWith('/') && isPrivateFolder(xdg, false)) {
        if (socketFits(xdg))
            return QFile::decodeName(xdg);
        qWarning(
            "Cadrell: the runtime folder %s is too long a path for a socket; using a "
            "private one",
            xdg.constData());
    }

    const QByteArray own =
        QFile::encodeName(QDir::tempPath()) + "/cadrell-" + QByteArray::number(::geteuid());
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST) {
        qWarning("Cadrell: cannot create the runtime folder %s: %s", own.constData(),
                 errnoText().constData());
        return {};
    }
    if (!isPrivateFolder(own, true))
        return {};
    if (!socketFits(own)) {
        qWarning("Cadrell: the runtime folder %s is too long a path for a socket", own.constData());
        return {};
    }
    return QFile::decodeName(own);
}

std::chrono::milliseconds HandOffTimeout() {
    bool ok = false;
    const qlonglong ms = qEnvironmentVariable("CADRELL_HANDOFF_TIMEOUT_MS").toLongLong(&ok);
    return std::chrono::milliseconds(ok && ms > 0 ? ms : 30000);
}

QByteArray AbsoluteName(const QByteArray& name, const QByteArray& folder) {
    if (name.isEmpty() || name.startsWith('/'))
        return name;
    QByteArray result = folder.isEmpty() ? currentFolder() : folder;
    if (result.isEmpty())
        return name;  // the current folder is gone; nothing better to resolve against
    for (const QByteArray& part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (!result.endsWith('/'))
            result += '/';
        result += part;
    }
    if (name.endsWith('/') && !result.endsWith('/'))
        result += '/';
    return result;
}

// ---- TerminationRequests ----

TerminationRequests::TerminationRequests(QObject* parent) : QObject(parent) {
    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) {
        qWarning("Cadrell: cannot watch for SIGTERM: %s", errnoText().constData());
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationRequests::readSignal);
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

TerminationRequests::~TerminationRequests() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

void TerminationRequests::readSignal() {
    // Everything queued so far is one request: a signal repeated while we were busy is no news.
    char bytes[64];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (handling_)
        return;
    handling_ = true;
    QPointer<TerminationRequests> self(this);
    emit requested();
    if (self)
        handling_ = false;
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
    // Our folder is private, so a file of someone else's here means it was tampered with.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        qWarning("Cadrell: the instance lock %s is not a file of this user's own",
                 file.constData());
        ::close(fd);
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

// ---- InstanceServer ----

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {
    watchdog_ = new QTimer(this);
    watchdog_->setInterval(1000);
    connect(watchdog_, &QTimer::timeout, this, &InstanceServer::checkListening);
    // Well inside the sender's patience, however short a test makes it.
    keepAlive_ = new QTimer(this);
    keepAlive_->setInterval(
        std::clamp(HandOffTimeout() / 3, std::chrono::milliseconds(20), kHandOffFrameTime));
    connect(keepAlive_, &QTimer::timeout, this, &InstanceServer::keepAlive);
}

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
    if (!startListening()) {
        qWarning("Cadrell: single-instance is off for this start");
        delete server_;
        server_ = nullptr;
        // Holding the lock without listening would only make every later start wait for
        // nothing before it comes up on its own.
        lock_.release();
        return false;
    }
    watchdog_->start();
    return true;
}

bool InstanceServer::startListening() {
    // Only the holder of the lock may remove the file: a socket there now was left by an
    // instance that died without closing it, and binding over it would fail.
    if (lock_.isHeld())
        QFile::remove(socketPath_);
    if (!server_) {
        server_ = new QLocalServer(this);
        // Room for many starts at once while a slot keeps us from accepting (a long load).
        server_->setListenBacklogSize(128);
        // Connections past our cap wait in the kernel's backlog, not in descriptors of ours.
        server_->setMaxPendingConnections(4);
        connect(server_, &QLocalServer::newConnection, this, &InstanceServer::acceptConnections);
    }
    if (!server_->listen(socketPath_)) {
        qWarning("Cadrell: cannot listen on %s: %s", qPrintable(socketPath_),
                 qPrintable(server_->errorString()));
        return false;
    }
    return true;
}

void InstanceServer::checkListening() {
    // The toolkit closes the server for good when an accept fails (no descriptors left), and
    // says nothing; the sockets already accepted live on as its children.
    if (!server_ || server_->isListening())
        return;
    qWarning("Cadrell: stopped listening for hand-offs (%s); listening again",
             qPrintable(server_->errorString()));
    if (!startListening()) {
        qWarning(
            "Cadrell: single-instance is off from now on; the next start comes up on its "
            "own");
        release();
    }
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
    watchdog_->stop();
    keepAlive_->stop();
    queue_.clear();
    partial_.clear();
    connections_.clear();
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
        if (qsizetype(connections_.size()) >= kMaxHandOffConnections && !dropOldestPartial())
            return;  // all busy with whole messages; the rest wait until one is answered
        QLocalSocket* s = server_->nextPendingConnection();
        connections_.insert(s);
        connect(s, &QObject::destroyed, this, [this, s] { forget(s); });
        connect(s, &QLocalSocket::readyRead, this, [this, s] { readFrom(s); });
        connect(s, &QLocalSocket::disconnected, this, [this, s] {
            const auto it = partial_.find(s);
            if (it != partial_.end() && !it->second.bytes.isEmpty())
                qWarning("Cadrell: dropped a hand-off message: truncated after %lld bytes",
                         static_cast<long long>(it->second.bytes.size()));
            forget(s);
            s->deleteLater();
        });
        if (!peerIsUs(int(s->socketDescriptor()))) {
            drop(s, "the sender is another user");
            continue;
        }
        // One message is all a sender may have us hold; what it sends beyond that stays in
        // the kernel, where it soon blocks the sender.
        s->setReadBufferSize(kHandOffHeaderSize + kMaxHandOffName);
        partial_[s] = {{}, ++arrivals_};
        QTimer::singleShot(kHandOffFrameTime, s, [this, s] {
            if (partial_.count(s))
                drop(s, "incomplete after 5 s");
        });
        if (s->bytesAvailable() > 0)
            readFrom(s);
    }
}

bool InstanceServer::dropOldestPartial() {
    if (partial_.empty())
        return false;
    const auto oldest = std::min_element(
        partial_.begin(), partial_.end(),
        [](const auto& a, const auto& b) { return a.second.arrival < b.second.arrival; });
    drop(oldest->first, "too many connections");
    return true;
}

void InstanceServer::forget(QLocalSocket* s) {
    partial_.erase(s);
    // Room again for a connection that waits because we were full.
    if (connections_.erase(s) && server_ && server_->hasPendingConnections())
        QMetaObject::invokeMethod(this, &InstanceServer::acceptConnections, Qt::QueuedConnection);
}

void InstanceServer::readFrom(QLocalSocket* s) {
    const auto it = partial_.find(s);
    if (it == partial_.end()) {
        // Queued or answered already: more from it is a stream we must not keep reading.
        if (connections_.count(s) && s->bytesAvailable() > 0)
            drop(s, "bytes after the end of the message");
        return;
    }
    QByteArray& buf = it->second.bytes;
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
    keepAlive_->start();
    scheduleDelivery();
}

void InstanceServer::drop(QLocalSocket* s, const char* reason) {
    qWarning("Cadrell: dropped a hand-off message: %s", reason);
    forget(s);
    // A queued name whose sender misbehaved afterwards is not opened either.
    std::erase_if(queue_, [s](const Pending& p) { return p.socket == s; });
    s->disconnect(this);
    s->abort();
    s->deleteLater();
}

void InstanceServer::scheduleDelivery() {
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &InstanceServer::deliver, Qt::QueuedConnection);
}

void InstanceServer::keepAlive() {
    // Senders whose names wait or are being handled hear that we are alive, so a long error
    // box or a queue behind it never passes for a hung instance.
    auto tell = [](QLocalSocket* s) {
        if (s && s->state() == QLocalSocket::ConnectedState)
            s->write(kHandOffWorking, 4);
    };
    for (const Pending& p : queue_)
        tell(p.socket);
    tell(answering_);
    if (queue_.empty() && !answering_)
        keepAlive_->stop();
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
            if (self) {
                self->delivering_ = false;
                self->answering_ = nullptr;
            }
        }
    } reset{self};

    while (ready_ && !queue_.empty()) {
        Pending p = std::move(queue_.front());
        queue_.pop_front();
        answering_ = p.socket;
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
    if (folder.isEmpty()) {
        qWarning("Cadrell: no private runtime folder; single-instance is off for this start");
        return startOnOwn({}, {});
    }
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
                qWarning("Cadrell: single-instance is off for this start");
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
        qint64 peer = 0;
        switch (SendHandOff(socketPath, firstArgument, HandOffTimeout(), &peer)) {
            case SendOutcome::Answered:
                return HandOffResult::HandedOver;
            case SendOutcome::Silent:
                // Coming up as a second instance would give the user two programs fighting
                // over the same settings; better to say what is wrong and let them decide.
                std::fprintf(stderr,
                             "cadrell: the running Cadrell (process %lld) is not responding; "
                             "nothing was opened. End that process or try again.\n",
                             static_cast<long long>(peer));
                return HandOffResult::NotResponding;
            case SendOutcome::Lost:
                if (++lostRounds > 5) {
                    qWarning(
                        "Cadrell: the running instance keeps ending the hand-off; starting on "
                        "its own");
                    return startOnOwn({}, {});
                }
                deadline.setRemainingTime(connectLimit);
                QThread::msleep(50);
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
