#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>

#include "core/instance/HandOff.h"
#include "core/instance/HandOffWire.h"
#include "core/instance/InstanceClient.h"
#include "core/instance/InstanceLock.h"
#include "core/instance/InstanceNames.h"
#include "core/instance/InstanceServer.h"
#include "core/instance/TerminationRequests.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

// ---- helper mode: this test binary run as a minimal instance in a child process ----
//
//   tst_handoff --instance [name]
// The runtime folder comes from CADRELL_TEST_RUNTIME (the child's own test support has already
// replaced XDG_RUNTIME_DIR by a fresh one). Prints "first" when it became the first instance and
// then "handoff <hex>" for each name received; exits 0 after handing off, 2 when refused. With
// CADRELL_TEST_DIE_ON set, it dies without answering when that name arrives.
int runInstance(int argc, char** argv) {
    QDir(testsupport::homeDir()).removeRecursively();
    qputenv("XDG_RUNTIME_DIR", qgetenv("CADRELL_TEST_RUNTIME"));
    QCoreApplication app(argc, argv);
    const bool hasArgument = argc > 2;
    switch (
        HandOffToRunningInstance(hasArgument ? QByteArray(argv[2]) : QByteArray(), hasArgument)) {
        case HandOffResult::HandedOver:
            return 0;
        case HandOffResult::NameTooLong:
            return 2;
        case HandOffResult::NotResponding:
            return 3;
        case HandOffResult::FirstInstance:
            break;
    }
    InstanceServer* server = InstanceServer::current();
    const QByteArray dieOn = qgetenv("CADRELL_TEST_DIE_ON");
    // A name starting "busy:" or "hung:" keeps the slot for the milliseconds after the colon,
    // with the event loop running (an error box) or stuck.
    QObject::connect(server, &InstanceServer::handOffReceived, [&](const QByteArray& name) {
        if (!dieOn.isEmpty() && name == dieOn)
            ::_exit(9);
        const int ms = name.mid(5).toInt();
        if (name.startsWith("busy:")) {
            QEventLoop box;
            QTimer::singleShot(ms, &box, &QEventLoop::quit);
            box.exec();
        } else if (name.startsWith("hung:")) {
            QThread::msleep(ulong(ms));
        }
        std::printf("handoff %s\n", name.toHex().constData());
        std::fflush(stdout);
    });
    std::printf("first %d\n", server->isListening() ? 1 : 0);
    std::fflush(stdout);
    server->setReady(true);
    return app.exec();
}

// A runtime folder of the test's own, as the program expects it (mode 0700).
struct Runtime {
    QTemporaryDir dir{testsupport::homeDir() + QStringLiteral("/rt-XXXXXX")};
    Runtime() { ::chmod(QFile::encodeName(dir.path()).constData(), 0700); }
    QString path() const { return dir.path(); }
    QString socketPath(const QString& version = QStringLiteral("2.2.4")) const {
        return dir.path() + QStringLiteral("/Cadrell v.%1 message").arg(version);
    }
    QString lockPath() const { return dir.path() + QStringLiteral("/Cadrell v.2.2.4 mutex"); }
    // Points this process at the folder, for calls of HandOffToRunningInstance in the test.
    void use() const { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path())); }
};

// Leaves a socket file that nobody listens on, as a killed instance does.
void plantDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(path));
}

// A non-blocking socket of the test's own, connected to path or listening there; -1 on failure.
// System calls only, so that a forked child may use it.
int rawSocket(const QByteArray& path, bool listening = false) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const auto* a = reinterpret_cast<const sockaddr*>(&addr);
    if (listening ? ::bind(fd, a, sizeof addr) == 0 && ::listen(fd, 4) == 0
                  : ::connect(fd, a, sizeof addr) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// Children of a test die with it, whatever the outcome.
struct Processes {
    std::vector<std::unique_ptr<QProcess>> all;
    QProcess& add() { return *all.emplace_back(std::make_unique<QProcess>()); }
    ~Processes() {
        for (auto& p : all) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
        }
    }
};

bool waitFor(const std::function<bool()>& condition, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Connections waiting in the kernel for the listener at path to accept them: in /proc/net/unix
// those carry the listener's path, the state "connecting" (02) and no inode yet. -1 when the
// table cannot be read.
int unacceptedConnections(const QString& path) {
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray suffix = ' ' + QFile::encodeName(path);
    int count = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        if (!line.endsWith(suffix))
            continue;
        // Num RefCount Protocol Flags Type St Inode Path
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 7 && fields[5] == "02" && fields[6] == "0")
            ++count;
    }
    return count;
}

// The lines a helper instance printed so far.
QList<QByteArray> outputOf(QProcess& p, QByteArray& seen) {
    seen += p.readAllStandardOutput();
    QList<QByteArray> lines = seen.split('\n');
    lines.removeLast();
    return lines;
}

QByteArray handoffLine(const QByteArray& name) {
    return "handoff " + name.toHex();
}

// Sends bytes to an in-process server and waits until they have left the socket.
void sendRaw(QLocalSocket& socket, const QByteArray& bytes) {
    socket.write(bytes);
    QVERIFY(waitFor([&] { return socket.bytesToWrite() == 0; }));
}

// ---- the real program ----

struct Cadrell {
    QString runtime;
    QString log;
    QByteArray version;

    QProcess& start(Processes& ps, const QStringList& args, const QString& cwd,
                    int maxDescriptors = 0) const {
        QProcess& p = ps.add();
        if (maxDescriptors > 0) {
            p.setChildProcessModifier([maxDescriptors] {
                const rlimit limit{rlim_t(maxDescriptors), rlim_t(maxDescriptors)};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("CADRELL_EVENT_LOG"), log);
        if (!version.isEmpty())
            env.insert(QStringLiteral("CADRELL_INSTANCE_VERSION"), QString::fromLatin1(version));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(cwd);
        p.start(QStringLiteral(CADRELL_BINARY), args);
        return p;
    }
    QList<QByteArray> events() const {
        QList<QByteArray> lines = testsupport::readFile(log).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    qsizetype count(const QByteArray& line) const { return events().count(line); }
};

}  // namespace

class TestHandOff : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // protocol, in-process
    void names();
    void runtimeFolder_data();
    void runtimeFolder();
    void framing_data();
    void framing();
    void malformed_data();
    void malformed();
    void randomBytes();
    void heldUntilReady();
    void oneAtATime();
    void deadSocketRecovered();
    void lockHeldButNoAnswer();
    void absoluteName_data();
    void absoluteName();
    void terminationWhileClosing();
    void foreignOwners_data();
    void foreignOwners();

    // across processes, with this binary as a minimal instance
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void tooLongRefused();
    void endedInstanceFreesLock_data();
    void endedInstanceFreesLock();
    void instanceDiesWhileHandling();
    void otherVersionApart();
    void twentyAtOnce();
    void slowOrHung_data();
    void slowOrHung();
    void streamAfterMessage();

    // the real program
    void programOpensInNewWindow();
    void programNoArgumentFronts();
    void programRelativeName_data();
    void programRelativeName();
    void programHostileSenders_data();
    void programHostileSenders();
    void programUnreadableName();
    void programTwentyAtOnce();
    void programEndedInstance_data();
    void programEndedInstance();
    void programOtherVersion();
    void programLongNames();

private:
    QProcess& startHelper(Processes& ps, const Runtime& rt, const QStringList& args,
                          const QByteArray& version = {}, const QByteArray& dieOn = {});
    // Starts the real program as first instance; skips the test when it does not hand off yet.
    bool startProgram(Processes& ps, Cadrell& c, const QStringList& args, const QString& cwd,
                      int maxDescriptors = 0);
    int runToEnd(QProcess& p);

    QByteArray runtime_;
    // Once the program is found not to listen, the remaining tests skip without waiting again.
    bool programListens_ = true;
};

void TestHandOff::initTestCase() {
    runtime_ = qgetenv("XDG_RUNTIME_DIR");
}

void TestHandOff::cleanup() {
    delete InstanceServer::current();
    qunsetenv("CADRELL_INSTANCE_VERSION");
    qunsetenv("CADRELL_HANDOFF_TIMEOUT_MS");
    qputenv("XDG_RUNTIME_DIR", runtime_);
}

void TestHandOff::names() {
    QCOMPARE(InstanceLockName(), QStringLiteral("Cadrell v.2.2.4 mutex"));
    QCOMPARE(InstanceSocketName(), QStringLiteral("Cadrell v.2.2.4 message"));
    qputenv("CADRELL_INSTANCE_VERSION", "3.0");
    QCOMPARE(InstanceLockName(), QStringLiteral("Cadrell v.3.0 mutex"));
    QCOMPARE(InstanceSocketName(), QStringLiteral("Cadrell v.3.0 message"));
}

void TestHandOff::runtimeFolder_data() {
    QTest::addColumn<QString>("session");  // what $XDG_RUNTIME_DIR names
    QTest::addColumn<QString>("setup");    // what is found where the private folder goes
    QTest::addColumn<bool>("usable");
    QTest::newRow("created") << "unset"
                             << "none" << true;
    QTest::newRow("loose mode tightened") << "unset"
                                          << "mode0755" << true;
    QTest::newRow("symbolic link refused") << "unset"
                                           << "symlink" << false;
    QTest::newRow("a file refused") << "unset"
                                    << "file" << false;
    QTest::newRow("someone else's refused") << "unset"
                                            << "foreign" << false;
    QTest::newRow("too long a path refused") << "unset"
                                             << "long" << false;
    // The session's folder is never changed; when unsafe, the private one serves instead.
    QTest::newRow("session folder open to others") << "mode0755"
                                                   << "none" << true;
    QTest::newRow("session folder someone else's") << "foreign"
                                                   << "none" << true;
    QTest::newRow("session folder too long a path") << "long"
                                                    << "none" << true;
}

void TestHandOff::runtimeFolder() {
    QFETCH(QString, session);
    QFETCH(QString, setup);
    QFETCH(bool, usable);
    QTemporaryDir tmp(testsupport::homeDir() + QStringLiteral("/tmp-XXXXXX"));
    const QString longPath = tmp.path() + QLatin1Char('/') + QString(100, 'd');
    QVERIFY(QDir().mkpath(longPath));
    ::chmod(QFile::encodeName(longPath).constData(), 0700);
    const QString temp = setup == QLatin1String("long") ? longPath : tmp.path();
    const QByteArray oldTmp = qgetenv("TMPDIR");
    const QByteArray oldXdg = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    const QString own = temp + QStringLiteral("/cadrell-%1").arg(::geteuid());
    const QByteArray ownBytes = QFile::encodeName(own);
    QTemporaryDir elsewhere(testsupport::homeDir() + QStringLiteral("/else-XXXXXX"));
    const QByteArray other =
        QFile::encodeName(session == QLatin1String("long") ? longPath : elsewhere.path());
    ::chmod(other.constData(), session == QLatin1String("mode0755") ? 0755 : 0700);
    if (session == QLatin1String("unset"))
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", other);

    if (setup == QLatin1String("mode0755")) {
        QVERIFY(::mkdir(ownBytes.constData(), 0755) == 0);
    } else if (setup == QLatin1String("symlink")) {
        QVERIFY(QFile::link(elsewhere.path(), own));
    } else if (setup == QLatin1String("file")) {
        testsupport::writeFile(own.mid(testsupport::homeDir().size() + 1), "x");
    }
    const QByteArray foreign = setup == QLatin1String("foreign") ? ownBytes : other;
    if (setup == QLatin1String("foreign") || session == QLatin1String("foreign")) {
        ::mkdir(foreign.constData(), 0700);
        if (::chown(foreign.constData(), ::geteuid() + 1000, ::getegid()) != 0) {
            // The later tests need their folders back.
            qputenv("TMPDIR", oldTmp);
            qputenv("XDG_RUNTIME_DIR", oldXdg);
            QSKIP("cannot give a folder to another user here");
        }
    }
    struct stat before {};
    ::stat(other.constData(), &before);
    const QString folder = RuntimeFolder();
    qputenv("TMPDIR", oldTmp);
    qputenv("XDG_RUNTIME_DIR", oldXdg);

    QCOMPARE(folder, usable ? own : QString());
    if (usable) {
        struct stat st {};
        QVERIFY(::lstat(ownBytes.constData(), &st) == 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
    }
    struct stat after {};
    ::stat(other.constData(), &after);
    QCOMPARE(after.st_mode, before.st_mode);
    // The runtime folder of the session wins when it is there.
    QCOMPARE(RuntimeFolder(), QFile::decodeName(oldXdg));
}

void TestHandOff::framing_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("byteByByte");
    QTest::newRow("empty: fronts only") << QByteArray() << false;
    QTest::newRow("plain") << QByteArray("/home/u/a.m3u") << false;
    QTest::newRow("plain, in pieces") << QByteArray("rel/b.m3u") << true;
    QTest::newRow("any bytes") << QByteArray("a\0b\xff\n\r\\:.m3u", 12) << true;
    QTest::newRow("5000 characters") << QByteArray(5000, 'n') << false;
    QTest::newRow("exactly 64 KiB") << QByteArray(kMaxHandOffName, 'm') << false;
}

void TestHandOff::framing() {
    QFETCH(QByteArray, name);
    QFETCH(bool, byteByByte);
    Runtime rt;
    InstanceServer server;
    QVERIFY(server.listen({}, rt.socketPath()));
    server.setReady(true);
    QSignalSpy spy(&server, &InstanceServer::handOffReceived);

    QLocalSocket client;
    client.connectToServer(rt.socketPath());
    QVERIFY(client.waitForConnected(5000));
    const QByteArray message = EncodeHandOff(name);
    QCOMPARE(message.size(), name.size() + 8);
    if (byteByByte) {
        for (char c : message)
            sendRaw(client, QByteArray(1, c));
    } else {
        sendRaw(client, message);
    }
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), name);
    QTRY_COMPARE(client.bytesAvailable(), qint64(4));
    QCOMPARE(client.readAll(), QByteArray(kHandOffAnswer));
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
}

void TestHandOff::malformed_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("senderCloses");  // only the end of the connection shows the fault
    QTest::addColumn<QString>("warning");
    auto header = [](const char* magic, quint32 length) {
        QByteArray h(magic, 4);
        h.resize(8);
        qToBigEndian(length, h.data() + 4);
        return h;
    };
    QTest::newRow("bad magic") << (header("CDLX", 1) + "a") << false << "bad magic";
    QTest::newRow("bad first byte") << QByteArray("X") << false << "bad magic";
    QTest::newRow("length over 64 KiB")
        << (header("CDLH", quint32(kMaxHandOffName) + 1) + QByteArray(100, 'x')) << false
        << "longer than 64 KiB";
    QTest::newRow("length 4 GiB") << header("CDLH", 0xffffffffu) << false << "longer than 64 KiB";
    QTest::newRow("trailing bytes") << (EncodeHandOff("a.m3u") + "zz") << false << "after the end";
    QTest::newRow("truncated header") << QByteArray("CDLH\0\0", 6) << true << "truncated";
    QTest::newRow("truncated name") << (header("CDLH", 10) + "12345") << true << "truncated";
}

void TestHandOff::malformed() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, senderCloses);
    QFETCH(QString, warning);
    Runtime rt;
    InstanceServer server;
    QVERIFY(server.listen({}, rt.socketPath()));
    server.setReady(true);
    QSignalSpy spy(&server, &InstanceServer::handOffReceived);

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("dropped a hand-off message: .*") +
                                            QRegularExpression::escape(warning)));
    {
        QLocalSocket bad;
        bad.connectToServer(rt.socketPath());
        QVERIFY(bad.waitForConnected(5000));
        sendRaw(bad, bytes);
        if (senderCloses)
            bad.disconnectFromServer();
        // Dropped means: the connection is closed by the server, and nothing is answered.
        QTRY_COMPARE(bad.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(bad.bytesAvailable(), qint64(0));
    }

    // The server carries on with the next, well-formed hand-off.
    QLocalSocket good;
    good.connectToServer(rt.socketPath());
    QVERIFY(good.waitForConnected(5000));
    sendRaw(good, EncodeHandOff("next.m3u"));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("next.m3u"));
}

void TestHandOff::randomBytes() {
    Runtime rt;
    InstanceServer server;
    QVERIFY(server.listen({}, rt.socketPath()));
    server.setReady(true);
    QSignalSpy spy(&server, &InstanceServer::handOffReceived);
    static int dropped;
    dropped = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            if (text.contains(QLatin1String("dropped a hand-off message")))
                ++dropped;
        });

    QRandomGenerator random(20240611);
    const int rounds = 300;
    for (int i = 0; i < rounds; ++i) {
        QByteArray bytes(random.bounded(1, 200), Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random.bounded(256));
        if (i % 2) {
            // Right magic, a length that never matches what follows.
            QByteArray h(kHandOffRequestMagic, 4);
            h.resize(8);
            quint32 length = random.generate();
            if (i % 4 == 1)
                length %= 400;
            if (length == quint32(bytes.size()))
                ++length;
            qToBigEndian(length, h.data() + 4);
            bytes.prepend(h);
        } else if (bytes.startsWith('C')) {
            bytes[0] = 'c';
        }
        QLocalSocket s;
        s.connectToServer(rt.socketPath());
        QVERIFY(s.waitForConnected(5000));
        sendRaw(s, bytes);
        s.disconnectFromServer();
        QVERIFY(waitFor([&] { return s.state() == QLocalSocket::UnconnectedState; }));
    }
    QVERIFY(waitFor([&] { return dropped == rounds; }));
    qInstallMessageHandler(previous);
    QCOMPARE(spy.size(), 0);
}

void TestHandOff::heldUntilReady() {
    Runtime rt;
    InstanceServer server;
    QVERIFY(server.listen({}, rt.socketPath()));
    QSignalSpy spy(&server, &InstanceServer::handOffReceived);

    QLocalSocket client;
    client.connectToServer(rt.socketPath());
    QVERIFY(client.waitForConnected(5000));
    sendRaw(client, EncodeHandOff("early.m3u"));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(spy.size(), 0);
    QCOMPARE(client.bytesAvailable(), qint64(0));  // the sender still waits

    server.setReady(true);
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("early.m3u"));
    QTRY_COMPARE(client.bytesAvailable(), qint64(4));
}

void TestHandOff::oneAtATime() {
    // The first name's slot runs a nested event loop (an error box) while the second arrives:
    // the second waits for the first slot to return, and the first is answered only then.
    Runtime rt;
    InstanceServer server;
    QVERIFY(server.listen({}, rt.socketPath()));
    server.setReady(true);
    QLocalSocket first, second;
    for (QLocalSocket* s : {&first, &second}) {
        s->connectToServer(rt.socketPath());
        QVERIFY(s->waitForConnected(5000));
    }
    QList<QByteArray> received;
    bool checkedInside = false;
    connect(&server, &InstanceServer::handOffReceived, this, [&](const QByteArray& name) {
        received << name;
        if (name != "one")
            return;
        second.write(EncodeHandOff("two"));
        QEventLoop box;
        for (int i = 0; i < 200 && (second.bytesToWrite() > 0 || i < 50); ++i)
            box.processEvents(QEventLoop::AllEvents, 10);
        checkedInside = received.size() == 1 && first.bytesAvailable() == 0;
    });
    sendRaw(first, EncodeHandOff("one"));
    QTRY_COMPARE(received.size(), 2);
    QVERIFY(checkedInside);
    QCOMPARE(received, (QList<QByteArray>{"one", "two"}));
    QTRY_COMPARE(first.bytesAvailable(), qint64(4));
    QTRY_COMPARE(second.bytesAvailable(), qint64(4));
}

void TestHandOff::deadSocketRecovered() {
    Runtime rt;
    rt.use();
    plantDeadSocket(rt.socketPath());
    QCOMPARE(HandOffToRunningInstance("a.m3u"), HandOffResult::FirstInstance);
    InstanceServer* server = InstanceServer::current();
    QVERIFY(server);
    QVERIFY(server->isListening());
    QLocalSocket client;
    client.connectToServer(rt.socketPath());
    QVERIFY(client.waitForConnected(5000));

    // Shutting down removes the socket and frees the lock for the next start.
    server->release();
    QVERIFY(!QFileInfo::exists(rt.socketPath()));
    InstanceLock lock;
    QCOMPARE(lock.tryAcquire(rt.lockPath()), InstanceLock::Result::Acquired);
}

void TestHandOff::lockHeldButNoAnswer() {
    // Someone holds the lock but nobody listens: after the connect limit this start comes up on
    // its own, and leaves the other's socket file alone since the lock is not ours.
    Runtime rt;
    rt.use();
    InstanceLock other;
    QCOMPARE(other.tryAcquire(rt.lockPath()), InstanceLock::Result::Acquired);
    plantDeadSocket(rt.socketPath());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not answer")));
    QCOMPARE(HandOffToRunningInstance("a.m3u", std::chrono::milliseconds(200)),
             HandOffResult::FirstInstance);
    QVERIFY(InstanceServer::current());
    QVERIFY(!InstanceServer::current()->isListening());
    QVERIFY(QFileInfo::exists(rt.socketPath()));

    // The same situation with a name too long to hand over is refused before any contact.
    QCOMPARE(HandOffToRunningInstance(QByteArray(kMaxHandOffName + 1, 'x')),
             HandOffResult::NameTooLong);
}

void TestHandOff::absoluteName_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("a.m3u") << QByteArray("/w") << QByteArray("/w/a.m3u");
    QTest::newRow("dots and doubled slashes")
        << QByteArray("./x//./y.m3u") << QByteArray("/w/") << QByteArray("/w/x/y.m3u");
    QTest::newRow("parent kept") << QByteArray("../b.m3u") << QByteArray("/w")
                                 << QByteArray("/w/../b.m3u");
    QTest::newRow("any bytes") << QByteArray("\\srv\aÿ.m3u") << QByteArray("/w")
                               << QByteArray("/w/\\srv\aÿ.m3u");
    QTest::newRow("absolute") << QByteArray("/x/./a.m3u") << QByteArray("/w")
                              << QByteArray("/x/./a.m3u");
    QTest::newRow("none") << QByteArray() << QByteArray("/w") << QByteArray();
}

void TestHandOff::absoluteName() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, expected);
    QCOMPARE(AbsoluteName(name, folder), expected);
}

void TestHandOff::terminationWhileClosing() {
    // The first request's close question is open (a nested loop) when two more arrive: they are
    // dropped, not asked again inside it; a request after it has finished is heard again.
    TerminationRequests requests;
    int asked = 0;
    connect(&requests, &TerminationRequests::requested, this, [&] {
        if (++asked > 1)
            return;
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        QEventLoop question;
        QTimer::singleShot(300, &question, &QEventLoop::quit);
        question.exec();
    });
    ::raise(SIGTERM);
    QTRY_COMPARE(asked, 1);
    QTest::qWait(100);
    QCOMPARE(asked, 1);
    ::raise(SIGTERM);
    QTRY_COMPARE(asked, 2);
}

void TestHandOff::foreignOwners_data() {
    QTest::addColumn<QString>("who");
    QTest::newRow("lock file") << "lock";
    QTest::newRow("sender") << "sender";
    QTest::newRow("listener") << "listener";
}

void TestHandOff::foreignOwners() {
    // Nobody else belongs in our folder; whatever of another user's is found there is refused.
    QFETCH(QString, who);
    const uid_t other = 65534;
    if (::geteuid() != 0)
        QSKIP("only root can act as another user here");
    Runtime rt;
    // The other user must reach the socket: a folder outside our private home.
    QTemporaryDir shared(QDir::tempPath() + QStringLiteral("/cadrell-peers-XXXXXX"));
    ::chmod(QFile::encodeName(shared.path()).constData(), 0777);
    const QString socket = shared.path() + QStringLiteral("/socket");
    const QByteArray socketBytes = QFile::encodeName(socket);
    const QByteArray message = EncodeHandOff("theirs.m3u");
    char buffer[64];
    // In a child as the other user, blocking: sends a message, or answers one.
    auto asOther = [&](bool listening) {
        const pid_t pid = ::fork();
        if (pid == 0 && ::setgid(other) == 0 && ::setuid(other) == 0) {
            int fd = rawSocket(socketBytes, listening);
            pollfd p{fd, POLLIN, 0};
            if (listening && ::poll(&p, 1, 10000) == 1)
                fd = ::accept(fd, nullptr, nullptr);
            ::fcntl(fd, F_SETFL, 0);
            if (!listening && ::write(fd, message.constData(), size_t(message.size())) < 0)
                ::_exit(1);
            if (::read(fd, buffer, sizeof buffer) > 0 && listening &&
                ::write(fd, kHandOffAnswer, 4) == 4)
                ::sleep(5);
        }
        if (pid == 0)
            ::_exit(0);
        return pid;
    };

    InstanceServer server;
    QSignalSpy spy(&server, &InstanceServer::handOffReceived);
    pid_t pid = 0;
    if (who == QLatin1String("lock")) {
        testsupport::writeFile(rt.lockPath().mid(testsupport::homeDir().size() + 1), {});
        QVERIFY(::chown(QFile::encodeName(rt.lockPath()).constData(), other, other) == 0);
        InstanceLock lock;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not a file")));
        QCOMPARE(lock.tryAcquire(rt.lockPath()), InstanceLock::Result::Failed);
        return;
    } else if (who == QLatin1String("sender")) {
        QVERIFY(server.listen({}, socket));
        ::chmod(QFile::encodeName(socket).constData(), 0777);
        server.setReady(true);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("another user")));
        pid = asOther(false);
    } else {
        pid = asOther(true);
        QVERIFY(waitFor([&] { return QFileInfo::exists(socket); }));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("another user")));
        QCOMPARE(SendHandOff(socket, "mine.m3u"), SendOutcome::Unreachable);
        ::kill(pid, SIGKILL);
    }
    QVERIFY(waitFor([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }));
    QCOMPARE(spy.size(), 0);
}

QProcess& TestHandOff::startHelper(Processes& ps, const Runtime& rt, const QStringList& args,
                                   const QByteArray& version, const QByteArray& dieOn) {
    QProcess& p = ps.add();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CADRELL_TEST_RUNTIME"), rt.path());
    env.remove(QStringLiteral("CADRELL_INSTANCE_VERSION"));
    if (!version.isEmpty())
        env.insert(QStringLiteral("CADRELL_INSTANCE_VERSION"), QString::fromLatin1(version));
    if (!dieOn.isEmpty())
        env.insert(QStringLiteral("CADRELL_TEST_DIE_ON"), QString::fromLatin1(dieOn));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(),
            QStringList{QStringLiteral("--instance")} + args);
    return p;
}

int TestHandOff::runToEnd(QProcess& p) {
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestHandOff::secondStartHandsOver_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no argument") << QStringList() << QByteArray();
    QTest::newRow("absolute") << QStringList{"/lists/a.m3u"} << QByteArray("/lists/a.m3u");
    QTest::newRow("relative, unchanged") << QStringList{"../b.m3u"} << QByteArray("../b.m3u");
    QTest::newRow("5000 characters") << QStringList{QString(5000, 'q')} << QByteArray(5000, 'q');
    QTest::newRow("64 KiB") << QStringList{QString(kMaxHandOffName, 'k')}
                            << QByteArray(kMaxHandOffName, 'k');
}

void TestHandOff::secondStartHandsOver() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));

    QCOMPARE(runToEnd(startHelper(ps, rt, args)), 0);
    QVERIFY(outputOf(first, out).contains(handoffLine(expected)));
}

void TestHandOff::tooLongRefused() {
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));

    QProcess& tooLong = startHelper(ps, rt, {QString(kMaxHandOffName + 1, 'x')});
    QCOMPARE(runToEnd(tooLong), 2);
    QVERIFY(tooLong.readAllStandardError().contains("at most 65536 bytes"));

    // Nothing reached the running instance, which still takes the next name.
    QCOMPARE(runToEnd(startHelper(ps, rt, {"after.m3u"})), 0);
    QCOMPARE(outputOf(first, out), (QList<QByteArray>{"first 1", handoffLine("after.m3u")}));
}

void TestHandOff::endedInstanceFreesLock_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGKILL") << SIGKILL;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TestHandOff::endedInstanceFreesLock() {
    QFETCH(int, signal);
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    ::kill(pid_t(first.processId()), signal);
    QVERIFY(waitFor([&] { return first.state() == QProcess::NotRunning; }));
    QVERIFY(QFileInfo::exists(rt.socketPath()));  // left behind, dead

    QByteArray out2;
    QProcess& next = startHelper(ps, rt, {"a.m3u"});
    QVERIFY(waitFor([&] { return outputOf(next, out2).contains("first 1"); }));
    QCOMPARE(runToEnd(startHelper(ps, rt, {"b.m3u"})), 0);
    QVERIFY(waitFor([&] { return outputOf(next, out2).contains(handoffLine("b.m3u")); }));
}

void TestHandOff::instanceDiesWhileHandling() {
    // The running instance dies before it answers: the second start must not report success
    // for a name nobody opened; it finds the lock free and comes up on its own.
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {}, {}, "doomed.m3u");
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    QByteArray out2;
    QProcess& second = startHelper(ps, rt, {"doomed.m3u"});
    QVERIFY(waitFor([&] { return outputOf(second, out2).contains("first 1"); }));
    QCOMPARE(first.exitCode(), 9);
}

void TestHandOff::otherVersionApart() {
    Runtime rt;
    Processes ps;
    QByteArray out, out2;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    QProcess& other = startHelper(ps, rt, {"a.m3u"}, "2.2.5");
    QVERIFY(waitFor([&] { return outputOf(other, out2).contains("first 1"); }));
    QVERIFY(QFileInfo::exists(rt.socketPath(QStringLiteral("2.2.5"))));
    QCOMPARE(outputOf(first, out), QList<QByteArray>{"first 1"});
}

void TestHandOff::twentyAtOnce() {
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    std::vector<QProcess*> starts;
    for (int i = 0; i < 20; ++i)
        starts.push_back(&startHelper(ps, rt, {QStringLiteral("list%1.m3u").arg(i)}));
    for (QProcess* p : starts)
        QCOMPARE(runToEnd(*p), 0);
    const QList<QByteArray> lines = outputOf(first, out);
    QCOMPARE(lines.size(), 21);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(lines.count(handoffLine("list" + QByteArray::number(i) + ".m3u")), 1);
}

void TestHandOff::slowOrHung_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("busy but alive") << "busy:4000" << 0;
    QTest::newRow("hung") << "hung:20000" << 3;
}

void TestHandOff::slowOrHung() {
    // With the wait made short, an instance whose slot runs an event loop for longer still
    // gets its answer through; one that is stuck is named as not responding.
    QFETCH(QString, name);
    QFETCH(int, exitCode);
    qputenv("CADRELL_HANDOFF_TIMEOUT_MS", "1000");
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    QProcess& second = startHelper(ps, rt, {name});
    QCOMPARE(runToEnd(second), exitCode);
    const QByteArray err = second.readAllStandardError();
    QCOMPARE(
        err.contains("(process " + QByteArray::number(first.processId()) + ") is not responding"),
        exitCode == 3);
}

void TestHandOff::streamAfterMessage() {
    // A whole message, then a stream of more while an earlier name keeps the instance busy:
    // the instance stops reading instead of keeping it all.
    Runtime rt;
    Processes ps;
    QByteArray out;
    QProcess& first = startHelper(ps, rt, {});
    QVERIFY(waitFor([&] { return outputOf(first, out).contains("first 1"); }));
    QProcess& busy = startHelper(ps, rt, {QStringLiteral("busy:3000")});
    QTest::qWait(300);
    const int fd = rawSocket(QFile::encodeName(rt.socketPath()));
    const QByteArray message = EncodeHandOff("stream.m3u");
    QCOMPARE(::send(fd, message.constData(), size_t(message.size()), 0), ssize_t(message.size()));
    QTest::qWait(200);  // the message alone first, so it is queued behind the busy one
    const QByteArray chunk(1 << 16, 's');
    qint64 sent = 0;
    for (pollfd p{fd, POLLOUT, 0}; sent < qint64(512) << 20 && ::poll(&p, 1, 1000) == 1;) {
        const ssize_t n = ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
        if (n <= 0 && errno != EAGAIN)
            break;  // the instance has closed the connection
        sent += std::max<ssize_t>(n, 0);
    }
    ::close(fd);
    QVERIFY2(sent < qint64(16) << 20, QByteArray::number(sent).constData());
    QCOMPARE(runToEnd(busy), 0);
}

// ---- the real program ----

bool TestHandOff::startProgram(Processes& ps, Cadrell& c, const QStringList& args,
                               const QString& cwd, int maxDescriptors) {
    QProcess& p = c.start(ps, args, cwd, maxDescriptors);
    const QString socket =
        c.runtime + QLatin1Char('/') +
        QStringLiteral("Cadrell v.%1 message")
            .arg(c.version.isEmpty() ? QStringLiteral("2.2.4") : QString::fromLatin1(c.version));
    // A connection that sends nothing is dropped silently, so it serves as a probe; the file
    // alone may be a dead one left by an instance killed before.
    auto listening = [&] {
        QLocalSocket probe;
        probe.connectToServer(socket);
        return probe.waitForConnected(1000);
    };
    return p.waitForStarted(30000) &&
           waitFor([&] { return listening() || p.state() == QProcess::NotRunning; }) &&
           p.state() == QProcess::Running;
}

#define START_PROGRAM(ps, c, args, cwd)                                                \
    do {                                                                               \
        if (!programListens_ || !(programListens_ = startProgram(ps, c, args, cwd)))   \
            QSKIP(                                                                     \
                "cadrell does not listen for hand-offs yet: app/Mdiapp.cpp must call " \
                "HandOffToRunningInstance");                                           \
    } while (false)

// The second start has ended; the running instance logged the hand-off before it answered.
#define REQUIRE_EVENT_LOG(c)                                           \
    do {                                                               \
        if (c.events().isEmpty() || c.events().first() == "<missing>") \
            QSKIP("cadrell does not write CADRELL_EVENT_LOG yet");     \
    } while (false)

void TestHandOff::programOpensInNewWindow() {
    Runtime rt;
    Processes ps;
    const QString a = testsupport::writeFile(QStringLiteral("lists/a.m3u"), "x.mp3\r\n");
    const QString b = testsupport::writeFile(QStringLiteral("lists/b.m3u"), "y.mp3\r\n");
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {a}, rt.path());
    // Handing over the file that is already open opens it once more, in a new window.
    QCOMPARE(runToEnd(c.start(ps, {a}, rt.path())), 0);
    REQUIRE_EVENT_LOG(c);
    QCOMPARE(c.count("opened\t" + QFile::encodeName(a)), 2);
    QCOMPARE(c.count("handoff\t" + QFile::encodeName(a)), 1);
    QCOMPARE(c.events().last(), QByteArray("windows\t2"));
    QVERIFY(c.events().contains("front"));

    QCOMPARE(runToEnd(c.start(ps, {b}, rt.path())), 0);
    QCOMPARE(c.count("opened\t" + QFile::encodeName(b)), 1);
    QCOMPARE(c.events().last(), QByteArray("windows\t3"));
    QVERIFY(!c.events().join('\n').contains("error\t"));
}

void TestHandOff::programNoArgumentFronts() {
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    QCOMPARE(runToEnd(c.start(ps, {}, rt.path())), 0);
    REQUIRE_EVENT_LOG(c);
    QCOMPARE(c.events(), (QList<QByteArray>{"handoff\t", "front", "windows\t0"}));
}

void TestHandOff::programRelativeName_data() {
    QTest::addColumn<bool>("later");  // handed over by a later start, or the first start's own
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");  // under the home folder
    QTest::newRow("later start") << true << "./rel.m3u"
                                 << "there/rel.m3u";
    QTest::newRow("later start, no such file") << true << "sub/none.m3u"
                                               << "there/sub/none.m3u";
    QTest::newRow("first start") << false << "rel.m3u"
                                 << "there/rel.m3u";
}

void TestHandOff::programRelativeName() {
    // A relative name means the folder it was typed in, not the running instance's.
    QFETCH(bool, later);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    Runtime rt;
    Processes ps;
    testsupport::writeFile(QStringLiteral("here/rel.m3u"), "a.mp3\r\n");
    testsupport::writeFile(QStringLiteral("there/rel.m3u"), "b.mp3\r\n");
    const QString here = testsupport::homeDir() + QStringLiteral("/here");
    const QString there = testsupport::homeDir() + QStringLiteral("/there");
    const QByteArray full = QFile::encodeName(testsupport::homeDir() + '/' + expected);
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    if (later) {
        START_PROGRAM(ps, c, {}, here);
        QCOMPARE(runToEnd(c.start(ps, {name}, there)), 0);
        REQUIRE_EVENT_LOG(c);
        QCOMPARE(c.count("handoff\t" + full), 1);
    } else {
        START_PROGRAM(ps, c, {name}, there);
    }
    QVERIFY(waitFor([&] { return c.events().contains("opened\t" + full); }));
}

void TestHandOff::programHostileSenders_data() {
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("trickle");  // each sends its message a byte at a time, too slowly
    QTest::newRow("flood of idle connections") << 300 << false;
    QTest::newRow("slow senders") << 3 << true;
}

void TestHandOff::programHostileSenders() {
    // Under a small descriptor limit the flood would use up, the instance stays reachable, and
    // senders that never finish are let go.
    QFETCH(int, connections);
    QFETCH(bool, trickle);
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    ps.all.back()->kill();
    ps.all.back()->waitForFinished();
    QVERIFY(startProgram(ps, c, {}, rt.path(), 128));
    QProcess& instance = *ps.all.back();
    if (unacceptedConnections(rt.socketPath()) < 0)
        QSKIP("/proc/net/unix is not readable here");
    // In batches the kernel's backlog holds, each taken in by the instance before the next
    // comes, as a flood over time would be: every connection gets through.
    std::vector<int> fds;
    for (int i = 0; i < connections; ++i) {
        if (const int fd = rawSocket(QFile::encodeName(rt.socketPath())); fd >= 0)
            fds.push_back(fd);
        if (i % 20 == 19 || i == connections - 1)
            QVERIFY(waitFor([&] { return unacceptedConnections(rt.socketPath()) == 0; }));
    }
    QCOMPARE(qsizetype(fds.size()), qsizetype(connections));
    auto closedByInstance = [&] {
        char byte;
        return std::all_of(fds.begin(), fds.end(),
                           [&](int fd) { return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0; });
    };
    // Never the whole message, so only the instance's patience ends these senders.
    const QByteArray message = EncodeHandOff("slow.m3u");
    for (qsizetype i = 0; trickle && i + 1 < message.size() && !closedByInstance(); ++i) {
        for (int fd : fds)
            ::send(fd, message.constData() + i, 1, MSG_NOSIGNAL);
        QTest::qWait(500);
    }
    QVERIFY(waitFor(closedByInstance, 60000));

    const QString after = testsupport::writeFile(QStringLiteral("hostile/after.m3u"), "x\r\n");
    QProcess& later = c.start(ps, {after}, rt.path());
    QVERIFY2(runToEnd(later) == 0, later.readAllStandardError() + "\ninstance " +
                                       QByteArray::number(instance.state()) + ": " +
                                       instance.readAllStandardError().right(2000));
    REQUIRE_EVENT_LOG(c);
    QCOMPARE(c.count("opened\t" + QFile::encodeName(after)), 1);
    QCOMPARE(c.count("handoff\tslow.m3u"), 0);
    for (int fd : fds)
        ::close(fd);
}

void TestHandOff::programUnreadableName() {
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    const QString missing = rt.path() + QStringLiteral("/missing.m3u");
    QCOMPARE(runToEnd(c.start(ps, {missing}, rt.path())), 0);
    REQUIRE_EVENT_LOG(c);
    const QList<QByteArray> events = c.events();
    const QByteArray error = "error\tCannot open file " + QFile::encodeName(missing);
    QVERIFY2(events.contains(error) || events.contains(error + '.'), events.join('\n'));
    // The window made for it stays, empty.
    QCOMPARE(events.last(), QByteArray("windows\t1"));
}

void TestHandOff::programTwentyAtOnce() {
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    std::vector<QProcess*> starts;
    QList<QByteArray> names;
    for (int i = 0; i < 20; ++i) {
        names << QFile::encodeName(testsupport::writeFile(QStringLiteral("many/l%1.m3u").arg(i),
                                                          "e" + QByteArray::number(i) + "\r\n"));
        starts.push_back(&c.start(ps, {QFile::decodeName(names.last())}, rt.path()));
    }
    for (QProcess* p : starts)
        QCOMPARE(runToEnd(*p), 0);
    REQUIRE_EVENT_LOG(c);
    for (const QByteArray& n : names) {
        QCOMPARE(c.count("handoff\t" + n), 1);
        QCOMPARE(c.count("opened\t" + n), 1);
    }
    QCOMPARE(c.events().last(), QByteArray("windows\t20"));
}

void TestHandOff::programEndedInstance_data() {
    endedInstanceFreesLock_data();
}

void TestHandOff::programEndedInstance() {
    QFETCH(int, signal);
    Runtime rt;
    Processes ps;
    const QString a = testsupport::writeFile(QStringLiteral("ended/a.m3u"), "x\r\n");
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    QProcess& first = *ps.all.back();
    ::kill(pid_t(first.processId()), signal);
    QVERIFY(waitFor([&] { return first.state() == QProcess::NotRunning; }));

    // The next start is the first instance: it stays, listens and opens its own argument.
    Cadrell c2{rt.path(), rt.path() + QStringLiteral("/events2.log"), {}};
    QVERIFY(startProgram(ps, c2, {a}, rt.path()));
    QVERIFY(waitFor([&] { return c2.count("opened\t" + QFile::encodeName(a)) == 1; }));
    QVERIFY(c2.count("handoff\t" + QFile::encodeName(a)) == 0);
}

void TestHandOff::programOtherVersion() {
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    Cadrell other{rt.path(), rt.path() + QStringLiteral("/other.log"), "2.2.5"};
    QVERIFY(startProgram(ps, other, {QStringLiteral("x.m3u")}, rt.path()));
    const QByteArray x = QFile::encodeName(rt.path()) + "/x.m3u";
    QVERIFY(waitFor([&] { return other.count("opened\t" + x) == 1; }));
    QVERIFY(c.events().isEmpty() || c.events().first() == "<missing>");
}

void TestHandOff::programLongNames() {
    Runtime rt;
    Processes ps;
    Cadrell c{rt.path(), rt.path() + QStringLiteral("/events.log"), {}};
    START_PROGRAM(ps, c, {}, rt.path());
    const QByteArray longName = "/" + QByteArray(4999, 'L');
    QCOMPARE(runToEnd(c.start(ps, {QString::fromLatin1(longName)}, rt.path())), 0);
    REQUIRE_EVENT_LOG(c);
    QCOMPARE(c.count("handoff\t" + longName), 1);
    const qsizetype before = c.events().size();

    QProcess& tooLong = c.start(ps, {QString(kMaxHandOffName + 1, 'x')}, rt.path());
    QCOMPARE(runToEnd(tooLong), 2);
    QVERIFY(tooLong.readAllStandardError().contains("at most 65536 bytes"));
    QCOMPARE(c.events().size(), before);
    QCOMPARE(runToEnd(c.start(ps, {}, rt.path())), 0);
    QCOMPARE(c.events().size(), before + 3);
}

int main(int argc, char** argv) {
    if (argc >= 2 && qstrcmp(argv[1], "--instance") == 0)
        return runInstance(argc, argv);
    QCoreApplication app(argc, argv);
    TestHandOff test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_handoff.moc"
