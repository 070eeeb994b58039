#include <QSignalSpy>
#include <QtTest>

#include "core/playlist/FindSession.h"
#include "testsupport/PatternGate.h"

using namespace cadrell;
using testsupport::PatternGate;
using Rows = std::vector<int>;
Q_DECLARE_METATYPE(Rows)

namespace {

const QByteArrayList kLines{"a.mp3", "b.ogg", "c.mp3", "d.ogg", "e.mp3"};
constexpr int W = kNotCountedYet;

EntryList listOf(const QByteArrayList& lines) {
    EntryList entries;
    for (const QByteArray& line : lines)
        entries.append(line);
    return entries;
}

FindOptions regex(const QString& pattern) {
    return FindOptions{pattern, false, true};
}

}  // namespace

class TestFindSession : public QObject {
    Q_OBJECT
private slots:
    // Next and Previous answer as soon as the rows counted settle it, and then as they would
    // with every row counted; until then they wait.
    void nextPrevious_data() {
        QTest::addColumn<int>("counted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        struct Case {
            const char* name;
            const char* text;
            int current;
            int next[3], previous[3];  // with 0, 3 and 5 rows counted
        };
        const Case cases[] = {
            {"no current row", "mp3", -1, {W, 0, 0}, {W, W, 4}},
            {"between matches", "mp3", 1, {W, 2, 2}, {W, 0, 0}},
            {"on a match", "mp3", 2, {W, W, 4}, {W, 0, 0}},
            {"across the counted end", "mp3", 3, {W, W, 4}, {W, 2, 2}},
            {"wrapping at the last row", "mp3", 4, {W, W, 0}, {W, W, 2}},
            {"the only match", "d.", 3, {W, W, 3}, {W, W, 3}},
            {"nothing", "zzz", 2, {W, W, -1}, {W, W, -1}},
        };
        const int levels[] = {0, 3, 5};
        for (int k = 0; k < 3; ++k)
            for (const Case& c : cases)
                QTest::addRow("%s, %d counted", c.name, levels[k])
                    << levels[k] << QString(c.text) << c.current << c.next[k] << c.previous[k];
    }
    void nextPrevious() {
        QFETCH(int, counted);
        QFETCH(QString, text);
        QFETCH(int, current);
        const EntryList entries = listOf(kLines);
        const std::vector<int> found = FindAll(listOf(kLines.mid(0, counted)), FindOptions{text});
        QTEST(NextFound(found, counted, entries.size(), current), "next");
        QTEST(PreviousFound(found, counted, entries.size(), current), "previous");
        if (counted < entries.size())
            return;
        // The session over its own count answers the same.
        FindSession session;
        session.restart(FindOptions{text});
        session.startCount(entries);
        QCOMPARE(session.nextMatch(current), W);
        QTRY_VERIFY(session.isCounted());
        QCOMPARE(session.found(), found);
        QTEST(session.nextMatch(current), "next");
        QTEST(session.previousMatch(current), "previous");
    }

    // The count works on the entries as they were when it started, whatever happens to the
    // list meanwhile, and reports as it goes.
    void countsASnapshot() {
        EntryList entries;
        for (int i = 0; i < 50000; ++i)
            entries.append(i % 7 ? "/srv/x" + QByteArray::number(i)
                                 : "/music/" + QByteArray::number(i));
        const std::vector<int> expected = FindAll(entries, regex("^/music/\\d+$"));
        FindSession session;
        QSignalSpy progress(&session, &FindSession::countProgress);
        session.restart(regex("^/music/\\d+$"));
        session.startCount(entries);
        QVERIFY(session.isCounting());
        entries.removeSorted({0, 7, 14});
        entries.append("/music/new");
        QTRY_VERIFY_WITH_TIMEOUT(session.isCounted(), 60000);
        QVERIFY(!session.isCounting());
        QCOMPARE(session.found(), expected);
        QVERIFY(!progress.isEmpty());
    }

    // A search stuck in a pattern is never waited for: a new search counts meanwhile, a
    // session goes away at once, and what the stuck ones find later goes nowhere.
    void stuckSearchesAreLeftBehind() {
        auto gate = std::make_shared<PatternGate>();
        const EntryList entries = listOf(kLines);
        FindSession session;
        session.setTextForm(PatternGate::form(gate));
        session.restart(regex("mp3"));
        session.startCount(entries);
        QTRY_COMPARE(gate->waiting(), 1);
        session.startReplaceAll(entries, {}, "x");
        QTRY_COMPARE(gate->waiting(), 2);

        session.stopReplace();
        session.setTextForm({});
        session.restart(FindOptions{"ogg"});
        session.startCount(entries);
        QTRY_VERIFY(session.isCounted());
        QCOMPARE(session.found(), (Rows{1, 3}));

        auto gone = std::make_unique<FindSession>();
        gone->setTextForm(PatternGate::form(gate));
        gone->restart(regex("."));
        gone->startCount(entries);
        QTRY_COMPARE(gate->waiting(), 3);
        gone.reset();
        QCOMPARE(gate->waiting(), 3);

        QSignalSpy counts(&session, &FindSession::countProgress);
        QSignalSpy replaced(&session, &FindSession::replaceFinished);
        gate->open();
        QTRY_COMPARE(gate->waiting(), 0);
        QTest::qWait(200);
        QCOMPARE(counts.size(), 0);
        QCOMPARE(replaced.size(), 0);
        QCOMPARE(session.found(), (Rows{1, 3}));
        QVERIFY(!session.isReplacing());
        QCOMPARE(gate->onInterfaceThread(), 0);
    }

    // Typing another search while Replace All runs does not change what it replaces.
    void replaceAllKeepsItsSearch() {
        FindSession session;
        const EntryList entries = listOf(kLines);
        session.restart(FindOptions{"mp3"});
        session.startReplaceAll(entries, {}, "flac");
        session.restart(FindOptions{"ogg"});
        QTRY_VERIFY(session.isReplaceDone());
        const EntryEdits edits = session.finishReplace();
        QCOMPARE(edits.rows, (std::vector<int>{0, 2, 4}));
        QCOMPARE(edits.texts.bytes(1), QByteArray("c.flac"));
        QVERIFY(!session.isReplacing());
    }

    // Replace in one row tells a row without a match from one the replacement leaves as it is.
    void replaceAt_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("matched");
        QTest::addColumn<QByteArray>("after");  // empty: nothing to change
        QTest::newRow("a match") << 2 << "flac" << true << QByteArray("c.flac");
        QTest::newRow("no match") << 1 << "flac" << false << QByteArray();
        QTest::newRow("the same text") << 0 << "mp3" << true << QByteArray();
        QTest::newRow("no row") << -1 << "flac" << false << QByteArray();
        QTest::newRow("past the end") << 5 << "flac" << false << QByteArray();
    }
    void replaceAt() {
        QFETCH(int, row);
        QFETCH(QString, with);
        QFETCH(QByteArray, after);
        FindSession session;
        session.restart(FindOptions{"mp3"});
        session.startReplaceAt(listOf(kLines), row, with);
        QTRY_VERIFY(session.isReplaceDone());
        bool matched = false;
        const EntryEdits edits = session.finishReplace(&matched);
        QTEST(matched, "matched");
        QCOMPARE(edits.rows, after.isEmpty() ? Rows{} : Rows{row});
        if (!after.isEmpty())
            QCOMPARE(edits.texts.bytes(0), after);
    }
};

QTEST_GUILESS_MAIN(TestFindSession)
#include "tst_findsession.moc"
