#include <QtTest>

#include "core/playlist/Change.h"
#include "core/playlist/Editing.h"
#include "core/playlist/Finder.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using namespace cadrell::editing;

using Lines = std::vector<QByteArray>;
using Rows = std::vector<int>;
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Rows)

namespace {

Lines entries(const PlaylistDocument& doc) {
    return doc.Entries().toVector();
}

EntryList listOf(const Lines& lines) {
    EntryList e;
    for (const QByteArray& l : lines)
        e.append(l);
    return e;
}

// A document read from a file, as a user gets one: its text in one buffer, clean.
void load(PlaylistDocument& doc, const Lines& lines) {
    QByteArray bytes;
    for (const QByteArray& l : lines)
        bytes += l + "\r\n";
    doc.edit([&](EntryList& e) { e.adopt(bytes, SplitLines(bytes)); });
    doc.markClean();
}

Rows rowsOf(const QString& text) {
    Rows rows;
    for (const QString& r : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        rows.push_back(r.toInt());
    return rows;
}

// Runs one command of a script: "del:1,3", "cut:1", "copy:0,2", "paste:2" (before row 2; empty:
// append), "path:", "drive:0", "move:1,3>4" (a drag within the window), "drop:2" (the clipboard
// dragged in from another window), "names:x,y" (names from the file manager).
void run(PlaylistDocument& doc, const QString& command, EntryList& clipboard) {
    const QString verb = command.section(QLatin1Char(':'), 0, 0);
    const QString arg = command.section(QLatin1Char(':'), 1);
    TIntList copied;
    if (verb == QLatin1String("del")) {
        DeleteEntries(doc, rowsOf(arg));
    } else if (verb == QLatin1String("cut")) {
        CutEntries(doc, rowsOf(arg), clipboard, copied);
    } else if (verb == QLatin1String("copy")) {
        CopyEntries(doc, rowsOf(arg), clipboard, copied);
    } else if (verb == QLatin1String("paste")) {
        PasteEntries(doc, rowsOf(arg), clipboard);
    } else if (verb == QLatin1String("path")) {
        RemovePaths(doc, rowsOf(arg));
    } else if (verb == QLatin1String("drive")) {
        RemoveDrives(doc, rowsOf(arg));
    } else if (verb == QLatin1String("move")) {
        CopyEntries(doc, rowsOf(arg.section(QLatin1Char('>'), 0, 0)), clipboard, copied);
        DropWithin(doc, copied, arg.section(QLatin1Char('>'), 1).toInt());
    } else if (verb == QLatin1String("drop")) {
        DropFromOther(doc, arg.isEmpty() ? -1 : arg.toInt(), clipboard);
    } else if (verb == QLatin1String("names")) {
        std::vector<QByteArray> names;
        for (const QString& n : arg.split(QLatin1Char(',')))
            names.push_back(n.toUtf8());
        AppendNames(doc, names);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown command ") + command));
    }
}

const Lines songs{"#EXTM3U",      "#EXTINF:1,One", "C:\\m\\a.mp3",
                  "D:\\m\\b.mp3", "/m/c.mp3",      "http://h/d.mp3"};

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    // Scripts of commands, "undo", "redo" and "save". After every step the entries and Modified
    // must be those of the state the history stands at, whichever way it got there.
    void sequences_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<Lines>("final");
        QTest::addColumn<bool>("canRedo");
        QTest::newRow("delete, undo, redo")
            << "del:2,4 undo redo"
            << Lines{"#EXTM3U", "#EXTINF:1,One", "D:\\m\\b.mp3", "http://h/d.mp3"} << false;
        QTest::newRow("cut and paste, undone and redone")
            << "cut:2,3 paste:0 undo undo redo redo"
            << Lines{"C:\\m\\a.mp3",  "D:\\m\\b.mp3", "#EXTM3U",
                     "#EXTINF:1,One", "/m/c.mp3",     "http://h/d.mp3"}
            << false;
        QTest::newRow("remove path, undo, redo")
            << "path:2,4 undo redo"
            << Lines{"#EXTM3U", "#EXTINF:1,One", "a.mp3", "D:\\m\\b.mp3", "c.mp3", "http://h/d.mp3"}
            << false;
        QTest::newRow("drag to the end, undone and redone")
            << "move:0,2>-1 undo redo" << Lines{"#EXTINF:1,One",  "D:\\m\\b.mp3", "/m/c.mp3",
                                                "http://h/d.mp3", "#EXTM3U",      "C:\\m\\a.mp3"}
            << false;
        QTest::newRow("drag in from another window, undone")
            << "copy:4 drop:1 drop: undo"
            << Lines{"#EXTM3U",      "/m/c.mp3", "#EXTINF:1,One", "C:\\m\\a.mp3",
                     "D:\\m\\b.mp3", "/m/c.mp3", "http://h/d.mp3"}
            << true;
        QTest::newRow("two file drops, one step each")
            << "names:x.mp3,y.mp3 names:z.mp3 undo"
            << Lines{"#EXTM3U",  "#EXTINF:1,One",  "C:\\m\\a.mp3", "D:\\m\\b.mp3",
                     "/m/c.mp3", "http://h/d.mp3", "x.mp3",        "y.mp3"}
            << true;
        QTest::newRow("a change after undo drops redo")
            << "del:0 del:0 undo del:4 redo"
            << Lines{"#EXTINF:1,One", "C:\\m\\a.mp3", "D:\\m\\b.mp3", "/m/c.mp3"} << false;
        QTest::newRow("undo past a save, and back to it")
            << "del:0 save del:0 undo undo redo" << Lines(songs.begin() + 1, songs.end()) << true;
        QTest::newRow("save, then a change after undo leaves the saved state unreachable")
            << "del:0 save undo del:1 undo redo"
            << Lines{"#EXTM3U", "C:\\m\\a.mp3", "D:\\m\\b.mp3", "/m/c.mp3", "http://h/d.mp3"}
            << false;
        QTest::newRow("commands that change nothing make no step")
            << "del: paste:0 drop: path:0 drive:4 move:2>3 undo" << songs << false;
        QTest::newRow("every command, all undone")
            << "del:1 cut:0 path: drive: paste:2 move:0>3 copy:1 drop:0 names:n undo undo undo "
               "undo undo undo undo undo"
            << songs << true;
    }
    void sequences() {
        QFETCH(QString, script);
        PlaylistDocument doc;
        load(doc, songs);
        EntryList clipboard;
        int changes = 0;
        connect(&doc, &PlaylistDocument::changed, this, [&] { ++changes; });

        // The states the history can reach: [0, level] done, beyond that undone.
        std::vector<Lines> states{songs};
        size_t level = 0;
        int clean = 0;
        for (const QString& step : script.split(QLatin1Char(' '))) {
            const QByteArray where = step.toUtf8();
            const int before = changes;
            if (step == QLatin1String("undo")) {
                doc.undo();
                if (level > 0)
                    --level;
            } else if (step == QLatin1String("redo")) {
                doc.redo();
                if (level + 1 < states.size())
                    ++level;
            } else if (step == QLatin1String("save")) {
                doc.markClean();
                clean = int(level);
            } else {
                run(doc, step, clipboard);
                if (entries(doc) != states[level]) {
                    states.resize(level + 1);
                    states.push_back(entries(doc));
                    if (clean > int(level))
                        clean = -1;
                    ++level;
                }
            }
            QVERIFY2(entries(doc) == states[level], where);
            QCOMPARE(doc.history().index(), int(level));
            QVERIFY2(doc.Modified() == (int(level) != clean), where);
            // At most one view rebuild per step, and none where nothing changed.
            QVERIFY2(changes - before <= 1, where);
        }
        QTEST(entries(doc), "final");
        QTEST(doc.history().canRedo(), "canRedo");
    }

    // What an Undo or Redo selects and scrolls to, so the user sees what came back.
    void shownRows_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<int>("focus");
        QTest::newRow("undo delete selects the entries back") << "del:1,4 undo" << Rows{1, 4} << 1;
        QTest::newRow("redo delete selects nothing, focus where they were")
            << "del:1,4 undo redo" << Rows{} << 1;
        QTest::newRow("undo a delete at the end") << "del:5 undo redo" << Rows{} << 4;
        QTest::newRow("undo paste") << "copy:0 paste:3 undo" << Rows{} << 3;
        QTest::newRow("undo remove path") << "path: undo" << Rows{2, 3, 4} << 2;
        QTest::newRow("undo a drag: the rows where they were")
            << "move:1,3>5 undo" << Rows{1, 3} << 1;
        QTest::newRow("redo a drag: the rows where they went")
            << "move:1,3>5 undo redo" << Rows{3, 4} << 3;
    }
    void shownRows() {
        QFETCH(QString, script);
        PlaylistDocument doc;
        load(doc, songs);
        EntryList clipboard;
        ChangedRows shown;
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("undo"))
                shown = doc.undo();
            else if (step == QLatin1String("redo"))
                shown = doc.redo();
            else
                run(doc, step, clipboard);
        }
        QTEST(shown.rows, "rows");
        QTEST(shown.focus, "focus");
    }

    // The kinds later tools build on: replacing texts and any permutation.
    void replaceAndPermute_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Rows>("positions");
        QTest::addColumn<Lines>("texts");
        QTest::addColumn<Lines>("after");
        QTest::addColumn<Rows>("shown");
        const Lines none;
        QTest::newRow("replace two") << "replace" << Rows{0, 2} << Lines{"x", "y"}
                                     << Lines{"x", "b", "y", "d"} << Rows{0, 2};
        QTest::newRow("replace with the same text is no change")
            << "replace" << Rows{1} << Lines{"b"} << Lines{"a", "b", "c", "d"} << Rows{};
        QTest::newRow("replace, one of them the same")
            << "replace" << Rows{1, 3} << Lines{"b", "z"} << Lines{"a", "b", "c", "z"} << Rows{3};
        // Texts that begin with the old one are still new texts.
        QTest::newRow("replace, only appended to")
            << "replace" << Rows{1} << Lines{"b.bak"} << Lines{"a", "b.bak", "c", "d"} << Rows{1};
        QTest::newRow("replace with nothing, the next text the old one")
            << "replace" << Rows{1, 3} << Lines{"", "b"} << Lines{"a", "", "c", "b"} << Rows{1, 3};
        QTest::newRow("reverse") << "permute" << Rows{3, 2, 1, 0} << none
                                 << Lines{"d", "c", "b", "a"} << Rows{0, 1, 2, 3};
        QTest::newRow("swap the middle")
            << "permute" << Rows{0, 2, 1, 3} << none << Lines{"a", "c", "b", "d"} << Rows{1, 2};
        QTest::newRow("identity is no change")
            << "permute" << Rows{0, 1, 2, 3} << none << Lines{"a", "b", "c", "d"} << Rows{};
        QTest::newRow("insert spread out")
            << "insert" << Rows{0, 3, 5} << Lines{"x", "y", "z"}
            << Lines{"x", "a", "b", "y", "c", "z", "d"} << Rows{0, 3, 5};
    }
    void replaceAndPermute() {
        QFETCH(QString, kind);
        QFETCH(Rows, positions);
        QFETCH(Lines, texts);
        QFETCH(Rows, shown);
        PlaylistDocument doc;
        const Lines before{"a", "b", "c", "d"};
        load(doc, before);
        Change change = kind == QLatin1String("replace") ? Change::replace(positions, listOf(texts))
                        : kind == QLatin1String("insert") ? Change::insert(positions, listOf(texts))
                                                          : Change::permute(positions);
        QCOMPARE(doc.perform(std::move(change), kind), !shown.empty());
        QTEST(entries(doc), "after");
        QCOMPARE(doc.Modified(), !shown.empty());
        if (shown.empty())
            return;
        // Undoing an insertion leaves nothing to select.
        QCOMPARE(doc.undo().rows, kind == QLatin1String("insert") ? Rows{} : shown);
        QCOMPARE(entries(doc), before);
        QCOMPARE(doc.redo().rows, shown);
        QTEST(entries(doc), "after");
    }

    // Replace All that only appends to the entries it changes is a step like any other.
    void replaceThatOnlyAppends_data() {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("with");
        QTest::addColumn<Lines>("after");
        QTest::newRow("b to b.bak") << Lines{"a", "b", "c"} << "b"
                                    << "b.bak" << Lines{"a", "b.bak", "c"};
        QTest::newRow("mp3 to mp3.bak")
            << Lines{"/m/x.mp3", "/m/y.ogg", "/m/z.mp3"} << "mp3"
            << "mp3.bak" << Lines{"/m/x.mp3.bak", "/m/y.ogg", "/m/z.mp3.bak"};
    }
    void replaceThatOnlyAppends() {
        QFETCH(Lines, lines);
        QFETCH(QString, find);
        QFETCH(QString, with);
        PlaylistDocument doc;
        load(doc, lines);
        EntryEdits edits = ReplaceAll(doc.Entries(), nullptr, FindOptions{find}, with);
        QVERIFY(doc.perform(Change::replace(std::move(edits.rows), std::move(edits.texts)),
                            QStringLiteral("Replace All")));
        QTEST(entries(doc), "after");
        QVERIFY(doc.Modified());
        doc.undo();
        QCOMPARE(entries(doc), lines);
    }

    // A step larger than the whole budget is still the one an Undo takes back: the older steps
    // make room for it, it never goes itself.
    void newestStepOverTheBudgetStays_data() {
        QTest::addColumn<int>("stepsBefore");
        QTest::addColumn<bool>("budgetFirst");
        QTest::newRow("the only step") << 0 << true;
        QTest::newRow("after smaller steps") << 3 << true;
        QTest::newRow("budget lowered afterwards") << 3 << false;
    }
    void newestStepOverTheBudgetStays() {
        QFETCH(int, stepsBefore);
        QFETCH(bool, budgetFirst);
        constexpr qsizetype kBudget = 64 * 1024;
        PlaylistDocument doc;
        load(doc, {"a", "b", "c", "d"});
        EntryList big;
        big.append(QByteArray(1 << 20, 'x'));
        doc.perform(Change::insertAt(4, big), QStringLiteral("Paste"));
        for (int i = 0; i < stepsBefore; ++i)
            doc.perform(Change::remove({0}), QStringLiteral("Delete"));
        if (budgetFirst)
            doc.history().setMemoryBudget(kBudget);
        // The big entry's text is then the history's alone.
        doc.perform(Change::remove({int(doc.Entries().size()) - 1}), QStringLiteral("Delete big"));
        if (!budgetFirst)
            doc.history().setMemoryBudget(kBudget);
        QVERIFY(doc.history().memoryBytes() > kBudget);
        QCOMPARE(doc.history().count(), 1);
        QVERIFY(doc.history().canUndo());
        QCOMPARE(doc.history().undoText(), QStringLiteral("Delete big"));
        doc.undo();
        QCOMPARE(doc.Entries().size(), 4 - stepsBefore + 1);
        QCOMPARE(doc.Entries().bytes(4 - stepsBefore), QByteArray(1 << 20, 'x'));
        QVERIFY(!doc.history().canUndo());
        doc.redo();
        QCOMPARE(doc.Entries().size(), 4 - stepsBefore);
    }

    // Past its budget the history lets its oldest steps go; the state last saved is then out of
    // reach, so the document stays modified however far it is undone.
    void budgetDropsTheOldestSteps() {
        PlaylistDocument doc;
        Lines lines;
        for (int i = 0; i < 2000; ++i)
            lines.push_back("entry number " + QByteArray::number(i));
        load(doc, lines);
        doc.history().setMemoryBudget(16 * 1024);
        for (int i = 0; i < 10; ++i) {
            Rows every;
            for (int r = 0; r < int(doc.Entries().size()); r += 3)
                every.push_back(r);
            DeleteEntries(doc, every);
        }
        QVERIFY(doc.history().count() < 10);
        QVERIFY(doc.history().count() >= 1);
        QVERIFY(doc.history().memoryBytes() <= 16 * 1024 || doc.history().count() == 1);
        QCOMPARE(doc.history().cleanIndex(), -1);
        while (doc.history().canUndo())
            doc.undo();
        QVERIFY(doc.Modified());
        QVERIFY(entries(doc) != lines);
    }

    // Text that no entry uses any more is the history's alone: the budget sees it, and once the
    // history lets go of it the memory is free.
    // A reordering worked out ahead (as the sorts do on their worker) undoes and redoes like any
    // other step, also with other steps around it.
    void preparedReorderingUndoesAndRedoes() {
        PlaylistDocument doc;
        load(doc, songs);
        Change sort = Change::permute({5, 4, 3, 2, 1, 0});
        sort.prepare(EntryList(doc.Entries()));
        QVERIFY(doc.perform(std::move(sort), QStringLiteral("Reverse Order")));
        const Lines reversed(songs.rbegin(), songs.rend());
        QCOMPARE(entries(doc), reversed);
        DeleteEntries(doc, {0});
        doc.undo();
        QCOMPARE(entries(doc), reversed);
        for (int round = 0; round < 2; ++round) {
            doc.undo();
            QCOMPARE(entries(doc), songs);
            doc.redo();
            QCOMPARE(entries(doc), reversed);
        }
        doc.redo();
        QCOMPARE(entries(doc), Lines(reversed.begin() + 1, reversed.end()));
        doc.undo();
        doc.undo();
        QCOMPARE(entries(doc), songs);
        QVERIFY(!doc.Modified());
    }

    void deletedTextLeavesTheDocument() {
        PlaylistDocument doc;
        load(doc, {"a", "b"});
        EntryList big;
        big.append(QByteArray(1 << 20, 'x'));
        doc.perform(Change::insertAt(1, big), QStringLiteral("Paste"));
        QVERIFY(doc.Entries().heldBytes() > 1 << 20);
        doc.perform(Change::remove({1}), QStringLiteral("Delete"));
        QVERIFY(doc.Entries().heldBytes() < 1 << 20);
        QVERIFY(doc.history().memoryBytes() > 1 << 20);
        doc.undo();
        QCOMPARE(entries(doc), (Lines{"a", QByteArray(1 << 20, 'x'), "b"}));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
