#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "platform/Error.h"
#include "playlist/PlaylistDocument.h"
#include "playlist/PlaylistFile.h"
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

}  // namespace

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
        doc.Modified = true;
        SavePlaylist(doc);
        QCOMPARE(readFile(path), bytes);
        QVERIFY(!doc.Modified);
    }

    void lfFileIsWrittenWithCrLf() {
        const QString path = writeFile(QStringLiteral("lf.m3u"), "a\nb");
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        LoadPlaylist(doc);
        SavePlaylist(doc);
        QCOMPARE(readFile(path), QByteArray("a\r\nb\r\n"));
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
        QVERIFY(!doc.Modified);
        QCOMPARE(doc.FileName, QFile::encodeName(path));
    }

    void unreadableFileFails() {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        const QString path = writeFile(QStringLiteral("secret.m3u"), "a\n");
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        QVERIFY(failureOf([&] { load(path); }).startsWith(QStringLiteral("Cannot open file")));
    }

    void saveIntoReadOnlyFolderKeepsOldFile() {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders; covered by the end-to-end checks");
        const QString dir = testsupport::homeDir() + QStringLiteral("/ro");
        QDir().mkpath(dir);
        const QString path = writeFile(QStringLiteral("ro/list.m3u"), "old\r\n");
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(path);
        doc.edit([](EntryList& e) { e.append("new"); });
        doc.Modified = true;
        QCOMPARE(failureOf([&] { SavePlaylist(doc); }),
                 QStringLiteral("Cannot create file ") + path);
        QVERIFY(doc.Modified);
        QCOMPARE(readFile(path), QByteArray("old\r\n"));
        QFile::setPermissions(
            dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void saveIntoMissingFolderFails() {
        const QByteArray name = QFile::encodeName(testsupport::homeDir()) + "/no/such/dir/a.m3u";
        EntryList list;
        QCOMPARE(failureOf([&] { WritePlaylist(name, list); }),
                 QStringLiteral("Cannot create file ") + QString::fromLocal8Bit(name));
    }

    void fullDiskKeepsOldFile() {
        // A tiny file system of its own; needs the right to mount one.
        const QString dir = testsupport::homeDir() + QStringLiteral("/small");
        QDir().mkpath(dir);
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"), dir}) != 0)
            QSKIP("cannot mount a small file system here");
        const QString path = dir + QStringLiteral("/list.m3u");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old\r\n");
        }
        EntryList list;
        for (int i = 0; i < 4000; ++i)
            list.append(QByteArray(100, 'x'));
        const QString failure = failureOf([&] { WritePlaylist(QFile::encodeName(path), list); });
        const QByteArray kept = readFile(path);
        QProcess::execute(QStringLiteral("umount"), {dir});
        QCOMPARE(failure, QStringLiteral("Stream write error"));
        QCOMPARE(kept, QByteArray("old\r\n"));
    }

    void saveThroughSymbolicLink() {
        const QString target = writeFile(QStringLiteral("target.m3u"), "old\r\n");
        const QString link = testsupport::homeDir() + QStringLiteral("/link.m3u");
        QVERIFY(QFile::link(target, link));
        EntryList list;
        list.append("new");
        WritePlaylist(QFile::encodeName(link), list);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(target), QByteArray("new\r\n"));
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

    void saveKeepsPermissions() {
        const QString path = writeFile(QStringLiteral("perm.m3u"), "a\r\n");
        QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        EntryList list;
        WritePlaylist(QFile::encodeName(path), list);
        const QFileDevice::Permissions mode(0x7077);  // owner, group and others, not "user"
        QCOMPARE(QFile::permissions(path) & mode,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
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
