#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "core/platform/Error.h"
#include "core/playlist/Duplicates.h"
#include "core/playlist/Finder.h"
#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"
#include "core/playlist/PathTools.h"
#include "core/playlist/SortOrder.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

// Lines written "a|b|c", laid out as a file read from disk: one buffer, CR LF between entries,
// so searches run over the entries as they lie after a load.
EntryList listOf(const QByteArray& lines) {
    EntryList list;
    if (lines.isNull())
        return list;
    QByteArray buffer;
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    for (const QByteArray& line : lines.split('|')) {
        spans.emplace_back(buffer.size(), line.size());
        buffer += line + "\r\n";
    }
    list.adopt(buffer, spans);
    return list;
}

QByteArray reordered(const EntryList& list, const RowOrder& order) {
    QByteArrayList lines;
    for (int r : order)
        lines << list.bytes(r);
    return lines.join('|');
}

QByteArray joinedList(const EntryList& list) {
    QByteArrayList lines;
    for (qsizetype i = 0; i < list.size(); ++i)
        lines << list.bytes(i);
    return lines.join('|');
}

QByteArray withEdits(const EntryList& list, const EntryEdits& edits) {
    QByteArrayList lines;
    for (qsizetype i = 0; i < list.size(); ++i)
        lines << list.bytes(i);
    for (size_t k = 0; k < edits.rows.size(); ++k)
        lines[edits.rows[k]] = edits.texts.bytes(static_cast<qsizetype>(k));
    return lines.join('|');
}

}  // namespace

class TestTools : public QObject {
    Q_OBJECT
private slots:
    void items_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("layout");  // lead, items as first-entry-end, tail
        QTest::newRow("plain list") << QByteArray("a|b") << "0 0-0-1 1-1-2 2";
        QTest::newRow("header and EXTINF")
            << QByteArray("#EXTM3U|#EXTINF:1,A|a|#EXTINF:2,B|#EXTVLCOPT:x|b") << "1 1-2-3 3-5-6 6";
        QTest::newRow("blank lines follow the item before them")
            << QByteArray("#EXTM3U||#EXTINF:1,A|a||#EXTINF:2,B|b") << "2 2-3-5 5-6-7 7";
        QTest::newRow("blank cuts a directive off its entry")
            << QByteArray("a|#EXTINF:1,X||b") << "0 0-0-3 3-3-4 4";
        QTest::newRow("directives before the first entry")
            << QByteArray("#PLAYLIST:x||#EXTINF:1,A|a") << "2 2-3-4 4";
        QTest::newRow("file ends in directives")
            << QByteArray("a|b||#EXTINF:9,None|#X") << "0 0-0-1 1-1-3 3";
        QTest::newRow("header with attributes, no entries")
            << QByteArray("#EXTM3U url-tvg=\"x\"|#EXTINF:1,A") << "2 2";
        QTest::newRow("header only on the first line")
            << QByteArray("a|#EXTM3U|b") << "0 0-0-1 1-2-3 3";
    }
    void items() {
        QFETCH(QByteArray, lines);
        const ItemLayout layout = FindItems(listOf(lines));
        QStringList parts{QString::number(layout.lead)};
        for (const Item& item : layout.items)
            parts << QStringLiteral("%1-%2-%3").arg(item.first).arg(item.entry).arg(item.end);
        parts << QString::number(layout.tail);
        QTEST(parts.join(' '), "layout");
    }

    void order_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<std::vector<int>>("selected");
        QTest::addColumn<QByteArray>("result");
        const std::vector<int> none;
        QTest::newRow("natural, case-insensitive")
            << QByteArray("Track 10|track 2|Track 1|b") << "path" << none
            << QByteArray("b|Track 1|track 2|Track 10");
        QTest::newRow("stable for equal keys") << QByteArray("/x/B.mp3|/y/a.mp3|/z/b.mp3") << "file"
                                               << none << QByteArray("/y/a.mp3|/x/B.mp3|/z/b.mp3");
        QTest::newRow("items move whole, header and end stay")
            << QByteArray("#EXTM3U|#EXTINF:1,Zed|/m/a.mp3||#EXTINF:2,Abe|/m/b.mp3|#END") << "title"
            << none << QByteArray("#EXTM3U|#EXTINF:2,Abe|/m/b.mp3|#EXTINF:1,Zed|/m/a.mp3||#END");
        QTest::newRow("title falls back to the file name")
            << QByteArray("#EXTINF:1,b|/z/x.mp3|/q/a.mp3") << "title" << none
            << QByteArray("/q/a.mp3|#EXTINF:1,b|/z/x.mp3");
        QTest::newRow("only the selected items")
            << QByteArray("d|c|b|a") << "path" << std::vector<int>{0, 2} << QByteArray("b|c|d|a");
        QTest::newRow("one selected item sorts all")
            << QByteArray("d|c|b|a") << "path" << std::vector<int>{1} << QByteArray("a|b|c|d");
        QTest::newRow("reverse, selection by an EXTINF row")
            << QByteArray("#EXTINF:1,x|a|b|c") << "reverse" << std::vector<int>{0, 2}
            << QByteArray("b|#EXTINF:1,x|a|c");
    }
    void order() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, tool);
        QFETCH(std::vector<int>, selected);
        const EntryList list = listOf(lines);
        const RowOrder order = tool == "reverse" ? ReverseOrder(list, selected)
                               : tool == "path"  ? SortOrder(list, selected, SortKey::Path)
                               : tool == "file"  ? SortOrder(list, selected, SortKey::FileName)
                                                 : SortOrder(list, selected, SortKey::Title);
        QTEST(reordered(list, order), "result");
    }

    // Printable ASCII is sorted from weights read off the collator, other text by the collator;
    // a form that is not ASCII-based sends everything to the collator, which must agree.
    void sortAgreesWithCollator_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::newRow("numbers by value, leading zeros") << QByteArray(
            "a100|a99|a1000|a10|a9|a09|a009|a0|a00|a|a1b|a01a|10|9|0|00|007|7.5|7.10");
        QTest::newRow("case and spaces")
            << QByteArray("abc|ABC|Abc|a bc|ab c|abc |abc d|ABC D|a|A| a|b");
        QTest::newRow("punctuation") << QByteArray(
            "a-b|a_b|a.b|a,b|a;b|a!b|a?b|a'b|a\"b|a(b|a[b|a{b|a@b|a*b|a/b|a\\b|a&b|a#b|a%b|"
            "a`b|a^b|a+b|a<b|a=b|a>b|a|b|a~b|a$b|a0b|ab|aab|a b");
        QTest::newRow("paths") << QByteArray(
            "/m/Track 10.mp3|/m/track 2.mp3|/m/Track 2.MP3|C:\\m\\x.mp3|c:/m/x.mp3|"
            "http://h/1|http://h/01|../a.mp3|./a.mp3|a.mp3");
        QTest::newRow("numbers longer than the collator compares whole")
            << QByteArray(QByteArray(300, '1') + "a|" + QByteArray(299, '1') + "2|" +
                          QByteArray(300, '1') + "|1");
        QTest::newRow("other text among ASCII") << QByteArray(
            "e|\xc3\xa9|E|f|\xc3\xa9"
            "a|ea|z|\xc3\x96|o|p|a\x01|a|\t|!");
    }
    void sortAgreesWithCollator() {
        QFETCH(QByteArray, lines);
        const EntryList list = listOf(lines);
        TextForm collatorOnly;
        collatorOnly.decode = [](QByteArrayView e) { return QString::fromUtf8(e); };
        collatorOnly.asciiCompatible = false;
        QCOMPARE(reordered(list, SortOrder(list, {}, SortKey::Path)),
                 reordered(list, SortOrder(list, {}, SortKey::Path, collatorOnly)));
    }

    void shuffleKeepsEveryRow() {
        const EntryList list = listOf("#EXTM3U|#EXTINF:1,a|a|b|c|d|e|f|g|h");
        const RowOrder order = ShuffleOrder(list, {}, 7);
        QCOMPARE(order, ShuffleOrder(list, {}, 7));
        QCOMPARE(order[0], 0);
        std::vector<int> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        QVERIFY(IsIdentity(sorted));
        const auto extinf = std::find(order.begin(), order.end(), 1);
        QCOMPARE(*(extinf + 1), 2);
    }

    void duplicates_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("same text, first kept with its EXTINF")
            << QByteArray("#EXTINF:1,A|a.mp3|#EXTINF:2,A again|a.mp3|b.mp3")
            << QByteArray("#EXTINF:1,A|a.mp3|b.mp3");
        QTest::newRow("slashes alike")
            << QByteArray("music\\a.mp3|music/a.mp3") << QByteArray("music\\a.mp3");
        QTest::newRow("drive paths ignore case")
            << QByteArray("C:\\Music\\A.mp3|c:/music/a.MP3") << QByteArray("C:\\Music\\A.mp3");
        QTest::newRow("drive case folds letters only, long names")
            << QByteArray(
                   "C:\\Z@[AZ\\abcdefghijklmnop.mp3|c:/z`{az/ABCDEFGHIJKLMNOP.MP3|c:/z@[az/"
                   "ABCDEFGHIJKLMNOP.MP3")
            << QByteArray("C:\\Z@[AZ\\abcdefghijklmnop.mp3|c:/z`{az/ABCDEFGHIJKLMNOP.MP3");
        QTest::newRow("POSIX paths keep case")
            << QByteArray("/m/A.mp3|/m/a.mp3") << QByteArray("/m/A.mp3|/m/a.mp3");
        QTest::newRow("web addresses exact")
            << QByteArray("http://h/a\\b|http://h/a/b") << QByteArray("http://h/a\\b|http://h/a/b");
        QTest::newRow("blank lines and directives alone are no entries")
            << QByteArray("a||a||#X") << QByteArray("a|||#X");
    }
    void duplicates() {
        QFETCH(QByteArray, lines);
        const EntryList list = listOf(lines);
        const std::vector<int> rows = DuplicateRows(list);
        QByteArrayList kept;
        for (qsizetype i = 0; i < list.size(); ++i)
            if (!std::binary_search(rows.begin(), rows.end(), static_cast<int>(i)))
                kept << list.bytes(i);
        QTEST(kept.join('|'), "kept");
    }

    void paths_data() {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("absolute");
        QTest::addColumn<QByteArray>("relative");
        QTest::newRow("same folder") << QByteArray("/home/me/lists")
                                     << QByteArray("/home/me/lists/a.mp3") << QByteArray("a.mp3");
        QTest::newRow("below") << QByteArray("/home/me") << QByteArray("/home/me/Music/x/a.mp3")
                               << QByteArray("Music/x/a.mp3");
        QTest::newRow("up and over")
            << QByteArray("/home/me/lists") << QByteArray("/mnt/music/a b%20c.mp3")
            << QByteArray("../../../mnt/music/a b%20c.mp3");
        QTest::newRow("playlist at the root")
            << QByteArray("/") << QByteArray("/music/a.mp3") << QByteArray("music/a.mp3");
        QTest::newRow("folder with a final slash")
            << QByteArray("/home/me/") << QByteArray("/home/you/a.mp3")
            << QByteArray("../you/a.mp3");
    }
    void paths() {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, absolute);
        QFETCH(QByteArray, relative);
        QCOMPARE(RelativePath(absolute, folder), relative);
        QCOMPARE(AbsolutePath(relative, folder), absolute);
    }

    void pathsLeftAlone_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("web address") << QByteArray("http://host/a.mp3");
        QTest::newRow("drive") << QByteArray("C:\\Music\\a.mp3");
        QTest::newRow("UNC") << QByteArray("\\\\srv\\share\\a.mp3");
        QTest::newRow("directive") << QByteArray("#EXTINF:1,/x/a.mp3");
        QTest::newRow("other host") << QByteArray("file://srv/x/a.mp3");
        // Decoded, these would write lines of their own into the file.
        QTest::newRow("escaped line break")
            << QByteArray("file:///x/evil%0D%0A%23EXTINF:1,injected%0D%0A/etc/passwd.mp3");
        QTest::newRow("escaped line feed") << QByteArray("file:///x/a%0a.mp3");
        QTest::newRow("escaped zero byte") << QByteArray("file:///x/a%00.mp3");
    }
    void pathsLeftAlone() {
        QFETCH(QByteArray, entry);
        QVERIFY(RelativePath(entry, "/x").isEmpty());
        QVERIFY(AbsolutePath(entry, "/x").isEmpty());
    }

    void pathCommands() {
        const EntryList list = listOf("#EXTM3U|file:///m/a%20b.mp3|/m/c.mp3|../d.mp3|http://h/e");
        QCOMPARE(withEdits(list, MakeRelative(list, {}, "/m/lists")),
                 QByteArray("#EXTM3U|../a b.mp3|../c.mp3|../d.mp3|http://h/e"));
        QCOMPARE(withEdits(list, MakeAbsolute(list, {1, 3}, "/m/lists")),
                 QByteArray("#EXTM3U|file:///m/a%20b.mp3|/m/c.mp3|/m/d.mp3|http://h/e"));
        QVERIFY_THROWS_EXCEPTION(Error, MakeRelative(list, {}, ""));
        // The host name is no more case-sensitive than the scheme.
        QCOMPARE(RelativePath("FILE://LOCALHOST/m/a.mp3", "/m/lists"), QByteArray("../a.mp3"));
        // An entry that would split is left as it was and not counted as changed.
        const EntryList hostile = listOf("file:///m/a%0Ab.mp3|/m/c.mp3");
        QCOMPARE(MakeRelative(hostile, {}, "/m").rows, std::vector<int>{1});
    }

    // Relative entries moved between playlists in different folders keep naming their files.
    void rebase_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray kinds(
            "#EXTINF:1,x|../Sigur R\xC3\xB3s/a.flac|/abs/b.mp3|http://h/c|C:\\d.mp3|"
            "e.mp3|./f.mp3");
        QTest::newRow("into a sibling folder")
            << QByteArray("/m/Playlists") << QByteArray("/m/Other") << kinds
            << QByteArray(
                   "#EXTINF:1,x|../Sigur R\xC3\xB3s/a.flac|/abs/b.mp3|http://h/c|"
                   "C:\\d.mp3|../Playlists/e.mp3|../Playlists/f.mp3");
        QTest::newRow("into an untitled playlist: absolute")
            << QByteArray("/m/Playlists") << QByteArray() << kinds
            << QByteArray(
                   "#EXTINF:1,x|/m/Sigur R\xC3\xB3s/a.flac|/abs/b.mp3|http://h/c|C:\\d.mp3|"
                   "/m/Playlists/e.mp3|/m/Playlists/f.mp3");
        QTest::newRow("from an untitled playlist: as written")
            << QByteArray() << QByteArray("/m") << kinds << kinds;
        QTest::newRow("same folder: as written")
            << QByteArray("/m/Playlists") << QByteArray("/m/Playlists/")
            << QByteArray("../a.mp3|b.mp3") << QByteArray("../a.mp3|b.mp3");
        QTest::newRow("up past the root and into another tree")
            << QByteArray("/a") << QByteArray("/x/y/z") << QByteArray("../../../q.mp3")
            << QByteArray("../../../q.mp3");
    }
    void rebase() {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const EntryList list = listOf(before);
        QCOMPARE(joinedList(RebasedEntries(list, from, to)), after);
        QCOMPARE(withEdits(list, RebaseRelative(list, from, to)), after);
    }

    void find_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<std::vector<int>>("rows");
        const QByteArray list("/Music/Abba.mp3|/music/abba two.mp3|x|Ünïcode Song|ab\xff");
        QTest::newRow("plain, any case")
            << list << "ABBA" << false << false << std::vector<int>{0, 1};
        QTest::newRow("plain, case") << list << "abba" << true << false << std::vector<int>{1};
        QTest::newRow("not across a line end")
            << list << "mp3x" << false << false << std::vector<int>{};
        QTest::newRow("UTF-8 as bytes") << list << "Ünï" << true << false << std::vector<int>{3};
        QTest::newRow("UTF-8 any case") << list << "üNÏ" << false << false << std::vector<int>{3};
        QTest::newRow("undecodable shown as a symbol")
            << list << QStringLiteral(u"ab\uFFFD") << true << false << std::vector<int>{4};
        QTest::newRow("regular expression")
            << list << "^/music/a.*\\.MP3$" << false << true << std::vector<int>{0, 1};
        QTest::newRow("needle longer than entries")
            << QByteArray("ab|cd") << "abcdefghijklmnopqrstuvwxyz" << false << false
            << std::vector<int>{};
        QTest::newRow("many matches in one long run")
            << QByteArray("xa|a|ba|c|aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa|d|A") << "a" << false
            << false << std::vector<int>{0, 1, 2, 4, 6};
        QTest::newRow("empty finds nothing") << list << "" << false << false << std::vector<int>{};
    }
    void find() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, text);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        QTEST(FindAll(listOf(lines), FindOptions{text, matchCase, regex}), "rows");
    }

    void replace_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<int>("changed");
        const QByteArray music("#EXTINF:1,old|/home/old/Music/a.mp3|/home/OLD/Music/b.mp3|c.mp3");
        QTest::newRow("moved music folder")
            << music << "/home/old/Music"
            << "/mnt/music" << false
            << QByteArray("#EXTINF:1,old|/mnt/music/a.mp3|/mnt/music/b.mp3|c.mp3") << 2;
        QTest::newRow("every match in a row") << QByteArray("a-a-a|b") << "a"
                                              << "xy" << false << QByteArray("xy-xy-xy|b") << 1;
        QTest::newRow("groups with backslash")
            << QByteArray("Artist - Title.mp3|none") << "^(.*) - (.*)\\.mp3$"
            << "\\2 (\\1).mp3" << true << QByteArray("Title (Artist).mp3|none") << 1;
        QTest::newRow("groups with dollar") << QByteArray("Track 7.mp3") << "Track (\\d+)"
                                            << "$1 $$" << true << QByteArray("7 $.mp3") << 1;
        QTest::newRow("zero bytes kept through a decoded replace")
            << QByteArray("x\0y", 3) << "y$"
            << "z" << true << QByteArray("x\0z", 3) << 1;
        QTest::newRow("bytes that are no UTF-8 are not rewritten by a decoded replace")
            << QByteArray("/m/caf\xE9.mp3|/m/b.mp3") << "mp3$"
            << "ogg" << true << QByteArray("/m/caf\xE9.mp3|/m/b.ogg") << 1;
        QTest::newRow("replaced by the same text is no change")
            << QByteArray("abc") << "b"
            << "b" << false << QByteArray("abc") << 0;
    }
    void replace() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, text);
        QFETCH(QString, with);
        QFETCH(bool, regex);
        const EntryList list = listOf(lines);
        const EntryEdits edits = ReplaceAll(list, nullptr, FindOptions{text, false, regex}, with);
        QTEST(withEdits(list, edits), "result");
        QTEST(static_cast<int>(edits.rows.size()), "changed");
    }

    void replaceInSelectedRows() {
        const EntryList list = listOf("a|a|a");
        const std::vector<int> rows{0, 2};
        QCOMPARE(withEdits(list, ReplaceAll(list, &rows, FindOptions{"a", true, false}, "b")),
                 QByteArray("b|a|b"));
        QVERIFY_THROWS_EXCEPTION(Error,
                                 ReplaceAll(list, nullptr, FindOptions{"(", true, true}, ""));
    }

    void missingFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray root = QFile::encodeName(dir.path());
        QVERIFY(QDir(dir.path()).mkpath("lists"));
        QVERIFY(QDir(dir.path()).mkpath("music"));
        // Enough files that the folder is read as a whole rather than asked about one by one.
        for (int i = 0; i < 20; ++i) {
            QFile f(dir.filePath(QStringLiteral("music/%1 song.mp3").arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(dir.filePath("music/nowhere"), dir.filePath("music/dangling.mp3")));
        QVERIFY(QFile::link(dir.filePath("music/0 song.mp3"), dir.filePath("music/link.mp3")));
        std::vector<QByteArray> entries{"#EXTM3U",
                                        "#EXTINF:1,x",
                                        root + "/music/3 song.mp3",
                                        root + "/music/99 song.mp3",
                                        "../music/5 song.mp3",
                                        "../music/gone.mp3",
                                        "file://" + root + "/music/7%20song.mp3",
                                        "file://" + root + "/music/7%20gone.mp3",
                                        "C:\\a.mp3",
                                        "\\\\srv\\a.mp3",
                                        "http://h/a.mp3",
                                        "",
                                        root + "/music/dangling.mp3",
                                        root + "/music/link.mp3",
                                        root + "/nofolder/a.mp3"};
        for (int i = 8; i < 20; ++i)
            entries.push_back(root + "/music/" + QByteArray::number(i) + " song.mp3");
        qsizetype lastDone = -1;
        const MissingFiles result = FindMissingFiles(
            entries, root + "/lists", [&](qsizetype done, qsizetype) { lastDone = done; });
        QCOMPARE(result.missing, (std::vector<int>{3, 5, 7, 12, 14}));
        QCOMPARE(result.present, qsizetype(4 + 12));
        QCOMPARE(result.notChecked, qsizetype(3));
        QCOMPARE(lastDone, qsizetype(21));
        QVERIFY(!result.cancelled);

        // "%00" would leave only the name before it to ask about: not checked at all.
        const MissingFiles zero =
            FindMissingFiles({"file://" + root + "/music/3%20song.mp3%00.gone"}, root);
        QCOMPARE(zero.notChecked, qsizetype(1));
        QCOMPARE(zero.present, qsizetype(0));

        const MissingFiles untitled = FindMissingFiles({"a.mp3", "/x/y"}, {});
        QCOMPARE(untitled.notChecked, qsizetype(1));
        QCOMPARE(untitled.missing, std::vector<int>{1});

        std::atomic<bool> cancel{true};
        QVERIFY(FindMissingFiles(entries, root, {}, &cancel).cancelled);
    }

    // A file the system will not tell about is not missing: it is counted apart, with the reason.
    void missingFilesBehindAClosedFolder() {
        if (::geteuid() == 0)
            QSKIP("root enters every folder; the unprivileged run checks this");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray root = QFile::encodeName(dir.path());
        QVERIFY(QDir(dir.path()).mkpath("closed"));
        QVERIFY(QFile(dir.filePath("closed/a.mp3")).open(QIODevice::WriteOnly));
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), QFileDevice::ReadOwner));
        const MissingFiles result = FindMissingFiles(
            {root + "/closed/a.mp3", root + "/closed/b.mp3", root + "/gone.mp3"}, root);
        QFile::setPermissions(dir.filePath("closed"), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner);
        QCOMPARE(result.missing, std::vector<int>{2});
        QCOMPARE(result.unreachable, qsizetype(2));
        QCOMPARE(result.unreachableError, EACCES);
        QCOMPARE(MissingFilesMessage(result),
                 QStringLiteral("1 missing, 2 not checked (2 could not be checked: %1)")
                     .arg(QString::fromLocal8Bit(std::strerror(EACCES))));
    }
};

QTEST_GUILESS_MAIN(TestTools)
#include "tst_tools.moc"
