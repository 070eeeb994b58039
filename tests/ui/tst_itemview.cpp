#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QThread>
#include <QtTest>

#include "core/playlist/Editing.h"
#include "testsupport/FakeHost.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/ItemModel.h"
#include "ui/playlist/ItemRows.h"
#include "ui/playlist/MissingWatch.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"
#include "ui/playlist/PlaylistTools.h"

using namespace cadrell;
using testsupport::FakeHost;

namespace {

const QByteArray kChannels =
    "#EXTM3U|"
    "#EXTINF:-1 tvg-id=\"a\" group-title=\"Albania\",Alb One|http://s/1|"
    "#EXTINF:-1 tvg-id=\"b\" group-title=\"News\",News One|http://s/2|"
    "#EXTINF:-1 tvg-id=\"c\" group-title=\"Albania\",Alb Two|http://s/3|"
    "#EXTINF:-1 tvg-id=\"d\" group-title=\"Kids\",Cartoons|http://s/4";

struct Window {
    FakeHost host;
    TMDIChild child{host};
    explicit Window(const QByteArray& text) {
        child.Document.edit([&](EntryList& e) {
            for (const QByteArray& line : text.split('|'))
                e.append(line);
        });
        child.setItemView(true);
    }
    QByteArray joined() const {
        const std::vector<QByteArray> all = child.Document.Entries().toVector();
        return QByteArrayList(all.begin(), all.end()).join('|');
    }
    void selectRows(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = child.ListView1->selectionModel();
        selection->clear();
        for (int r : rows)
            selection->select(child.ListView1->model()->index(r, 0), QItemSelectionModel::Select);
        selection->setCurrentIndex(child.ListView1->model()->index(*rows.begin(), 0),
                                   QItemSelectionModel::NoUpdate);
    }
    QString cell(int row, int column) const { return child.itemModel()->cellText(row, column); }
};

}  // namespace

class TestItemView : public QObject {
    Q_OBJECT

    testsupport::ScriptedPrompts prompts;

private slots:
    void showsOneRowPerItem() {
        Window w(kChannels);
        QCOMPARE(w.child.ListView1->model()->rowCount(), 5);  // the header, four channels
        QCOMPARE(w.cell(0, ItemModel::Title), QString("#EXTM3U"));
        QCOMPARE(w.cell(1, ItemModel::Title), QString("Alb One"));
        QCOMPARE(w.cell(2, ItemModel::Group), QString("News"));
        QCOMPARE(w.child.itemCountsText(), QString("4 items"));
        w.selectRows({1});
        QCOMPARE(w.child.itemCountsText(), QString("4 items, 1 selected"));
        // Back to lines: the selection follows the item's lines.
        w.child.setItemView(false);
        QCOMPARE(w.child.ListView1->model()->rowCount(), 9);
        QCOMPARE(w.child.ListView1->selectedPositions(), std::vector<int>({1, 2}));
    }

    // A group found and deleted leaves no address without its name.
    void findingAGroupDeletesWholeItems() {
        Window w(kChannels);
        w.child.MenuFind->trigger();
        FindBar* bar = w.child.findBar();
        for (QLineEdit* f : bar->findChildren<QLineEdit*>())
            if (f->accessibleName() == "Find")
                f->setText("group-title=\"Albania\"");
        bar->selectAll();
        QTRY_VERIFY(!bar->isCounting());
        QTRY_COMPARE(w.child.ListView1->selectedPositions(), std::vector<int>({1, 3}));
        w.child.MenuDelete->trigger();
        QCOMPARE(w.joined(),
                 QByteArray("#EXTM3U|"
                            "#EXTINF:-1 tvg-id=\"b\" group-title=\"News\",News One|http://s/2|"
                            "#EXTINF:-1 tvg-id=\"d\" group-title=\"Kids\",Cartoons|http://s/4"));
        w.child.MenuUndo->trigger();
        QCOMPARE(w.joined(), kChannels);
    }

    // Renaming a group: Look in Group, Replace All; a title that names the group stays.
    void replaceInOneColumn() {
        Window w(kChannels + "|#EXTINF:-1 group-title=\"Music\",Albania Live|http://s/5");
        w.child.MenuReplace->trigger();
        FindBar* bar = w.child.findBar();
        auto* lookIn = bar->findChild<QComboBox*>();
        QVERIFY(lookIn && lookIn->isVisibleTo(bar));
        QCOMPARE(lookIn->accessibleName(), QString("Look in"));
        lookIn->setCurrentText("Group");
        for (QLineEdit* f : bar->findChildren<QLineEdit*>())
            f->setText(f->accessibleName() == "Find" ? "Albania" : "Kosovo");
        bar->replaceAll();
        QTRY_VERIFY(!bar->isReplacing() && !bar->isCounting());
        QTRY_VERIFY(w.joined().contains("group-title=\"Kosovo\",Alb One"));
        QVERIFY(w.joined().contains("group-title=\"Kosovo\",Alb Two"));
        QVERIFY(w.joined().contains("group-title=\"Music\",Albania Live"));
        // Back in the line view the choice is gone and the search reads whole lines.
        w.child.setItemView(false);
        QVERIFY(!lookIn->isVisibleTo(bar));
    }

    void commandsKeepItemsWhole() {
        Window w(kChannels);
        w.selectRows({2});
        w.child.MenuMoveUp->trigger();
        QVERIFY(
            w.joined().startsWith("#EXTM3U|#EXTINF:-1 tvg-id=\"b\" group-title=\"News\",News "
                                  "One|http://s/2|#EXTINF:-1 tvg-id=\"a\""));
        QCOMPARE(w.child.ListView1->selectedPositions(), std::vector<int>({1}));
        w.child.MenuMoveUp->trigger();  // the header never moves
        QVERIFY(w.joined().startsWith("#EXTM3U|"));
        // Copy an item and paste it before the last one.
        w.selectRows({1});
        w.child.MenuCopy->trigger();
        QCOMPARE(w.host.clipboard.size(), qsizetype(2));
        w.selectRows({4});
        w.child.MenuPaste->trigger();
        QCOMPARE(w.child.itemModel()->table().itemCount(), 5);
        QCOMPARE(w.cell(4, ItemModel::Title), QString("News One"));
        QCOMPARE(w.cell(5, ItemModel::Title), QString("Cartoons"));
        // Pasting with the header selected still puts the item after it.
        w.selectRows({0});
        w.child.MenuPaste->trigger();
        QVERIFY(w.joined().startsWith("#EXTM3U|#EXTINF"));
    }

    void headerSortsAndUndoRestores() {
        Window w(kChannels);
        emit w.child.itemHeader()->sectionClicked(ItemModel::Title);
        QTRY_VERIFY(!w.child.tools()->busy());
        QTRY_COMPARE(w.cell(1, ItemModel::Title), QString("Alb One"));
        QTRY_COMPARE(w.cell(4, ItemModel::Title), QString("News One"));
        QVERIFY(w.child.Document.history().undoText().contains("Sort by Title"));
        emit w.child.itemHeader()->sectionClicked(ItemModel::Title);
        QTRY_COMPARE(w.cell(1, ItemModel::Title), QString("News One"));
        w.child.MenuUndo->trigger();
        w.child.MenuUndo->trigger();
        QCOMPARE(w.joined(), kChannels);
    }

    void typingIntoACell_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("title") << int(ItemModel::Title) << "Renamed"
                               << QByteArray(
                                      "#EXTINF:-1 tvg-id=\"b\" group-title=\"News\",Renamed");
        QTest::newRow("group") << int(ItemModel::Group) << "World"
                               << QByteArray(
                                      "#EXTINF:-1 tvg-id=\"b\" group-title=\"World\",News One");
        QTest::newRow("duration") << int(ItemModel::Duration) << "2:05"
                                  << QByteArray(
                                         "#EXTINF:125 tvg-id=\"b\" group-title=\"News\",News One");
    }
    void typingIntoACell() {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QByteArray, line);
        Window w(kChannels);
        w.child.resize(800, 400);
        w.child.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.child));
        w.selectRows({2});
        w.child.editCell(column);
        auto* field = w.child.ListView1->viewport()->findChild<QLineEdit*>("CellEditor");
        QVERIFY(field);
        field->setText(typed);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(prompts.errors.join(";"), QString());
        QCOMPARE(w.child.Document.Entries().at(3).toByteArray(), line);
        QCOMPARE(w.child.Document.Entries().at(4).toByteArray(), QByteArray("http://s/2"));
        w.child.MenuUndo->trigger();
        QCOMPARE(w.joined(), kChannels);
    }

    // Both views mark an entry whose file is missing; a web address is never marked, and an
    // entry a change brings in is looked up too.
    void marksMissingFiles() {
        QTemporaryDir dir;
        QFile(dir.filePath("here.mp3")).open(QIODevice::WriteOnly);
        const QByteArray folder = QFile::encodeName(dir.path());
        Window w("#EXTM3U|#EXTINF:5,Here|" + folder + "/here.mp3|" + folder +
                 "/gone.mp3|http://s/x");
        w.child.setItemView(false);
        auto missing = [&](int row) {
            return w.child.ListView1->model()
                ->index(row, 0)
                .data(PlaylistModel::MissingRole)
                .toBool();
        };
        QTRY_VERIFY(missing(3));
        QVERIFY(!missing(2));
        QVERIFY(!missing(4));
        QVERIFY(w.child.ListView1->model()
                    ->index(3, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Missing"));
        w.child.setItemView(true);
        QVERIFY(missing(2));  // the item view's third row is the same entry
        QVERIFY(!missing(1));
        editing::DropFromOther(w.child.Document, -1, [&] {
            EntryList e;
            e.append(folder + "/also gone.ogg");
            return e;
        }());
        QTRY_VERIFY(missing(4));
        QVERIFY(!missing(3));
    }

    // A lookup that answered just before the playlist was read again: its answers belong to the
    // old lines, even when the new list has as many, and never mark the new ones.
    void marksOfAListReadAgainAreNotTheOldOnes() {
        QTemporaryDir dir;
        PlaylistDocument doc;
        MissingWatch watch(&doc, [&] { return QFile::encodeName(dir.path()); });
        EntryList gone;
        for (int i = 0; i < 50; ++i)
            gone.append("gone" + QByteArray::number(i) + ".mp3");
        doc.perform(Change::insertAt(0, std::move(gone)), QStringLiteral("Add"));
        // Events only until the lookup starts: its answer must still be waiting afterwards.
        QElapsedTimer waited;
        waited.start();
        while (!watch.busy() && waited.elapsed() < 5000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        QVERIFY(watch.busy());
        QThread::msleep(300);  // the worker answers; the answer waits in the queue
        for (int i = 0; i < 50; ++i)
            QFile(dir.filePath("here" + QString::number(i) + ".mp3")).open(QIODevice::WriteOnly);
        doc.edit([](EntryList& list) {
            EntryList here;
            for (int i = 0; i < 50; ++i)
                here.append("here" + QByteArray::number(i) + ".mp3");
            list = here;
        });
        watch.recheckAll();
        QTest::qWait(100);
        for (int line = 0; line < 50; ++line)
            QVERIFY(!watch.isMissing(line));
        QTRY_VERIFY(!watch.busy());
        for (int line = 0; line < 50; ++line)
            QVERIFY(!watch.isMissing(line));
    }

    // Tab keeps what was typed and goes on to the next column shown (Group follows Duration).
    void tabGoesToTheNextColumn() {
        Window w(kChannels);
        w.child.resize(800, 400);
        w.child.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.child));
        w.selectRows({1});
        w.child.editCell(ItemModel::Title);
        auto editor = [&] {
            return w.child.ListView1->viewport()->findChild<QLineEdit*>("CellEditor");
        };
        editor()->setText("First");
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTRY_VERIFY(editor() && editor()->isVisible());
        QCOMPARE(editor()->accessibleName(), QString("Duration"));
        editor()->setText("1:00");
        QTest::keyClick(editor(), Qt::Key_Tab);
        QTRY_COMPARE(editor() ? editor()->accessibleName() : QString(), QString("Group"));
        QTest::keyClick(editor(), Qt::Key_Escape);
        QCOMPARE(w.child.Document.Entries().at(1).toByteArray(),
                 QByteArray("#EXTINF:60 tvg-id=\"a\" group-title=\"Albania\",First"));
    }

    void droppedFilesGoBeforeTheItem() {
        Window w(kChannels);
        editing::DropFromOther(w.child.Document, w.child.itemModel()->table().insertionLine(2), [] {
            EntryList e;
            e.append("/new.mp3");
            return e;
        }());
        QCOMPARE(w.cell(2, ItemModel::File), QString("new.mp3"));
        QCOMPARE(w.cell(3, ItemModel::Title), QString("News One"));
    }
};

QTEST_MAIN(TestItemView)
#include "tst_itemview.moc"
