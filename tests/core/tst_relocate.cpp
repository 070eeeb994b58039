#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/playlist/FileIndex.h"
#include "core/playlist/Relocate.h"

using namespace cadrell;

namespace {

const std::atomic<bool> kGoOn{false};

// "$T" stands for the test's temporary folder.
QByteArray expand(QByteArray text, const QByteArray& root) {
    return text.replace("$T", root);
}

EntryList listOf(const QByteArray& lines, const QByteArray& root) {
    EntryList list;
    for (const QByteArray& line : lines.split('|'))
        list.append(expand(line, root));
    return list;
}

bool touch(const QByteArray& path) {
    QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::WriteOnly);
}

QByteArray reasonName(LocateReason reason) {
    switch (reason) {
        case LocateReason::MovedFolder:
            return "moved";
        case LocateReason::SameName:
            return "same";
        case LocateReason::SeveralFound:
            return "several";
        case LocateReason::NotFound:
            return "none";
        case LocateReason::NotMounted:
            return "unmounted";
        case LocateReason::CannotWrite:
            return "cannot";
    }
    return {};
}

std::vector<int> allRows(const EntryList& entries) {
    std::vector<int> rows;
    for (int i = 0; i < entries.size(); ++i)
        rows.push_back(i);
    return rows;
}

}  // namespace

class TestRelocate : public QObject {
    Q_OBJECT

private slots:
    void locate_data();
    void locate();
    void entryForm_data();
    void entryForm();
    void mountPoints_data();
    void mountPoints();
    void walkSkipsLoopsAndOddFiles();
    void unreadableFolder();
    void manyFilesOfOneName();
    void cancel();
};

void TestRelocate::locate_data() {
    QTest::addColumn<QByteArray>("files");    // made below $T/new
    QTest::addColumn<QByteArray>("entries");  // the playlist, in $T/pl
    // Per entry: reason, then the proposal below $T/new (or the candidate count).
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("mapping");  // the first mapping, "from>to"
    QTest::addColumn<QByteArray>("applied");  // the new texts of all proposed rows

    QTest::newRow("moved folder") << QByteArray("Music/a/1.mp3|Music/a/2.mp3|Music/b/3.mp3")
                                  << QByteArray(
                                         "/old/Music/a/1.mp3|/old/Music/a/2.mp3|"
                                         "/old/Music/b/3.mp3")
                                  << QByteArray(
                                         "moved Music/a/1.mp3|moved Music/a/2.mp3|"
                                         "moved Music/b/3.mp3")
                                  << QByteArray("/old/>$T/new/")
                                  << QByteArray(
                                         "$T/new/Music/a/1.mp3|$T/new/Music/a/2.mp3|"
                                         "$T/new/Music/b/3.mp3");
    QTest::newRow("windows names")
        << QByteArray("Music/a/1.mp3|Music/b/3.mp3")
        << QByteArray("C:\\Music\\a\\1.mp3|C:\\Music\\b\\3.mp3")
        << QByteArray("moved Music/a/1.mp3|moved Music/b/3.mp3") << QByteArray("C:\\>$T/new/")
        << QByteArray("$T/new/Music/a/1.mp3|$T/new/Music/b/3.mp3");
    QTest::newRow("folder renamed in case")
        << QByteArray("music/a/1.mp3|music/b/3.MP3")
        << QByteArray("/old/Music/a/1.mp3|/old/Music/b/3.mp3")
        << QByteArray("moved music/a/1.mp3|moved music/b/3.MP3")
        << QByteArray("/old/Music/>$T/new/music/")
        << QByteArray("$T/new/music/a/1.mp3|$T/new/music/b/3.MP3");
    // Two files of one folder found together in another: that folder was renamed.
    QTest::newRow("folder renamed") << QByteArray("Best of/1.mp3|Best of/2.mp3|x/1.mp3")
                                    << QByteArray("/old/Hits/1.mp3|/old/Hits/2.mp3")
                                    << QByteArray("moved Best of/1.mp3|moved Best of/2.mp3")
                                    << QByteArray("/old/Hits/>$T/new/Best of/")
                                    << QByteArray("$T/new/Best of/1.mp3|$T/new/Best of/2.mp3");
    // Two full copies of the tree: neither is the one the entries moved to.
    QTest::newRow("two copies") << QByteArray(
                                       "A/Music/1.mp3|A/Music/2.mp3|B/Music/1.mp3|"
                                       "B/Music/2.mp3")
                                << QByteArray("/old/Music/1.mp3|/old/Music/2.mp3")
                                << QByteArray("several 2|several 2") << QByteArray()
                                << QByteArray();
    QTest::newRow("one by name") << QByteArray("x/Song.MP3") << QByteArray("/gone/song.mp3")
                                 << QByteArray("same x/Song.MP3") << QByteArray()
                                 << QByteArray("$T/new/x/Song.MP3");
    QTest::newRow("more folders shared wins")
        << QByteArray("B/Other/t.mp3|A/Album/t.mp3|C/Album/Disc 1/t.mp3")
        << QByteArray("/gone/Artist/Album/t.mp3") << QByteArray("same A/Album/t.mp3")
        << QByteArray() << QByteArray("$T/new/A/Album/t.mp3");
    QTest::newRow("tie") << QByteArray("A/t.mp3|B/t.mp3") << QByteArray("/gone/t.mp3")
                         << QByteArray("several 2") << QByteArray() << QByteArray();
    QTest::newRow("tie at the top, not below")
        << QByteArray("A/Rock/t.mp3|B/Rock/t.mp3|C/t.mp3") << QByteArray("/gone/Rock/t.mp3")
        << QByteArray("several 3") << QByteArray() << QByteArray();
    QTest::newRow("extension breaks a tie")
        << QByteArray("A/t.MP3|B/t.mp3") << QByteArray("/gone/t.mp3") << QByteArray("same B/t.mp3")
        << QByteArray() << QByteArray("$T/new/B/t.mp3");
    QTest::newRow("not found") << QByteArray("A/t.mp3") << QByteArray("/gone/u.mp3")
                               << QByteArray("none") << QByteArray() << QByteArray();
    QTest::newRow("relative kept relative")
        << QByteArray("x/1.mp3|x/2.mp3|y/3.mp3")
        << QByteArray("../lost/1.mp3|..\\lost\\2.mp3|/abs/3.mp3|file:///gone/3.mp3")
        << QByteArray("moved x/1.mp3|moved x/2.mp3|same y/3.mp3|same y/3.mp3")
        << QByteArray("$T/lost/>$T/new/x/")
        << QByteArray("../new/x/1.mp3|../new/x/2.mp3|$T/new/y/3.mp3|file://$T/new/y/3.mp3");
    QTest::newRow("drive not mounted") << QByteArray("t.mp3") << QByteArray("$T/media/me/USB/t.mp3")
                                       << QByteArray("unmounted 1") << QByteArray() << QByteArray();
}

void TestRelocate::locate() {
    QFETCH(QByteArray, files);
    QFETCH(QByteArray, entries);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, mapping);
    QFETCH(QByteArray, applied);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (const QByteArray& f : files.split('|'))
        QVERIFY(touch(root + "/new/" + f));
    const EntryList list = listOf(entries, root);
    const FileIndex index = IndexFolders({root + "/new"}, true, kGoOn);
    MountTable mounts;
    mounts.roots = {{root + "/media", 2}};
    const LocateResult result =
        LocateMissing(list, allRows(list), root + "/pl", TextEncoding::Utf8, index, mounts, kGoOn);
    QByteArrayList got;
    std::vector<int> chosen;
    for (const LocateRow& row : result.rows) {
        QByteArray proposal = row.proposal;
        if (!proposal.isEmpty())
            proposal = proposal.sliced(root.size() + 5);
        else if (row.candidateCount > 0)
            proposal = QByteArray::number(row.candidateCount);
        got.append(reasonName(row.reason) + (proposal.isEmpty() ? "" : " " + proposal));
        QCOMPARE(row.ticked, !row.proposal.isEmpty());
        chosen.push_back(static_cast<int>(chosen.size()));
    }
    QCOMPARE(got.join('|'), expected);
    if (mapping.isEmpty()) {
        QVERIFY(result.mappings.empty());
    } else {
        QVERIFY(!result.mappings.empty());
        QCOMPARE(result.mappings[0].from + '>' + result.mappings[0].to, expand(mapping, root));
    }
    const EntryEdits edits = ApplyLocations(list, result, chosen, root + "/pl", TextEncoding::Utf8);
    QByteArrayList texts;
    for (qsizetype i = 0; i < edits.texts.size(); ++i)
        texts.append(edits.texts.bytes(i));
    QCOMPARE(texts.join('|'), expand(applied, root));
}

void TestRelocate::entryForm_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("expected");  // "-" when it cannot be written
    const int utf8 = static_cast<int>(TextEncoding::Utf8);
    const int ansi = static_cast<int>(TextEncoding::Windows1252);
    QTest::newRow("relative") << QByteArray("a/b.mp3") << QByteArray("/p/x/b.mp3") << utf8
                              << QByteArray("x/b.mp3");
    QTest::newRow("relative above")
        << QByteArray("b.mp3") << QByteArray("/q/b.mp3") << utf8 << QByteArray("../q/b.mp3");
    QTest::newRow("absolute") << QByteArray("/a/b.mp3") << QByteArray("/p/x/b.mp3") << utf8
                              << QByteArray("/p/x/b.mp3");
    QTest::newRow("drive") << QByteArray("D:\\a\\b.mp3") << QByteArray("/p/b.mp3") << utf8
                           << QByteArray("/p/b.mp3");
    QTest::newRow("file address") << QByteArray("file:///a/b.mp3") << QByteArray("/p/c d.mp3")
                                  << utf8 << QByteArray("file:///p/c%20d.mp3");
    QTest::newRow("windows-1252") << QByteArray("/a/b.mp3") << QByteArray("/p/caf\xc3\xa9.mp3")
                                  << ansi << QByteArray("/p/caf\xe9.mp3");
    QTest::newRow("not in windows-1252")
        << QByteArray("/a/b.mp3") << QByteArray("/p/\xe6\x97\xa5.mp3") << ansi << QByteArray("-");
    QTest::newRow("name not utf-8")
        << QByteArray("/a/b.mp3") << QByteArray("/p/caf\xe9.mp3") << utf8 << QByteArray("-");
    QTest::newRow("line break") << QByteArray("/a/b.mp3") << QByteArray("/p/a\nb.mp3") << utf8
                                << QByteArray("-");
}

void TestRelocate::entryForm() {
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, file);
    QFETCH(int, encoding);
    QFETCH(QByteArray, expected);
    const auto got = LocatedEntry(entry, file, "/p", static_cast<TextEncoding>(encoding));
    QCOMPARE(got.value_or("-"), expected);
}

void TestRelocate::mountPoints_data() {
    QTest::addColumn<QByteArray>("folders");  // made below $T
    QTest::addColumn<QByteArray>("mounted");  // mount points below $T
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("unmounted");
    QTest::newRow("drive folder missing")
        << QByteArray("media/me") << QByteArray() << QByteArray("media/me/USB/a/t.mp3") << true;
    QTest::newRow("drive folder empty")
        << QByteArray("media/me/USB") << QByteArray() << QByteArray("media/me/USB/t.mp3") << true;
    QTest::newRow("plain folder with files") << QByteArray("media/me/USB/other") << QByteArray()
                                             << QByteArray("media/me/USB/t.mp3") << false;
    QTest::newRow("mounted, file gone") << QByteArray("media/me/USB") << QByteArray("media/me/USB")
                                        << QByteArray("media/me/USB/t.mp3") << false;
    QTest::newRow("drive without user")
        << QByteArray("media") << QByteArray() << QByteArray("media/USB/t.mp3") << true;
    QTest::newRow("mounted without user") << QByteArray("media/USB") << QByteArray("media/USB")
                                          << QByteArray("media/USB/Music/t.mp3") << false;
    QTest::newRow("mnt") << QByteArray("mnt") << QByteArray() << QByteArray("mnt/disk/a/t.mp3")
                         << true;
    QTest::newRow("elsewhere") << QByteArray("home") << QByteArray() << QByteArray("home/t.mp3")
                               << false;
    QTest::newRow("the root's own files")
        << QByteArray("media") << QByteArray() << QByteArray("media/t.mp3") << false;
}

void TestRelocate::mountPoints() {
    QFETCH(QByteArray, folders);
    QFETCH(QByteArray, mounted);
    QFETCH(QByteArray, path);
    QFETCH(bool, unmounted);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(QDir().mkpath(QFile::decodeName(root + '/' + folders)));
    MountTable mounts;
    mounts.roots = {{root + "/media", 2}, {root + "/mnt", 1}};
    if (!mounted.isEmpty())
        mounts.points = {"/", root + '/' + mounted};
    QCOMPARE(mounts.unmounted(root + '/' + path), unmounted);
    // The mounts file writes a space in a name as \040.
    QCOMPARE(MountTable::parse("a / ext4 rw 0 0\nb /media/me/My\\040Disk vfat rw 0 0\n"),
             (std::vector<QByteArray>{"/", "/media/me/My Disk"}));
}

void TestRelocate::walkSkipsLoopsAndOddFiles() {
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(touch(root + "/a/f1.mp3"));
    QVERIFY(touch(root + "/b/c/f2.mp3"));
    QCOMPARE(::symlink(root.constData(), (root + "/a/loop").constData()), 0);
    QCOMPARE(::symlink("../a", (root + "/b/up").constData()), 0);
    QCOMPARE(::symlink("f1.mp3", (root + "/a/link.mp3").constData()), 0);
    QCOMPARE(::symlink("nowhere", (root + "/a/dangling.mp3").constData()), 0);
    QCOMPARE(::mkfifo((root + "/a/pipe.mp3").constData(), 0600), 0);
    // The root searched twice, and once below itself: each file is listed once.
    const FileIndex index = IndexFolders({root, root + "/a", root + "/"}, true, kGoOn);
    QByteArrayList names;
    for (quint32 f = 0; f < index.fileCount(); ++f)
        names.append(index.filePath(f).sliced(root.size()));
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (QByteArrayList{"/a/f1.mp3", "/a/link.mp3", "/b/c/f2.mp3"}));
    QCOMPARE(index.unreadableFolders, 0);
    QCOMPARE(index.find("F1.MP3").size(), size_t(1));
    // Without subfolders only the folder's own files.
    QCOMPARE(IndexFolders({root + "/a"}, false, kGoOn).fileCount(), 2);
    // A searched folder that is gone is one that could not be read.
    QCOMPARE(IndexFolders({root + "/gone"}, true, kGoOn).unreadableFolders, 1);
}

void TestRelocate::unreadableFolder() {
    if (::geteuid() == 0)
        QSKIP("root reads every folder; the unprivileged run covers this");
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(touch(root + "/open/f1.mp3"));
    QVERIFY(touch(root + "/locked/inner/f2.mp3"));
    QVERIFY(touch(root + "/z/f3.mp3"));
    QCOMPARE(::chmod((root + "/locked").constData(), 0), 0);
    const FileIndex index = IndexFolders({root}, true, kGoOn);
    ::chmod((root + "/locked").constData(), 0700);
    QCOMPARE(index.fileCount(), 2);
    QCOMPARE(index.unreadableFolders, 1);
    QCOMPARE(index.find("f3.mp3").size(), size_t(1));
}

void TestRelocate::manyFilesOfOneName() {
    // 200,000 files of one name, each in a folder of its own, with every folder of the same
    // name in half of them: each entry is one binary search away from its file, and entries
    // that share their best candidates share the work of ranking them.
    const int n = 200000;
    std::vector<QByteArray> files;
    files.reserve(n);
    for (int i = 0; i < n; ++i)
        files.push_back("/new/" + QByteArray::number(i) + (i % 2 ? "/x" : "") + "/track.mp3");
    const FileIndex index = IndexPaths(files);
    QCOMPARE(index.fileCount(), n);
    EntryList list;
    for (int i = 0; i < 2000; i += 2)
        list.append("/old/" + QByteArray::number(i) + "/track.mp3");
    for (int i = 0; i < 2000; ++i)
        list.append("/gone/x/track.mp3");
    const LocateResult r =
        LocateMissing(list, allRows(list), {}, TextEncoding::Utf8, index, MountTable{}, kGoOn);
    QCOMPARE(r.found, 1000);
    QCOMPARE(r.several, 2000);
    QCOMPARE(r.mappings.size(), size_t(1));
    QCOMPARE(r.mappings[0].from + '>' + r.mappings[0].to, QByteArray("/old/>/new/"));
    QCOMPARE(r.rows[4].proposal, QByteArray("/new/8/track.mp3"));
    const LocateRow& tied = r.rows.back();
    QCOMPARE(tied.candidateCount, n);
    QCOMPARE(tied.candidates.size(), LocateResult::kMaxCandidates);
    QVERIFY(tied.candidates[0].endsWith("/x/track.mp3"));
}

void TestRelocate::cancel() {
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (int i = 0; i < 200; ++i)
        QVERIFY(touch(root + '/' + QByteArray::number(i) + "/t.mp3"));
    std::atomic<bool> stop{false};
    qint64 lastFolders = 0;
    const FileIndex index = IndexFolders({root}, true, stop, [&](qint64 folders, qint64) {
        lastFolders = folders;
        stop = true;
    });
    QVERIFY(index.cancelled);
    QVERIFY(lastFolders > 0 && lastFolders < 201);
    QVERIFY(index.fileCount() < 200);
    EntryList list;
    list.append("/gone/t.mp3");
    const LocateResult r =
        LocateMissing(list, {0}, {}, TextEncoding::Utf8, index, MountTable{}, stop);
    QVERIFY(r.cancelled);
    QVERIFY(r.rows.empty());
}

QTEST_GUILESS_MAIN(TestRelocate)
#include "tst_relocate.moc"
