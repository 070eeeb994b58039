#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <deque>
#include <unordered_map>
#include <unordered_set>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace cadrell {

// One running instance per user and version. The first start holds an exclusive flock on
// "Cadrell v.<version> mutex" and listens on the local socket "Cadrell v.<version> message",
// both in the per-user runtime folder. A later start sends its first argument there and waits
// until the running instance has handled it.
//
// Wire format, one message per connection:
//   request: "CDLH", the name's length as a 32-bit big-endian number, the name's bytes
//   answer:  "CDLA", sent once the running instance has finished with the name; until then
//            "CDLW" now and then, so the sender can tell a busy instance from a hung one

inline constexpr qsizetype kMaxHandOffName = 64 * 1024;
inline constexpr char kHandOffRequestMagic[] = "CDLH";
inline constexpr char kHandOffAnswer[] = "CDLA";
inline constexpr char kHandOffWorking[] = "CDLW";
inline constexpr qsizetype kHandOffHeaderSize = 8;
// What the running instance spends on senders: a few dozen open connections at most, and a
// few seconds for each to deliver its whole message.
inline constexpr int kMaxHandOffConnections = 32;
inline constexpr std::chrono::milliseconds kHandOffFrameTime{5000};

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

// How long a later start waits for the running instance to say anything once connected:
// CADRELL_HANDOFF_TIMEOUT_MS when set to a positive number, else 30 s.
std::chrono::milliseconds HandOffTimeout();

// The command-line name as the running instance or the frame must see it: a relative name is
// joined to currentFolder (the process's own when empty), whether the file exists or not, with
// "." components and doubled slashes left out. ".." stays: it means something else after a
// symbolic link. Empty and absolute names are returned unchanged.
QByteArray AbsoluteName(const QByteArray& name, const QByteArray& currentFolder = {});

// Turns SIGTERM and SIGHUP into `requested` on the event loop. A request that arrives while
// the slots of an earlier one still run (its close question is open) is dropped: asking the
// same question again from inside the first would only stack dialogs.
class TerminationRequests : public QObject {
    Q_OBJECT

public:
    explicit TerminationRequests(QObject* parent = nullptr);
    ~TerminationRequests() override;

signals:
    void requested();

private:
    void readSignal();
    bool handling_ = false;
};

// The framed request for one name; the name must not exceed kMaxHandOffName.
QByteArray EncodeHandOff(const QByteArray& name);

// An exclusive, non-blocking flock on a file. The kernel drops it when the process dies, so a
// crashed instance never blocks the next start. The descriptor is close-on-exec: a program we
// start (a browser for the help page) must not inherit the lock and outlive us with it. A lock
// file that is not a regular file of this user's own is refused (Failed).
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
// connection ended before the answer (the instance died or shut down meanwhile). Silent: the
// instance said nothing for `silence` (it is hung); a busy instance keeps the wait going.
// A peer that is another user is treated as unreachable. peer, when given, receives the
// running instance's process id.
enum class SendOutcome { Answered, Unreachable, Lost, Silent };
SendOutcome SendHandOff(const QString& socketPath, const QByteArray& name,
                        std::chrono::milliseconds silence = HandOffTimeout(),
                        qint64* peer = nullptr);

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

enum class HandOffResult {
    FirstInstance,  // go on starting; InstanceServer::current() holds the lock and listens
    HandedOver,     // another instance has handled the name: end with exit code 0
    NameTooLong,    // over kMaxHandOffName; a message is on stderr: end with exit code 2
    NotResponding,  // the running instance is hung; a message is on stderr: exit code 3
};

// Called once at the program entry, after the QApplication is constructed (the server needs
// its event dispatcher) and before the frame exists. The name is the first command-line
// argument as bytes, through AbsoluteName and otherwise unchanged; empty when there is none.
// connectLimit bounds how long a start that finds the lock held tries to connect before it
// comes up as an instance of its own; once connected, HandOffTimeout bounds each silence.
HandOffResult HandOffToRunningInstance(
    const QByteArray& firstArgument,
    std::chrono::milliseconds connectLimit = std::chrono::milliseconds(5000));
HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument, bool hasArgument);

}  // namespace cadrell
