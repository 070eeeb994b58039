#include <QtTest>

#include <functional>
#include <random>

#include "core/playlist/Change.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::joined;

using Edit = std::function<void(EntryList&)>;
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

EntryList loaded(const QByteArray& text) {
    QByteArray bytes = text;
    bytes.replace('|', '\n');
    EntryList entries;
    entries.adopt(bytes, SplitLines(bytes));
    return entries;
}

// The kind kept with each line is the kind its text has.
bool kindsHold(const EntryList& entries) {
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (entries.kind(i) != EntryList::KindOf(entries.at(i)))
            return false;
    return true;
}

const QByteArray kText = "#EXTM3U|#EXTINF:3,A|/m/a.mp3| |\t|#EXTGRP:x|/m/#b.mp3||http://h/c";

}  // namespace

class TestEntryList : public QObject {
    Q_OBJECT
private slots:
    void kindOfText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kind");
        using K = EntryList::Kind;
        QTest::newRow("empty") << QByteArray() << int(K::Blank);
        QTest::newRow("spaces and tabs") << QByteArray(" \t ") << int(K::Blank);
        QTest::newRow("media") << QByteArray(" /m/a.mp3") << int(K::Media);
        QTest::newRow("directive") << QByteArray("#EXTGRP:x") << int(K::Directive);
        QTest::newRow("extinf") << QByteArray("#EXTINF:-1,x") << int(K::Extinf);
        QTest::newRow("extinf without colon") << QByteArray("#EXTINF") << int(K::Directive);
        QTest::newRow("indented hash is media") << QByteArray(" #EXTINF:1,x") << int(K::Media);
    }
    void kindOfText() {
        QFETCH(QByteArray, text);
        QFETCH(int, kind);
        QCOMPARE(int(EntryList::KindOf(text)), kind);
    }

    // Every way a list changes keeps each line's kind true to its text, and gives the list a
    // stamp no copy of its earlier self has.
    void editsKeepKindsAndStamps_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("append") << Edit([](EntryList& e) { e.append("#EXTINF:1,N"); })
                                << kText + "|#EXTINF:1,N";
        QTest::newRow("remove") << Edit([](EntryList& e) {
            e.removeSorted({0, 2, 8});
        }) << QByteArray("#EXTINF:3,A| |\t|#EXTGRP:x|/m/#b.mp3|");
        // Remove Path can turn an entry into a line that starts with "#".
        QTest::newRow("drop a prefix") << Edit([](EntryList& e) { e.dropPrefix(6, 3); })
                                       << QByteArray(kText).replace("/m/#b", "#b");
        QTest::newRow("drop all but blanks") << Edit([](EntryList& e) { e.dropPrefix(2, 8); })
                                             << QByteArray(kText).replace("/m/a.mp3", "");
        QTest::newRow("insert from itself") << Edit([](EntryList& e) {
            const std::vector<int> rows{1, 7};
            e.insertFrom(0, e, &rows);
        }) << "#EXTINF:3,A||" + kText;
        QTest::newRow("insert from another") << Edit([](EntryList& e) {
            e.insertFrom(e.size(), testsupport::entriesOf("#EXTGRP:y| "));
        }) << kText + "|#EXTGRP:y| ";
        QTest::newRow("move") << Edit([](EntryList& e) {
            e.moveBefore({1, 2}, 0);
        })
                              << QByteArray(
                                     "#EXTINF:3,A|/m/a.mp3|#EXTM3U| |\t|#EXTGRP:x|"
                                     "/m/#b.mp3||http://h/c");
        QTest::newRow("permute") << Edit([](EntryList& e) {
            e.permute({{8, 1}, {0, 8}});
        }) << "http://h/c|" + kText.left(kText.lastIndexOf('|'));
        QTest::newRow("slices in, slices over") << Edit([](EntryList& e) {
            const EntryList other = testsupport::entriesOf("#EXTINF:9,Z|/z| ");
            e.insertSlices({0, 2}, other.slices({0, 1}));
            e.replaceSlices({1}, other.slices({2}));
        }) << "#EXTINF:9,Z| |/z|" + kText.mid(8);
        QTest::newRow("compacted after heavy deletion") << Edit([](EntryList& e) {
            // Enough text appended and removed again that the list copies what is left.
            const QByteArray big(300000, 'x');
            for (int k = 0; k < 8; ++k) {
                e.append(big);
                e.removeSorted({static_cast<int>(e.size() - 1)});
            }
            e.append("#EXTGRP:last");
        }) << kText + "|#EXTGRP:last";
    }
    void editsKeepKindsAndStamps() {
        QFETCH(Edit, edit);
        QFETCH(QByteArray, after);
        for (EntryList entries : {testsupport::entriesOf(kText), loaded(kText)}) {
            QVERIFY(kindsHold(entries));
            const uint64_t stamp = entries.stamp();
            QCOMPARE(EntryList(entries).stamp(), stamp);
            edit(entries);
            QCOMPARE(joined(entries), after);
            QVERIFY(kindsHold(entries));
            QVERIFY(entries.stamp() != stamp);
            entries.dropUnusedBuffers();
            QVERIFY(kindsHold(entries));
            QCOMPARE(joined(entries), after);
        }
    }

    // Moves within a long list are a few runs, worked through without a table of every row;
    // the rows outside the moved span stay untouched.
    void movesWithinALongList_data() {
        QTest::addColumn<std::vector<int>>("moved");
        QTest::addColumn<int>("before");
        QTest::newRow("one down by one") << std::vector<int>{3} << 5;
        QTest::newRow("a block to the top") << std::vector<int>{700, 701, 702} << 0;
        QTest::newRow("scattered to the end") << std::vector<int>{0, 10, 1999} << -1;
        QTest::newRow("scattered into the middle") << std::vector<int>{5, 1500, 1501} << 1000;
    }
    void movesWithinALongList() {
        QFETCH(std::vector<int>, moved);
        QFETCH(int, before);
        QByteArrayList lines;
        for (int i = 0; i < 2000; ++i)
            lines << (i % 3 ? "/m/" + QByteArray::number(i) : "#EXTINF:" + QByteArray::number(i));
        const QByteArray text = lines.join('|');
        QByteArrayList want;
        for (int i = 0; i < 2000; ++i) {
            if (i == before)
                for (int m : moved)
                    want << lines[m];
            if (!std::binary_search(moved.begin(), moved.end(), i))
                want << lines[i];
        }
        if (before < 0)
            for (int m : moved)
                want << lines[m];
        EntryList entries = loaded(text);
        Change undo = Change::move(moved, before, entries.size()).apply(entries);
        QCOMPARE(joined(entries), want.join('|'));
        QVERIFY(kindsHold(entries));
        std::move(undo).apply(entries);
        QCOMPARE(joined(entries), text);
    }

    void movedFromListHasAStampOfItsOwn() {
        EntryList a = testsupport::entriesOf(kText);
        const uint64_t stamp = a.stamp();
        EntryList b = std::move(a);
        QCOMPARE(b.stamp(), stamp);
        QVERIFY(a.stamp() != stamp);
        QVERIFY(a.empty());
    }

    // A change worked out ahead gives what it would have given applied directly; against a list
    // that changed since, or shared with a copy, it works it out again.
    void preparedChanges_data() {
        QTest::addColumn<int>("kind");
        for (int kind = 0; kind < 5; ++kind)
            QTest::newRow(qPrintable(QString::number(kind))) << kind;
    }
    void preparedChanges() {
        QFETCH(int, kind);
        const auto make = [kind] {
            switch (kind) {
                case 0:
                    return Change::remove({1, 2, 8});
                case 1:
                    return Change::insert({0, 4}, testsupport::entriesOf("#EXTGRP:q|/q"));
                case 2:
                    return Change::replace({6}, testsupport::entriesOf("/r"));
                case 3:
                    return Change::dropPrefixes({2, 6}, {3, 3});
                default: {
                    std::vector<int> order(9);
                    std::iota(order.begin(), order.end(), 0);
                    std::shuffle(order.begin(), order.end(), std::mt19937(7));
                    return Change::permute(order);
                }
            }
        };
        EntryList direct = loaded(kText);
        const Change undoDirect = make().apply(direct);

        for (int way = 0; way < 3; ++way) {
            EntryList entries = loaded(kText);
            Change change = make();
            change.prepare(EntryList(entries));
            QVERIFY(change.isPrepared());
            std::optional<Change> held;
            if (way == 1) {
                // Changed meanwhile, and back to the same text: the stamp tells them apart.
                entries.append("x");
                entries.removeSorted({static_cast<int>(entries.size() - 1)});
            } else if (way == 2) {
                held = change;  // the journal's copy shares the work done ahead
            }
            Change undo = std::move(change).apply(entries);
            QCOMPARE(joined(entries), joined(direct));
            QVERIFY(kindsHold(entries));
            QCOMPARE(undo.positions(), undoDirect.positions());
            // Taken over, the way back keeps the list as it was, and so on back and forth.
            QCOMPARE(undo.isPrepared(), way == 0);
            Change redo = std::move(undo).apply(entries);
            QCOMPARE(joined(entries), kText);
            QCOMPARE(redo.isPrepared(), way == 0);
            Change third = std::move(redo).apply(entries);
            QCOMPARE(joined(entries), joined(direct));
            std::move(third).apply(entries);
            QCOMPARE(joined(entries), kText);
            if (held) {
                EntryList again = loaded(kText);
                std::move(*held).apply(again);
                QCOMPARE(joined(again), joined(direct));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestEntryList)
#include "tst_entrylist.moc"
