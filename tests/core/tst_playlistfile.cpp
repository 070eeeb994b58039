#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cerrno>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"
#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::readFile;
using testsupport::writeFile;

using Lines = std::vector<QByteArray>;
Q_DECLARE_METATYPE(Lines)

namespace {

Lines load(const QString& path) {
    PlaylistDocument doc;
    doc.FileName = QFile::encodeName(path);
    LoadPlaylist(doc);
    return doc.Entries().toVector();
}

QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

EntryList entries(std::initializer_list<const char*> items) {
    EntryList list;
    for (const char* e : items)
        list.append(e);
    return list;
}

// Names in a folder other than the ones expected: temporary files a save left behind.
QStringList leftovers(const QString& dir, const QStringList& expected) {
    QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& e : expected)
        names.removeAll(e);
    return names;
}

// Runs `f` when the scope ends: attributes and hooks must not outlive a failed check.
struct Finally {
    std::function<void()> f;
    ~Finally() {
        if (f)
            f();
    }
};

// Users and groups that exist only as numbers; root can give files to them and become them.
constexpr uid_t kOther = 54321;   // owns the files and links of the "other user"
constexpr uid_t kSaver = 54322;   // saves
constexpr gid_t kShared = 54323;  // a group both belong to
constexpr gid_t kSaverGroup = 54324;

// Saves one entry as kSaver (member of kShared) in a child process; the error text, if any.
// The saver has a home of their own, where a copy of a file rewritten in place goes.
QString saveAsAnotherUser(const QByteArray& fileName) {
    const QByteArray home = QFile::encodeName(testsupport::homeDir()) + "/saver-home";
    QDir().mkpath(QFile::decodeName(home));
    if (::chown(home.constData(), kSaver, kSaverGroup) != 0)
        return QStringLiteral("<no home for the other user>");
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        QByteArray result;
        const gid_t groups[] = {kShared};
        ::setenv("HOME", home.constData(), 1);
        if (::setgroups(1, groups) != 0 || ::setresgid(kSaverGroup, kSaverGroup, kSaverGroup) ||
            ::setresuid(kSaver, kSaver, kSaver) != 0) {
            result = "<cannot become the other user>";
        } else {
            try {
                WritePlaylist(fileName, entries({"new"}));
            } catch (const Error& e) {
                result = e.text().toUtf8();
            }
        }
        const ssize_t written = ::write(fds[1], result.constData(), size_t(result.size()));
        ::_exit(written == result.size() ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray result;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        result.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return QString::fromUtf8(result);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// As root: owner, group and, unless 0, mode of a folder, file or link (not its target).
void give(const QString& path, uid_t uid, gid_t gid, mode_t mode) {
    QVERIFY(::lchown(QFile::encodeName(path).constData(), uid, gid) == 0);
    if (mode)
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);
}

}  // namespace

Q_DECLARE_METATYPE(AtomicFile::Step)

class TestPlaylistFile : public QObject {
    Q_OBJECT
private slots:
    void reading_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Lines>("entries");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << Lines{"a", "b"};
        QTest::newRow("lone LF, no final terminator") << QByteArray("a\nb") << Lines{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << Lines{"a", "b"};
        QTest::newRow("CR CR") << QByteArray("a\r\rb") << Lines{"a", "", "b"};
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << Lines{"a", "", "b"};
        QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << Lines{"a", "b", "c", "d"};
        QTest::newRow("empty file") << QByteArray() << Lines{};
        QTest::newRow("only CR LF") << QByteArray("\r\n") << Lines{""};
        QTest::newRow("blank lines kept") << QByteArray("\n\n\n") << Lines{"", "", ""};
        QTest::newRow("zero byte stays inside its entry")
            << QByteArray("a\0b\r\nc", 6) << Lines{QByteArray("a\0b", 3), "c"};
        QTest::newRow("blanks kept") << QByteArray("  a.mp3 \t\r\n") << Lines{"  a.mp3 \t"};
        QTest::newRow("extended lines")
            << QByteArray("#EXTM3U\n#EXTINF:123,Title\nC:\\Songs\\a.mp3\n")
            << Lines{"#EXTM3U", "#EXTINF:123,Title", "C:\\Songs\\a.mp3"};
        QTest::newRow("8-bit text untouched")
            << QByteArray("caf\xE9.mp3\r\n\xFF\xFE") << Lines{"caf\xE9.mp3", "\xFF\xFE"};
    }
    void reading() {
        QFETCH(QByteArray, bytes);
        QFETCH(Lines, entries);
        QCOMPARE(load(writeFile(QStringLiteral("read.m3u"), bytes)), entries);
    }

    void writing_data() {
        QTest::addColumn<Lines>("entries");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no entries, no bytes") << Lines{} << QByteArray();
        QTest::newRow("one empty entry") << Lines{""} << QByteArray("\r\n");
        QTest::newRow("CR LF after every entry") << Lines{"a", "b"} << QByteArray("a\r\nb\r\n");
        QTest::newRow("zero byte written back")
            << Lines{QByteArray("a\0b", 3)} << QByteArray("a\0b\r\n", 5);
    }
    void writing() {
        QFETCH(Lines, entries);
        QFETCH(QByteArray, bytes);
        EntryList list;
        for (const QByteArray& e : entries)
            list.append(e);
        QCOMPARE(FormatPlaylist(list), bytes);
        const QString path = testsupport::homeDir() + QStringLiteral("/written.m3u");
        WritePlaylist(QFile::encodeName(path), list);
        QCOMPARE(readFile(path), bytes);
    }

    void roundTripIsByteExact() {
        QByteArray bytes;
        for (int i = 0; i < 2000; ++i)
            bytes += "#EXTINF:" + QByteArray::number(i) + ",T\xE9st \0 x\r\nC:\\M\\" +
                     QByteArray::number(i * 7) + ".mp3\r\n";
        const QString path = writeFile(QStringLiteral("round.m3u"), bytes);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        LoadPlaylist(doc);
        testsupport::makeUnsaved(doc);
        SavePlaylist(doc);
        QCOMPARE(readFile(path), bytes);
        QVERIFY(!doc.Modified());
    }

    // The line ends are the file's, as found on its first line that has one; switching them is a
    // step like any other.
    void lineEndsAreKept_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<LineEnd>("found");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("LF, unchanged")
            << QByteArray("a\nb\n") << LineEnd::Lf << QByteArray("a\nb\n");
        QTest::newRow("CR LF, unchanged")
            << QByteArray("a\r\nb\r\n") << LineEnd::CrLf << QByteArray("a\r\nb\r\n");
        QTest::newRow("LF without a last one")
            << QByteArray("a\nb") << LineEnd::Lf << QByteArray("a\nb\n");
        QTest::newRow("mixed: the first decides")
            << QByteArray("a\nb\r\nc\r") << LineEnd::Lf << QByteArray("a\nb\nc\n");
        QTest::newRow("lone CR is written CR LF")
            << QByteArray("a\rb\n") << LineEnd::CrLf << QByteArray("a\r\nb\r\n");
        QTest::newRow("one line without an end")
            << QByteArray("a") << LineEnd::CrLf << QByteArray("a\r\n");
    }
    void lineEndsAreKept() {
        QFETCH(QByteArray, bytes);
        QFETCH(LineEnd, found);
        QFETCH(QByteArray, saved);
        const QString path = writeFile(QStringLiteral("ends.m3u"), bytes);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        LoadPlaylist(doc);
        QCOMPARE(doc.LineEnds, found);
        SavePlaylist(doc);
        QCOMPARE(readFile(path), saved);

        const LineEnd other = found == LineEnd::Lf ? LineEnd::CrLf : LineEnd::Lf;
        editing::ConvertLineEnds(doc, other);
        QVERIFY(doc.Modified());
        QCOMPARE(doc.history().undoText(), QStringLiteral("Line Ends %1").arg(LineEndName(other)));
        SavePlaylist(doc);
        QCOMPARE(readFile(path), FormatPlaylist(doc.Entries(), other));
        doc.undo();
        QCOMPARE(doc.LineEnds, found);
        QVERIFY(doc.Modified());
        // Choosing the line ends the playlist already has is no step.
        QVERIFY(doc.history().canRedo());
        editing::ConvertLineEnds(doc, found);
        QVERIFY(doc.history().canRedo());
        QCOMPARE(PlaylistDocument().LineEnds, LineEnd::CrLf);
    }

    void loadIsOneChange() {
        const QString path = writeFile(QStringLiteral("batch.m3u"), "a\nb\nc\n");
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        int before = 0, after = 0;
        connect(&doc, &PlaylistDocument::aboutToChange, this, [&] { ++before; });
        connect(&doc, &PlaylistDocument::changed, this, [&] { ++after; });
        LoadPlaylist(doc);
        QCOMPARE(before, 1);
        QCOMPARE(after, 1);
    }

    void unreadableNamesFail_data() {
        QTest::addColumn<QString>("path");
        const QString home = testsupport::homeDir();
        QTest::newRow("missing") << home + QStringLiteral("/missing.m3u");
        QDir().mkpath(home + QStringLiteral("/folder.m3u"));
        QTest::newRow("folder") << home + QStringLiteral("/folder.m3u");
        QTest::newRow("device") << QStringLiteral("/dev/null");
        const QString fifo = home + QStringLiteral("/fifo.m3u");
        ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
        QTest::newRow("FIFO, without hanging") << fifo;
        QTest::newRow("empty name") << QString();
    }
    void unreadableNamesFail() {
        QFETCH(QString, path);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        QCOMPARE(failureOf([&] { LoadPlaylist(doc); }), QStringLiteral("Cannot open file ") + path);
        QCOMPARE(doc.Entries().size(), 0);
        QVERIFY(!doc.Modified());
        QCOMPARE(doc.FileName, QFile::encodeName(path));
    }

    void unreadableFileFails() {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        const QString path = writeFile(QStringLiteral("secret.m3u"), "a\n");
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        QVERIFY(failureOf([&] { load(path); }).startsWith(QStringLiteral("Cannot open file")));
    }

    // Names that lead to no file: the save fails and nothing on the way is replaced.
    void saveToNoFileFails_data() {
        QTest::addColumn<QString>("path");
        const QString home = testsupport::homeDir();
        QTest::newRow("missing folder") << home + QStringLiteral("/no/such/dir/a.m3u");
        QFile::link(home + QStringLiteral("/loop-b.m3u"), home + QStringLiteral("/loop-a.m3u"));
        QFile::link(home + QStringLiteral("/loop-a.m3u"), home + QStringLiteral("/loop-b.m3u"));
        QTest::newRow("links in a loop") << home + QStringLiteral("/loop-a.m3u");
    }
    void saveToNoFileFails() {
        QFETCH(QString, path);
        const QByteArray name = QFile::encodeName(path);
        EntryList list;
        QCOMPARE(failureOf([&] { WritePlaylist(name, list); }),
                 QStringLiteral("Cannot create file ") + path);
        QVERIFY(!QFileInfo(path).isFile());
    }

    // Names are bytes on disk: one that is not valid UTF-8 is written under exactly that name.
    void saveUnderAnEightBitName() {
        const QByteArray name = QFile::encodeName(testsupport::homeDir()) + "/caf\xE9.m3u";
        EntryList list;
        list.append("x");
        WritePlaylist(name, list);
        PlaylistDocument doc;
        doc.FileName = name;
        LoadPlaylist(doc);
        QCOMPARE(doc.Entries().toVector(), Lines{"x"});
        QCOMPARE(::access(name.constData(), F_OK), 0);
    }

    void saveThroughDanglingLinkCreatesTarget() {
        const QString link = testsupport::homeDir() + QStringLiteral("/dangling.m3u");
        QVERIFY(QFile::link(QStringLiteral("made-by-save.m3u"), link));
        EntryList list;
        list.append("y");
        WritePlaylist(QFile::encodeName(link), list);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(testsupport::homeDir() + QStringLiteral("/made-by-save.m3u")),
                 QByteArray("y\r\n"));
    }

    void saveKeepsPermissions_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("read for the group") << 0640 << 0640;
        // Only a save by root writes without the kernel clearing these bits.
        QTest::newRow("set-user and set-group bits dropped") << 06754 << 0754;
    }
    void saveKeepsPermissions() {
        QFETCH(int, before);
        QFETCH(int, after);
        const QString path = writeFile(QStringLiteral("perm.m3u"), "a\r\n");
        QVERIFY(::chmod(name(path).constData(), mode_t(before)) == 0);
        WritePlaylist(name(path), EntryList());
        QCOMPARE(int(modeOf(path)), after);
    }

    // A new playlist gets the mode the umask leaves, read without touching the umask.
    void newFileFollowsUmask() {
        const mode_t saved = ::umask(027);
        const QString path = testsupport::homeDir() + QStringLiteral("/umask.m3u");
        WritePlaylist(name(path), entries({"a"}));
        QCOMPARE(::umask(saved), mode_t(027));
        QCOMPARE(int(modeOf(path)), 0640);
    }

    // A folder that takes no new file: a file that may be written is saved in place; one that
    // may not keeps its text.
    void saveWhereFolderTakesNoNewFile_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("writable file: saved in place") << QStringLiteral("writable");
        QTest::newRow("read-only file: kept") << QStringLiteral("read-only");
        // Replaced by a link between being looked at and being opened again for the rewrite.
        QTest::newRow("file swapped for a link: refused") << QStringLiteral("swapped");
    }
    void saveWhereFolderTakesNoNewFile() {
        QFETCH(QString, file);
        const QString dir = testsupport::homeDir() + QStringLiteral("/ro-") + file;
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/list.m3u");
        const QByteArray old = "an old line longer than the new text\r\n";
        writeFile(path.mid(testsupport::homeDir().size() + 1), old);
        const QString decoy = writeFile(QStringLiteral("decoy-") + file, "decoy\r\n");
        const bool writable = file != QLatin1String("read-only");
        std::function<bool(bool)> lock;
        if (::geteuid() == 0) {
            // Root writes wherever a mode forbids it; immutable files and folders it cannot.
            const QStringList names = writable ? QStringList{dir} : QStringList{dir, path};
            lock = [names](bool on) {
                return QProcess::execute(QStringLiteral("chattr"),
                                         QStringList{on ? "+i" : "-i"} + names) == 0;
            };
        } else {
            if (!writable)
                QFile::setPermissions(path, QFileDevice::ReadOwner);
            lock = [dir](bool on) {
                return QFile::setPermissions(
                    dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                             (on ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
            };
        }
        if (!lock(true))
            QSKIP("as root only immutable folders refuse new files, and chattr +i fails here");
        Finally undo{[&] {
            lock(false);
            AtomicFile::setStepHook(nullptr);
        }};
        if (file == QLatin1String("swapped"))
            AtomicFile::setStepHook([&](AtomicFile::Step step, const QByteArray&) {
                if (step == AtomicFile::Step::Reopen) {
                    lock(false);
                    QFile::remove(path);
                    QFile::link(decoy, path);
                    lock(true);
                }
                return 0;
            });
        PlaylistDocument doc;
        doc.FileName = name(path);
        doc.edit([](EntryList& e) { e.append("new"); });
        testsupport::makeUnsaved(doc);
        const QString failure = failureOf([&] { SavePlaylist(doc); });
        QCOMPARE(leftovers(dir, {QStringLiteral("list.m3u")}), QStringList());
        QCOMPARE(readFile(decoy), QByteArray("decoy\r\n"));
        if (file == QLatin1String("writable")) {
            QCOMPARE(failure, QStringLiteral("<no error>"));
            QVERIFY(!doc.Modified());
            QCOMPARE(readFile(path), QByteArray("new\r\n"));
        } else {
            QCOMPARE(failure, QStringLiteral("Cannot create file ") + path);
            QVERIFY(doc.Modified());
            if (writable)
                return;
            QCOMPARE(readFile(path), old);
        }
    }

    // The disk refuses one of the last steps: the save fails, the document stays modified and
    // the old file stays whole, with nothing left beside it.
    void finalStepFails_data() {
        QTest::addColumn<AtomicFile::Step>("step");
        QTest::newRow("fsync") << AtomicFile::Step::Sync;
        QTest::newRow("close") << AtomicFile::Step::Close;
        QTest::newRow("rename") << AtomicFile::Step::Rename;
    }
    void finalStepFails() {
        QFETCH(AtomicFile::Step, step);
        const QString dir = testsupport::homeDir() + QStringLiteral("/step-") +
                            QString::fromLatin1(QTest::currentDataTag());
        const QString path =
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/list.m3u", "old\r\n");
        AtomicFile::setStepHook(
            [step](AtomicFile::Step at, const QByteArray&) { return at == step ? EIO : 0; });
        Finally undo{[] { AtomicFile::setStepHook(nullptr); }};
        PlaylistDocument doc;
        doc.FileName = name(path);
        doc.edit([](EntryList& e) { e.append("new"); });
        testsupport::makeUnsaved(doc);
        QCOMPARE(failureOf([&] { SavePlaylist(doc); }),
                 QStringLiteral("Cannot create file ") + path);
        QVERIFY(doc.Modified());
        QCOMPARE(readFile(path), QByteArray("old\r\n"));
        QCOMPARE(leftovers(dir, {QStringLiteral("list.m3u")}), QStringList());
    }

    // A program started while a save is under way must not inherit the new file.
    void newFileNotInherited() {
        const QString path = writeFile(QStringLiteral("cloexec/list.m3u"), "old\r\n");
        int found = 0, inherited = 0;
        AtomicFile::setStepHook([&](AtomicFile::Step at, const QByteArray&) {
            if (at != AtomicFile::Step::Sync)
                return 0;
            for (int fd = 0; fd < 1024; ++fd) {
                char target[4096];
                const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
                const ssize_t n = ::readlink(link.constData(), target, sizeof target);
                // A file without a name yet shows as "#<inode> (deleted)" in the folder.
                const QByteArray file(target, n > 0 ? n : 0);
                if (!file.startsWith(name(path) + '.') &&
                    !(file.startsWith(name(QFileInfo(path).path()) + "/#") &&
                      file.endsWith(" (deleted)")))
                    continue;
                ++found;
                inherited += !(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
            }
            return 0;
        });
        Finally undo{[] { AtomicFile::setStepHook(nullptr); }};
        WritePlaylist(name(path), entries({"new"}));
        QCOMPARE(found, 1);
        QCOMPARE(inherited, 0);
    }

    // Up to the longest name the file system takes, a playlist that opens also saves.
    void longNamesSave_data() {
        QTest::addColumn<int>("length");
        for (int length : {248, 249, 255})
            QTest::addRow("%d bytes", length) << length;
    }
    void longNamesSave() {
        QFETCH(int, length);
        const QString dir = testsupport::homeDir() + QStringLiteral("/long-%1").arg(length);
        const QString base = QString(length - 4, QLatin1Char('n')) + QStringLiteral(".m3u");
        const QString path =
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + '/' + base, "old\r\n");
        QCOMPARE(failureOf([&] { WritePlaylist(name(path), entries({"new"})); }),
                 QStringLiteral("<no error>"));
        QCOMPARE(readFile(path), QByteArray("new\r\n"));
        QCOMPARE(leftovers(dir, {base}), QStringList());
    }

    // Saving in folders shared with other users, as a user who is not root: who owns the file
    // afterwards, whether a planted link is followed.
    void sharedFolders_data() {
        // The folder, the file (mode 0: none) and, unless -1, the owner of a link to the file
        // put in the folder instead, the file then being in a folder of the saver's own.
        for (const char* column : {"dirUid", "dirGid", "dirMode", "fileUid", "fileGid", "fileMode",
                                   "linkUid", "saved", "uid", "gid", "mode"})
            QTest::addColumn<int>(column);
        const int other = int(kOther), saver = int(kSaver), shared = int(kShared),
                  group = int(kSaverGroup);
        QTest::newRow("group-shared file of another user keeps group and mode")
            << 0 << shared << 0770 << other << shared << 0660 << -1 << 1 << -1 << shared << 0660;
        QTest::newRow("another user's file in a sticky folder is saved in place")
            << 0 << 0 << 01777 << other << other << 0666 << -1 << 1 << other << other << 0666;
        QTest::newRow("another user's link in a sticky folder refused")
            << 0 << 0 << 01777 << saver << group << 0644 << other << 0 << saver << group << 0644;
        QTest::newRow("another user's link to no file yet refused")
            << 0 << 0 << 01777 << saver << group << 0 << other << 0 << -1 << -1 << 0;
        // Only the writer's own links and root's are followed, whoever owns the folder.
        QTest::newRow("the folder owner's link refused too")
            << other << 0 << 01777 << saver << group << 0644 << other << 0 << saver << group
            << 0644;
        QTest::newRow("own link followed")
            << 0 << 0 << 01777 << saver << group << 0644 << saver << 1 << saver << group << 0644;
    }
    void sharedFolders() {
        if (::geteuid() != 0)
            QSKIP("needs root to make files of other users and to save as one");
        auto column = [](const char* c) {
            return *static_cast<const int*>(QTest::qData(c, QMetaType::Int));
        };
        // A folder the other users may enter; the private home is root's alone.
        QByteArray tmpl = name(testsupport::homeDir()) + "/shared-XXXXXX";
        QVERIFY(::mkdtemp(tmpl.data()));
        const QString dir = QFile::decodeName(tmpl);
        ::chmod(name(testsupport::homeDir()).constData(), 0711);
        Finally undo{[] { ::chmod(name(testsupport::homeDir()).constData(), 0700); }};
        const bool link = column("linkUid") >= 0;
        const QString own = dir + QStringLiteral("/own");
        const QString file = (link ? own : dir) + QStringLiteral("/list.m3u");
        QDir().mkpath(own);
        give(own, kSaver, kSaverGroup, 0755);
        if (column("fileMode")) {
            writeFile(file.mid(testsupport::homeDir().size() + 1), "old\r\n");
            give(file, uid_t(column("fileUid")), gid_t(column("fileGid")),
                 mode_t(column("fileMode")));
        }
        const QString saved = link ? dir + QStringLiteral("/link.m3u") : file;
        if (link) {
            QVERIFY(QFile::link(file, saved));
            give(saved, uid_t(column("linkUid")), 0, 0);
        }
        give(dir, uid_t(column("dirUid")), gid_t(column("dirGid")), mode_t(column("dirMode")));

        const QString failure = saveAsAnotherUser(name(saved));
        if (column("saved")) {
            QCOMPARE(failure, QString());
            QCOMPARE(readFile(file), QByteArray("new\r\n"));
        } else {
            QCOMPARE(failure, QStringLiteral("Cannot create file ") + saved);
            QCOMPARE(readFile(file),
                     column("fileMode") ? QByteArray("old\r\n") : QByteArray("<missing>"));
        }
        QCOMPARE(
            leftovers(QFileInfo(file).path(), {QStringLiteral("list.m3u"), QStringLiteral("own"),
                                               QStringLiteral("link.m3u")}),
            QStringList());
        if (!column("fileMode"))
            return;
        const QFileInfo after(file);
        if (column("uid") >= 0)
            QCOMPARE(int(after.ownerId()), column("uid"));
        QCOMPARE(int(after.groupId()), column("gid"));
        QCOMPARE(int(modeOf(file)), column("mode"));
    }

    void saveNames_data() {
        QTest::addColumn<QByteArray>("chosen");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("no extension") << QByteArray("/d/list") << QByteArray("/d/list.m3u");
        QTest::newRow("upper case") << QByteArray("/d/list.M3U") << QByteArray("/d/list.M3U.m3u");
        QTest::newRow("final dot") << QByteArray("/d/list.") << QByteArray("/d/list..m3u");
        QTest::newRow("already") << QByteArray("/d/list.m3u") << QByteArray("/d/list.m3u");
        QTest::newRow("dot in folder")
            << QByteArray("/d.m3u/list") << QByteArray("/d.m3u/list.m3u");
    }
    void saveNames() {
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, saved);
        QCOMPARE(WithPlaylistExtension(chosen), saved);
    }
};

QTEST_GUILESS_MAIN(TestPlaylistFile)
#include "tst_playlistfile.moc"
