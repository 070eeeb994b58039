#include <QSignalSpy>
#include <QtTest>

#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/Reorder.h"

using namespace cadrell;
using namespace cadrell::editing;

using Rows = std::vector<int>;

namespace {

// The entries a..f (as many as count), in the order given.
QByteArray letters(const std::vector<int>& order) {
    QByteArray out;
    for (int row : order)
        out += char('a' + row);
    return out;
}

}  // namespace

class TestReorder : public QObject {
    Q_OBJECT
private slots:
    void moveByOne_data() {
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("order");  // "" when nothing moves
        QTest::addColumn<Rows>("after");
        QTest::newRow("one row up") << Rows{2} << -1 << QByteArray("acbdef") << Rows{1};
        QTest::newRow("one row down") << Rows{2} << 1 << QByteArray("abdcef") << Rows{3};
        QTest::newRow("a run moves as one")
            << Rows{2, 3, 4} << -1 << QByteArray("acdebf") << Rows{1, 2, 3};
        QTest::newRow("a run down") << Rows{1, 2} << 1 << QByteArray("adbcef") << Rows{2, 3};
        QTest::newRow("scattered rows each move")
            << Rows{1, 3, 5} << -1 << QByteArray("badcfe") << Rows{0, 2, 4};
        QTest::newRow("the run at the top stays, the others move")
            << Rows{0, 1, 4} << -1 << QByteArray("abcedf") << Rows{0, 1, 3};
        QTest::newRow("the run at the bottom stays")
            << Rows{2, 5} << 1 << QByteArray("abdcef") << Rows{3, 5};
        QTest::newRow("top row cannot go up") << Rows{0} << -1 << QByteArray() << Rows{};
        QTest::newRow("bottom run cannot go down") << Rows{4, 5} << 1 << QByteArray() << Rows{};
        QTest::newRow("everything selected")
            << Rows{0, 1, 2, 3, 4, 5} << 1 << QByteArray() << Rows{};
        QTest::newRow("nothing selected") << Rows{} << -1 << QByteArray() << Rows{};
        QTest::newRow("positions past the end are ignored")
            << Rows{1, 6, 99} << -1 << QByteArray("bacdef") << Rows{0};
    }
    void moveByOne() {
        QFETCH(Rows, selected);
        QFETCH(int, step);
        QFETCH(QByteArray, order);
        const std::optional<Reordering> moved = MoveByOne(6, selected, step);
        QCOMPARE(moved.has_value(), !order.isEmpty());
        if (!moved)
            return;
        QCOMPARE(letters(moved->order), order);
        QTEST(moved->selected, "after");
    }

    void documentChangesOnlyWhenRowsMove() {
        PlaylistDocument doc;
        doc.edit([](EntryList& e) {
            for (const char* text : {"one", "two", "three"})
                e.append(text);
        });
        doc.markClean();
        QSignalSpy changes(&doc, &PlaylistDocument::changed);
        QVERIFY(!MoveEntries(doc, {0}, -1));
        QVERIFY(!doc.Modified());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(MoveEntries(doc, {0, 1}, 1), (Rows{1, 2}));
        QVERIFY(doc.Modified());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(doc.Entries().toVector(), (std::vector<QByteArray>{"three", "one", "two"}));
    }
};

QTEST_GUILESS_MAIN(TestReorder)
#include "tst_reorder.moc"
