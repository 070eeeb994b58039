#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/playlist/Export.h"
#include "core/playlist/ExportNames.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

// Lines written "a|b|c", one entry each.
EntryList listOf(const QByteArray& lines) {
    EntryList list;
    for (const QByteArray& line : lines.split('|'))
        list.append(line);
    return list;
}

QByteArray name(const QTemporaryDir& dir, const char* rel = "") {
    return QFile::encodeName(dir.path()) + '/' + rel;
}

void put(const QByteArray& path, const QByteArray& bytes) {
    QDir().mkpath(QFile::decodeName(path.first(path.lastIndexOf('/'))));
    QFile f(QFile::decodeName(path));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Every name below the folder, sorted, folders ending in "/".
QByteArrayList tree(const QByteArray& folder) {
    QByteArrayList out;
    QDirIterator it(QFile::decodeName(folder),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        QByteArray rel = QFile::encodeName(it.filePath()).sliced(folder.size() + 1);
        out.append(it.fileInfo().isDir() && !it.fileInfo().isSymLink() ? rel + '/' : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

ExportOptions optionsFor(const QByteArray& target) {
    ExportOptions o;
    o.targetFolder = target;
    o.playlistName = "list.m3u8";
    o.lineEnd = LineEnd::Lf;
    return o;
}

ExportReport exportAll(const EntryList& entries, const QByteArray& folder,
                       const ExportOptions& options, const ExportProgress& progress = {},
                       const std::atomic<bool>* cancel = nullptr) {
    static const std::atomic<bool> never{false};
    const ExportPlan plan = PlanExport(entries, {}, folder, TextEncoding::Utf8, options);
    return RunExport(plan, options, progress, cancel ? *cancel : never);
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    // What the copies are called: the names come from the plan alone, so no disk is needed.
    void targetNames_data() {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<bool>("number");
        QTest::addColumn<bool>("keepFolders");
        QTest::addColumn<bool>("fat");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArrayList>("targets");
        const int utf8 = int(TextEncoding::Utf8), w1252 = int(TextEncoding::Windows1252);
        auto row = [](const char* tag, const QByteArray& e, bool number, bool keep, bool fat,
                      int enc, const QByteArrayList& targets) {
            QTest::newRow(tag) << e << number << keep << fat << enc << targets;
        };
        row("numbered in playlist order", "b.mp3|/m/a.mp3|c.ogg", true, false, false, utf8,
            {"001 - b.mp3", "002 - a.mp3", "003 - c.ogg"});
        row("folders below the common one", "/m/rock/a.mp3|/m/pop/x/b.mp3", false, true, false,
            utf8, {"rock/a.mp3", "pop/x/b.mp3"});
        row("one file: its name alone", "/m/rock/a.mp3", false, true, false, utf8, {"a.mp3"});
        row("numbered with folders", "/m/r/a.mp3|/m/p/b.mp3", true, true, false, utf8,
            {"r/001 - a.mp3", "p/002 - b.mp3"});
        row("clash in one folder", "/x/a.mp3|/y/a.mp3|/z/a.mp3", false, false, false, utf8,
            {"a.mp3", "a (2).mp3", "a (3).mp3"});
        row("one file named three ways is copied once", "a.mp3|./a.mp3|s/../a.mp3", false, false,
            false, utf8, {"a.mp3"});
        row("playlist's own name is taken", "/x/list.m3u8", false, false, false, utf8,
            {"list (2).m3u8"});
        row("no extension: number at the end", "/x/01. Intro|/y/01. Intro", false, false, false,
            utf8, {"01. Intro", "01. Intro (2)"});
        row("FAT characters in files and folders", "/m/AC:DC/what?.mp3|/m/x/a*b<c>\"d\\.mp3", false,
            true, true, utf8, {"AC_DC/what_.mp3", "x/a_b_c__d_.mp3"});
        row("FAT characters kept elsewhere", "/m/a:b?.mp3", false, false, false, utf8,
            {"a:b?.mp3"});
        row("FAT compares without case", "/x/Song.mp3|/y/song.MP3", false, false, true, utf8,
            {"Song.mp3", "song (2).MP3"});
        row("case counts elsewhere", "/x/Song.mp3|/y/song.mp3", false, false, false, utf8,
            {"Song.mp3", "song.mp3"});
        row("FAT drops final dots and spaces", "/x/name. |/x/...", false, false, true, utf8,
            {"name", "_"});
        row("not UTF-8: read as Windows-1252", "/x/caf\xe9.mp3", false, false, false, utf8,
            {"caf\xc3\xa9.mp3"});
        row("Windows-1252 playlist: other characters go", "/x/\xc3\xa9\xe6\x97\xa5.mp3", false,
            false, false, w1252, {"\xc3\xa9_.mp3"});
        const QByteArray longName = QByteArray(260, 'a') + ".flac";
        row("long name keeps its extension", "/x/" + longName, true, false, false, utf8,
            {"001 - " + QByteArray(255 - 6 - 5, 'a') + ".flac"});
        QByteArray accents;
        for (int i = 0; i < 130; ++i)
            accents += "\xc3\xa9";
        row("long name cut between characters", "/x/" + accents + ".mp3|/y/" + accents + ".mp3",
            false, false, false, utf8,
            {accents.first(250) + ".mp3", accents.first(246) + " (2).mp3"});
    }
    void targetNames() {
        QFETCH(QByteArray, entries);
        QFETCH(bool, number);
        QFETCH(bool, keepFolders);
        QFETCH(bool, fat);
        QFETCH(int, encoding);
        ExportOptions o = optionsFor("/target");
        o.numberFiles = number;
        o.keepFolders = keepFolders;
        o.nameRules = fat ? TargetNameRules::Fat : TargetNameRules::Posix;
        o.encoding = TextEncoding(encoding);
        const ExportPlan plan =
            PlanExport(listOf(entries), {}, "/lists", TextEncoding::Windows1252, o);
        QByteArrayList targets;
        for (const ExportFile& f : plan.files) {
            targets.append(f.target);
            QVERIFY(f.target.isValidUtf8());
            for (const QByteArray& part : f.target.split('/'))
                QVERIFY2(part.size() <= 255, part.constData());
        }
        QTEST(targets, "targets");
    }

    void numberWidth_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("999: three digits") << 999 << QByteArray("999 - f998.mp3");
        QTest::newRow("1000: four") << 1000 << QByteArray("1000 - f999.mp3");
        QTest::newRow("10000: five") << 10000 << QByteArray("10000 - f9999.mp3");
    }
    void numberWidth() {
        QFETCH(int, count);
        EntryList entries;
        for (int i = 0; i < count; ++i)
            entries.append("f" + QByteArray::number(i) + ".mp3");
        ExportOptions o = optionsFor("/target");
        o.numberFiles = true;
        o.nameRules = TargetNameRules::Posix;
        const ExportPlan plan = PlanExport(entries, {}, "/m", TextEncoding::Utf8, o);
        QCOMPARE(plan.files.size(), size_t(count));
        QCOMPARE(plan.files.front().target.indexOf(" - "), QByteArray::number(count).size());
        QTEST(plan.files.back().target, "last");
    }

    // The playlist written beside the copies, byte for byte.
    void playlistWritten_data() {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<std::vector<int>>("rows");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("crlf");
        QTest::addColumn<QByteArray>("written");
        const int utf8 = int(TextEncoding::Utf8);
        QTest::newRow("lines kept, web addresses kept, missing left out")
            << QByteArray(
                   "#EXTM3U|#EXTINF:1,One|s/a.mp3||#EXTINF:2,Web|http://h/x.mp3|"
                   "#EXTINF:3,Gone|s/missing.mp3|C:\\w.mp3|b.mp3")
            << std::vector<int>{} << utf8 << false
            << QByteArray(
                   "#EXTM3U\n#EXTINF:1,One\ns/a.mp3\n#EXTINF:2,Web\nhttp://h/x.mp3\n"
                   "b.mp3\n");
        QTest::newRow("chosen items only, CR LF")
            << QByteArray("#EXTM3U|#EXTINF:1,One|a.mp3|#EXTINF:2,Two|b.mp3|c.mp3")
            << std::vector<int>{3, 5} << utf8 << true
            << QByteArray("#EXTM3U\r\n#EXTINF:2,Two\r\nb.mp3\r\nc.mp3\r\n");
        QTest::newRow("a file named like a # line") << QByteArray("./#1.mp3") << std::vector<int>{}
                                                    << utf8 << false << QByteArray("./#1.mp3\n");
        QTest::newRow("Windows-1252") << QByteArray("#EXTINF:1,Caf\xc3\xa9|caf\xc3\xa9.mp3")
                                      << std::vector<int>{} << int(TextEncoding::Windows1252)
                                      << false << QByteArray("#EXTINF:1,Caf\xe9\ncaf\xe9.mp3\n");
        QTest::newRow("UTF-16 with its mark")
            << QByteArray("a.mp3") << std::vector<int>{} << int(TextEncoding::Utf16LE) << false
            << QByteArray(
                   "\xff\xfe"
                   "a\0.\0m\0p\0"
                   "3\0\n\0",
                   14);
    }
    void playlistWritten() {
        QFETCH(QByteArray, entries);
        QFETCH(std::vector<int>, rows);
        QFETCH(int, encoding);
        QFETCH(bool, crlf);
        QTemporaryDir source, target;
        const EntryList list = listOf(entries);
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QByteArray e = list.bytes(i);
            if (e.endsWith(".mp3") && !e.contains("missing") && !e.contains(':'))
                put(name(source, e), "data " + e);
        }
        ExportOptions o = optionsFor(name(target, "out"));
        o.encoding = TextEncoding(encoding);
        o.lineEnd = crlf ? LineEnd::CrLf : LineEnd::Lf;
        const ExportPlan plan =
            PlanExport(list, rows, name(source).chopped(1), TextEncoding::Utf8, o);
        const ExportReport report = RunExport(plan, o, {}, std::atomic<bool>(false));
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(report.playlistPath, name(target, "out/list.m3u8"));
        QTEST(testsupport::readFile(QFile::decodeName(report.playlistPath)), "written");
        // Every file the playlist names is there, with the source's bytes.
        for (const ExportFile& f : plan.files) {
            if (QFile::exists(QFile::decodeName(f.source)))
                QCOMPARE(testsupport::readFile(QFile::decodeName(name(target, "out/") + f.target)),
                         testsupport::readFile(QFile::decodeName(f.source)));
        }
    }

    // A copy left by an earlier export counts as there when size and time agree; anything else
    // under the name is kept and the copy takes the next name.
    void alreadyThere_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArrayList>("after");
        QTest::addColumn<int>("copied");
        QTest::newRow("nothing changed") << "" << QByteArrayList{"a.mp3", "list.m3u8"} << 0;
        QTest::newRow("source touched")
            << "time" << QByteArrayList{"a (2).mp3", "a.mp3", "list.m3u8"} << 1;
        QTest::newRow("copy edited, same time")
            << "size" << QByteArrayList{"a (2).mp3", "a.mp3", "list.m3u8"} << 1;
        QTest::newRow("a folder in its place")
            << "folder" << QByteArrayList{"a (2).mp3", "a.mp3/", "list.m3u8"} << 1;
    }
    void alreadyThere() {
        QFETCH(QString, change);
        QTemporaryDir source, target;
        put(name(source, "a.mp3"), "12345");
        const ExportOptions o = optionsFor(name(target).chopped(1));
        const EntryList list = listOf("a.mp3");
        QCOMPARE(exportAll(list, name(source).chopped(1), o).copied, 1);
        const QByteArray copy = name(target, "a.mp3");
        struct stat st;
        QCOMPARE(::stat(copy.constData(), &st), 0);
        const struct timespec keep[2] = {st.st_atim, st.st_mtim};
        if (change == "time") {
            const struct timespec later[2] = {{st.st_atim.tv_sec + 60, 0},
                                              {st.st_mtim.tv_sec + 60, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, name(source, "a.mp3").constData(), later, 0), 0);
        } else if (change == "size") {
            put(copy, "1234");
            QCOMPARE(::utimensat(AT_FDCWD, copy.constData(), keep, 0), 0);
        } else if (change == "folder") {
            QVERIFY(QFile::remove(QFile::decodeName(copy)));
            QVERIFY(QDir().mkdir(QFile::decodeName(copy)));
        }
        const ExportReport second = exportAll(list, name(source).chopped(1), o);
        QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
        QTEST(int(second.copied), "copied");
        QCOMPARE(int(second.alreadyThere), 1 - int(second.copied));
        QTEST(tree(name(target).chopped(1)), "after");
        const QByteArray named = testsupport::readFile(target.filePath("list.m3u8")).trimmed();
        QCOMPARE(testsupport::readFile(QFile::decodeName(name(target) + named)), "12345");
    }

    // Sources that cannot be copied are listed with the reason; the others are copied.
    void skipped_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << QByteArray("gone.mp3") << "the file is missing";
        QTest::newRow("FIFO") << QByteArray("fifo.mp3") << "a pipe (FIFO), not a file";
        QTest::newRow("folder") << QByteArray("dir.mp3") << "a folder, not a file";
        QTest::newRow("device") << QByteArray("/dev/null") << "a device, not a file";
        QTest::newRow("drive path") << QByteArray("C:\\a.mp3") << "not a file on this computer";
        QTest::newRow("zero byte") << QByteArray("file:///x%00.mp3") << "holds a zero byte";
    }
    void skipped() {
        QFETCH(QByteArray, entry);
        QFETCH(QString, why);
        QTemporaryDir source, target;
        QCOMPARE(::mkfifo(name(source, "fifo.mp3").constData(), 0600), 0);
        QVERIFY(QDir().mkdir(source.filePath("dir.mp3")));
        put(name(source, "ok.mp3"), "ok");
        // All in one folder: the device's folder would otherwise be the common one.
        ExportOptions o = optionsFor(name(target).chopped(1));
        o.keepFolders = false;
        const ExportReport report =
            exportAll(listOf("ok.mp3|" + entry + "|ok.mp3"), name(source).chopped(1), o);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(int(report.copied), 1);
        QCOMPARE(int(report.skipped), 1);
        QVERIFY2(report.skippedWhy.value(0).endsWith(why), qPrintable(report.skippedWhy.value(0)));
        QCOMPARE(testsupport::readFile(target.filePath("list.m3u8")), "ok.mp3\nok.mp3\n");
    }

    // A file on the target where a folder of the export should be: that file's copy is left
    // out, the others go.
    void fileInFolderPlace() {
        QTemporaryDir source, target;
        put(name(source, "rock/a.mp3"), "a");
        put(name(source, "pop/b.mp3"), "b");
        put(name(target, "rock"), "in the way");
        const ExportReport report =
            exportAll(listOf("rock/a.mp3|pop/b.mp3"), name(source).chopped(1),
                      optionsFor(name(target).chopped(1)));
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(int(report.copied), 1);
        QVERIFY2(report.skippedWhy.value(0).endsWith(": Not a directory"),
                 qPrintable(report.skippedWhy.value(0)));
        QCOMPARE(testsupport::readFile(target.filePath("list.m3u8")), "pop/b.mp3\n");
    }

    // Cancel keeps what was finished and leaves no half file, under any name.
    void cancel_data() {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<QByteArrayList>("left");
        QTest::newRow("inside the second file")
            << QByteArray("a.mp3|b.mp3") << QByteArrayList{"a.mp3"};
        QTest::newRow("inside the first file") << QByteArray("b.mp3") << QByteArrayList{};
    }
    void cancel() {
        QFETCH(QByteArray, entries);
        QTemporaryDir source, target;
        put(name(source, "a.mp3"), "small");
        put(name(source, "b.mp3"), QByteArray(20 << 20, 'b'));  // copied in several pieces
        std::atomic<bool> stop{false};
        const EntryList list = listOf(entries);
        auto progress = [&](qint64, qint64, qint64 bytesDone, qint64) {
            if (bytesDone > 5)
                stop = true;
        };
        const ExportReport report = exportAll(list, name(source).chopped(1),
                                              optionsFor(name(target).chopped(1)), progress, &stop);
        QVERIFY(report.cancelled);
        QTEST(tree(name(target).chopped(1)), "left");
    }

    // Nothing is copied when the space is not there; the message says how much is needed.
    void refused_data() {
        QTest::addColumn<qint64>("free");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("message");
        QTest::newRow("too little space")
            << qint64(3 << 20) << false << "Not enough space on %1: 4.0 MB needed, 3.0 MB free";
        QTest::newRow("just short") << qint64((4 << 20) + 3000) << false
                                    << "Not enough space on %1: 4.007 MB needed, 4.002 MB free";
        QTest::newRow("read-only")
            << qint64(1) << true << "Cannot export to %1: the file system is read-only";
    }
    void refused() {
        QFETCH(qint64, free);
        QFETCH(bool, readOnly);
        QTemporaryDir source, target;
        put(name(source, "a.mp3"), QByteArray(4 << 20, 'a'));
        put(name(source, "b.mp3"), QByteArray(8000, 'b'));
        ExportOptions o = optionsFor(name(target, "out"));
        o.freeSpace = [&](const QByteArray&) { return FreeSpace{free, 1, readOnly}; };
        const ExportReport report = exportAll(listOf("a.mp3|b.mp3"), name(source).chopped(1), o);
        QFETCH(QString, message);
        QCOMPARE(report.error, message.arg(target.filePath("out")));
        QCOMPARE(int(report.copied), 0);
        QVERIFY(tree(name(target).chopped(1)).isEmpty());
    }

    // The sources' own folder, or one inside it, as the target: no file is copied onto itself.
    void ontoItself_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("copied");
        QTest::addColumn<QByteArrayList>("after");
        QTest::newRow("the sources' folder")
            << QByteArray() << 0 << QByteArrayList{"a.mp3", "list.m3u8", "sub/", "sub/b.mp3"};
        QTest::newRow("a folder inside it")
            << QByteArray("out") << 2
            << QByteArrayList{"a.mp3",    "out/",          "out/a.mp3", "out/list.m3u8",
                              "out/sub/", "out/sub/b.mp3", "sub/",      "sub/b.mp3"};
    }
    void ontoItself() {
        QFETCH(QByteArray, target);
        QTemporaryDir dir;
        put(name(dir, "a.mp3"), "mine");
        put(name(dir, "sub/b.mp3"), "other");
        const ExportReport report = exportAll(listOf("a.mp3|sub/b.mp3"), name(dir).chopped(1),
                                              optionsFor(name(dir) + target));
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QTEST(int(report.copied), "copied");
        QCOMPARE(int(report.skipped), 2 - int(report.copied));
        if (report.skipped)
            QVERIFY(report.skippedWhy.value(0).contains("copied onto itself"));
        QCOMPARE(testsupport::readFile(dir.filePath("a.mp3")), "mine");
        QTEST(tree(name(dir).chopped(1)), "after");
    }

    // A source written to while it is copied is not passed off as copied.
    void changedWhileCopied_data() {
        QTest::addColumn<bool>("grow");
        QTest::newRow("grows") << true;
        QTest::newRow("shrinks") << false;
    }
    void changedWhileCopied() {
        QFETCH(bool, grow);
        QTemporaryDir source, target;
        const QByteArray file = name(source, "a.mp3");
        put(file, QByteArray(20 << 20, 'a'));
        // An hour old, so that the change shows in the time however coarse its clock.
        const struct timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, file.constData(), old, 0), 0);
        bool done = false;
        auto progress = [&](qint64, qint64, qint64 bytesDone, qint64) {
            if (bytesDone == 0 || done)
                return;
            done = true;
            if (grow) {
                QFile f(QFile::decodeName(file));
                QVERIFY(f.open(QIODevice::Append));
                f.write("more");
            } else {
                QCOMPARE(::truncate(file.constData(), 10 << 20), 0);
            }
        };
        const ExportReport report = exportAll(listOf("a.mp3"), name(source).chopped(1),
                                              optionsFor(name(target).chopped(1)), progress);
        QCOMPARE(int(report.copied), 0);
        QVERIFY2(report.skippedWhy.value(0).endsWith("the file changed while it was copied"),
                 qPrintable(report.skippedWhy.value(0)));
        QCOMPARE(tree(name(target).chopped(1)), QByteArrayList{"list.m3u8"});
    }

    // A file larger than the target takes (here the process's file size limit, as FAT's 4 GB
    // would be) is skipped; the files after it are still copied.
    void tooLarge() {
        QTemporaryDir source, target;
        put(name(source, "big.mp3"), QByteArray(3 << 20, 'x'));
        put(name(source, "small.mp3"), "small");
        struct rlimit old;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit low = old;
        low.rlim_cur = 1 << 20;
        ::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &low), 0);
        const ExportReport report = exportAll(listOf("big.mp3|small.mp3"), name(source).chopped(1),
                                              optionsFor(name(target).chopped(1)));
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(int(report.copied), 1);
        QVERIFY(report.skippedWhy.value(0).contains("too large for the file system"));
        QCOMPARE(tree(name(target).chopped(1)), (QByteArrayList{"list.m3u8", "small.mp3"}));
    }

    // A disk that fills up during the export: the file being copied goes, the finished stay.
    void diskFull() {
        QTemporaryDir source, target;
        if (::mount("tmpfs", name(target).constData(), "tmpfs", 0, "size=1m,mode=0755") != 0)
            QSKIP(
                "cannot mount a small tmpfs here (needs root); the refusal before copying is "
                "tested with the free space given");
        put(name(source, "a.mp3"), QByteArray(300 << 10, 'a'));
        put(name(source, "b.mp3"), QByteArray(2 << 20, 'b'));
        ExportOptions o = optionsFor(name(target).chopped(1));
        o.freeSpace = [](const QByteArray&) { return FreeSpace{}; };  // "does not say"
        const ExportReport report = exportAll(listOf("a.mp3|b.mp3"), name(source).chopped(1), o);
        const QByteArrayList left = tree(name(target).chopped(1));
        ::umount2(name(target).constData(), MNT_DETACH);
        QCOMPARE(report.error, QStringLiteral("Not enough space on %1: the export stopped at %2")
                                   .arg(target.path(), target.filePath("b.mp3")));
        QCOMPARE(int(report.copied), 1);
        QCOMPARE(left, QByteArrayList{"a.mp3"});
    }

    void targetNotWritable() {
        if (::geteuid() == 0)
            QSKIP("root may write anywhere");
        QTemporaryDir source, target;
        put(name(source, "a.mp3"), "a");
        QVERIFY(
            QFile::setPermissions(target.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const ExportReport report = exportAll(listOf("a.mp3"), name(source).chopped(1),
                                              optionsFor(name(target).chopped(1)));
        QFile::setPermissions(target.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
        QCOMPARE(
            report.error,
            QStringLiteral("Cannot write %1: Permission denied").arg(target.filePath("a.mp3")));
        QVERIFY(tree(name(target).chopped(1)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
