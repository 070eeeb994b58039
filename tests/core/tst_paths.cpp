#include <QDir>
#include <QFile>
#include <QtTest>

#include "core/platform/PathParts.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void parts_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("drive");
        QTest::addColumn<QByteArray>("directory");
        QTest::addColumn<QByteArray>("fileName");
        QTest::addColumn<QByteArray>("extension");
        auto row = [](const char* tag, const char* n, const char* d, const char* dir, const char* f,
                      const char* e) {
            QTest::newRow(tag) << QByteArray(n) << QByteArray(d) << QByteArray(dir) << QByteArray(f)
                               << QByteArray(e);
        };
        row("drive root file", "C:\\a.m3u", "C:", "C:\\", "a.m3u", ".m3u");
        row("drive folder", "C:\\x\\a.m3u", "C:", "C:\\x", "a.m3u", ".m3u");
        row("drive relative", "C:a.m3u", "C:", "C:", "a.m3u", ".m3u");
        row("UNC", "\\\\server\\share\\a.m3u", "\\\\server\\share", "\\\\server\\share", "a.m3u",
            ".m3u");
        row("UNC without file", "\\\\server\\share", "\\\\server\\share", "\\\\server", "share",
            "");
        row("bare name", "a.m3u", "", "", "a.m3u", ".m3u");
        row("dot in folder only", "C:\\x.y\\a", "C:", "C:\\x.y", "a", "");
        row("trailing backslash", "C:\\Lists\\", "C:", "C:\\Lists", "", "");
        row("POSIX absolute", "/home/me/a.mp3", "", "/home/me", "a.mp3", ".mp3");
        row("POSIX root file", "/a.mp3", "", "", "a.mp3", ".mp3");
        row("relative POSIX", "songs/a.mp3", "", "songs", "a.mp3", ".mp3");
        row("EXTINF", "#EXTINF:123,Title", "", "#EXTINF:", "123,Title", "");
        row("web address", "http://host/x/y.mp3", "", "http://host/x", "y.mp3", ".mp3");
        row("upper-case extension", "LIST.M3U", "", "", "LIST.M3U", ".M3U");
    }
    void parts() {
        QFETCH(QByteArray, name);
        QTEST(DrivePart(name), "drive");
        QTEST(DirectoryPart(name), "directory");
        QTEST(FileNamePart(name), "fileName");
        QTEST(Extension(name), "extension");
    }

    void stripDrive_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("stripped");
        QTest::newRow("drive path")
            << QByteArray("C:\\Songs\\a.mp3") << QByteArray("\\Songs\\a.mp3");
        QTest::newRow("drive relative") << QByteArray("C:a.mp3") << QByteArray("a.mp3");
        QTest::newRow("UNC stays")
            << QByteArray("\\\\server\\share\\a.mp3") << QByteArray("\\\\server\\share\\a.mp3");
        QTest::newRow("rooted stays")
            << QByteArray("\\Songs\\a.mp3") << QByteArray("\\Songs\\a.mp3");
        QTest::newRow("EXTINF stays")
            << QByteArray("#EXTINF:123,Title") << QByteArray("#EXTINF:123,Title");
        QTest::newRow("web address stays")
            << QByteArray("http://h/a.mp3") << QByteArray("http://h/a.mp3");
        QTest::newRow("POSIX stays") << QByteArray("/home/a.mp3") << QByteArray("/home/a.mp3");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("long rest kept whole")
            << QByteArray("C:\\" + QByteArray(300, 'x')) << QByteArray("\\" + QByteArray(300, 'x'));
    }
    void stripDrive() {
        QFETCH(QByteArray, entry);
        QTEST(StripDrive(entry), "stripped");
    }

    void startFolder_data() {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("normalised");
        QTest::newRow("final backslash dropped")
            << QByteArray("D:\\Lists\\") << QByteArray("D:\\Lists");
        QTest::newRow("drive root kept") << QByteArray("C:\\") << QByteArray("C:\\");
        QTest::newRow("lone backslash kept") << QByteArray("\\") << QByteArray("\\");
        QTest::newRow("POSIX root kept") << QByteArray("/") << QByteArray("/");
        QTest::newRow("POSIX folder") << QByteArray("/home/me/") << QByteArray("/home/me");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void startFolder() {
        QFETCH(QByteArray, folder);
        QTEST(NormaliseStartFolder(folder), "normalised");
    }

    void helpPath_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QByteArray>("help");
        QTest::newRow("with extension")
            << QByteArray("C:\\Apps\\cadrell.exe") << QByteArray("C:\\Apps\\cadrell.htm");
        QTest::newRow("without") << QByteArray("/usr/bin/cadrell")
                                 << QByteArray("/usr/bin/cadrell.htm");
        QTest::newRow("dot in folder")
            << QByteArray("/opt/x.y/cadrell") << QByteArray("/opt/x.y/cadrell.htm");
    }
    void helpPath() {
        QFETCH(QByteArray, program);
        QTEST(ReplaceExtension(program, ".htm"), "help");
    }

    void displayPathOfNamesNotOnDisk_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("display");
        QTest::newRow("drive root") << QByteArray("C:\\") << QByteArray("C:");
        QTest::newRow("drive alone") << QByteArray("C:") << QByteArray("C:");
        QTest::newRow("lone backslash") << QByteArray("\\") << QByteArray("");
        QTest::newRow("Windows path unchanged")
            << QByteArray("c:\\songs\\LIST~1.M3U") << QByteArray("c:\\songs\\LIST~1.M3U");
        QTest::newRow("drive relative") << QByteArray("C:a.m3u") << QByteArray("C:\\a.m3u");
        QTest::newRow("UNC prefix as written")
            << QByteArray("\\\\srv\\share\\dir\\a.m3u") << QByteArray("\\\\srv\\share\\dir\\a.m3u");
        QTest::newRow("UNC alone") << QByteArray("\\\\srv\\share") << QByteArray("\\\\srv\\share");
        QTest::newRow("bare relative name is itself")
            << QByteArray("list.m3u") << QByteArray("list.m3u");
        QTest::newRow("relative with folder")
            << QByteArray("no/such/list.m3u") << QByteArray("no/such/list.m3u");
        QTest::newRow("absolute POSIX")
            << QByteArray("/no/such/list.m3u") << QByteArray("/no/such/list.m3u");
        QTest::newRow("colon in a POSIX name")
            << QByteArray("/music/a:b.m3u") << QByteArray("/music/a:b.m3u");
        QTest::newRow("colons in folder and name")
            << QByteArray("/m/d:x/Live: 2020.m3u") << QByteArray("/m/d:x/Live: 2020.m3u");
        QTest::newRow("colon in a relative name")
            << QByteArray("ab:c.m3u") << QByteArray("ab:c.m3u");
        QTest::newRow("untitled") << QByteArray("(untitled)") << QByteArray("(untitled)");
        QTest::newRow("doubled separator") << QByteArray("x\\\\a") << QByteArray("x\\\\a");
        QTest::newRow("leading double slash") << QByteArray("//a") << QByteArray("//a");
        QTest::newRow("many separators")
            << QByteArray(20000, '/') + "a" << QByteArray(20000, '/') + "a";
    }
    void displayPathOfNamesNotOnDisk() {
        QFETCH(QByteArray, name);
        QTEST(DisplayPath(name), "display");
    }

    void displayPathOnDisk() {
        const QByteArray home = QFile::encodeName(testsupport::homeDir());
        QDir().mkpath(testsupport::homeDir() + QStringLiteral("/Songs/Sub Folder"));
        testsupport::writeFile(QStringLiteral("Songs/Sub Folder/List of songs.m3u"), "a\n");
        QCOMPARE(DisplayPath(home + "/Songs/Sub Folder/List of songs.m3u"),
                 home + "/Songs/Sub Folder/List of songs.m3u");
        QCOMPARE(DisplayPath(home + "/Songs/missing/x.m3u"), home + "/Songs/missing/x.m3u");
        QCOMPARE(DisplayPath(home + "/Songs/"), home + "/Songs/");
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
