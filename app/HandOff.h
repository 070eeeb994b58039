#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <deque>
#include <unordered_map>

class QLocalServer;
class QLocalSocket;

namespace cadrell {

// One running instance per user and version. The first start holds an exclusive flock on
// "Cadrell v.<version> mutex" and listens on the local socket "Cadrell v.<version> message",
// both in the per-user runtime folder. A later start sends its first argument there and waits
// until the running instance has handled it.
//
// Wire format, one message per connection:
//   request: "CDLH", the name's length as a 32-bit big-endian number, the name's bytes
//   answer:  "CDLA", sent once the running instance has finished with the name

inline constexpr qsizetype kMaxHandOffName = 64 * 1024;
inline constexpr char kHandOffRequestMagic[] = "CDLH";
inline constexpr char kHandOffAnswer[] = "CDLA";
inline constexpr qsizetype kHandOffHeaderSize = 8;

// "2.2.4", or the text of the environment variable CADRELL_INSTANCE_VERSION when it is set and
// not empty (tests use it to show that other versions do not find each other).
QString InstanceVersion();
QString InstanceLockName();    // "Cadrell v.2.2.4 mutex"
QString InstanceSocketName();  // "Cadrell v.2.2.4 message"

// $XDG_RUNTIME_DIR when it is a folder of this user's own; otherwise <temp>/cadrell-<uid>,
// created with mode 0700, refused when it is a symbolic link or belongs to someone else, and
// set back to 0700 when its mode has drifted. Empty (with a warning) when no such folder can
// be had.
QString RuntimeFolder();

// The framed request for one name; the name must not exceed kMaxHandOffName.
QByteArray EncodeHandOff(const QByteArray& name);

// An exclusive, non-blocking flock on a file. The kernel drops it when the process dies, so a
// crashed instance never blocks the next start. The descriptor is close-on-exec: a program we
// start (a browser for the help page) must not inherit the lock and outlive us with it.
class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result tryAcquire(const QString& path);
    bool isHeld() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

// One attempt to hand a name to the instance listening at socketPath. Answered: the instance
// has handled it. Unreachable: nothing accepted the connection. Lost: connected, but the
// connection ended before the answer (the instance died or shut down meanwhile). Waits for the
// answer without a time limit for as long as the connection lives.
enum class SendOutcome { Answered, Unreachable, Lost };
SendOutcome SendHandOff(const QString& socketPath, const QByteArray& name);

// The running instance's side: accepts hand-offs, hands each well-formed name to
// handOffReceived one at a time and in order of arrival, and answers the sender once the
// connected slots have returned. Slots may run a nested event loop (an error box); hand-offs
// arriving meanwhile wait their turn. Nothing is delivered until setReady(true), so a
// hand-off that arrives before the frame is shown is kept, not lost.
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

    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    void drop(QLocalSocket* socket, const char* reason);
    void scheduleDelivery();
    void deliver();

    QLocalServer* server_ = nullptr;
    InstanceLock lock_;
    QString socketPath_;
    std::unordered_map<QLocalSocket*, QByteArray> partial_;
    std::deque<Pending> queue_;
    bool ready_ = false;
    bool delivering_ = false;
    bool scheduled_ = false;
};

enum class HandOffResult {
    FirstInstance,  // go on starting; InstanceServer::current() holds the lock and listens
    HandedOver,     // another instance has handled the name: end with exit code 0
    NameTooLong,    // over kMaxHandOffName; a message is on stderr: end with exit code 2
};

// Called once at the program entry, after the QApplication is constructed (the server needs
// its event dispatcher) and before the frame exists. The name is the first command-line
// argument as bytes, unchanged; empty when there is none. connectLimit bounds how long a start
// that finds the lock held tries to connect before it comes up as an instance of its own.
HandOffResult HandOffToRunningInstance(
    const QByteArray& firstArgument,
    std::chrono::milliseconds connectLimit = std::chrono::milliseconds(5000));
HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument, bool hasArgument);

}  // namespace cadrell
