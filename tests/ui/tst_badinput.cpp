// Bad input of every kind the program meets: files that are not playlists or cannot be read,
// saves that cannot complete, broken settings and garbage on the hand-off socket. Each must end
// in the clear message and leave every byte the user had where it was.

#include <QtTest>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

#include "core/instance/InstanceClient.h"
#include "core/instance/InstanceLock.h"
#include "core/instance/InstanceServer.h"
#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/playlist/PlaylistFile.h"
#include "core/settings/Settings.h"
#include "testsupport/FakeFrame.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

using namespace cadrell;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using Setup = std::function<QByteArray(const QString& dir)>;

bool isRoot() {
    return ::geteuid() == 0;
}

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

// The prompts, with a hook that runs between the Open dialog's answer and the read.
class HookedPrompts : public testsupport::ScriptedPrompts {
public:
    std::function<void(const QString&)> afterOpenDialog;
    std::optional<QString> openFileName(QWidget* parent, const QString& folder) override {
        std::optional<QString> chosen = ScriptedPrompts::openFileName(parent, folder);
        if (chosen && afterOpenDialog)
            afterOpenDialog(*chosen);
        return chosen;
    }
};

// Runs `f` when the scope ends: mounts and attributes must not outlive a failed check.
struct Finally {
    std::function<void()> f;
    ~Finally() {
        if (f)
            f();
    }
};

// A playlist too big to keep a copy of: every piece of it can be made again from its number.
constexpr qsizetype kPiece = 1 << 20;
QByteArray bigPiece(int n) {
    QByteArray out;
    out.reserve(kPiece + 64);
    int line = 0;
    while (out.size() < kPiece) {
        out += "/srv/music/album-" + QByteArray::number(n) + "/track-" +
               QByteArray::number(line++) + ".mp3\r\n";
    }
    return out;
}

// Compares a file with the pieces it should consist of, a piece at a time.
bool fileIsPieces(const QString& path, int pieces) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (int n = 0; n < pieces; ++n) {
        const QByteArray expected = bigPiece(n);
        if (f.read(expected.size()) != expected)
            return false;
    }
    return f.atEnd();
}

// The bytes of an MP3 file: a tag header, frame headers and compressed-looking noise, with the
// zero bytes and stray CR and LF bytes such data is full of.
QByteArray mp3Bytes() {
    QRandomGenerator rng(20240607);
    QByteArray out("ID3\x03\x00\x00\x00\x00\x0f\x76", 10);
    out += QByteArray("TIT2\x00\x00\x00\x06\x00\x00\x00Song\x00", 15);
    while (out.size() < 256 * 1024) {
        out += QByteArray("\xff\xfb\x90\x64", 4);
        for (int i = 0; i < 413; ++i)
            out += char(rng.bounded(256));
    }
    return out;
}

QStringList leftovers(const QString& dir, const QStringList& expected) {
    QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& e : expected)
        names.removeAll(e);
    return names;
}

// The thirteen values in the order the load reads them, each with a good value.
struct Stored {
    const char* name;
    RegValue good;
};

RegValue dword(std::uint32_t v) {
    RegValue r{REG_DWORD, QByteArray(4, '\0')};
    qToLittleEndian(v, r.data.data());
    return r;
}
RegValue sz(const QByteArray& s) {
    return {REG_SZ, s + '\0'};
}

std::vector<Stored> storedValues() {
    return {
        {"Remember", dword(1)},    {"FontName", sz("Serif")}, {"FontColor", dword(0xff)},
        {"FontSize", dword(14)},   {"FontBold", dword(1)},    {"FontItalic", dword(1)},
        {"OpenDir", sz("/music")}, {"SaveDir", sz("/lists")}, {"Toolbar", dword(0)},
        {"Top", dword(200)},       {"Left", dword(300)},      {"Width", dword(640)},
        {"Height", dword(480)},
    };
}

const QString kSettingsKey = QStringLiteral("Software\\Tovermark\\Cadrell2");

}  // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(cadrell::RegValue)

class TestBadInput : public QObject {
    Q_OBJECT

    HookedPrompts prompts;
    TCadrellMainForm* frame = nullptr;

    QString freshDir(const QString& label) {
        static int n = 0;
        const QString dir =
            testsupport::homeDir() + QStringLiteral("/bad/%1-%2").arg(label).arg(++n);
        QDir().mkpath(dir);
        return dir;
    }

    TMDIChild* openInWindow(const QByteArray& fileName) {
        Guarded([&] { frame->OpenPlaylist(fileName); });
        return frame->ActiveDocumentWindow();
    }

    TMDIChild* newDocument(const QByteArray& fileName, const std::vector<QByteArray>& entries) {
        TMDIChild* child = frame->CreateDocumentWindow();
        child->Document.edit([&](EntryList& list) {
            for (const QByteArray& e : entries)
                list.append(e);
        });
        child->Document.FileName = fileName;
        testsupport::makeUnsaved(child->Document);
        return child;
    }

    QString takeError() {
        return prompts.errors.isEmpty() ? QStringLiteral("<no error box>")
                                        : prompts.errors.takeFirst();
    }

private slots:
    void initTestCase() {
        frame = new TCadrellMainForm(QByteArray(), false);
        frame->show();
    }

    void cleanupTestCase() {
        delete frame;
        frame = nullptr;
    }

    void cleanup() {
        for (TMDIChild* child : frame->DocumentWindows()) {
            child->setCloseApproved(true);
            child->subWindow()->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame->DocumentWindows().isEmpty());
        QCOMPARE(prompts.unexpected, 0);
        prompts.errors.clear();
        prompts.asked.clear();
        prompts.afterOpenDialog = nullptr;
    }

    // Names that are not readable playlists: the error box names the file, the window made for
    // it stays empty and unmodified, and the thing named is left as it was.
    void unreadable_data() {
        QTest::addColumn<Setup>("setup");
        QTest::newRow("missing") << Setup(
            [](const QString& dir) { return name(dir + "/nothing.m3u"); });
        QTest::newRow("folder") << Setup([](const QString& dir) {
            QDir().mkpath(dir + "/folder.m3u");
            return name(dir + "/folder.m3u");
        });
        // A FIFO with no writer would block a plain open forever.
        QTest::newRow("FIFO") << Setup([](const QString& dir) {
            const QByteArray path = name(dir + "/pipe.m3u");
            return ::mkfifo(path.constData(), 0600) == 0 ? path : QByteArray();
        });
        QTest::newRow("device without end")
            << Setup([](const QString&) { return QByteArray("/dev/zero"); });
        QTest::newRow("empty device")
            << Setup([](const QString&) { return QByteArray("/dev/null"); });
        QTest::newRow("dangling link") << Setup([](const QString& dir) {
            QFile::link(dir + "/gone.m3u", dir + "/link.m3u");
            return name(dir + "/link.m3u");
        });
        QTest::newRow("no read permission") << Setup([](const QString& dir) {
            if (isRoot())
                return QByteArray("skip: root reads every file");
            const QString path =
                writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/secret.m3u", "a\r\n");
            QFile::setPermissions(path, QFileDevice::WriteOwner);
            return name(path);
        });
        // A name with a zero byte must not open the file named by the part before it.
        QTest::newRow("zero byte in the name") << Setup([](const QString& dir) {
            const QString path =
                writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/real.m3u", "a\r\n");
            return name(path) + QByteArray("\0.other", 7);
        });
        QTest::newRow("empty name") << Setup([](const QString&) { return QByteArray(""); });
    }
    void unreadable() {
        QFETCH(Setup, setup);
        const QString dir = freshDir(QStringLiteral("unreadable"));
        const QByteArray fileName = setup(dir);
        if (fileName.startsWith("skip: "))
            QSKIP(fileName.mid(6).constData());
        QVERIFY2(!fileName.isNull(), "the bad input could not be made here");

        TMDIChild* child = openInWindow(fileName);
        QCOMPARE(takeError(), errorBoxText(formatText("Cannot open file %s", fileName)));
        QVERIFY(prompts.errors.isEmpty());
        QVERIFY(child);
        QCOMPARE(child->Caption(), QStringLiteral("(untitled)"));
        QCOMPARE(child->Document.Entries().size(), 0);
        QVERIFY(!child->Document.Modified());
        QCOMPARE(child->Document.FileName, fileName);
        // The window closes without a question: it holds nothing to lose.
        QVERIFY(child->FormCloseQuery());
        QVERIFY(prompts.asked.isEmpty());
    }

    // Chosen in the Open dialog, gone before it is read.
    void deletedAfterOpenDialog() {
        const QString path = writeFile(QStringLiteral("bad/vanishing.m3u"), "a.mp3\r\n");
        prompts.fileNames.push_back(path);
        prompts.afterOpenDialog = [](const QString& chosen) { QFile::remove(chosen); };
        frame->MenuOpen->trigger();
        QCOMPARE(takeError(), errorBoxText(formatText("Cannot open file %s", name(path))));
        QCOMPARE(frame->DocumentWindows().size(), 1);
        QCOMPARE(frame->ActiveDocumentWindow()->Document.Entries().size(), 0);
    }

    // Files that open, however odd: every byte of every line is an entry, the rows show them,
    // the file is left untouched, and a save writes the same entries back.
    void oddButReadable_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("MP3 opened as a playlist") << mp3Bytes();
        QTest::newRow("one 10 MB line") << QByteArray(10 * 1024 * 1024, 'x').append("\r\n");
        QTest::newRow("zero bytes and control characters")
            << QByteArray("a\0b", 3) + "\r\n\x01\x02\x1b[31m\r\n\x7f\xff\r\n";
        QTest::newRow("CR only, 100000 lines") << QByteArray("t.mp3\r").repeated(100000);
    }
    void oddButReadable() {
        QFETCH(QByteArray, bytes);
        const QString path = writeFile(QStringLiteral("bad/odd.m3u"), bytes);
        TMDIChild* child = openInWindow(name(path));
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        QCOMPARE(child->Caption(), path);
        QVERIFY(!child->Document.Modified());

        std::vector<QByteArray> expected;
        for (const auto& [start, length] : SplitLines(bytes))
            expected.push_back(bytes.mid(start, length));
        QCOMPARE(child->Document.Entries().size(), qsizetype(expected.size()));
        QVERIFY(child->Document.Entries().toVector() == expected);
        QCOMPARE(child->ListView1->model()->rowCount(), int(expected.size()));
        // Painting every visible row, long and binary ones included, must come back.
        child->subWindow()->resize(500, 300);
        QVERIFY(!child->grab().isNull());
        // A row can show no more than a screen's width of text. Handing the view a whole 10 MB
        // line makes every paint of that row lay out all of it: seconds and hundreds of MB each
        // time the window is repainted.
        for (int row = 0; row < std::min(20, int(expected.size())); ++row) {
            const QString shown =
                child->ListView1->model()->index(row, 0).data(Qt::DisplayRole).toString();
            QVERIFY2(shown.size() <= 64 * 1024,
                     qPrintable(QStringLiteral("row %1 hands the view %2 characters")
                                    .arg(row)
                                    .arg(shown.size())));
        }
        QCOMPARE(readFile(path), bytes);

        child->MenuSave->trigger();
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        PlaylistDocument reread;
        reread.FileName = name(path);
        LoadPlaylist(reread);
        QVERIFY(reread.Entries().toVector() == expected);
    }

    // 200 MB: read, shown, saved back byte for byte, with memory bounded by the file's size.
    void hugePlaylist() {
        const int pieces = 200;
        const QString path = testsupport::homeDir() + QStringLiteral("/bad/huge.m3u");
        QDir().mkpath(QFileInfo(path).path());
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int n = 0; n < pieces; ++n) {
                const QByteArray piece = bigPiece(n);
                QCOMPARE(f.write(piece), piece.size());
            }
        }
        Finally removeIt{[&] { QFile::remove(path); }};

        TMDIChild* child = openInWindow(name(path));
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        const qsizetype rows = child->Document.Entries().size();
        QVERIFY(rows > 4'000'000);
        QCOMPARE(child->ListView1->model()->rowCount(), int(rows));
        QCOMPARE(child->Document.Entries().at(0), QByteArrayView("/srv/music/album-0/track-0.mp3"));
        // The entries live in the file's own buffer: about the file plus 16 bytes a line.
        QVERIFY(child->Document.Entries().heldBytes() < qsizetype(pieces) * kPiece * 2);
        QVERIFY(!child->grab().isNull());

        testsupport::makeUnsaved(child->Document);
        child->MenuSave->trigger();
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        QVERIFY(!child->Document.Modified());
        QVERIFY(fileIsPieces(path, pieces));
    }

    // Saves that cannot complete: the error box, the document still modified and whole, the
    // old file on disk unchanged, and no temporary file left behind.
    void saveFails_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("full file system") << QStringLiteral("tmpfs");
        QTest::newRow("file size limit reached") << QStringLiteral("rlimit");
    }
    void saveFails() {
        QFETCH(QString, how);
        const QString dir = freshDir(QStringLiteral("save"));
        const QByteArray old = "old.mp3\r\nkept.mp3\r\n";
        const QString path = dir + QStringLiteral("/list.m3u");
        QFile::remove(path);
        Finally undo;

        if (how == QLatin1String("tmpfs")) {
            if (::mount("tmpfs", name(dir).constData(), "tmpfs", 0, "size=64k,mode=0755") != 0)
                QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs here (%1); the file "
                                                "size limit row covers a short write")
                                     .arg(QString::fromLocal8Bit(strerror(errno)))));
            undo.f = [dir] { ::umount2(name(dir).constData(), MNT_DETACH); };
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
        f.close();

        std::vector<QByteArray> entries;
        for (int i = 0; i < 20000; ++i)
            entries.push_back("/srv/music/some album/track number " + QByteArray::number(i) +
                              ".mp3");
        TMDIChild* child = newDocument(name(path), entries);
        child->setWindowTitle(QStringLiteral("before"));

        QString expected = errorBoxText(QStringLiteral("Stream write error"));
        if (how == QLatin1String("rlimit")) {
            // A write past the limit fails with EFBIG instead of killing the process.
            struct rlimit saved;
            ::getrlimit(RLIMIT_FSIZE, &saved);
            auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = saved;
            small.rlim_cur = 64 * 1024;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            child->MenuSave->trigger();
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        } else {
            child->MenuSave->trigger();
        }

        QCOMPARE(takeError(), expected);
        QVERIFY(child->Document.Modified());
        QCOMPARE(child->Caption(), QStringLiteral("before"));
        QCOMPARE(child->Document.FileName, name(path));
        QVERIFY(child->Document.Entries().toVector() == entries);
        QCOMPARE(readFile(path), old);
        QCOMPARE(leftovers(dir, {QStringLiteral("list.m3u")}), QStringList());

        // Once the obstacle is gone the same document saves without a dialog.
        if (undo.f)
            undo.f();
        undo.f = nullptr;
        if (how == QLatin1String("tmpfs"))
            return;  // the mount is gone, and with it the file
        child->MenuSave->trigger();
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        QVERIFY(!child->Document.Modified());
        QCOMPARE(readFile(path), FormatPlaylist(child->Document.Entries()));
    }

    // A window whose load failed on a file that is there: Save asks before replacing it, and a
    // No goes to the Save dialog. A name with nothing under it is simply created.
    void saveAfterFailedLoad_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("replace");
        // Sparse: four gigabytes and one byte that take no room on the disk.
        const Setup tooLarge = [](const QString& dir) {
            const QByteArray path = name(dir + "/huge.m3u");
            QFile f(QFile::decodeName(path));
            return f.open(QIODevice::WriteOnly) && f.resize((qint64(4) << 30) + 1) ? path
                                                                                   : QByteArray();
        };
        const Setup noReadPermission = [](const QString& dir) {
            if (isRoot())
                return QByteArray("skip: root reads every file");
            const QString path =
                writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/secret.m3u", "a\r\n");
            QFile::setPermissions(path, QFileDevice::WriteOwner);
            return name(path);
        };
        QTest::newRow("too large, replaced") << tooLarge << true << true;
        QTest::newRow("too large, kept") << tooLarge << true << false;
        QTest::newRow("no read permission, replaced") << noReadPermission << true << true;
        QTest::newRow("no read permission, kept") << noReadPermission << true << false;
        QTest::newRow("missing: created")
            << Setup([](const QString& dir) { return name(dir + "/new.m3u"); }) << false << true;
    }
    void saveAfterFailedLoad() {
        QFETCH(Setup, setup);
        QFETCH(bool, asked);
        QFETCH(bool, replace);
        const QString dir = freshDir(QStringLiteral("failedload"));
        const QByteArray fileName = setup(dir);
        if (fileName.startsWith("skip: "))
            QSKIP(fileName.mid(6).constData());
        QVERIFY2(!fileName.isEmpty(), "the file could not be made here");
        struct stat before {};
        const bool existed = ::stat(fileName.constData(), &before) == 0;
        TMDIChild* child = openInWindow(fileName);
        QVERIFY(takeError().startsWith(QStringLiteral("Cannot open file")));
        child->Document.edit([](EntryList& list) { list.append("typed.mp3"); });
        testsupport::makeUnsaved(child->Document);

        const QString other = dir + QStringLiteral("/other.m3u");
        if (asked) {
            prompts.yesNo.push_back(replace);
            if (!replace)
                prompts.fileNames.push_back(other);
        }
        child->MenuSave->trigger();
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        QCOMPARE(prompts.asked,
                 asked ? QStringList{QStringLiteral("Confirm Save: ") +
                                     formatText("%s could not be read. Replace it?", fileName)}
                       : QStringList());
        QVERIFY(!child->Document.Modified());
        // The replaced file keeps its mode, which may not let anyone read it.
        if (replace)
            QFile::setPermissions(QFile::decodeName(fileName),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QByteArray saved = readFile(replace ? QFile::decodeName(fileName) : other);
        QCOMPARE(saved, QByteArray("typed.mp3\r\n"));
        if (!replace) {
            struct stat after {};
            QVERIFY(::stat(fileName.constData(), &after) == 0);
            QVERIFY(existed && after.st_ino == before.st_ino && after.st_size == before.st_size);
            QCOMPARE(child->Document.FileName, name(other));
        }
        // Saved once, asked once.
        testsupport::makeUnsaved(child->Document);
        child->MenuSave->trigger();
        QCOMPARE(prompts.asked.size(), asked ? 1 : 0);
    }

    // Saving a playlist reached through a symbolic link writes the target; the link stays.
    void saveThroughSymlink() {
        const QString dir = freshDir(QStringLiteral("link"));
        QDir().mkpath(dir + QStringLiteral("/real"));
        const QString target = dir + QStringLiteral("/real/target.m3u");
        const QString link = dir + QStringLiteral("/link.m3u");
        QFile t(target);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("a.mp3\nb.mp3\n");
        t.close();
        QVERIFY(QFile::setPermissions(
            target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QVERIFY(QFile::link(QStringLiteral("real/target.m3u"), link));

        TMDIChild* child = openInWindow(name(link));
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));
        child->Document.edit([](EntryList& list) { list.append("c.mp3"); });
        testsupport::makeUnsaved(child->Document);
        child->MenuSave->trigger();
        QCOMPARE(takeError(), QStringLiteral("<no error box>"));

        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFile::symLinkTarget(link), target);
        QCOMPARE(readFile(target), QByteArray("a.mp3\nb.mp3\nc.mp3\n"));
        QCOMPARE(QFile::permissions(target) & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(leftovers(dir, {QStringLiteral("real"), QStringLiteral("link.m3u")}),
                 QStringList());
        QCOMPARE(leftovers(dir + QStringLiteral("/real"), {QStringLiteral("target.m3u")}),
                 QStringList());
    }

    // A settings file that is not one: set aside whole, the program starts with its defaults,
    // and the next save writes a good file.
    void corruptSettingsFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("random bytes") << mp3Bytes().left(4096);
        QTest::newRow("wrong header")
            << QByteArray("REGEDIT5\n\n[HKEY_CURRENT_USER\\x]\n\"a\"=\"b\"\n");
        QTest::newRow("cut off in a value")
            << QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"Top\"=dwo");
        QTest::newRow("unterminated string")
            << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"x\"=\"abc\n");
        QTest::newRow("other root")
            << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\a]\n\"x\"=\"y\"\n");
        QTest::newRow("bad hex") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\a]\n\"x\"=hex:zz\n");
    }
    void corruptSettingsFile() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir folder;
        const QString file = folder.path() + QStringLiteral("/HKEY_CURRENT_USER.reg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();

        Registry store(folder.path());
        testsupport::FakeFrame target;
        LoadSettings(target, store);
        QVERIFY(!target.remember);
        QVERIFY(target.toolbar);
        QCOMPARE(target.rect.topLeft(), QPoint(50, 60));

        // Nothing lost: the unreadable file is kept byte for byte beside the new one.
        const QStringList aside =
            QDir(folder.path()).entryList({QStringLiteral("HKEY_CURRENT_USER.reg.bad*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(folder.path() + QLatin1Char('/') + aside.first()), bytes);

        target.toolbar = false;
        SaveSettings(target, store);
        testsupport::FakeFrame again;
        Registry fresh(folder.path());
        LoadSettings(again, fresh);
        QVERIFY(!again.toolbar);
    }

    // Every stored value with every type it must not have: the load stops quietly there, keeps
    // what it read before, never throws, and leaves the file as it found it.
    void settingsValueOfWrongType_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<RegValue>("bad");
        const std::vector<Stored> values = storedValues();
        for (int i = 0; i < int(values.size()); ++i) {
            const bool isString = values[size_t(i)].good.type == REG_SZ;
            std::vector<std::pair<const char*, RegValue>> bads = {
                {"binary", RegValue{REG_BINARY, QByteArray("\x01\x00\x00\x00", 4)}},
                {"multi-string", RegValue{7, QByteArray("a\0b\0\0", 5)}},
                {"no type", RegValue{REG_NONE, QByteArray("zz")}},
                {"type 0x12345", RegValue{0x12345, QByteArray("zz")}},
            };
            if (isString) {
                bads.push_back({"dword", dword(1)});
            } else {
                bads.push_back({"string", sz("1")});
                bads.push_back(
                    {"expandable string", RegValue{REG_EXPAND_SZ, QByteArray("1\0", 2)}});
                bads.push_back({"2-byte dword", RegValue{REG_DWORD, QByteArray("\x01\x00", 2)}});
                bads.push_back({"8-byte dword", RegValue{REG_DWORD, QByteArray(8, '\x01')}});
                bads.push_back({"empty dword", RegValue{REG_DWORD, QByteArray()}});
            }
            for (const auto& [label, value] : bads)
                QTest::addRow("%s as %s", values[size_t(i)].name, label) << i << value;
        }
    }
    void settingsValueOfWrongType() {
        QFETCH(int, index);
        QFETCH(RegValue, bad);
        QTemporaryDir folder;
        const std::vector<Stored> values = storedValues();
        Registry store(folder.path());
        {
            RegistryKey key(RegRoot::CurrentUser, store);
            QVERIFY(key.OpenKey(kSettingsKey, true));
            for (int i = 0; i < int(values.size()); ++i)
                key.WriteValue(QString::fromLatin1(values[size_t(i)].name),
                               i == index ? bad : values[size_t(i)].good);
        }
        const QString file = store.filePath(RegRoot::CurrentUser);
        const QByteArray before = readFile(file);

        testsupport::FakeFrame target;
        try {
            LoadSettings(target, store);
        } catch (...) {
            QFAIL("the settings load let a failure escape");
        }
        // The values before the bad one were read (Remember first: it decides the font ones).
        if (index > 0)
            QVERIFY(target.remember);
        if (index > 6)
            QCOMPARE(target.open, QByteArray("/music"));
        if (index <= 8)
            QVERIFY(target.toolbar);  // never reached
        else
            QVERIFY(!target.toolbar);
        // Wherever it stopped, the frame is on a monitor.
        QVERIFY(QRect(0, 0, 1920, 1080).contains(target.rect.topLeft()));
        QCOMPARE(readFile(file), before);
        QVERIFY(QDir(folder.path()).entryList({QStringLiteral("*.bad*")}).isEmpty());
    }

    // Garbage on the hand-off socket is dropped; the listener goes on serving good requests.
    void handOffGarbage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QRandomGenerator rng(77);
        for (int n : {1, 7, 8, 64, 4096, 70000}) {
            QByteArray noise(n, '\0');
            for (char& c : noise)
                c = char(rng.bounded(256));
            QTest::addRow("%d random bytes", n) << noise;
        }
        QTest::newRow("length past the limit") << QByteArray("CDLH\xff\xff\xff\xff", 8);
        QTest::newRow("length just past the limit")
            << QByteArray("CDLH\x00\x01\x00\x01", 8) + QByteArray(65537, 'a');
        QTest::newRow("cut short") << QByteArray("CDLH\x00\x00\x00\x10/tmp/a", 14);
        QTest::newRow("bytes after the message") << QByteArray("CDLH\x00\x00\x00\x01xyz", 11);
        QTest::newRow("magic only") << QByteArray("CDLH");
        QTest::newRow("answer instead of request") << QByteArray("CDLA");
    }
    void handOffGarbage() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir folder;
        const QString socketPath = folder.path() + QStringLiteral("/s");
        InstanceServer server;
        QVERIFY(server.listen(InstanceLock(), socketPath));
        server.setReady(true);
        QSignalSpy received(&server, &InstanceServer::handOffReceived);

        {
            QLocalSocket socket;
            socket.connectToServer(socketPath);
            QVERIFY(socket.waitForConnected(5000));
            socket.write(bytes);
            socket.flush();
            // Either the server hangs up on it, or it waits for more that never comes.
            QTest::qWait(0);
            for (int i = 0; i < 50 && socket.state() == QLocalSocket::ConnectedState; ++i) {
                socket.waitForDisconnected(10);
                QCoreApplication::processEvents();
            }
            QVERIFY(socket.bytesAvailable() == 0 || !socket.readAll().startsWith("CDLA"));
        }
        QCoreApplication::processEvents();
        QCOMPARE(received.count(), 0);

        // A good request after it is handled as usual.
        std::atomic<int> outcome{-1};
        std::thread sender([&] { outcome = int(SendHandOff(socketPath, "/music/good.m3u")); });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.load() != -1, 10000);
        sender.join();
        QCOMPARE(outcome.load(), int(SendOutcome::Answered));
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("/music/good.m3u"));
    }

    // A well-formed hand-off carrying any bytes at all as its name: the frame reports the name
    // it cannot open and carries on.
    void handOffRandomName() {
        QRandomGenerator rng(4242);
        for (int round = 0; round < 20; ++round) {
            QByteArray junk(1 + int(rng.bounded(300)), '\0');
            for (char& c : junk)
                c = char(1 + rng.bounded(255));  // no zero byte: argv cannot carry one
            junk.prepend("/nonexistent/");
            frame->HandOff(junk);
            QCOMPARE(takeError(), errorBoxText(formatText("Cannot open file %s", junk)));
        }
        QCOMPARE(frame->DocumentWindows().size(), 20);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
