// Saves that must not lose anything: a file another program changed since it was read, an
// in-place rewrite on a full disk or cut short, a file's ACL and extended attributes, and a save
// killed half-way.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <QDir>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <functional>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"
#include "core/platform/FileAttributes.h"
#include "core/platform/SaveBackup.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::readFile;
using testsupport::writeFile;

Q_DECLARE_METATYPE(AtomicFile::Step)

namespace {

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

EntryList entries(std::initializer_list<const char*> items) {
    EntryList list;
    for (const char* e : items)
        list.append(e);
    return list;
}

QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

QStringList leftovers(const QString& dir, const QStringList& expected) {
    QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& e : expected)
        names.removeAll(e);
    return names;
}

struct Finally {
    std::function<void()> f;
    ~Finally() {
        if (f)
            f();
    }
};

QString freshDir(const QString& label) {
    static int n = 0;
    const QString dir =
        testsupport::homeDir() + QStringLiteral("/safety/%1-%2").arg(label).arg(++n);
    QDir().mkpath(dir);
    return dir;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(name(path).constData(), &st);
    return st.st_mode & 07777;
}

// Makes the folder refuse new files while its files stay writable, so that a save rewrites the
// file in place; false where that cannot be done here.
std::function<bool(bool)> inPlaceLock(const QString& dir) {
    if (::geteuid() == 0)
        return [dir](bool on) {
            return QProcess::execute(QStringLiteral("chattr"),
                                     QStringList{on ? "+i" : "-i", dir}) == 0;
        };
    return [dir](bool on) { return ::chmod(name(dir).constData(), on ? 0500 : 0700) == 0; };
}

QByteArray xattr(const QString& path, const char* attribute) {
    QByteArray value(4096, '\0');
    const ssize_t n =
        ::lgetxattr(name(path).constData(), attribute, value.data(), size_t(value.size()));
    return n < 0 ? QByteArray("<none>") : value.left(n);
}

// An access ACL as the kernel stores it: entries of tag, permissions and id.
QByteArray acl(std::initializer_list<std::array<quint32, 3>> items) {
    QByteArray out(4, '\0');
    qToLittleEndian<quint32>(2, out.data());
    for (const auto& [tag, perm, id] : items) {
        char entry[8];
        qToLittleEndian<quint16>(quint16(tag), entry);
        qToLittleEndian<quint16>(quint16(perm), entry + 2);
        qToLittleEndian<quint32>(id, entry + 4);
        out.append(entry, 8);
    }
    return out;
}

}  // namespace

class TestSaveSafety : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { AtomicFile::setStepHook(nullptr); }

    // The document knows the file it read or wrote: any other program's change shows, however
    // small, and our own save or a file that is gone does not count.
    void changesByOthers_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("changed");
        QTest::newRow("untouched") << QStringLiteral("none") << false;
        QTest::newRow("line appended") << QStringLiteral("append") << true;
        QTest::newRow("same size, new time") << QStringLiteral("rewrite") << true;
        QTest::newRow("replaced by rename, same size and time") << QStringLiteral("rename") << true;
        QTest::newRow("deleted") << QStringLiteral("delete") << false;
    }
    void changesByOthers() {
        QFETCH(QString, how);
        QFETCH(bool, changed);
        const QString dir = freshDir(QStringLiteral("changed"));
        const QString path = dir + QStringLiteral("/list.m3u");
        writeFile(path.mid(testsupport::homeDir().size() + 1), "a.mp3\r\nb.mp3\r\n");
        PlaylistDocument doc;
        doc.FileName = name(path);
        LoadPlaylist(doc);
        QVERIFY(doc.DiskStamp);
        QVERIFY(!ChangedOnDisk(doc));
        struct stat before;
        QVERIFY(::stat(name(path).constData(), &before) == 0);
        if (how == QLatin1String("append")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::Append));
            f.write("c.mp3\r\n");
        } else if (how == QLatin1String("rewrite")) {
            const struct timespec later[2] = {before.st_atim,
                                              {before.st_mtim.tv_sec, before.st_mtim.tv_nsec + 1}};
            writeFile(path.mid(testsupport::homeDir().size() + 1), "x.mp3\r\ny.mp3\r\n");
            QVERIFY(::utimensat(AT_FDCWD, name(path).constData(), later, 0) == 0);
        } else if (how == QLatin1String("rename")) {
            const QString other = writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/new",
                                            "x.mp3\r\ny.mp3\r\n");
            const struct timespec same[2] = {before.st_atim, before.st_mtim};
            QVERIFY(::utimensat(AT_FDCWD, name(other).constData(), same, 0) == 0);
            QVERIFY(::rename(name(other).constData(), name(path).constData()) == 0);
        } else if (how == QLatin1String("delete")) {
            QVERIFY(QFile::remove(path));
        }
        QCOMPARE(ChangedOnDisk(doc), changed);
    }

    // Reading the file again is one step: Undo brings back what was shown, unsaved changes
    // and encoding included.
    void reloadIsOneStep() {
        const QString path = writeFile(QStringLiteral("safety/reload.m3u"), "a.mp3\r\nb.mp3\r\n");
        PlaylistDocument doc;
        doc.FileName = name(path);
        LoadPlaylist(doc);
        doc.perform(Change::insertAt(2, entries({"typed.mp3"})), QStringLiteral("Type"));
        QVERIFY(doc.Modified());
        writeFile(QStringLiteral("safety/reload.m3u"), QByteArray("\xFF\xFEx\0\r\0\n\0", 8));
        ReloadPlaylist(doc, ReadPlaylist(doc.FileName));
        QCOMPARE(doc.Entries().toVector(), std::vector<QByteArray>{"x"});
        QCOMPARE(doc.Encoding, TextEncoding::Utf16LE);
        QVERIFY(!doc.Modified());
        QVERIFY(!ChangedOnDisk(doc));
        QCOMPARE(doc.history().undoText(), QStringLiteral("Reload"));
        doc.undo();
        QCOMPARE(doc.Entries().toVector(),
                 (std::vector<QByteArray>{"a.mp3", "b.mp3", "typed.mp3"}));
        QCOMPARE(doc.Encoding, TextEncoding::Utf8);
        QVERIFY(doc.Modified());
        doc.redo();
        QCOMPARE(doc.Entries().toVector(), std::vector<QByteArray>{"x"});
        QVERIFY(!doc.Modified());
    }

    // An in-place rewrite: room for the new text is reserved before a byte is touched, and the
    // old bytes are kept in the state folder until the new ones are on the disk.
    void inPlaceRewrite_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("failure");  // the start of the message; "" for none
        QTest::addColumn<bool>("copyKept");
        QTest::newRow("saved: copy removed") << QString() << QString() << false;
        QTest::newRow("full disk (a 64 KB tmpfs, as root): nothing touched")
            << QStringLiteral("tmpfs")
            << QStringLiteral("Cannot create file %1: ") + strerror(ENOSPC) +
                   QStringLiteral("; the file was not changed")
            << false;
        QTest::newRow("disk full when reserving: nothing touched")
            << QStringLiteral("reserve")
            << QStringLiteral("Cannot create file %1: ") + strerror(ENOSPC) +
                   QStringLiteral("; the file was not changed")
            << false;
        QTest::newRow("file size limit: nothing touched")
            << QStringLiteral("rlimit")
            << QStringLiteral("Cannot create file %1: ") + strerror(EFBIG) +
                   QStringLiteral("; the file was not changed")
            << false;
        QTest::newRow("sync fails: the message names the copy")
            << QStringLiteral("sync")
            << QStringLiteral("Cannot create file %1: the old text is kept in ") << true;
    }
    void inPlaceRewrite() {
        QFETCH(QString, fault);
        QFETCH(QString, failure);
        QFETCH(bool, copyKept);
        const QString dir = freshDir(QStringLiteral("inplace"));
        Finally unmount;
        EntryList text = entries({"a much longer new line.mp3"});
        if (fault == QLatin1String("tmpfs")) {
            if (::geteuid() != 0 ||
                ::mount("tmpfs", name(dir).constData(), "tmpfs", 0, "size=64k") != 0)
                QSKIP("needs root and a tmpfs it may mount");
            unmount.f = [dir] { ::umount2(name(dir).constData(), MNT_DETACH); };
            // Room for the old text and little more.
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/filler",
                      QByteArray(40 * 1024, 'f'));
            for (int i = 0; i < 1000; ++i)
                text.append("/music/a long folder name/track " + QByteArray::number(i) + ".mp3");
        }
        const QString path = dir + QStringLiteral("/list.m3u");
        const QByteArray old = "old.mp3\r\nkept.mp3\r\n";
        writeFile(path.mid(testsupport::homeDir().size() + 1), old);
        const QString backups = BackupFolder();
        QDir(backups).removeRecursively();
        const std::function<bool(bool)> lock = inPlaceLock(dir);
        if (!lock(true))
            QSKIP("as root only immutable folders refuse new files, and chattr +i fails here");
        Finally undo{[&] { lock(false); }};

        QStringList seen;  // what the backup folder held while the new text was synced
        AtomicFile::setStepHook([&](AtomicFile::Step step, const QByteArray&) {
            if (step == AtomicFile::Step::Reserve && fault == QLatin1String("reserve"))
                return ENOSPC;
            if (step == AtomicFile::Step::Sync) {
                for (const QString& f : QDir(backups).entryList(QDir::Files)) {
                    const QString copy = backups + QLatin1Char('/') + f;
                    seen << QStringLiteral("%1 %2 %3")
                                .arg(f.startsWith(QStringLiteral("list.m3u.")))
                                .arg(modeOf(copy), 0, 8)
                                .arg(QString::fromLatin1(readFile(copy)));
                }
                if (fault == QLatin1String("sync"))
                    return EIO;
            }
            return 0;
        });
        struct rlimit saved;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (fault == QLatin1String("rlimit")) {
            struct rlimit small = saved;
            small.rlim_cur = 16;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        const QString error = failureOf([&] { WritePlaylist(name(path), text); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        const QStringList copies = QDir(backups).entryList(QDir::Files);
        if (failure.isEmpty()) {
            QCOMPARE(error, QStringLiteral("<no error>"));
            QCOMPARE(readFile(path), QByteArray("a much longer new line.mp3\r\n"));
        } else {
            QVERIFY2(error.startsWith(failure.arg(path)), qPrintable(error));
        }
        if (fault.isEmpty() || fault == QLatin1String("sync"))
            QCOMPARE(seen, QStringList{QStringLiteral("1 600 ") + QString::fromLatin1(old)});
        if (!failure.isEmpty() && fault != QLatin1String("sync"))
            QCOMPARE(readFile(path), old);
        QCOMPARE(copies.size(), copyKept ? 1 : 0);
        if (copyKept) {
            const QString copy = backups + QLatin1Char('/') + copies.first();
            QVERIFY2(error.endsWith(copy), qPrintable(error));
            QCOMPARE(readFile(copy), old);
            QCOMPARE(int(modeOf(backups)), 0700);
        }
        QCOMPARE(leftovers(dir, {QStringLiteral("list.m3u"), QStringLiteral("filler")}),
                 QStringList());
    }

    // The copy's mode comes from the owning group's ACL entry, never from the mask, so a copy
    // that cannot take the ACL is not opened to the group.
    void permissionsForCopy_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("accessAcl");  // empty: none
        QTest::addColumn<int>("expected");
        QTest::newRow("no ACL") << 0640 << QByteArray() << 0640;
        QTest::newRow("group none, mask rw")
            << 0660 << acl({{1, 6, 0}, {2, 6, 54321}, {4, 0, 0}, {0x10, 6, 0}, {0x20, 0, 0}})
            << 0600;
        QTest::newRow("group read, mask rw")
            << 0664 << acl({{1, 6, 0}, {2, 6, 54321}, {4, 4, 0}, {0x10, 6, 0}, {0x20, 4, 0}})
            << 0644;
        QTest::newRow("no owning group entry") << 0670 << acl({{1, 6, 0}, {0x20, 0, 0}}) << 0600;
    }
    void permissionsForCopy() {
        QFETCH(int, mode);
        QFETCH(QByteArray, accessAcl);
        QFETCH(int, expected);
        FileAttributeList attributes{{"user.other", "x"}};
        if (!accessAcl.isEmpty())
            attributes.emplace_back("system.posix_acl_access", accessAcl);
        QCOMPARE(int(PermissionsForCopy(mode_t(mode), attributes)), expected);
    }

    // A file shared through an ACL keeps it, and its extended attributes, after a save; the
    // group gains nothing.
    void aclAndAttributesKept() {
        const QString dir = freshDir(QStringLiteral("acl"));
        const QString path =
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/list.m3u", "old\r\n");
        if (::geteuid() == 0)
            QVERIFY(::chown(name(path).constData(), 0, 54323) == 0);
        QVERIFY(::chmod(name(path).constData(), 0600) == 0);
        if (QProcess::execute(QStringLiteral("setfacl"),
                              {QStringLiteral("-m"), QStringLiteral("u:54321:rw"), path}) != 0)
            QSKIP(
                "setfacl cannot give this file an ACL here (no acl tools, or the file system "
                "takes no ACL)");
        const bool userAttributes =
            ::setxattr(name(path).constData(), "user.cadrell.test", "kept", 4, 0) == 0;
        const QByteArray accessAcl = xattr(path, "system.posix_acl_access");
        QCOMPARE(int(modeOf(path)), 0660);  // the mask shows as the group bits

        WritePlaylist(name(path), entries({"new"}));

        QCOMPARE(readFile(path), QByteArray("new\r\n"));
        QCOMPARE(xattr(path, "system.posix_acl_access"), accessAcl);
        QCOMPARE(int(modeOf(path)), 0660);
        QCOMPARE(QFileInfo(path).groupId(), ::geteuid() == 0 ? 54323u : ::getegid());
        if (userAttributes)
            QCOMPARE(xattr(path, "user.cadrell.test"), QByteArray("kept"));
    }

    // A save killed before its file is in place leaves no file behind.
    void killedSaveLeavesNothing() {
        const QString dir = freshDir(QStringLiteral("killed"));
        const QString path =
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/list.m3u", "old\r\n");
        const pid_t pid = ::fork();
        if (pid == 0) {
            AtomicFile::setStepHook([](AtomicFile::Step step, const QByteArray&) {
                if (step == AtomicFile::Step::Sync)
                    ::raise(SIGKILL);
                return 0;
            });
            try {
                WritePlaylist(name(path), entries({"new"}));
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QCOMPARE(readFile(path), QByteArray("old\r\n"));
        QCOMPARE(leftovers(dir, {QStringLiteral("list.m3u")}), QStringList());
    }

    // Where the file system takes no unnamed file, the temporary files an earlier run left
    // behind are removed at the next save: only ours, by name and owner, and only old ones.
    void staleTemporaryFiles_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("age");       // seconds before now
        QTest::addColumn<QString>("kind");  // "file", "link", "foreign" (another user's)
        QTest::addColumn<bool>("removed");
        QTest::newRow("ours, from an earlier run")
            << QStringLiteral("list.m3u.cadrell-Ab12Cd") << 3600 << "file" << true;
        QTest::newRow("short form, from an earlier run")
            << QStringLiteral(".cadrell-Zz09aa") << 3600 << "file" << true;
        QTest::newRow("ours, newer than this run")
            << QStringLiteral("list.m3u.cadrell-Ab12Cd") << -5 << "file" << false;
        QTest::newRow("another playlist's")
            << QStringLiteral("other.m3u.cadrell-Ab12Cd") << 3600 << "file" << false;
        QTest::newRow("the user's own copy")
            << QStringLiteral("list.m3u.backup") << 3600 << "file" << false;
        QTest::newRow("a link of that name")
            << QStringLiteral("list.m3u.cadrell-Ab12Cd") << 3600 << "link" << false;
        QTest::newRow("another user's")
            << QStringLiteral("list.m3u.cadrell-Ab12Cd") << 3600 << "foreign" << false;
    }
    void staleTemporaryFiles() {
        QFETCH(QString, entry);
        QFETCH(int, age);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        if (kind == QLatin1String("foreign") && ::geteuid() != 0)
            QSKIP("needs root to leave a file of another user");
        const QString dir = freshDir(QStringLiteral("stale"));
        const QString path =
            writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/list.m3u", "old\r\n");
        const QString stale = dir + QLatin1Char('/') + entry;
        if (kind == QLatin1String("link")) {
            const QString target = writeFile(dir.mid(testsupport::homeDir().size() + 1) + "/t", "");
            QVERIFY(QFile::link(target, stale));
        } else {
            writeFile(stale.mid(testsupport::homeDir().size() + 1), "half a save");
            if (kind == QLatin1String("foreign"))
                QVERIFY(::chown(name(stale).constData(), 54321, 54321) == 0);
        }
        struct timespec when[2];
        ::clock_gettime(CLOCK_REALTIME, &when[0]);
        when[0].tv_sec -= age;
        when[1] = when[0];
        QVERIFY(::utimensat(AT_FDCWD, name(stale).constData(), when, AT_SYMLINK_NOFOLLOW) == 0);
        AtomicFile::setStepHook([](AtomicFile::Step step, const QByteArray&) {
            return step == AtomicFile::Step::Unnamed ? EOPNOTSUPP : 0;
        });
        WritePlaylist(name(path), entries({"new"}));
        QCOMPARE(readFile(path), QByteArray("new\r\n"));
        QCOMPARE(QFileInfo(stale).exists() || QFileInfo(stale).isSymLink(), !removed);
        QStringList expected{QStringLiteral("list.m3u"), QStringLiteral("t")};
        if (!removed)
            expected << entry;
        QCOMPARE(leftovers(dir, expected), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSaveSafety)
#include "tst_savesafety.moc"
