#include <QtTest>

#include "core/platform/Error.h"
#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using namespace cadrell::editing;

using Lines = std::vector<QByteArray>;
using Rows = std::vector<int>;
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Rows)

namespace {

void fill(PlaylistDocument& doc, const Lines& lines) {
    doc.edit([&](EntryList& e) {
        e.clear();
        for (const QByteArray& l : lines)
            e.append(l);
    });
    doc.markClean();
}

Lines entries(const PlaylistDocument& doc) {
    return doc.Entries().toVector();
}

const Lines abcdef{"a", "b", "c", "d", "e", "f"};

}  // namespace

class TestEditing : public QObject {
    Q_OBJECT
private slots:
    void intList() {
        TIntList list;
        QCOMPARE(list.Add(7), 0);
        QCOMPARE(list.Add(-3), 1);
        QCOMPARE(list.Count(), 2);
        QCOMPARE(list.Value(1), -3);
        for (int bad : {-1, 2}) {
            try {
                list.Value(bad);
                QFAIL("no error");
            } catch (const Error& e) {
                QCOMPARE(e.text(), QStringLiteral("List index out of bounds (%1)").arg(bad));
            }
        }
        list.Clear();
        QCOMPARE(list.Count(), 0);
    }

    // Every command on a document, with the selection it finds and the entry clipboard it
    // leaves or uses.
    void commands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<Lines>("before");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<Lines>("clipboardBefore");
        QTest::addColumn<Lines>("after");
        QTest::addColumn<Lines>("clipboardAfter");
        QTest::addColumn<bool>("modified");
        QTest::newRow("delete rows 0 2 5") << "delete" << abcdef << Rows{0, 2, 5} << Lines{}
                                           << Lines{"b", "d", "e"} << Lines{} << true;
        QTest::newRow("delete with nothing selected changes nothing")
            << "delete" << abcdef << Rows{} << Lines{} << abcdef << Lines{} << false;
        QTest::newRow("delete on an empty document changes nothing")
            << "delete" << Lines{} << Rows{} << Lines{} << Lines{} << Lines{} << false;
        QTest::newRow("cut") << "cut" << abcdef << Rows{1, 4} << Lines{"x"}
                             << Lines{"a", "c", "d", "f"} << Lines{"b", "e"} << true;
        QTest::newRow("copy keeps document")
            << "copy" << abcdef << Rows{4, 1} << Lines{"x"} << abcdef << Lines{"b", "e"} << false;
        QTest::newRow("copy with nothing selected empties the clipboard")
            << "copy" << abcdef << Rows{} << Lines{"x"} << abcdef << Lines{} << false;
        // A position equal to the entry count is one past the end.
        QTest::newRow("copy ignores a position at the entry count")
            << "copy" << abcdef << Rows{1, 6} << Lines{} << abcdef << Lines{"b"} << false;
        QTest::newRow("cut ignores a position at the entry count")
            << "cut" << abcdef << Rows{0, 6} << Lines{} << Lines{"b", "c", "d", "e", "f"}
            << Lines{"a"} << true;
        QTest::newRow("cut of only the entry count changes nothing")
            << "cut" << abcdef << Rows{6} << Lines{"x"} << abcdef << Lines{} << false;
        QTest::newRow("paste before first selected row")
            << "paste" << abcdef << Rows{3, 5} << Lines{"x", "y"}
            << Lines{"a", "b", "c", "x", "y", "d", "e", "f"} << Lines{"x", "y"} << true;
        QTest::newRow("paste appends without selection")
            << "paste" << Lines{"a"} << Rows{} << Lines{"x", "y"} << Lines{"a", "x", "y"}
            << Lines{"x", "y"} << true;
        QTest::newRow("paste into empty document")
            << "paste" << Lines{} << Rows{} << Lines{"x"} << Lines{"x"} << Lines{"x"} << true;
        QTest::newRow("paste of nothing changes nothing")
            << "paste" << Lines{"a"} << Rows{0} << Lines{} << Lines{"a"} << Lines{} << false;
        const Lines paths{"C:\\Songs\\a.mp3",
                          "\\\\server\\share\\b.mp3",
                          "C:c.mp3",
                          "d.mp3",
                          "C:\\Songs\\",
                          "#EXTINF:123,Title",
                          "http://host/x/e.mp3",
                          "/home/me/f.mp3",
                          "songs/g.mp3",
                          "#EXTM3U",
                          ""};
        QTest::newRow("remove path on all")
            << "paths" << paths << Rows{} << Lines{} << Lines{"a.mp3",
                                                              "b.mp3",
                                                              "c.mp3",
                                                              "d.mp3",
                                                              "C:\\Songs\\",
                                                              "#EXTINF:123,Title",
                                                              "http://host/x/e.mp3",
                                                              "f.mp3",
                                                              "g.mp3",
                                                              "#EXTM3U",
                                                              ""}
            << Lines{} << true;
        const Lines untouched{"#EXTINF:215,Artist One - Song",
                              "http://radio.example/stream",
                              "/home/me/Music/",
                              "C:",
                              "rtsp+x.y-z://h/a:b",
                              "#C:\\x\\y.mp3",
                              "name.mp3"};
        QTest::newRow("remove path leaves directives, addresses and would-be empties")
            << "paths" << untouched << Rows{} << Lines{} << untouched << Lines{} << false;
        QTest::newRow("remove drive leaves directives, addresses and would-be empties")
            << "drives" << untouched << Rows{} << Lines{} << untouched << Lines{} << false;
        QTest::newRow("a drive letter is no web address")
            << "paths,drives" << Lines{"C://music/a.mp3", "x:/b.mp3"} << Rows{} << Lines{}
            << Lines{"a.mp3", "b.mp3"} << Lines{} << true;
        QTest::newRow("remove path on the selection") << "paths" << paths << Rows{0, 7} << Lines{}
                                                      << Lines{"a.mp3",
                                                               "\\\\server\\share\\b.mp3",
                                                               "C:c.mp3",
                                                               "d.mp3",
                                                               "C:\\Songs\\",
                                                               "#EXTINF:123,Title",
                                                               "http://host/x/e.mp3",
                                                               "f.mp3",
                                                               "songs/g.mp3",
                                                               "#EXTM3U",
                                                               ""}
                                                      << Lines{} << true;
        QTest::newRow("remove drive on all") << "drives" << paths << Rows{} << Lines{}
                                             << Lines{"\\Songs\\a.mp3",
                                                      "\\\\server\\share\\b.mp3",
                                                      "c.mp3",
                                                      "d.mp3",
                                                      "\\Songs\\",
                                                      "#EXTINF:123,Title",
                                                      "http://host/x/e.mp3",
                                                      "/home/me/f.mp3",
                                                      "songs/g.mp3",
                                                      "#EXTM3U",
                                                      ""}
                                             << Lines{} << true;
        QTest::newRow("remove drive on the selection")
            << "drives" << Lines{"C:\\a.mp3", "D:\\b.mp3"} << Rows{1} << Lines{}
            << Lines{"C:\\a.mp3", "\\b.mp3"} << Lines{} << true;
        QTest::newRow("remove drive twice") << "drives,drives" << Lines{"C:\\a.mp3"} << Rows{}
                                            << Lines{} << Lines{"\\a.mp3"} << Lines{} << true;
        QTest::newRow("remove drive then path") << "drives,paths" << Lines{"C:\\x\\a.mp3"} << Rows{}
                                                << Lines{} << Lines{"a.mp3"} << Lines{} << true;
        QTest::newRow("remove path on empty document")
            << "paths" << Lines{} << Rows{} << Lines{} << Lines{} << Lines{} << false;
        QTest::newRow("remove path on names without a path")
            << "paths" << Lines{"a.mp3", "b"} << Rows{} << Lines{} << Lines{"a.mp3", "b"} << Lines{}
            << false;
        QTest::newRow("stale selection past the end is ignored")
            << "delete" << Lines{"a", "b"} << Rows{1, 9} << Lines{} << Lines{"a"} << Lines{}
            << true;
    }
    void commands() {
        QFETCH(QString, command);
        QFETCH(Lines, before);
        QFETCH(Rows, selected);
        QFETCH(Lines, clipboardBefore);
        PlaylistDocument doc;
        fill(doc, before);
        EntryList clipboard;
        for (const QByteArray& c : clipboardBefore)
            clipboard.append(c);
        TIntList copied;
        int changes = 0;
        connect(&doc, &PlaylistDocument::changed, this, [&] { ++changes; });
        const QStringList steps = command.split(QLatin1Char(','));
        for (const QString& step : steps) {
            if (step == QLatin1String("delete"))
                DeleteEntries(doc, selected);
            else if (step == QLatin1String("cut"))
                CutEntries(doc, selected, clipboard, copied);
            else if (step == QLatin1String("copy"))
                CopyEntries(doc, selected, clipboard, copied);
            else if (step == QLatin1String("paste"))
                PasteEntries(doc, selected, clipboard);
            else if (step == QLatin1String("paths"))
                RemovePaths(doc, selected);
            else if (step == QLatin1String("drives"))
                RemoveDrives(doc, selected);
        }
        QTEST(entries(doc), "after");
        QTEST(clipboard.toVector(), "clipboardAfter");
        QTEST(doc.Modified(), "modified");
        // One view rebuild per undoable step, and a step only for a real change.
        QCOMPARE(changes, doc.history().count());
        QCOMPARE(doc.history().count() > 0, doc.Modified());
    }

    void copyRecordsAscendingPositions() {
        PlaylistDocument doc;
        fill(doc, abcdef);
        EntryList clipboard;
        TIntList copied;
        CopyEntries(doc, {5, 0, 3}, clipboard, copied);
        QCOMPARE(copied.values(), (std::vector<int32_t>{0, 3, 5}));
        QCOMPARE(clipboard.toVector(), (Lines{"a", "d", "f"}));
    }

    void pasteTwiceAndAcrossDocuments() {
        PlaylistDocument one, two;
        fill(one, {"a", "b", "c"});
        fill(two, {"x"});
        EntryList clipboard;
        TIntList copied;
        CutEntries(one, {1}, clipboard, copied);
        // Undo of the Cut brings the entry back; the clipboard keeps it.
        one.undo();
        QCOMPARE(entries(one), (Lines{"a", "b", "c"}));
        one.redo();
        PasteEntries(two, {}, clipboard);
        PasteEntries(two, {0}, clipboard);
        QCOMPARE(entries(one), (Lines{"a", "c"}));
        QCOMPARE(entries(two), (Lines{"b", "x", "b"}));
    }

    void copyThenPasteInPlace() {
        PlaylistDocument doc;
        fill(doc, abcdef);
        EntryList clipboard;
        TIntList copied;
        CopyEntries(doc, {2, 3}, clipboard, copied);
        PasteEntries(doc, {2, 3}, clipboard);
        QCOMPARE(entries(doc), (Lines{"a", "b", "c", "d", "c", "d", "e", "f"}));
    }

    void dropWithin_data() {
        QTest::addColumn<Rows>("dragged");
        QTest::addColumn<int>("target");
        QTest::addColumn<Lines>("after");
        const Lines x;
        QTest::newRow("B and D onto E") << Rows{1, 3} << 4 << Lines{"A", "C", "B", "D", "E"};
        QTest::newRow("B onto empty space") << Rows{1} << -1 << Lines{"A", "C", "D", "E", "B"};
        QTest::newRow("D onto B") << Rows{3} << 1 << Lines{"A", "D", "B", "C", "E"};
        QTest::newRow("B onto C keeps the order") << Rows{1} << 2 << Lines{"A", "B", "C", "D", "E"};
        QTest::newRow("B and D onto D") << Rows{1, 3} << 3 << Lines{"A", "C", "B", "D", "E"};
        QTest::newRow("B and C onto B") << Rows{1, 2} << 1 << Lines{"A", "B", "C", "D", "E"};
        QTest::newRow("D and E onto E: nothing after")
            << Rows{3, 4} << 4 << Lines{"A", "B", "C", "D", "E"};
        QTest::newRow("A onto itself") << Rows{0} << 0 << Lines{"A", "B", "C", "D", "E"};
    }
    void dropWithin() {
        QFETCH(Rows, dragged);
        QFETCH(int, target);
        PlaylistDocument doc;
        fill(doc, {"A", "B", "C", "D", "E"});
        EntryList clipboard;
        CopyEntries(doc, dragged, clipboard, CopiedPositions());
        DropWithin(doc, CopiedPositions(), target);
        QTEST(entries(doc), "after");
        QCOMPARE(doc.Modified(), entries(doc) != Lines({"A", "B", "C", "D", "E"}));
    }

    void dropFromOtherAndShellNames() {
        PlaylistDocument doc;
        fill(doc, {"x", "y", "z"});
        EntryList clipboard;
        clipboard.append("B");
        clipboard.append("D");
        DropFromOther(doc, 2, clipboard);
        QCOMPARE(entries(doc), (Lines{"x", "y", "B", "D", "z"}));
        DropFromOther(doc, -1, clipboard);
        QCOMPARE(entries(doc), (Lines{"x", "y", "B", "D", "z", "B", "D"}));
        const QByteArray longName = "/" + QByteArray(300, 'n') + ".mp3";
        doc.markClean();
        AppendNames(doc, {"/a/1.mp3", "/a/list.m3u", longName});
        QCOMPARE(doc.Entries().bytes(doc.Entries().size() - 1), longName);
        QCOMPARE(doc.Entries().bytes(doc.Entries().size() - 2), QByteArray("/a/list.m3u"));
        QVERIFY(doc.Modified());
        // A name with a line break would become lines of its own: the whole drop is refused.
        const qsizetype before = doc.Entries().size();
        for (const QByteArray& broken :
             {QByteArray("/a/x\n#EXTINF:1,y\n/etc/passwd"), QByteArray("/a/x\r.mp3")}) {
            QVERIFY_THROWS_EXCEPTION(Error, AppendNames(doc, {"/a/ok.mp3", broken}));
            QCOMPARE(doc.Entries().size(), before);
        }
    }

    // Many edits must not let deleted text pile up, and must never change what survives.
    void longEditingSessionStaysConsistent() {
        PlaylistDocument doc;
        Lines model;
        for (int i = 0; i < 3000; ++i)
            model.push_back("C:\\dir" + QByteArray::number(i % 17) + "\\song" +
                            QByteArray::number(i) + ".mp3");
        fill(doc, model);
        EntryList clipboard;
        TIntList copied;
        for (int round = 0; round < 200; ++round) {
            const int n = int(model.size());
            Rows sel{round % n, (round * 7) % n, (round * 13) % n};
            std::sort(sel.begin(), sel.end());
            sel.erase(std::unique(sel.begin(), sel.end()), sel.end());
            CutEntries(doc, sel, clipboard, copied);
            for (auto it = sel.rbegin(); it != sel.rend(); ++it)
                model.erase(model.begin() + *it);
            PasteEntries(doc, {}, clipboard);
            for (const QByteArray& c : clipboard.toVector())
                model.push_back(c);
        }
        QCOMPARE(entries(doc), model);
        QVERIFY(doc.Entries().heldBytes() < 8 * doc.Entries().liveBytes() + (4 << 20));
    }
};

QTEST_GUILESS_MAIN(TestEditing)
#include "tst_editing.moc"
