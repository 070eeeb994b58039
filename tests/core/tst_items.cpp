#include <QtTest>

#include <random>

#include "core/platform/Error.h"
#include "core/playlist/Extinf.h"
#include "core/playlist/Finder.h"
#include "core/playlist/ItemTable.h"
#include "core/playlist/MissingMarks.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/Reorder.h"
#include "core/playlist/SortOrder.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::entriesOf;
using testsupport::joined;

namespace {

QByteArray reordered(const EntryList& entries, const RowOrder& order) {
    QByteArrayList out;
    for (int row : order)
        out << entries.at(row).toByteArray();
    return out.join('|');
}

const QByteArray kIptv =
    "#EXTM3U x-tvg-url=\"e.xml\"|"
    "#EXTINF:-1 tvg-id=\"b.al\" group-title=\"Albania\",Beta|http://s/b|"
    "#EXTINF:-1 tvg-id=\"a.ua\" group-title=\"News, UA\",Alpha|http://s/a|"
    "#EXTINF:125,Gamma|#EXTGRP:Music|/m/g.mp3|"
    "/m/plain.mp3|"
    "#EXT-X-ENDLIST";

}  // namespace

class TestItems : public QObject {
    Q_OBJECT

    QByteArray s_list;

private slots:
    void parsesExtinf_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QByteArray>("logo");
        QTest::addColumn<qint64>("seconds");  // -2: none
        QTest::newRow("quoted") << QByteArray(
                                       "#EXTINF:-1 tvg-logo=\"http://l/x.png\" "
                                       "group-title=\"News\",1+1 Int")
                                << QByteArray("1+1 Int") << QByteArray("News")
                                << QByteArray("http://l/x.png") << qint64(-2);
        QTest::newRow("comma in quotes")
            << QByteArray("#EXTINF:0 group-title=\"A, B\",T, too") << QByteArray("T, too")
            << QByteArray("A, B") << QByteArray() << qint64(0);
        QTest::newRow("unquoted") << QByteArray("#EXTINF:12 group-title=Kids tvg-logo=x,Title")
                                  << QByteArray("Title") << QByteArray("Kids") << QByteArray("x")
                                  << qint64(12);
        QTest::newRow("tabs") << QByteArray("#EXTINF:\t7.6\tgroup-title=\"G\"\t,\tTabbed\t")
                              << QByteArray("Tabbed") << QByteArray("G") << QByteArray()
                              << qint64(8);
        QTest::newRow("no comma") << QByteArray("#EXTINF:-1 group-title=\"G\"") << QByteArray()
                                  << QByteArray("G") << QByteArray() << qint64(-2);
        QTest::newRow("no length")
            << QByteArray("#EXTINF:,Just a title") << QByteArray("Just a title") << QByteArray()
            << QByteArray() << qint64(-2);
        QTest::newRow("fraction rounds") << QByteArray("#EXTINF:12.5,t") << QByteArray("t")
                                         << QByteArray() << QByteArray() << qint64(13);
        QTest::newRow("negative") << QByteArray("#EXTINF:-0.5,t") << QByteArray("t") << QByteArray()
                                  << QByteArray() << qint64(-2);
        QTest::newRow("name case") << QByteArray("#EXTINF:3 Group-Title=\"g\",t") << QByteArray("t")
                                   << QByteArray("g") << QByteArray() << qint64(3);
    }
    void parsesExtinf() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, group);
        QFETCH(QByteArray, logo);
        QFETCH(qint64, seconds);
        const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
        QVERIFY(parts);
        QCOMPARE(parts->title.in(line).toByteArray(), title);
        QCOMPARE(ExtinfAttributeValue(line, "group-title").toByteArray(), group);
        QCOMPARE(ExtinfAttributeValue(line, "tvg-logo").toByteArray(), logo);
        const std::optional<qint64> s = ExtinfSeconds(line);
        QCOMPARE(s ? *s : -2, seconds);
    }

    // Every byte but those of the part edited stays as the file had it.
    void editsOnePart_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray iptv = "#EXTINF:-1  tvg-id=1Plus1.ua tvg-logo=\"http://l\"  ,  Old  ";
        QTest::newRow("title") << iptv << QByteArray("title") << QByteArray("New, name")
                               << QByteArray(
                                      "#EXTINF:-1  tvg-id=1Plus1.ua tvg-logo=\"http://l\"  ,  "
                                      "New, name  ");
        QTest::newRow("title added") << QByteArray("#EXTINF:5") << QByteArray("title")
                                     << QByteArray("T") << QByteArray("#EXTINF:5,T");
        QTest::newRow("length") << iptv << QByteArray("length") << QByteArray("187")
                                << QByteArray(
                                       "#EXTINF:187  tvg-id=1Plus1.ua tvg-logo=\"http://l\"  ,  "
                                       "Old  ");
        QTest::newRow("quoted value") << iptv << QByteArray("tvg-logo") << QByteArray("x y")
                                      << QByteArray(
                                             "#EXTINF:-1  tvg-id=1Plus1.ua tvg-logo=\"x y\"  ,  "
                                             "Old  ");
        QTest::newRow("bare value needing quotes")
            << iptv << QByteArray("tvg-id") << QByteArray("a,b")
            << QByteArray("#EXTINF:-1  tvg-id=\"a,b\" tvg-logo=\"http://l\"  ,  Old  ");
        QTest::newRow("attribute added")
            << iptv << QByteArray("group-title") << QByteArray("News")
            << QByteArray(
                   "#EXTINF:-1  tvg-id=1Plus1.ua tvg-logo=\"http://l\" group-title=\"News\"  ,  "
                   "Old  ");
        QTest::newRow("attribute added, no others")
            << QByteArray("#EXTINF:-1,T") << QByteArray("tvg-id") << QByteArray("x")
            << QByteArray("#EXTINF:-1 tvg-id=\"x\",T");
    }
    void editsOnePart() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, part);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, expected);
        const QByteArray edited = part == "title"    ? ExtinfWithTitle(line, value)
                                  : part == "length" ? ExtinfWithDuration(line, value)
                                                     : ExtinfWithAttribute(line, part, value);
        QCOMPARE(edited, expected);
    }

    void refusesAQuoteInAValue() {
        QVERIFY_THROWS_EXCEPTION(Error, ExtinfWithAttribute("#EXTINF:-1,T", "a", "x\"y"));
    }

    void durations_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("seconds");  // -2: refused
        QTest::addColumn<QString>("shown");
        QTest::newRow("m:ss") << "3:07" << qint64(187) << "3:07";
        QTest::newRow("h:mm:ss") << "1:02:03" << qint64(3723) << "1:02:03";
        QTest::newRow("seconds") << "59" << qint64(59) << "0:59";
        QTest::newRow("empty") << "" << qint64(-1) << "";
        QTest::newRow("bad seconds") << "3:7" << qint64(-2) << "";
        QTest::newRow("too many") << "1:2:3:4" << qint64(-2) << "";
        QTest::newRow("letters") << "abc" << qint64(-2) << "";
    }
    void durations() {
        QFETCH(QString, typed);
        QFETCH(qint64, seconds);
        QFETCH(QString, shown);
        const std::optional<qint64> parsed = ParseDurationText(typed);
        QCOMPARE(parsed ? *parsed : -2, seconds);
        if (seconds >= 0)
            QCOMPARE(FormatDuration(seconds), shown);
        QCOMPARE(FormatTotalDuration(11520), QStringLiteral("3 h 12 min"));
    }

    // Every line belongs to exactly one row, and rows map back to all of their lines.
    void tableCoversEveryLine() {
        const EntryList entries = entriesOf(kIptv);
        ItemTable table;
        table.rebuild(entries);
        QCOMPARE(table.rowCount(), 1 + 4 + 1);
        QCOMPARE(table.itemOfRow(0), -1);
        QCOMPARE(table.itemOfRow(5), -1);
        std::vector<int> all;
        for (int row = 0; row < table.rowCount(); ++row)
            for (int line = table.firstLine(row); line < table.endLine(row); ++line) {
                QCOMPARE(table.rowOfLine(line), row);
                all.push_back(line);
            }
        QCOMPARE(static_cast<qsizetype>(all.size()), entries.size());
        QCOMPARE(table.linesOfRows({2}), std::vector<int>({3, 4}));
        QCOMPARE(table.rowsOfLines({4, 5, 7}), std::vector<int>({2, 3}));
        QCOMPARE(table.totalSeconds(), qint64(125));
        // Nothing goes among the header lines, and the lines after the last item stay last.
        QCOMPARE(table.insertionLine(0), 1);
        QCOMPARE(table.insertionLine(5), 9);
        QCOMPARE(table.insertionLine(-1), 9);
    }

    // The table finds the items FindItems finds, from the lines' kinds alone, and adds up the
    // lengths of each item's first #EXTINF line.
    void tableMatchesFindItems() {
        const QByteArray kinds[] = {"#EXTM3U",   "#EXTINF:5,a", "#EXTINF:-1,b",
                                    "#EXTINF:x", "#EXTGRP:g",   "",
                                    " \t",       "/m/a.mp3",    "http://s/1"};
        std::mt19937 random(11);
        for (int round = 0; round < 300; ++round) {
            EntryList entries;
            const int n = static_cast<int>(random() % 14);
            for (int k = 0; k < n; ++k)
                entries.append(kinds[random() % std::size(kinds)]);
            const ItemLayout layout = FindItems(entries);
            ItemTable table;
            table.rebuild(entries);
            QCOMPARE(table.itemCount(), static_cast<int>(layout.items.size()));
            QCOMPARE(table.lead(), layout.lead);
            QCOMPARE(table.tail(), layout.tail);
            qint64 total = 0;
            qsizetype timed = 0;
            for (int i = 0; i < table.itemCount(); ++i) {
                const Item want = layout.items[static_cast<size_t>(i)];
                const Item got = table.item(i);
                QVERIFY2(got.first == want.first && got.entry == want.entry && got.end == want.end,
                         qPrintable(joined(entries)));
                if (const std::optional<qint64> s = ItemSeconds(entries, want)) {
                    total += *s;
                    ++timed;
                }
            }
            QCOMPARE(table.totalSeconds(), total);
            QCOMPARE(table.timedItems(), timed);
            // Rows of some of the lines, found without a search for most of them.
            std::vector<int> lines;
            std::vector<int> want;
            for (int line = 0; line < n; ++line) {
                if (random() % 2)
                    continue;
                lines.push_back(line);
                if (want.empty() || want.back() != table.rowOfLine(line))
                    want.push_back(table.rowOfLine(line));
            }
            QCOMPARE(table.rowsOfLines(lines), want);
        }
    }

    void cellsOfItems() {
        const EntryList entries = entriesOf(kIptv);
        const ItemLayout layout = FindItems(entries);
        QCOMPARE(ItemGroup(entries, layout.items[1]).toByteArray(), QByteArray("News, UA"));
        QCOMPARE(ItemGroup(entries, layout.items[2]).toByteArray(), QByteArray("Music"));
        QCOMPARE(ItemCell(entries, layout.items[3], ItemColumn::Title).toByteArray(),
                 QByteArray("plain.mp3"));
        QCOMPARE(ItemFolder(entries, layout.items[3]).toByteArray(), QByteArray("/m/"));
        QCOMPARE(AttributeNames(entries, layout), std::vector<QByteArray>({"tvg-id"}));
    }

    void editsCells_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("expected");
        const int title = int(ItemColumn::Title), group = int(ItemColumn::Group),
                  length = int(ItemColumn::Duration), file = int(ItemColumn::File),
                  folder = int(ItemColumn::Folder);
        QTest::newRow("group attribute")
            << 0 << group << QByteArray("Kosovo")
            << QByteArray("#EXTINF:-1 tvg-id=\"b.al\" group-title=\"Kosovo\",Beta|http://s/b");
        QTest::newRow("EXTGRP line") << 2 << group << QByteArray("Jazz")
                                     << QByteArray("#EXTINF:125,Gamma|#EXTGRP:Jazz|/m/g.mp3");
        QTest::newRow("title gets a line")
            << 3 << title << QByteArray("Plain") << QByteArray("#EXTINF:-1,Plain|/m/plain.mp3");
        QTest::newRow("length gets a line")
            << 3 << length << QByteArray("1:00") << QByteArray("#EXTINF:60,|/m/plain.mp3");
        QTest::newRow("group gets a line")
            << 3 << group << QByteArray("G") << QByteArray("#EXTGRP:G|/m/plain.mp3");
        QTest::newRow("file") << 3 << file << QByteArray("other.ogg") << QByteArray("/m/other.ogg");
        QTest::newRow("folder") << 3 << folder << QByteArray("/n") << QByteArray("/n/plain.mp3");
    }
    void editsCells() {
        QFETCH(int, item);
        QFETCH(int, column);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, expected);
        EntryList entries = entriesOf(kIptv);
        const ItemLayout layout = FindItems(entries);
        const Item it = layout.items[static_cast<size_t>(item)];
        Change change =
            EditItemCell(entries, it, static_cast<ItemColumn>(column), QByteArray(), value);
        const Change undo = std::move(change).apply(entries);
        const ItemLayout after = FindItems(entries);
        const Item edited = after.items[static_cast<size_t>(item)];
        QByteArrayList lines;
        for (int r = edited.first; r <= edited.entry; ++r)
            lines << entries.at(r).toByteArray();
        QCOMPARE(lines.join('|'), expected);
        QCOMPARE(after.items.size(), layout.items.size());
        Change back = undo;
        std::move(back).apply(entries);
        QCOMPARE(joined(entries), kIptv);
    }

    void editOfNothingIsNoChange() {
        const EntryList entries = entriesOf(kIptv);
        const ItemLayout layout = FindItems(entries);
        QVERIFY(EditItemCell(entries, layout.items[0], ItemColumn::Title, {}, "Beta").isEmpty());
        QVERIFY(EditItemCell(entries, layout.items[0], ItemColumn::Duration, {}, "").isEmpty());
        QVERIFY(EditItemCell(entries, layout.items[3], ItemColumn::Group, {}, "").isEmpty());
        QVERIFY_THROWS_EXCEPTION(
            Error, EditItemCell(entries, layout.items[0], ItemColumn::Duration, {}, "soon"));
    }

    void sortsByColumn_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QByteArray>("entries");  // the media entries in their new order
        QTest::newRow("title") << int(ItemColumn::Title) << false
                               << QByteArray("http://s/a|http://s/b|/m/g.mp3|/m/plain.mp3");
        QTest::newRow("title descending")
            << int(ItemColumn::Title) << true
            << QByteArray("/m/plain.mp3|/m/g.mp3|http://s/b|http://s/a");
        QTest::newRow("group") << int(ItemColumn::Group) << false
                               << QByteArray("/m/plain.mp3|http://s/b|/m/g.mp3|http://s/a");
        QTest::newRow("duration, unknown last")
            << int(ItemColumn::Duration) << false
            << QByteArray("/m/g.mp3|http://s/b|http://s/a|/m/plain.mp3");
        QTest::newRow("number descending")
            << int(ItemColumn::Number) << true
            << QByteArray("/m/plain.mp3|/m/g.mp3|http://s/a|http://s/b");
    }
    void sortsByColumn() {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QByteArray, entries);
        const EntryList list = entriesOf(kIptv);
        const RowOrder order = SortByColumn(list, static_cast<ItemColumn>(column), {}, descending);
        const QByteArray all = reordered(list, order);
        // Header and trailing lines stay; every #EXTINF line stays above its own entry.
        QVERIFY(all.startsWith("#EXTM3U"));
        QVERIFY(all.endsWith("#EXT-X-ENDLIST"));
        QVERIFY(all.contains("Alpha|http://s/a"));
        QVERIFY(all.contains("Beta|http://s/b"));
        QVERIFY(all.contains("Gamma|#EXTGRP:Music|/m/g.mp3"));
        QByteArrayList media;
        for (const QByteArray& line : all.split('|'))
            if (!line.startsWith('#'))
                media << line;
        QCOMPARE(media.join('|'), entries);
    }

    // Find and Replace limited to one column read and change only that part of a line.
    void looksInOneColumn_data() {
        QTest::addColumn<int>("part");
        QTest::addColumn<QByteArray>("attribute");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("with");
        QTest::addColumn<std::vector<int>>("found");
        QTest::addColumn<QByteArray>("replaced");  // the lines that changed, in order
        const QByteArray list =
            "#EXTM3U|#EXTINF:-1 group-title=\"Albania\",Albania Today|http://s/albania|"
            "#EXTINF:5 tvg-id=alb,News|#EXTGRP:Albania|/m/a.mp3";
        QTest::newRow("group") << int(LookIn::Group) << QByteArray() << "Albania"
                               << "Kosovo" << std::vector<int>{1, 4}
                               << QByteArray(
                                      "#EXTINF:-1 group-title=\"Kosovo\",Albania Today|"
                                      "#EXTGRP:Kosovo");
        QTest::newRow("title") << int(LookIn::Title) << QByteArray() << "albania"
                               << "Tirana" << std::vector<int>{1}
                               << QByteArray("#EXTINF:-1 group-title=\"Albania\",Tirana Today");
        QTest::newRow("path") << int(LookIn::Path) << QByteArray() << "albania"
                              << "tirana" << std::vector<int>{2} << QByteArray("http://s/tirana");
        QTest::newRow("attribute")
            << int(LookIn::Attribute) << QByteArray("tvg-id") << "alb"
            << "al" << std::vector<int>{3} << QByteArray("#EXTINF:5 tvg-id=al,News");
        // An unquoted value given a space would end early: that line is left alone.
        QTest::newRow("unquoted value kept whole")
            << int(LookIn::Attribute) << QByteArray("tvg-id") << "alb"
            << "a b" << std::vector<int>{3} << QByteArray();
        QTest::newRow("all") << int(LookIn::All) << QByteArray() << "Albania"
                             << "X" << std::vector<int>{1, 2, 4}
                             << QByteArray(
                                    "#EXTINF:-1 group-title=\"X\",X Today|http://s/X|"
                                    "#EXTGRP:X");
        s_list = list;
    }
    void looksInOneColumn() {
        QFETCH(int, part);
        QFETCH(QByteArray, attribute);
        QFETCH(QString, text);
        QFETCH(QString, with);
        QFETCH(std::vector<int>, found);
        QFETCH(QByteArray, replaced);
        const EntryList entries = entriesOf(s_list);
        FindOptions options;
        options.text = text;
        options.lookIn = {static_cast<LookIn::Part>(part), attribute};
        QCOMPARE(FindAll(entries, options), found);
        const EntryEdits edits = ReplaceAll(entries, nullptr, options, with);
        QCOMPARE(joined(edits.texts), replaced);
    }

    // Only texts not looked up before go to the disk; a moved entry keeps its mark.
    void missingMarksLookUp() {
        QTemporaryDir dir;
        QFile(dir.filePath("here.mp3")).open(QIODevice::WriteOnly);
        const QByteArray folder = QFile::encodeName(dir.path());
        std::atomic<bool> cancel{false};
        const EntryList entries = entriesOf("#EXTM3U|here.mp3|gone.mp3|http://s/x|D:\\m\\y.mp3");
        MissingMarks marks;
        marks.forgetAll(entries.size());
        const std::vector<int> lines = marks.linesToLookUp(entries);
        QCOMPARE(lines, std::vector<int>({1, 2, 3, 4}));
        QCOMPARE(MissingMarks(marks).linesToLookUp(entries, 2), std::vector<int>({1, 2}));
        bool cancelled = true;
        const MissingMarks answers =
            LookUpMissing(entries.slices(lines), lines, entries.size(), folder, cancel, cancelled);
        QVERIFY(!cancelled);
        QVERIFY(marks.merge(answers));
        for (int line = 0; line < 5; ++line)
            QCOMPARE(marks.isMissing(line), line == 2);
        QVERIFY(marks.linesToLookUp(entries).empty());  // nothing looked up twice
        cancel = true;
        LookUpMissing(entries.slices(lines), lines, entries.size(), folder, cancel, cancelled);
        QVERIFY(cancelled);
    }

    // The marks stay with their lines through every kind of change; only lines a change brought
    // in or rewrote are looked up again.
    void missingMarksFollowChanges_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("missing");   // the lines marked afterwards, as text
        QTest::addColumn<QByteArray>("lookedUp");  // the lines to look up afterwards
        QTest::newRow("remove") << 0 << QByteArray("0") << QByteArray("");
        QTest::newRow("insert") << 1 << QByteArray("4") << QByteArray("0,2");
        QTest::newRow("replace") << 2 << QByteArray("") << QByteArray("2");
        QTest::newRow("remove path") << 3 << QByteArray("") << QByteArray("2");
        QTest::newRow("move") << 4 << QByteArray("0") << QByteArray("");
        QTest::newRow("read again") << 5 << QByteArray("") << QByteArray("0,1");
    }
    void missingMarksFollowChanges() {
        QFETCH(int, kind);
        QFETCH(QByteArray, missing);
        QFETCH(QByteArray, lookedUp);
        EntryList entries = entriesOf("#EXTM3U|/x/here.mp3|/x/gone.mp3|/x/b.mp3");
        MissingMarks marks;
        marks.forgetAll(entries.size());
        marks.linesToLookUp(entries);
        for (int line : {1, 2, 3})
            marks.set(line, line == 2 ? MissingMarks::Missing : MissingMarks::There);
        const Change change = [&] {
            switch (kind) {
                case 0:
                    return Change::remove({0, 1});
                case 1:
                    return Change::insert({0, 2}, entriesOf("/n.mp3|/m.mp3"));
                case 2:
                    return Change::replace({2}, entriesOf("/x/other.mp3"));
                case 3:
                    return Change::dropPrefixes({2}, {3});
                case 4:
                    return Change::move({2}, 0, 4);
                default:
                    return Change::reset(entriesOf("/a.mp3|/b.mp3"));
            }
        }();
        Change(change).apply(entries);
        QVERIFY(marks.follow(change));
        QCOMPARE(marks.size(), entries.size());
        QByteArrayList marked;
        for (int line = 0; line < marks.size(); ++line)
            if (marks.isMissing(line))
                marked << QByteArray::number(line);
        QCOMPARE(marked.join(','), missing);
        QByteArrayList again;
        for (int line : marks.linesToLookUp(entries))
            again << QByteArray::number(line);
        QCOMPARE(again.join(','), lookedUp);
        // Marks of some other list cannot follow: nothing is known then.
        MissingMarks other;
        other.forgetAll(1);
        QVERIFY(kind == 5 || kind == 1 || !other.follow(change));
    }

    // Alt+Up in the item view moves an item with its lines, never into another item.
    void movesWholeItems() {
        PlaylistDocument doc;
        doc.edit([](EntryList& e) { e = entriesOf(kIptv); });
        ItemTable table;
        table.rebuild(doc.Entries());
        const std::optional<std::vector<int>> moved = editing::MoveItems(doc, table, {3, 0}, -1);
        QVERIFY(moved);
        QCOMPARE(*moved, std::vector<int>({2}));
        QCOMPARE(joined(doc.Entries()),
                 QByteArray("#EXTM3U x-tvg-url=\"e.xml\"|"
                            "#EXTINF:-1 tvg-id=\"b.al\" group-title=\"Albania\",Beta|http://s/b|"
                            "#EXTINF:125,Gamma|#EXTGRP:Music|/m/g.mp3|"
                            "#EXTINF:-1 tvg-id=\"a.ua\" group-title=\"News, UA\",Alpha|http://s/a|"
                            "/m/plain.mp3|#EXT-X-ENDLIST"));
        table.rebuild(doc.Entries());
        QVERIFY(!editing::MoveItems(doc, table, {1}, -1));    // the first item goes no higher
        QVERIFY(!editing::MoveItems(doc, table, {0, 5}, 1));  // lines of their own never move
    }
};

QTEST_GUILESS_MAIN(TestItems)
#include "tst_items.moc"
