// Dragging rows within and between document lists, and drops from the file manager. The drags
// start from real mouse events on the list; QDrag's own loop cannot run offscreen, so the test
// view plays the part of the platform drag and delivers enter, move, leave and drop events to
// the list under the "cursor".

#include <QtTest>

#include <QDrag>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QVBoxLayout>
#include <functional>

#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/frame/Main.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"

using namespace cadrell;
using namespace cadrell::editing;

namespace {

EntryList clipboard;

class ScriptedView : public PlaylistListView {
public:
    using PlaylistListView::PlaylistListView;
    std::function<Qt::DropAction(QDrag&)> script;
    int drags = 0;

protected:
    Qt::DropAction runDrag(QDrag& drag) override {
        ++drags;
        return script ? script(drag) : Qt::IgnoreAction;  // no script: cancelled
    }
};

// A document with its list, wired the way a document window wires them.
struct Window {
    QWidget top;
    PlaylistDocument doc;
    ScriptedView* view;
    PlaylistModel* model;

    Window(const QString& entries, QPoint at, TSystemImageList* images) {
        view = new ScriptedView(&top);
        model = new PlaylistModel(&doc, images, &top);
        view->setModel(model);
        auto* layout = new QVBoxLayout(&top);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        doc.edit([&](EntryList& list) {
            for (const QString& e : entries.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                list.append(e.toLatin1());
        });
        doc.markClean();
        QObject::connect(view, &PlaylistListView::dragStarted, &top, [this] {
            CopyEntries(doc, view->selectedPositions(), clipboard, CopiedPositions());
        });
        QObject::connect(view, &PlaylistListView::entriesDropped, &top,
                         [this](PlaylistListView* source, int target) {
                             if (source == view)
                                 DropWithin(doc, CopiedPositions(), target);
                             else
                                 DropFromOther(doc, target, clipboard);
                         });
        QObject::connect(view, &PlaylistListView::namesDropped, &top,
                         [this](const std::vector<QByteArray>& names) { AppendNames(doc, names); });
        top.setGeometry(QRect(at, QSize(240, 220)));
        top.show();
    }

    QWidget* vp() const { return view->viewport(); }
    QPoint rowPoint(int row) const { return view->visualRect(model->index(row)).center(); }
    QPoint emptyPoint() const {
        const QRect last = view->visualRect(model->index(model->rowCount() - 1));
        return QPoint(20, last.bottom() + 30);
    }
    QString order() const {
        QStringList out;
        for (qsizetype i = 0; i < doc.Entries().size(); ++i)
            out << QString::fromLatin1(doc.Entries().bytes(i));
        return out.join(QLatin1Char(' '));
    }
    void select(const std::vector<int>& rows) {
        view->clearSelection();
        for (int r : rows)
            QTest::mouseClick(vp(), Qt::LeftButton, Qt::ControlModifier, rowPoint(r));
    }
    // A real press on a row and a move past the drag distance: the drag (if any) runs inside.
    void dragFrom(int row, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint from = rowPoint(row);
        QTest::mousePress(vp(), Qt::LeftButton, modifiers, from);
        QTest::mouseMove(vp(), from + QPoint(QApplication::startDragDistance() + 2, 0));
        QTest::mouseRelease(vp(), Qt::LeftButton, modifiers,
                            from + QPoint(QApplication::startDragDistance() + 2, 0));
    }
};

const Qt::DropActions kActions = Qt::CopyAction | Qt::MoveAction;

bool enter(QWidget* vp, const QMimeData* mime, QPoint at) {
    QDragEnterEvent e(at, kActions, mime, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &e);
    return e.isAccepted();
}

Qt::DropAction move(QWidget* vp, const QMimeData* mime, QPoint at) {
    QDragMoveEvent e(at, kActions, mime, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &e);
    return e.isAccepted() ? e.dropAction() : Qt::IgnoreAction;
}

void leaveTowards(QWidget* vp, QPoint at) {
    QCursor::setPos(vp->mapToGlobal(at));
    QDragLeaveEvent e;
    QApplication::sendEvent(vp, &e);
}

Qt::DropAction drop(QWidget* vp, const QMimeData* mime, QPoint at) {
    QDropEvent e(at, kActions, mime, Qt::LeftButton, {});
    QApplication::sendEvent(vp, &e);
    return e.isAccepted() ? e.dropAction() : Qt::IgnoreAction;
}

// The whole drag over one list: enter, move, release at one point.
Qt::DropAction dropOn(QWidget* vp, const QMimeData* mime, QPoint at) {
    if (!enter(vp, mime, at))
        return Qt::IgnoreAction;
    move(vp, mime, at);
    return drop(vp, mime, at);
}

}  // namespace

class TestDragDrop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void dragStartsOnlyFromSelectedRows_data();
    void dragStartsOnlyFromSelectedRows();
    void shortMoveIsAClick();
    void dragImageIsTheRow();
    void selectionAnchorFollowsEveryPress_data();
    void selectionAnchorFollowsEveryPress();

    void moveWithinOneList_data();
    void moveWithinOneList();

    void copyBetweenLists_data();
    void copyBetweenLists();

    void cancelledDragChangesNothing();

    void leavingPastTheEdgeForgetsTheRow();
    void leavingOverARowRemembersIt();
    void dragStartForgetsTheRememberedRow();
    void highlightIsDrawnApartFromSelection();

    void shellDrop();
    void shellDropNames_data();
    void shellDropNames();
    void foreignRowsAreRefused();

    void rowsSpanTheViewport();

    void inTheProgramsWindows();

private:
    TSystemImageList* images_ = nullptr;
};

void TestDragDrop::initTestCase() {
    images_ = new TSystemImageList(this);
    images_->SetImageSize(isSmall);
}

void TestDragDrop::init() {
    clipboard.clear();
    CopiedPositions().Clear();
}

void TestDragDrop::dragStartsOnlyFromSelectedRows_data() {
    QTest::addColumn<std::vector<int>>("selected");
    QTest::addColumn<int>("pressRow");  // -1: empty space below the rows
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("dragged");  // the clipboard after; "-": no drag began

    QTest::newRow("selected row keeps the others") << std::vector<int>{1, 3} << 1 << 0 << "B D";
    QTest::newRow("unselected row is selected by the press")
        << std::vector<int>{1, 3} << 2 << 0 << "C";
    QTest::newRow("ctrl") << std::vector<int>{1, 3} << 1 << int(Qt::ControlModifier) << "-";
    QTest::newRow("shift") << std::vector<int>{1, 3} << 3 << int(Qt::ShiftModifier) << "-";
    QTest::newRow("empty space") << std::vector<int>{1} << -1 << 0 << "-";
}

void TestDragDrop::dragStartsOnlyFromSelectedRows() {
    QFETCH(std::vector<int>, selected);
    QFETCH(int, pressRow);
    QFETCH(int, modifiers);
    QFETCH(QString, dragged);

    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select(selected);
    QSignalSpy started(w.view, &PlaylistListView::dragStarted);

    const QPoint from = pressRow >= 0 ? w.rowPoint(pressRow) : w.emptyPoint();
    const auto mods = Qt::KeyboardModifiers(modifiers);
    QTest::mousePress(w.vp(), Qt::LeftButton, mods, from);
    QTest::mouseMove(w.vp(), from + QPoint(0, QApplication::startDragDistance() + 2));
    QTest::mouseRelease(w.vp(), Qt::LeftButton, mods,
                        from + QPoint(0, QApplication::startDragDistance() + 2));

    if (dragged == QLatin1String("-")) {
        QCOMPARE(started.count(), 0);
        QCOMPARE(w.view->drags, 0);
    } else {
        QCOMPARE(started.count(), 1);
        QCOMPARE(w.view->drags, 1);
        QStringList copied;
        for (const QByteArray& e : clipboard.toVector())
            copied << QString::fromLatin1(e);
        QCOMPARE(copied.join(QLatin1Char(' ')), dragged);
    }
    QVERIFY(!w.doc.Modified());
    QCOMPARE(w.order(), QStringLiteral("A B C D E"));
}

void TestDragDrop::shortMoveIsAClick() {
    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({1, 3});
    const QPoint from = w.rowPoint(3);
    QTest::mousePress(w.vp(), Qt::LeftButton, {}, from);
    QTest::mouseMove(w.vp(), from + QPoint(1, 0));
    QCOMPARE(w.view->selectedPositions(), (std::vector<int>{1, 3}));  // kept while it may be a drag
    QTest::mouseRelease(w.vp(), Qt::LeftButton, {}, from + QPoint(1, 0));
    QCOMPARE(w.view->drags, 0);
    QCOMPARE(w.view->selectedPositions(), std::vector<int>{3});
}

void TestDragDrop::selectionAnchorFollowsEveryPress_data() {
    // Steps: c<row> click, s<row> Shift+click, t<row> Ctrl+click, D/U Down/Up, SD/SU with Shift.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<std::vector<int>>("selected");
    QTest::addColumn<int>("current");
    QTest::newRow("shift-click after a click inside the selection")
        << "c0 s3 c2 s4" << std::vector<int>{2, 3, 4} << 4;
    QTest::newRow("Shift+Down after a click inside the selection")
        << "c0 s3 c2 SD" << std::vector<int>{2, 3} << 3;
    QTest::newRow("Shift+Up after a click inside the selection")
        << "c0 s4 c2 SU" << std::vector<int>{1, 2} << 1;
    QTest::newRow("Down after a click inside the selection")
        << "c0 s3 c2 D" << std::vector<int>{3} << 3;
    QTest::newRow("click inside the selection selects that row")
        << "c0 s3 c1" << std::vector<int>{1} << 1;
    QTest::newRow("shift-click upwards") << "c3 s1" << std::vector<int>{1, 2, 3} << 1;
    QTest::newRow("shift extends from a ctrl-clicked row")
        << "c0 t2 s4" << std::vector<int>{0, 2, 3, 4} << 4;
    QTest::newRow("ctrl-click takes a row out") << "c0 s2 t1" << std::vector<int>{0, 2} << 1;
    QTest::newRow("shift-click twice keeps the anchor")
        << "c1 s3 s0" << std::vector<int>{0, 1} << 0;
}

void TestDragDrop::selectionAnchorFollowsEveryPress() {
    QFETCH(QString, steps);
    Window w(QStringLiteral("A B C D E F"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.view->setFocus();
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const QChar kind = step.front();
        if (step == QLatin1String("D") || step == QLatin1String("U") || kind == QLatin1Char('S')) {
            const bool shift = kind == QLatin1Char('S');
            const bool down = step.back() == QLatin1Char('D');
            QTest::keyClick(w.view, down ? Qt::Key_Down : Qt::Key_Up,
                            shift ? Qt::ShiftModifier : Qt::NoModifier);
            continue;
        }
        const int row = step.mid(1).toInt();
        const Qt::KeyboardModifiers mods = kind == QLatin1Char('s')   ? Qt::ShiftModifier
                                           : kind == QLatin1Char('t') ? Qt::ControlModifier
                                                                      : Qt::NoModifier;
        QTest::mouseClick(w.vp(), Qt::LeftButton, mods, w.rowPoint(row));
    }
    QTEST(w.view->selectedPositions(), "selected");
    QTEST(w.view->currentIndex().row(), "current");
    QCOMPARE(w.view->drags, 0);
}

void TestDragDrop::dragImageIsTheRow() {
    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({2});
    QSize image;
    QPoint hotSpot;
    QByteArray format;
    w.view->script = [&](QDrag& drag) {
        image = drag.pixmap().deviceIndependentSize().toSize();
        hotSpot = drag.hotSpot();
        format = drag.mimeData()->formats().value(0).toLatin1();
        return Qt::IgnoreAction;
    };
    w.dragFrom(2);
    const QRect row = w.view->visualRect(w.model->index(2));
    QCOMPARE(image, row.size());
    QCOMPARE(hotSpot, w.rowPoint(2) - row.topLeft());
    QCOMPARE(format, QByteArray(PlaylistListView::kRowsMimeType));
}

void TestDragDrop::moveWithinOneList_data() {
    QTest::addColumn<std::vector<int>>("selected");
    QTest::addColumn<int>("target");  // -1: empty space below the rows
    QTest::addColumn<QString>("result");

    QTest::newRow("B D onto E") << std::vector<int>{1, 3} << 4 << "A C B D E";
    QTest::newRow("B onto empty space") << std::vector<int>{1} << -1 << "A C D E B";
    QTest::newRow("D onto B") << std::vector<int>{3} << 1 << "A D B C E";
    QTest::newRow("B onto C keeps the order") << std::vector<int>{1} << 2 << "A B C D E";
    QTest::newRow("B D onto D: before E") << std::vector<int>{1, 3} << 3 << "A C B D E";
    QTest::newRow("B D onto B: before C") << std::vector<int>{1, 3} << 1 << "A B D C E";
    QTest::newRow("D E onto E: to the end") << std::vector<int>{3, 4} << 4 << "A B C D E";
    QTest::newRow("A C E onto A") << std::vector<int>{0, 2, 4} << 0 << "A C E B D";
}

void TestDragDrop::moveWithinOneList() {
    QFETCH(std::vector<int>, selected);
    QFETCH(int, target);
    QFETCH(QString, result);

    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select(selected);
    const QPoint at = target >= 0 ? w.rowPoint(target) : w.emptyPoint();
    Qt::DropAction action = Qt::IgnoreAction;
    w.view->script = [&](QDrag& drag) {
        action = dropOn(w.vp(), drag.mimeData(), at);
        return action;
    };
    w.dragFrom(selected.front());

    QCOMPARE(action, Qt::MoveAction);
    QCOMPARE(w.order(), result);
    // A drop that leaves the order as it was is no change: the rows and selection stay.
    const bool changed = result != QLatin1String("A B C D E");
    QCOMPARE(w.doc.Modified(), changed);
    QCOMPARE(w.view->selectedPositions().empty(), changed);
    QCOMPARE(w.view->dropHighlightRow(), -1);
    QCOMPARE(w.view->dropTarget(), -1);
    // The whole drag is one step.
    QCOMPARE(w.doc.history().count(), changed ? 1 : 0);
    w.doc.undo();
    QCOMPARE(w.order(), QStringLiteral("A B C D E"));
    QVERIFY(!w.doc.Modified());
}

void TestDragDrop::copyBetweenLists_data() {
    QTest::addColumn<int>("target");  // -1: empty space
    QTest::addColumn<QString>("result");
    // Row 0 of the receiving list is selected: the drop goes where the cursor is, not there.
    QTest::newRow("onto X") << 3 << "V W X B D Y Z";
    QTest::newRow("onto the first row") << 0 << "B D V W X Y Z";
    QTest::newRow("onto empty space") << -1 << "V W X Y Z B D";
}

void TestDragDrop::copyBetweenLists() {
    QFETCH(int, target);
    QFETCH(QString, result);

    Window one(QStringLiteral("A B C D E"), {0, 0}, images_);
    Window two(QStringLiteral("V W X Y Z"), {300, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&two.top));
    two.select({0});
    one.select({1, 3});
    const QPoint at = target >= 0 ? two.rowPoint(target) : two.emptyPoint();
    Qt::DropAction action = Qt::IgnoreAction;
    one.view->script = [&](QDrag& drag) {
        // Over the source first, then out past its edge and onto the other list.
        enter(one.vp(), drag.mimeData(), one.rowPoint(4));
        move(one.vp(), drag.mimeData(), one.rowPoint(4));
        leaveTowards(one.vp(), QPoint(-5, 5));
        action = dropOn(two.vp(), drag.mimeData(), at);
        return action;
    };
    one.dragFrom(1);

    QCOMPARE(action, Qt::CopyAction);
    QCOMPARE(two.order(), result);
    QVERIFY(two.doc.Modified());
    QVERIFY(two.view->selectedPositions().empty());
    QCOMPARE(one.order(), QStringLiteral("A B C D E"));
    QVERIFY(!one.doc.Modified());
    QCOMPARE(one.view->dropTarget(), -1);
    // One step in the receiving window; the source, copied from, has none.
    QCOMPARE(two.doc.history().count(), 1);
    QCOMPARE(one.doc.history().count(), 0);
    two.doc.undo();
    QCOMPARE(two.order(), QStringLiteral("V W X Y Z"));
    QVERIFY(!two.doc.Modified());
}

void TestDragDrop::cancelledDragChangesNothing() {
    Window one(QStringLiteral("A B C D E"), {0, 0}, images_);
    Window two(QStringLiteral("V W"), {300, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&two.top));
    one.select({1, 3});
    one.view->script = [&](QDrag& drag) {
        enter(two.vp(), drag.mimeData(), two.rowPoint(1));
        move(two.vp(), drag.mimeData(), two.rowPoint(1));
        leaveTowards(two.vp(), QPoint(-5, -5));
        return Qt::IgnoreAction;  // Escape
    };
    one.dragFrom(3);
    QCOMPARE(one.order(), QStringLiteral("A B C D E"));
    QCOMPARE(two.order(), QStringLiteral("V W"));
    QVERIFY(!one.doc.Modified());
    QVERIFY(!two.doc.Modified());
    QCOMPARE(two.view->dropTarget(), -1);

    // The drag copied the rows, as Copy would: Paste inserts them.
    PasteEntries(two.doc, two.view->selectedPositions(), clipboard);
    QCOMPARE(two.order(), QStringLiteral("V W B D"));
}

void TestDragDrop::leavingPastTheEdgeForgetsTheRow() {
    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({1});
    int highlighted = -2, afterLeave = -2;
    w.view->script = [&](QDrag& drag) {
        const QMimeData* mime = drag.mimeData();
        enter(w.vp(), mime, w.rowPoint(3));
        move(w.vp(), mime, w.rowPoint(3));
        highlighted = w.view->dropHighlightRow();
        leaveTowards(w.vp(), QPoint(-10, w.rowPoint(3).y()));  // out at the left, level with D
        afterLeave = w.view->dropTarget();
        return dropOn(w.vp(), mime, w.emptyPoint());
    };
    w.dragFrom(1);
    QCOMPARE(highlighted, 3);
    QCOMPARE(afterLeave, -1);
    QCOMPARE(w.order(), QStringLiteral("A C D E B"));
}

void TestDragDrop::leavingOverARowRemembersIt() {
    // Another window covering the list: the drag leaves while the cursor is still over row D.
    Window w(QStringLiteral("A B C D E"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({1});
    int remembered = -2, overEmpty = -2;
    w.view->script = [&](QDrag& drag) {
        const QMimeData* mime = drag.mimeData();
        enter(w.vp(), mime, w.rowPoint(3));
        move(w.vp(), mime, w.rowPoint(2));
        move(w.vp(), mime, w.rowPoint(3));
        leaveTowards(w.vp(), w.rowPoint(3));
        remembered = w.view->rememberedDropTarget();
        enter(w.vp(), mime, w.emptyPoint());
        move(w.vp(), mime, w.emptyPoint());
        overEmpty = w.view->dropTarget();
        return drop(w.vp(), mime, w.emptyPoint());
    };
    w.dragFrom(1);
    QCOMPARE(remembered, 3);
    QCOMPARE(overEmpty, 3);
    QCOMPARE(w.order(), QStringLiteral("A C B D E"));
}

void TestDragDrop::dragStartForgetsTheRememberedRow() {
    Window one(QStringLiteral("A B C"), {0, 0}, images_);
    Window two(QStringLiteral("X Y Z"), {300, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&two.top));
    one.select({0});
    int rememberedDuring = -2, rememberedAtNextStart = -2;
    one.view->script = [&](QDrag& drag) {
        enter(two.vp(), drag.mimeData(), two.rowPoint(2));
        move(two.vp(), drag.mimeData(), two.rowPoint(2));
        leaveTowards(two.vp(), two.rowPoint(2));
        rememberedDuring = two.view->rememberedDropTarget();
        return Qt::IgnoreAction;
    };
    one.dragFrom(0);
    QCOMPARE(rememberedDuring, 2);
    QCOMPARE(two.view->rememberedDropTarget(), -1);  // the end of the drag

    // A model reset forgets as well: the rows it referred to are gone.
    one.view->script = [&](QDrag& drag) {
        enter(two.vp(), drag.mimeData(), two.rowPoint(1));
        move(two.vp(), drag.mimeData(), two.rowPoint(1));
        leaveTowards(two.vp(), two.rowPoint(1));
        AppendNames(two.doc, {"W"});
        rememberedAtNextStart = two.view->dropTarget();
        return Qt::IgnoreAction;
    };
    one.dragFrom(0);
    QCOMPARE(rememberedAtNextStart, -1);
}

void TestDragDrop::highlightIsDrawnApartFromSelection() {
    Window w(QStringLiteral("A B C"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({0});
    const QRect row1 = w.view->visualRect(w.model->index(1));
    const QImage plain = w.vp()->grab(row1).toImage();
    const QImage selected = w.vp()->grab(w.view->visualRect(w.model->index(0))).toImage();
    QImage highlighted;
    w.view->script = [&](QDrag& drag) {
        enter(w.vp(), drag.mimeData(), w.rowPoint(1));
        move(w.vp(), drag.mimeData(), w.rowPoint(1));
        highlighted = w.vp()->grab(row1).toImage();
        return Qt::IgnoreAction;
    };
    w.dragFrom(0);
    QVERIFY(highlighted != plain);
    QVERIFY(highlighted != selected);
    QVERIFY(w.view->selectedPositions() == std::vector<int>{0});  // the highlight is no selection
}

void TestDragDrop::shellDrop() {
    Window w(QStringLiteral("A B"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    w.select({1});
    const QString dir = testsupport::homeDir() + QStringLiteral("/music");
    const QString longName =
        dir + QLatin1Char('/') + QString(300, QLatin1Char('x')) + QStringLiteral(".mp3");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(dir + QStringLiteral("/one.mp3")),
                  QUrl::fromLocalFile(dir + QStringLiteral("/list.m3u")),
                  QUrl::fromLocalFile(longName)});
    // A file manager proposes a move; taking it would delete the files.
    QDragEnterEvent e(w.rowPoint(0), Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
    e.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(w.vp(), &e);
    QVERIFY(e.isAccepted());
    QCOMPARE(e.dropAction(), Qt::CopyAction);
    QCOMPARE(move(w.vp(), &mime, w.rowPoint(0)), Qt::CopyAction);
    QCOMPARE(w.view->dropHighlightRow(), -1);  // where files land does not depend on the cursor
    QCOMPARE(drop(w.vp(), &mime, w.rowPoint(0)), Qt::CopyAction);

    QCOMPARE(w.doc.Entries().size(), 5);
    QCOMPARE(w.doc.Entries().bytes(0), QByteArray("A"));
    QCOMPARE(w.doc.Entries().bytes(2), QFile::encodeName(dir + QStringLiteral("/one.mp3")));
    QCOMPARE(w.doc.Entries().bytes(3), QFile::encodeName(dir + QStringLiteral("/list.m3u")));
    QCOMPARE(w.doc.Entries().bytes(4), QFile::encodeName(longName));
    QVERIFY(w.doc.Entries().bytes(4).size() > 300);
    QVERIFY(w.doc.Modified());
    QVERIFY(w.view->selectedPositions().empty());
    // One drop, one step.
    QCOMPARE(w.doc.history().count(), 1);
    w.doc.undo();
    QCOMPARE(w.order(), QStringLiteral("A B"));
}

void TestDragDrop::shellDropNames_data() {
    QTest::addColumn<QByteArray>("uriList");
    QTest::addColumn<std::vector<QByteArray>>("names");

    QTest::newRow("order kept, comments and CR LF skipped")
        << QByteArray("# from the file manager\r\nfile:///m/b.mp3\r\nfile:///m/a.mp3\r\n")
        << testsupport::list({"/m/b.mp3", "/m/a.mp3"});
    QTest::newRow("escapes decoded byte for byte")
        << QByteArray("file:///m/a%20b.mp3\nfile:///m/%FF%FE.mp3\nfile:///m/%C3%A9.ogg")
        << testsupport::list({"/m/a b.mp3", "/m/\xff\xfe.mp3", "/m/\xc3\xa9.ogg"});
    QTest::newRow("web addresses as their text")
        << QByteArray("http://radio.example/live?id=1\nhttps://example.org/a%20b.mp3")
        << testsupport::list({"http://radio.example/live?id=1", "https://example.org/a%20b.mp3"});
    QTest::newRow("file on another host")
        << QByteArray("file://server/share/a.mp3") << testsupport::list({"//server/share/a.mp3"});
    QTest::newRow("folder") << QByteArray("file:///m/albums") << testsupport::list({"/m/albums"});
    QTest::newRow("nothing") << QByteArray("") << std::vector<QByteArray>{};
}

void TestDragDrop::shellDropNames() {
    QFETCH(QByteArray, uriList);
    QFETCH(std::vector<QByteArray>, names);
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), uriList);
    QCOMPARE(PlaylistListView::NamesFromMimeData(&mime), names);
}

void TestDragDrop::foreignRowsAreRefused() {
    // Rows from another process, or from a list that is gone, must not reach the document.
    Window w(QStringLiteral("A B"), {0, 0}, images_);
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    for (const QByteArray& payload :
         {QByteArray("1 1"), QByteArray::number(QCoreApplication::applicationPid()) + " 999999",
          QByteArray("garbage")}) {
        QMimeData mime;
        mime.setData(QLatin1String(PlaylistListView::kRowsMimeType), payload);
        QCOMPARE(dropOn(w.vp(), &mime, w.rowPoint(0)), Qt::IgnoreAction);
    }
    QCOMPARE(w.order(), QStringLiteral("A B"));
    QVERIFY(!w.doc.Modified());
}

void TestDragDrop::rowsSpanTheViewport() {
    Window w(QString(), {0, 0}, images_);
    AppendNames(w.doc, {QByteArray(500, 'x'), "short.mp3"});
    QVERIFY(QTest::qWaitForWindowExposed(&w.top));
    QTRY_COMPARE(w.view->visualRect(w.model->index(0)).width(), w.vp()->width());
    QCOMPARE(w.view->visualRect(w.model->index(1)).width(), w.vp()->width());
    QCOMPARE(w.view->horizontalScrollBar()->maximum(), 0);
    const int narrow = w.vp()->width() - 60;
    w.top.resize(w.top.width() - 60, w.top.height());
    QTRY_COMPARE(w.view->visualRect(w.model->index(0)).width(), narrow);
}

void TestDragDrop::inTheProgramsWindows() {
    // The same flow through the program's own frame and document windows. The platform drag
    // ends at once offscreen, so the drop is delivered afterwards with the drag's data.
    testsupport::ScriptedPrompts prompts;
    TCadrellMainForm frame(QByteArray(), false);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    TMDIChild* one = frame.CreateDocumentWindow();
    TMDIChild* two = frame.CreateDocumentWindow();
    for (TMDIChild* w : {one, two}) {
        AppendNames(w->Document, {"A", "B", "C", "D", "E"});
        w->Document.markClean();
    }
    frame.MdiArea->tileSubWindows();
    QCoreApplication::processEvents();
    auto rowPoint = [](TMDIChild* w, int row) {
        return w->ListView1->visualRect(w->ListView1->model()->index(row, 0)).center();
    };
    auto order = [](TMDIChild* w) {
        QByteArrayList out;
        for (const QByteArray& e : w->Document.Entries().toVector())
            out << e;
        return out.join(' ');
    };

    QWidget* vp1 = one->ListView1->viewport();
    QTest::mouseClick(vp1, Qt::LeftButton, {}, rowPoint(one, 1));
    QTest::mouseClick(vp1, Qt::LeftButton, Qt::ControlModifier, rowPoint(one, 3));
    QTest::mousePress(vp1, Qt::LeftButton, {}, rowPoint(one, 3));
    QTest::mouseMove(vp1, rowPoint(one, 3) + QPoint(0, QApplication::startDragDistance() + 2));
    QTest::mouseRelease(vp1, Qt::LeftButton, {}, rowPoint(one, 3));
    QCOMPARE(frame.EntryClipboard.toVector(), testsupport::list({"B", "D"}));
    QCOMPARE(CopiedPositions().values(), (std::vector<int32_t>{1, 3}));

    std::unique_ptr<QMimeData> rows(PlaylistListView::RowsMimeData(*one->ListView1));
    QCOMPARE(dropOn(two->ListView1->viewport(), rows.get(), rowPoint(two, 4)), Qt::CopyAction);
    QCOMPARE(order(two), QByteArray("A B C D B D E"));
    QVERIFY(two->Document.Modified());
    QCOMPARE(order(one), QByteArray("A B C D E"));
    QVERIFY(!one->Document.Modified());

    QCOMPARE(dropOn(vp1, rows.get(), rowPoint(one, 0)), Qt::MoveAction);
    QCOMPARE(order(one), QByteArray("B D A C E"));
    QVERIFY(one->Document.Modified());
    QVERIFY(prompts.errors.isEmpty());

    for (TMDIChild* w : {one, two}) {
        w->Document.markClean();
        w->subWindow()->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
