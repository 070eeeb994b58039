#include "core/instance/InstanceServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "core/instance/HandOffWire.h"
#include "core/instance/InstanceInternal.h"

namespace cadrell {

QPointer<InstanceServer> internal::g_current;

using internal::g_current;
using internal::peerIsUs;

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

}  // namespace cadrell
