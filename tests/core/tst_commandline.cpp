#include <QtTest>

#include <sys/stat.h>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "core/platform/CommandLine.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

using Action = CommandLine::Action;

QList<QByteArray> bytes(const QStringList& list) {
    QList<QByteArray> out;
    for (const QString& s : list)
        out << s.toUtf8();
    return out;
}

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void program_data();
    void program();
};

void TestCommandLine::parse_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("name");  // "<none>" when there is none
    QTest::addColumn<QStringList>("toolkit");
    QTest::addColumn<QString>("message");
    const int run = int(Action::Run), error = int(Action::Error);
    const QString none = QStringLiteral("<none>");
    auto unknown = [](const QString& option) {
        return QStringLiteral("cadrell: unknown option '%1'; see 'cadrell --help'\n").arg(option);
    };
    QTest::newRow("nothing") << QStringList{} << run << none << QStringList{} << "";
    QTest::newRow("a playlist") << QStringList{"a.m3u"} << run << "a.m3u" << QStringList{} << "";
    QTest::newRow("only the first name counts")
        << QStringList{"a.m3u", "b.m3u"} << run << "a.m3u" << QStringList{} << "";
    QTest::newRow("an empty argument is none")
        << QStringList{"", "b.m3u"} << run << "b.m3u" << QStringList{} << "";
    QTest::newRow("unknown long") << QStringList{"a.m3u", "--verbose"} << error << none
                                  << QStringList{} << unknown("--verbose");
    QTest::newRow("single-dash help is not ours")
        << QStringList{"-help"} << error << none << QStringList{} << unknown("-help");
    QTest::newRow("after --, a name")
        << QStringList{"--", "--help"} << run << "--help" << QStringList{} << "";
    QTest::newRow("after --, even a toolkit option")
        << QStringList{"--", "-style", "fusion"} << run << "-style" << QStringList{} << "";
    QTest::newRow("a second -- is a name")
        << QStringList{"--", "--"} << run << "--" << QStringList{} << "";
    QTest::newRow("a lone dash is a name") << QStringList{"-"} << run << "-" << QStringList{} << "";
    QTest::newRow("toolkit options with values")
        << QStringList{"-platform", "offscreen", "a.m3u", "--style", "fusion", "-display", ":1"}
        << run << "a.m3u"
        << QStringList{"-platform", "offscreen", "--style", "fusion", "-display", ":1"} << "";
    QTest::newRow("toolkit flags and joined values")
        << QStringList{"-reverse", "-style=fusion", "--stylesheet=a.qss", "a.m3u"} << run << "a.m3u"
        << QStringList{"-reverse", "-style=fusion", "--stylesheet=a.qss"} << "";
    QTest::newRow("a toolkit value that starts with a dash")
        << QStringList{"-qwindowtitle", "-x", "a.m3u"} << run << "a.m3u"
        << QStringList{"-qwindowtitle", "-x"} << "";
    QTest::newRow("a toolkit option without its value")
        << QStringList{"a.m3u", "-style"} << error << none << QStringList{}
        << "cadrell: option '-style' needs a value; see 'cadrell --help'\n";
}

void TestCommandLine::parse() {
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, name);
    QFETCH(QStringList, toolkit);
    QFETCH(QString, message);
    const CommandLine line = ParseCommandLine(bytes(arguments));
    QCOMPARE(int(line.action), action);
    QCOMPARE(line.message, message.toUtf8());
    if (action == int(Action::Error))
        return;
    QCOMPARE(line.hasName, name != QLatin1String("<none>"));
    if (line.hasName)
        QCOMPARE(line.name, name.toUtf8());
    if (action == int(Action::Run))
        QCOMPARE(line.toolkitArguments, bytes(toolkit));
}

void TestCommandLine::program_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");  // -1: the program keeps running
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QByteArray>("opened");  // for a running program: below the working folder
    QTest::newRow("help") << QStringList{"--help"} << 0 << UsageText() << QByteArray()
                          << QByteArray();
    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("Cadrell 2.2.4\n")
                             << QByteArray() << QByteArray();
    QTest::newRow("help after a name")
        << QStringList{"a.m3u", "--help"} << 0 << UsageText() << QByteArray() << QByteArray();
    QTest::newRow("unknown option")
        << QStringList{"-x"} << 2 << QByteArray()
        << QByteArray("cadrell: unknown option '-x'; see 'cadrell --help'\n") << QByteArray();
    QTest::newRow("unknown after a name")
        << QStringList{"a.m3u", "--frobnicate"} << 2 << QByteArray()
        << QByteArray("cadrell: unknown option '--frobnicate'; see 'cadrell --help'\n")
        << QByteArray();
    // No display here: the toolkit's own option must still reach it for these to start.
    QTest::newRow("toolkit option and a playlist")
        << QStringList{"-platform", "offscreen", "list.m3u"} << -1 << QByteArray() << QByteArray()
        << QByteArray("list.m3u");
    QTest::newRow("-- then --help") << QStringList{"-platform", "offscreen", "--", "--help"} << -1
                                    << QByteArray() << QByteArray() << QByteArray("--help");
    QTest::newRow("-- then a toolkit option")
        << QStringList{"-platform", "offscreen", "--", "-style"} << -1 << QByteArray()
        << QByteArray() << QByteArray("-style");
    QTest::newRow("a lone dash") << QStringList{"-platform", "offscreen", "-"} << -1 << QByteArray()
                                 << QByteArray() << QByteArray("-");
}

void TestCommandLine::program() {
    // The real program, started as from a terminal without a display.
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, opened);
    QTemporaryDir work(testsupport::homeDir() + QStringLiteral("/cl-XXXXXX"));
    const QString runtime = work.path() + QStringLiteral("/runtime");
    const QString log = work.path() + QStringLiteral("/events.log");
    QVERIFY(QDir().mkpath(runtime));
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("CADRELL_EVENT_LOG"), log);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work.path());
    p.start(QStringLiteral(CADRELL_BINARY), arguments);
    QVERIFY(p.waitForStarted());

    if (exitCode >= 0) {
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(p.readAllStandardOutput(), out);
        QCOMPARE(p.readAllStandardError(), err);
        // Answered before the program made its lock, its socket or anything else.
        QCOMPARE(QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList());
        QVERIFY(!QFile::exists(log));
        return;
    }
    const QByteArray expected = "opened\t" + QFile::encodeName(work.path()) + '/' + opened;
    auto events = [&] { return testsupport::readFile(log).split('\n'); };
    bool seen = false;
    for (QDeadlineTimer patience(60000);
         !seen && p.state() == QProcess::Running && !patience.hasExpired();) {
        seen = events().contains(expected);
        p.waitForFinished(50);
    }
    const QByteArray lines = events().join('\n');
    p.kill();
    p.waitForFinished();
    QVERIFY2(seen, (lines + '\n' + p.readAllStandardError()).constData());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
