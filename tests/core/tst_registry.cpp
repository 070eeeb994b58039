#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QProcess>
#include <QtTest>
#include <atomic>
#include <thread>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

Q_DECLARE_METATYPE(cadrell::RegValue)

namespace {

RegValue dword(quint32 n) {
    QByteArray data(4, '\0');
    qToLittleEndian(n, data.data());
    return {REG_DWORD, data};
}

RegValue sz(const QByteArray& text) {
    return {REG_SZ, text + '\0'};
}

QString readError(const std::function<void()>& read) {
    try {
        read();
    } catch (const Error& e) {
        return e.text();
    }
    return {};
}

// The child side of the two-process test: writes `count` values and keys of its own.
int runWriter(const QString& folder, const QString& prefix, int count) {
    Registry store(folder);
    RegistryKey key(RegRoot::CurrentUser, store);
    for (int i = 0; i < count; ++i) {
        if (!key.OpenKey(QStringLiteral("Software\\Shared"), true))
            return 2;
        key.WriteInteger(prefix + QString::number(i), i);
        if (!key.CreateKey(QStringLiteral("Software\\Shared\\") + prefix + QString::number(i)))
            return 3;
    }
    return 0;
}

using Maker = std::function<void(const QString& file)>;

void writeText(const QString& file, const QByteArray& text) {
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(text), text.size());
}

// A file with key T nested `depth` keys deep below the root.
QByteArray nested(int depth) {
    QByteArray path = "HKEY_CLASSES_ROOT\\T";
    for (int i = 1; i < depth; ++i)
        path += "\\k";
    return "REGEDIT4\n\n[" + path + "]\n\"v\"=\"deep\"\n";
}

}  // namespace

Q_DECLARE_METATYPE(Maker)

class TestRegistry : public QObject {
    Q_OBJECT

    QString folder_;

    QString classesFile() const { return folder_ + QStringLiteral("/HKEY_CLASSES_ROOT.reg"); }

private slots:
    void init() {
        folder_ = testsupport::homeDir() + QStringLiteral("/reg-") +
                  QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
                  QString::fromLatin1(QTest::currentDataTag());
        QDir(folder_).removeRecursively();
    }

    void defaultFolderFollowsEnvironment() {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/tmp/elsewhere");
        QCOMPARE(Registry::instance().filePath(RegRoot::ClassesRoot),
                 QStringLiteral("/tmp/elsewhere/cadrell/HKEY_CLASSES_ROOT.reg"));
        qputenv("XDG_CONFIG_HOME", "relative/ignored");
        QCOMPARE(Registry::instance().folder(),
                 QDir::homePath() + QStringLiteral("/.config/cadrell"));
        qputenv("XDG_CONFIG_HOME", saved);
    }

    void reads_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<RegValue>("value");
        QTest::addColumn<QString>("read");  // String, Integer or Bool
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("error");

        const RegValue none;
        QTest::newRow("missing string") << false << none << "String"
                                        << ""
                                        << "";
        QTest::newRow("missing dword") << false << none << "Integer"
                                       << ""
                                       << "Failed to get data for 'Value'";
        QTest::newRow("missing bool") << false << none << "Bool"
                                      << ""
                                      << "Failed to get data for 'Value'";
        QTest::newRow("string") << true << sz("Arial") << "String"
                                << "Arial"
                                << "";
        QTest::newRow("expandable string")
            << true << RegValue{REG_EXPAND_SZ, "%HOME%\\x\0"} << "String"
            << "%HOME%\\x"
            << "";
        QTest::newRow("text ends at first NUL")
            << true << RegValue{REG_SZ, QByteArray("ab\0cd\0", 6)} << "String"
            << "ab"
            << "";
        QTest::newRow("string without NUL") << true << RegValue{REG_SZ, "abc"} << "String"
                                            << "abc"
                                            << "";
        QTest::newRow("empty binary as string") << true << RegValue{REG_BINARY, {}} << "String"
                                                << ""
                                                << "";
        QTest::newRow("dword as string") << true << dword(1) << "String"
                                         << ""
                                         << "Invalid data type for 'Value'";
        QTest::newRow("negative dword") << true << dword(0xfffffffb) << "Integer"
                                        << "-5"
                                        << "";
        QTest::newRow("dword 2 as bool") << true << dword(2) << "Bool"
                                         << "true"
                                         << "";
        QTest::newRow("dword 0 as bool") << true << dword(0) << "Bool"
                                         << "false"
                                         << "";
        QTest::newRow("short string as dword") << true << sz("abc") << "Integer"
                                               << ""
                                               << "Invalid data type for 'Value'";
        QTest::newRow("long string as dword") << true << sz("Toolbar") << "Bool"
                                              << ""
                                              << "Failed to get data for 'Value'";
        QTest::newRow("8-byte binary as dword")
            << true << RegValue{REG_BINARY, QByteArray(8, '\1')} << "Integer"
            << ""
            << "Failed to get data for 'Value'";
        QTest::newRow("4-byte binary as dword")
            << true << RegValue{REG_BINARY, QByteArray(4, '\1')} << "Integer"
            << ""
            << "Invalid data type for 'Value'";
        QTest::newRow("2-byte dword")
            << true << RegValue{REG_DWORD, QByteArray(2, '\1')} << "Integer"
            << ""
            << "Invalid data type for 'Value'";
    }

    void reads() {
        QFETCH(bool, stored);
        QFETCH(RegValue, value);
        QFETCH(QString, read);
        QFETCH(QString, result);
        QFETCH(QString, error);

        Registry writer(folder_);
        QVERIFY(writer.createKey(RegRoot::CurrentUser, QStringLiteral("Software\\T")));
        if (stored)
            QVERIFY(writer.setValue(RegRoot::CurrentUser, QStringLiteral("Software\\T"),
                                    QStringLiteral("Value"), value));

        // Read through another store, as another process would.
        Registry reader(folder_);
        RegistryKey key(RegRoot::CurrentUser, reader);
        QVERIFY(key.OpenKey(QStringLiteral("\\Software\\T"), false));
        QString got;
        const QString raised = readError([&] {
            if (read == QLatin1String("String"))
                got = QString::fromLatin1(key.ReadString(QStringLiteral("Value")));
            else if (read == QLatin1String("Integer"))
                got = QString::number(key.ReadInteger(QStringLiteral("Value")));
            else
                got = key.ReadBool(QStringLiteral("Value")) ? QStringLiteral("true")
                                                            : QStringLiteral("false");
        });
        QCOMPARE(raised, error);
        QCOMPARE(got, result);
    }

    void fileText_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<RegValue>("value");
        QTest::addColumn<QByteArray>("line");

        QTest::newRow("default value") << "" << sz("C&adrell") << QByteArray("@=\"C&adrell\"");
        QTest::newRow("escapes") << "Dir" << sz("C:\\Lists\\ \"x\"")
                                 << QByteArray("\"Dir\"=\"C:\\\\Lists\\\\ \\\"x\\\"\"");
        QTest::newRow("empty string") << "NullFile" << sz("") << QByteArray("\"NullFile\"=\"\"");
        QTest::newRow("utf-8 text") << "FontName" << sz("Schrift \xc3\xa4")
                                    << QByteArray("\"FontName\"=\"Schrift \xc3\xa4\"");
        QTest::newRow("dword") << "Left" << dword(0xffff8300)
                               << QByteArray("\"Left\"=dword:ffff8300");
        QTest::newRow("expandable") << "E" << RegValue{REG_EXPAND_SZ, QByteArray("a\0", 2)}
                                    << QByteArray("\"E\"=hex(2):61,00");
        QTest::newRow("binary") << "B" << RegValue{REG_BINARY, "\x01\xff"}
                                << QByteArray("\"B\"=hex:01,ff");
        QTest::newRow("other type")
            << "M" << RegValue{7, QByteArray("x\0\0", 3)} << QByteArray("\"M\"=hex(7):78,00,00");
        QTest::newRow("empty binary")
            << "Z" << RegValue{REG_BINARY, {}} << QByteArray("\"Z\"=hex:");
        QTest::newRow("line break in text")
            << "N" << sz("a\nb") << QByteArray("\"N\"=hex(1):61,0a,62,00");
        QTest::newRow("invalid utf-8 in text")
            << "L" << sz("\xe4") << QByteArray("\"L\"=hex(1):e4,00");
        QTest::newRow("string without NUL")
            << "S" << RegValue{REG_SZ, "ab"} << QByteArray("\"S\"=hex(1):61,62");
        QTest::newRow("short dword")
            << "D" << RegValue{REG_DWORD, "\x05"} << QByteArray("\"D\"=hex(4):05");
        QTest::newRow("quoted name") << "a\"b\\c" << sz("v") << QByteArray("\"a\\\"b\\\\c\"=\"v\"");
        QTest::newRow("long binary wraps")
            << "W" << RegValue{REG_BINARY, QByteArray(40, '\x11')}
            << QByteArray(
                   "\"W\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,"
                   "11,11,11,\\\n  11,");
    }

    void fileText() {
        QFETCH(QString, name);
        QFETCH(RegValue, value);
        QFETCH(QByteArray, line);

        Registry store(folder_);
        RegistryKey key(RegRoot::ClassesRoot, store);
        QVERIFY(key.OpenKey(QStringLiteral("T\\shell"), true));
        key.WriteValue(name, value);

        const QByteArray text = testsupport::readFile(classesFile());
        QVERIFY2(text.startsWith(
                     "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\T]\n\n[HKEY_CLASSES_ROOT\\T\\shell]\n"),
                 text.constData());
        QVERIFY2(text.contains("\n" + line), text.constData());

        // What the file says reads back as exactly the bytes written.
        Registry other(folder_);
        RegValue back;
        QVERIFY(other.queryValue(RegRoot::ClassesRoot, QStringLiteral("t\\SHELL"), name, back));
        QCOMPARE(back.type, value.type);
        QCOMPARE(back.data, value.data);
    }

    void handEditedFile() {
        testsupport::writeFile(QStringLiteral("reg-handEditedFile-/HKEY_CURRENT_USER.reg"),
                               "\xEF\xBB\xBFREGEDIT4\r\n"
                               "; written by hand\r\n"
                               "\r\n"
                               "[hkey_current_user\\Software\\Tovermark\\Cadrell2]\r\n"
                               "\"OpenDir\"=\"C:\\Lists\"\r\n"
                               "\"Toolbar\" = dword:1\r\n"
                               "\"Blob\"=hex:01,02,\\\r\n"
                               "    03\r\n"
                               "@=\"default\"\r\n"
                               "\"Toolbar\"=dword:0\r\n");
        Registry store(folder_);
        RegistryKey key(RegRoot::CurrentUser, store);
        QVERIFY(key.OpenKey(QStringLiteral("SOFTWARE\\tovermark\\cadrell2"), false));
        QCOMPARE(key.ReadString(QStringLiteral("OpenDir")), QByteArray("C:\\Lists"));
        QCOMPARE(key.ReadInteger(QStringLiteral("toolbar")), 0);
        QCOMPARE(key.ReadString(QString()), QByteArray("default"));
        RegValue blob;
        QVERIFY(key.GetValue(QStringLiteral("Blob"), blob));
        QCOMPARE(blob.data, QByteArray("\1\2\3"));
        QCOMPARE(key.GetValueNames(),
                 QStringList({QStringLiteral("OpenDir"), QStringLiteral("Toolbar"),
                              QStringLiteral("Blob"), QString()}));
    }

    void keysAndPaths() {
        Registry store(folder_);
        RegistryKey key(RegRoot::ClassesRoot, store);
        QVERIFY(!key.OpenKey(QStringLiteral("Missing"), false));
        QVERIFY(!key.IsOpen());
        QVERIFY(key.OpenKey(QStringLiteral("\\Playlist\\shell\\open"), true));
        QVERIFY(key.KeyExists(QStringLiteral("PLAYLIST\\Shell")));
        QVERIFY(key.KeyExists(QStringLiteral("\\playlist\\shell\\OPEN\\")));
        QVERIFY(!key.KeyExists(QStringLiteral("playlist\\\\shell")));
        QVERIFY(!key.CreateKey(QStringLiteral("a\\\\b")));
        // Creating an existing key under another case keeps the stored name.
        QVERIFY(key.CreateKey(QStringLiteral("playlist\\SHELL\\Print")));
        QVERIFY(key.OpenKey(QStringLiteral("Playlist\\Shell"), false));
        QCOMPARE(key.GetKeyNames(), QStringList({QStringLiteral("open"), QStringLiteral("Print")}));

        key.WriteString(QStringLiteral("Name"), "x");
        QVERIFY(key.ValueExists(QStringLiteral("NAME")));
        QVERIFY(key.DeleteValue(QStringLiteral("name")));
        QVERIFY(!key.ValueExists(QStringLiteral("Name")));
        QVERIFY(!key.DeleteValue(QStringLiteral("Name")));

        QVERIFY(key.OpenKeyReadOnly(QStringLiteral("Playlist")));
        QCOMPARE(readError([&] { key.WriteString(QStringLiteral("V"), "x"); }),
                 QStringLiteral("Failed to set data for 'V'"));
        key.CloseKey();
        QCOMPARE(readError([&] { key.ReadInteger(QStringLiteral("V")); }),
                 QStringLiteral("Failed to get data for 'V'"));
    }

    void deleteKeyTree() {
        Registry store(folder_);
        RegistryKey key(RegRoot::ClassesRoot, store);
        for (const char* path : {"T\\shell\\Cadrell\\command", "T\\shell\\Cadrell\\extra\\deep",
                                 "T\\shell\\open\\command", "T\\shell\\Cadrellx"})
            QVERIFY(key.CreateKey(QString::fromLatin1(path)));
        QVERIFY(key.DeleteKey(QStringLiteral("\\t\\shell\\cadrell")));
        QVERIFY(!key.KeyExists(QStringLiteral("T\\shell\\Cadrell")));
        QVERIFY(!key.KeyExists(QStringLiteral("T\\shell\\Cadrell\\extra\\deep")));
        QVERIFY(key.KeyExists(QStringLiteral("T\\shell\\open\\command")));
        QVERIFY(key.KeyExists(QStringLiteral("T\\shell\\Cadrellx")));
        QVERIFY(!key.DeleteKey(QStringLiteral("T\\shell\\Cadrell")));
        QVERIFY(!key.DeleteKey(QString()));
        QVERIFY(!testsupport::readFile(classesFile()).contains("deep"));
    }

    void secondStoreSeesChanges() {
        Registry a(folder_), b(folder_);
        RegistryKey ka(RegRoot::CurrentUser, a), kb(RegRoot::CurrentUser, b);
        QVERIFY(ka.OpenKey(QStringLiteral("Software\\S"), true));
        ka.WriteInteger(QStringLiteral("One"), 1);
        QVERIFY(kb.OpenKey(QStringLiteral("Software\\S"), false));
        QCOMPARE(kb.ReadInteger(QStringLiteral("One")), 1);
        kb.WriteInteger(QStringLiteral("One"), 11);
        kb.WriteInteger(QStringLiteral("Two"), 2);
        QCOMPARE(ka.ReadInteger(QStringLiteral("One")), 11);
        QCOMPARE(ka.ReadInteger(QStringLiteral("Two")), 2);
        // A key deleted by the other side takes no more values, like a deleted open key.
        QVERIFY(kb.DeleteKey(QStringLiteral("Software\\S")));
        QCOMPARE(readError([&] { ka.WriteInteger(QStringLiteral("Three"), 3); }),
                 QStringLiteral("Failed to set data for 'Three'"));
        QVERIFY(!ka.KeyExists(QStringLiteral("Software\\S")));
        QVERIFY(b.keyExists(RegRoot::CurrentUser, QStringLiteral("Software")));
    }

    void corruptFileSetAside_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no header") << QByteArray("[HKEY_CLASSES_ROOT\\T]\n");
        QTest::newRow("binary junk") << QByteArray(
            "\x7f"
            "ELF\x02\x01\x00\x00",
            8);
        QTest::newRow("unterminated string")
            << QByteArray("REGEDIT4\n[HKEY_CLASSES_ROOT\\T]\n\"a\"=\"open\n");
        QTest::newRow("bad dword")
            << QByteArray("REGEDIT4\n[HKEY_CLASSES_ROOT\\T]\n\"a\"=dword:xyz\n");
        QTest::newRow("dword too long")
            << QByteArray("REGEDIT4\n[HKEY_CLASSES_ROOT\\T]\n\"a\"=dword:123456789\n");
        QTest::newRow("other root") << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\T]\n");
        QTest::newRow("value before key") << QByteArray("REGEDIT4\n\"a\"=\"b\"\n");
        QTest::newRow("text after value")
            << QByteArray("REGEDIT4\n[HKEY_CLASSES_ROOT\\T]\n\"a\"=\"b\" junk\n");
        QTest::newRow("bad hex") << QByteArray("REGEDIT4\n[HKEY_CLASSES_ROOT\\T]\n\"a\"=hex:1g\n");
    }

    void corruptFileSetAside() {
        QFETCH(QByteArray, text);
        QDir().mkpath(folder_);
        QFile f(classesFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();

        Registry store(folder_);
        RegistryKey key(RegRoot::ClassesRoot, store);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("moved to")));
        QVERIFY(!key.KeyExists(QStringLiteral("T")));
        QCOMPARE(testsupport::readFile(classesFile() + QStringLiteral(".bad")), text);
        QVERIFY(!QFileInfo::exists(classesFile()));

        // The root starts empty and works.
        QVERIFY(key.OpenKey(QStringLiteral(".m3u"), true));
        key.WriteString(QString(), "T");
        QVERIFY(testsupport::readFile(classesFile()).startsWith("REGEDIT4\n"));

        // A second bad file does not replace the first one set aside.
        f.setFileName(classesFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("junk");
        f.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("moved to")));
        QVERIFY(!Registry(folder_).keyExists(RegRoot::ClassesRoot, QStringLiteral(".m3u")));
        QCOMPARE(testsupport::readFile(classesFile() + QStringLiteral(".bad")), text);
        QCOMPARE(testsupport::readFile(classesFile() + QStringLiteral(".bad.2")),
                 QByteArray("junk"));
    }

    void emptyFileIsEmptyRoot() {
        QDir().mkpath(folder_);
        QFile f(classesFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!Registry(folder_).keyExists(RegRoot::ClassesRoot, QStringLiteral("T")));
        QVERIFY(!QFileInfo::exists(classesFile() + QStringLiteral(".bad")));
    }

    // A file the store may not write, or may not even read, stays exactly as it is: nothing
    // written over it, whoever we are.
    void fileWithoutAccess_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("read-only") << 0440;
        QTest::newRow("write-only: cannot be read") << 0200;
    }
    void fileWithoutAccess() {
        QFETCH(int, mode);
        const bool readable = mode & 0400;
        if (!readable && ::geteuid() == 0)
            QSKIP("root reads a file of any mode");
        Registry store(folder_);
        RegistryKey key(RegRoot::ClassesRoot, store);
        QVERIFY(key.OpenKey(QStringLiteral("T\\shell"), true));
        key.WriteString(QString(), "before");
        const QByteArray before = testsupport::readFile(classesFile());
        QVERIFY(::chmod(QFile::encodeName(classesFile()).constData(), mode_t(mode)) == 0);

        // Existing keys still open when the file can be read, with or without creation;
        // nothing can change.
        Registry again(folder_);
        RegistryKey other(RegRoot::ClassesRoot, again);
        QCOMPARE(other.OpenKey(QStringLiteral("T\\shell"), true), readable);
        if (readable)
            QCOMPARE(other.ReadString(QString()), QByteArray("before"));
        QCOMPARE(readError([&] { key.WriteString(QString(), "after"); }),
                 QStringLiteral("Failed to set data for ''"));
        QCOMPARE(readError([&] { key.WriteString(QString(), "before"); }),
                 QStringLiteral("Failed to set data for ''"));
        QVERIFY(!key.CreateKey(QStringLiteral("T\\new")));
        QVERIFY(!key.DeleteKey(QStringLiteral("T\\shell")));
        QVERIFY(!key.DeleteValue(QString()));
        QVERIFY(!again.createKey(RegRoot::ClassesRoot, QStringLiteral("U")));
        QVERIFY(::chmod(QFile::encodeName(classesFile()).constData(), 0600) == 0);
        QCOMPARE(testsupport::readFile(classesFile()), before);
        QCOMPARE(QDir(folder_).entryList({QStringLiteral("*.bad*")}), QStringList());
    }

    // Files no program of ours wrote: anything not a sane settings file is set aside like an
    // unparsable one, without hanging, and the root starts empty and works.
    void hostileFiles_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<bool>("setAside");
        QTest::addColumn<int>("subkeys");  // of T, when kept
        QTest::newRow("nested 64 deep")
            << Maker([](const QString& f) { writeText(f, nested(64)); }) << false << 1;
        QTest::newRow("nested 65 deep")
            << Maker([](const QString& f) { writeText(f, nested(65)); }) << true << 0;
        QTest::newRow("30000 sibling keys") << Maker([](const QString& f) {
            QByteArray text = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\T]\n";
            for (int i = 0; i < 30000; ++i)
                text += "[HKEY_CLASSES_ROOT\\T\\k" + QByteArray::number(i) + "]\n";
            writeText(f, text);
        }) << false << 30000;
        QTest::newRow("over 1 MB") << Maker([](const QString& f) {
            QByteArray text = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\T]\n";
            while (text.size() <= (1 << 20))
                text += "; padding padding padding padding padding padding padding\n";
            writeText(f, text);
        }) << true << 0;
        QTest::newRow("FIFO") << Maker([](const QString& f) {
            QVERIFY(::mkfifo(QFile::encodeName(f).constData(), 0600) == 0);
        }) << true << 0;
        QTest::newRow("folder") << Maker([](const QString& f) { QVERIFY(QDir().mkpath(f)); })
                                << true << 0;
    }
    void hostileFiles() {
        QFETCH(Maker, make);
        QFETCH(bool, setAside);
        QFETCH(int, subkeys);
        QDir().mkpath(folder_);
        make(classesFile());
        // Should the reader block on a FIFO, a writer that opens and closes it ends the wait,
        // so the test fails instead of hanging.
        std::atomic<bool> done{false};
        std::thread unblock([&] {
            const QByteArray path = QFile::encodeName(classesFile());
            struct stat st;
            while (!done && ::lstat(path.constData(), &st) == 0 && S_ISFIFO(st.st_mode)) {
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        if (setAside)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("moved to")));
        Registry store(folder_);
        const bool kept = store.keyExists(RegRoot::ClassesRoot, QStringLiteral("T"));
        done = true;
        unblock.join();
        QCOMPARE(kept, !setAside);
        QCOMPARE(QFileInfo(classesFile() + QStringLiteral(".bad")).exists(), setAside);
        if (kept)
            QCOMPARE(store.subkeyNames(RegRoot::ClassesRoot, QStringLiteral("T")).size(), subkeys);
        QVERIFY(store.createKey(RegRoot::ClassesRoot, QStringLiteral("after")));
        Registry again(folder_);
        QVERIFY(again.keyExists(RegRoot::ClassesRoot, QStringLiteral("after")));
        QCOMPARE(again.keyExists(RegRoot::ClassesRoot, QStringLiteral("T")), kept);
    }

    // What the store writes it can read back: no key deeper than a file may be.
    void keyDepthLimit() {
        Registry store(folder_);
        QString path = QStringLiteral("T");
        for (int i = 1; i < 64; ++i)
            path += QStringLiteral("\\k");
        QVERIFY(store.createKey(RegRoot::ClassesRoot, path));
        QVERIFY(!store.createKey(RegRoot::ClassesRoot, path + QStringLiteral("\\k")));
        QVERIFY(Registry(folder_).keyExists(RegRoot::ClassesRoot, path));
    }

    // Settings are the user's alone; a file made private by the user stays so.
    void newFilesArePrivate() {
        Registry store(folder_);
        QVERIFY(store.createKey(RegRoot::CurrentUser, QStringLiteral("Software")));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(store.filePath(RegRoot::CurrentUser)).constData(), &st) ==
                0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void concurrentWritersLoseNothing() {
        const int count = 60;
        QDir().mkpath(folder_);
        QProcess a, b;
        const QString self = QCoreApplication::applicationFilePath();
        a.start(self, {QStringLiteral("--registry-writer"), folder_, QStringLiteral("a"),
                       QString::number(count)});
        b.start(self, {QStringLiteral("--registry-writer"), folder_, QStringLiteral("b"),
                       QString::number(count)});
        QVERIFY(a.waitForFinished(120000));
        QVERIFY(b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);

        Registry store(folder_);
        RegistryKey key(RegRoot::CurrentUser, store);
        QVERIFY(key.OpenKey(QStringLiteral("Software\\Shared"), false));
        QCOMPARE(key.GetValueNames().size(), 2 * count);
        QCOMPARE(key.GetKeyNames().size(), 2 * count);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(key.ReadInteger(QStringLiteral("a") + QString::number(i)), i);
            QCOMPARE(key.ReadInteger(QStringLiteral("b") + QString::number(i)), i);
        }
        QVERIFY(!QFileInfo::exists(folder_ + QStringLiteral("/HKEY_CURRENT_USER.reg.lock")));
    }
};

int main(int argc, char** argv) {
    if (argc == 5 && qstrcmp(argv[1], "--registry-writer") == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         atoi(argv[4]));
    QCoreApplication app(argc, argv);
    TestRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
