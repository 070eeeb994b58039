#include <QItemSelectionModel>
#include <QtTest>

#include "testsupport/FakeHost.h"
#include "testsupport/ScriptedPrompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

using namespace cadrell;
using testsupport::FakeHost;

// Thousands of scattered rows are held as runs by the list itself; everything that reads or
// changes the selection must see them as it sees an ordinary one.
class TestListSelection : public QObject {
    Q_OBJECT

    testsupport::ScriptedPrompts prompts;
    FakeHost host;
    std::unique_ptr<TMDIChild> child;

    PlaylistListView* view() const { return child->ListView1; }
    QPoint rowCentre(int row) const {
        return view()->visualRect(view()->model()->index(row, 0)).center();
    }

private slots:
    void init() {
        child = std::make_unique<TMDIChild>(host);
        child->Document.edit([](EntryList& e) {
            for (int i = 0; i < 4000; ++i)
                e.append(QByteArray("/m/") + QByteArray::number(i) + ".mp3");
        });
        child->resize(600, 400);
        child->show();
        QVERIFY(QTest::qWaitForWindowExposed(child.get()));
        std::vector<int> even;
        for (int r = 0; r < 4000; r += 2)
            even.push_back(r);
        child->selectLines(even, 0);
        QVERIFY(view()->holdsRuns());
    }
    void cleanup() { child.reset(); }

    void readLikeASelection() {
        QCOMPARE(view()->selectedCount(), qsizetype(2000));
        QVERIFY(view()->isRowSelected(2) && !view()->isRowSelected(3));
        QCOMPARE(child->selectedLines().size(), size_t(2000));
        child->MenuDelete->trigger();
        QCOMPARE(child->Document.Entries().size(), qsizetype(2000));
        QCOMPARE(child->Document.Entries().at(0).toByteArray(), QByteArray("/m/1.mp3"));
        QVERIFY(!view()->holdsRuns());
    }

    void toggledWithCtrl_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<qsizetype>("count");
        QTest::newRow("selected row leaves") << 2 << qsizetype(1999);
        QTest::newRow("row between joins two runs") << 3 << qsizetype(2001);
    }
    void toggledWithCtrl() {
        QFETCH(int, row);
        QFETCH(qsizetype, count);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(row));
        QCOMPARE(view()->selectedCount(), count);
        QVERIFY(view()->holdsRuns());
        QCOMPARE(view()->isRowSelected(row), row % 2 == 1);
        QTest::keyClick(view(), Qt::Key_Space, Qt::ControlModifier);  // and back
        QCOMPARE(view()->selectedCount(), qsizetype(2000));
    }

    void replacedByAnOrdinarySelection_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("click") << "click";
        QTest::newRow("arrow key") << "down";
        QTest::newRow("select all") << "all";
    }
    void replacedByAnOrdinarySelection() {
        QFETCH(QString, how);
        if (how == "click")
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowCentre(5));
        else if (how == "down")
            QTest::keyClick(view(), Qt::Key_Down);
        else
            child->MenuSelectAll->trigger();
        QVERIFY(!view()->holdsRuns());
        QCOMPARE(view()->selectedCount(), how == "all" ? qsizetype(4000) : qsizetype(1));
        // Tab leaves a selection alone.
        std::vector<int> odd;
        for (int r = 1; r < 4000; r += 2)
            odd.push_back(r);
        child->selectLines(odd, 1);
        QTest::keyClick(view(), Qt::Key_Tab);
        QCOMPARE(view()->selectedCount(), qsizetype(2000));
    }
};

QTEST_MAIN(TestListSelection)
#include "tst_listselection.moc"
