#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "core/instance/InstanceLock.h"

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace cadrell {

// The running instance's side: accepts hand-offs, hands each well-formed name to
// handOffReceived one at a time and in order of arrival, and answers the sender once the
// connected slots have returned. Slots may run a nested event loop (an error box); hand-offs
// arriving meanwhile wait their turn. Nothing is delivered until setReady(true), so a
// hand-off that arrives before the frame is shown is kept, not lost. Connections of other users
// are refused; a message must arrive whole within kHandOffFrameTime; beyond
// kMaxHandOffConnections the oldest unfinished connection makes room for a new one, or new
// ones wait in the backlog. Should the toolkit ever stop listening (it does when accept fails),
// the server listens again, or lets go of the lock so the next start comes up on its own.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // The server made by HandOffToRunningInstance when it returned FirstInstance; nullptr
    // before that call and in a start that handed off.
    static InstanceServer* current();

    // Takes over the lock, removes a socket file left by a dead instance and listens on
    // socketPath. False (with a warning) when listening fails; the lock is then let go, so
    // later starts come up on their own at once instead of waiting to connect.
    bool listen(InstanceLock lock, const QString& socketPath);
    bool isListening() const;
    QString socketPath() const { return socketPath_; }

    void setReady(bool ready);
    bool isReady() const { return ready_; }

    // Closes the socket (removing its file), then drops the lock. Hand-offs not yet delivered
    // are abandoned; their senders see the connection end and try again.
    void release();

signals:
    void handOffReceived(const QByteArray& name);

private:
    struct Pending {
        QPointer<QLocalSocket> socket;
        QByteArray name;
    };

    struct Partial {
        QByteArray bytes;
        quint64 arrival = 0;
    };

    bool startListening();
    void checkListening();
    void acceptConnections();
    bool dropOldestPartial();
    void forget(QLocalSocket* socket);
    void readFrom(QLocalSocket* socket);
    void drop(QLocalSocket* socket, const char* reason);
    void scheduleDelivery();
    void deliver();
    void keepAlive();

    QLocalServer* server_ = nullptr;
    QTimer* watchdog_ = nullptr;
    QTimer* keepAlive_ = nullptr;
    InstanceLock lock_;
    QString socketPath_;
    std::unordered_set<QLocalSocket*> connections_;
    std::unordered_map<QLocalSocket*, Partial> partial_;
    std::deque<Pending> queue_;
    QPointer<QLocalSocket> answering_;
    quint64 arrivals_ = 0;
    bool ready_ = false;
    bool delivering_ = false;
    bool scheduled_ = false;
};

}  // namespace cadrell
