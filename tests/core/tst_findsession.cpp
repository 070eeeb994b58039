#include <QtTest>

#include "core/playlist/FindSession.h"

using namespace cadrell;

namespace {

const QByteArrayList kLines{"a.mp3", "b.ogg", "c.mp3", "d.ogg", "e.mp3"};

// A session that counted the first `counted` rows; the rest were added after the count, so
// Next and Previous must search them directly.
EntryList countedList(FindSession& session, const QString& text, int counted) {
    EntryList entries;
    for (int r = 0; r < counted; ++r)
        entries.append(kLines[r]);
    session.restart(FindOptions{text});
    while (!session.countSlice(entries)) {
    }
    for (qsizetype r = counted; r < kLines.size(); ++r)
        entries.append(kLines[r]);
    return entries;
}

}  // namespace

class TestFindSession : public QObject {
    Q_OBJECT
private slots:
    // Where Next and Previous go must not depend on how much of the list is counted.
    void nextPrevious_data() {
        QTest::addColumn<int>("counted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        struct Case {
            const char* name;
            const char* text;
            int current, next, previous;
        };
        const Case cases[] = {
            {"no current row", "mp3", -1, 0, 4},
            {"between matches", "mp3", 1, 2, 0},
            {"on a match", "mp3", 2, 4, 0},
            {"across the counted end", "mp3", 3, 4, 2},
            {"wrapping at the last row", "mp3", 4, 0, 2},
            {"the only match", "d.", 3, 3, 3},
            {"nothing", "zzz", 2, -1, -1},
        };
        for (int counted : {0, 2, 5})
            for (const Case& c : cases)
                QTest::addRow("%s, %d counted", c.name, counted)
                    << counted << QString(c.text) << c.current << c.next << c.previous;
    }
    void nextPrevious() {
        QFETCH(int, counted);
        QFETCH(QString, text);
        QFETCH(int, current);
        FindSession session;
        const EntryList entries = countedList(session, text, counted);
        QTEST(session.nextMatch(entries, current), "next");
        QTEST(session.previousMatch(entries, current), "previous");
    }

    // Typing another search while Replace All runs does not change what it replaces.
    void replaceAllKeepsItsSearch() {
        FindSession session;
        const EntryList entries = countedList(session, "mp3", 5);
        session.startReplaceAll(entries, {}, "flac");
        session.restart(FindOptions{"ogg"});
        while (!session.replaceSlice(entries)) {
        }
        const EntryEdits edits = session.finishReplace();
        QCOMPARE(edits.rows, (std::vector<int>{0, 2, 4}));
        QCOMPARE(edits.texts.bytes(1), QByteArray("c.flac"));
        QVERIFY(!session.isReplacing());
    }
};

QTEST_GUILESS_MAIN(TestFindSession)
#include "tst_findsession.moc"
