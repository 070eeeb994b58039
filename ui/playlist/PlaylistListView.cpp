#include "ui/playlist/PlaylistListView.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>
#include <algorithm>

#include "core/platform/EventLog.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/ItemRows.h"
#include "ui/playlist/PlaylistModel.h"

namespace cadrell {

namespace {

// Every list in the process: a drag's start and end reset the drop target of all of them, and a
// drag of rows finds its source here by number rather than trusting a pointer in the drag data.
std::vector<PlaylistListView*>& allViews() {
    static std::vector<PlaylistListView*> views;
    return views;
}

quint64 nextViewId() {
    static quint64 id = 0;
    return ++id;
}

}  // namespace

// Rows one font line (or one icon) high and as wide as the view, so a long entry is cut at the
// right edge instead of widening the list. The size never asks the model for anything.
class PlaylistListView::RowDelegate : public QStyledItemDelegate {
public:
    explicit RowDelegate(PlaylistListView* view) : QStyledItemDelegate(view), view_(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const int text = option.fontMetrics.height() + 4;
        const int icon = view_->iconSize().height() + 2;
        const int width = view_->viewport()->width();
        return {view_->header_ ? std::max(width, view_->header_->length()) : width,
                std::max(text, icon)};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shown(option);
        if (!view_->shownActive()) {
            shown.state &= ~QStyle::State_Active;
            // A style that draws both alike would leave the user guessing which window the
            // commands act on; a grey selection tells.
            QPalette& colours = shown.palette;
            if (colours.color(QPalette::Inactive, QPalette::Highlight) ==
                colours.color(QPalette::Active, QPalette::Highlight)) {
                colours.setColor(QPalette::Inactive, QPalette::Highlight,
                                 colours.color(QPalette::Active, QPalette::Window).darker(130));
                colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                                 colours.color(QPalette::Active, QPalette::Text));
            }
        }
        if (view_->header_) {
            initStyleOption(&shown, index);
            PaintItemRow(painter, shown, index, *view_->header_, *view_->items_);
        } else {
            QStyledItemDelegate::paint(painter, shown, index);
            if (index.data(PlaylistModel::MissingRole).toBool())
                PaintMissingMark(painter, shown, view_->viewport()->width());
        }
        view_->rowPainted_ = true;
        if (index.row() != view_->dropHighlightRow())
            return;
        // A frame in the highlight colour: visible on selected and unselected rows alike.
        painter->save();
        QPen pen(option.palette.color(QPalette::Active, QPalette::Highlight), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
        painter->restore();
    }

private:
    PlaylistListView* view_;
};

PlaylistListView::PlaylistListView(QWidget* parent) : QListView(parent), id_(nextViewId()) {
    allViews().push_back(this);
    setItemDelegate(new RowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A scroll bar that comes and goes would narrow the rows and lay out every one of a million
    // again; per-pixel scrolling keeps the scroll bar from walking all rows on each update.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The drag is started here, not by the item view's own machinery (which would drag on a
    // Ctrl press too and needs model support for it).
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

QRegion PlaylistListView::visualRegionForSelection(const QItemSelection& selection) const {
    // Hundreds of thousands of scattered selected rows: repainting the viewport is far cheaper
    // than working out the exact region.
    if (selection.size() > 256)
        return QRegion(viewport()->rect());
    return QListView::visualRegionForSelection(selection);
}

PlaylistListView::~PlaylistListView() {
    auto& views = allViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
}

void PlaylistListView::setImageList(TSystemImageList* images) {
    if (images_)
        disconnect(images_, nullptr, this, nullptr);
    images_ = images;
    if (!images_)
        return;
    auto follow = [this] {
        setIconSize(QSize(images_->Width(), images_->Height()));
        scheduleDelayedItemsLayout();
        viewport()->update();
    };
    connect(images_, &TSystemImageList::Change, this, follow);
    connect(images_, &QObject::destroyed, this, [this] { images_ = nullptr; });
    follow();
}

void PlaylistListView::setShownActive(bool active) {
    if (shownActive_ == active)
        return;
    shownActive_ = active;
    viewport()->update();
}

int PlaylistListView::dropTarget() const {
    if (highlight_.isValid())
        return highlight_.row();
    if (remembered_.isValid())
        return remembered_.row();
    return -1;
}

void PlaylistListView::paintEvent(QPaintEvent* event) {
    rowPainted_ = false;
    QListView::paintEvent(event);
    // Tests and the start-up benchmark wait for the moment a user first sees rows (a list whose
    // layout is still pending paints none).
    if (!rowPainted_ || rowsPaintedLogged_ || !PaintEventsLogged())
        return;
    rowsPaintedLogged_ = true;
    LogEvent("painted", QByteArray::number(model()->rowCount()));
}

// --- Starting a drag -----------------------------------------------------------------------

void PlaylistListView::mousePressEvent(QMouseEvent* event) {
    dragArmed_ = false;
    clickDeferred_ = false;
    dragRan_ = false;
    const QPoint pos = event->position().toPoint();
    const QModelIndex row = indexAt(pos);
    const bool plain = !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
    const bool left = event->button() == Qt::LeftButton;
    if (pressOnRuns(event, row))
        return;
    if (left && plain && row.isValid() && isRowSelected(row.row())) {
        // Keep the other selected rows until we know whether this becomes a drag; a plain click
        // selects the row alone when the button comes up.
        setFocus(Qt::MouseFocusReason);
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
        clickDeferred_ = true;
    } else {
        clearRuns();
        QListView::mousePressEvent(event);
    }
    if (left && plain && row.isValid() && isRowSelected(row.row())) {
        dragArmed_ = true;
        pressPos_ = pos;
        pressRow_ = row;
    }
}

void PlaylistListView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragArmed_) {
        QListView::mouseMoveEvent(event);
        return;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        dragArmed_ = false;
        clickDeferred_ = false;
        return;
    }
    if ((event->position().toPoint() - pressPos_).manhattanLength() <
        QApplication::startDragDistance())
        return;
    dragArmed_ = false;
    clickDeferred_ = false;
    dragRan_ = true;
    startDrag(Qt::CopyAction | Qt::MoveAction);
}

void PlaylistListView::mouseReleaseEvent(QMouseEvent* event) {
    const bool deferred = clickDeferred_;
    const bool dragged = dragRan_;
    dragArmed_ = false;
    clickDeferred_ = false;
    dragRan_ = false;
    if (dragged) {
        // The button that ended a drag (where the platform passes it on at all) is no click on
        // the rows that the drop may have rebuilt.
        event->accept();
        return;
    }
    if (!deferred) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    if (pressRow_.isValid() && selectionModel()) {
        // No drag came of it: now the list takes the press as its own plain click, which selects
        // the row alone and also makes it the anchor that Shift (mouse or key) extends from.
        QPoint at = pressPos_;
        if (indexAt(at) != pressRow_)
            at = visualRect(pressRow_).center();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QListView::mousePressEvent(&press);
        QListView::mouseReleaseEvent(event);
    }
    event->accept();
}

void PlaylistListView::startDrag(Qt::DropActions) {
    ListView1StartDrag();
}

void PlaylistListView::ListView1StartDrag() {
    forgetDropTargetEverywhere();
    emit dragStarted();

    QPointer<PlaylistListView> self(this);
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(RowsMimeData(*this));
    if (pressRow_.isValid()) {
        // The row as it shows now, selection colours and all, hanging where it was grabbed.
        const QRect rect = visualRect(pressRow_).intersected(viewport()->rect());
        if (!rect.isEmpty()) {
            drag->setPixmap(viewport()->grab(rect));
            drag->setHotSpot(pressPos_ - rect.topLeft());
        }
    }
    runDrag(*drag);

    if (drag)
        drag->deleteLater();
    forgetDropTargetEverywhere();
    if (self)
        viewport()->update();
}

Qt::DropAction PlaylistListView::runDrag(QDrag& drag) {
    return drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

QMimeData* PlaylistListView::RowsMimeData(const PlaylistListView& source) {
    // The process as well as the list, so rows dragged from another running copy are not
    // mistaken for ours.
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(kRowsMimeType),
                  QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                      QByteArray::number(source.id_));
    return mime;
}

PlaylistListView* PlaylistListView::rowsSource(const QMimeData* mime) {
    if (!mime || !mime->hasFormat(QLatin1String(kRowsMimeType)))
        return nullptr;
    const QList<QByteArray> parts = mime->data(QLatin1String(kRowsMimeType)).split(' ');
    if (parts.size() != 2 || parts[0].toLongLong() != QCoreApplication::applicationPid())
        return nullptr;
    const quint64 id = parts[1].toULongLong();
    for (PlaylistListView* view : allViews()) {
        if (view->id_ == id)
            return view;
    }
    return nullptr;
}

Qt::DropAction PlaylistListView::rowsAction(const PlaylistListView* source) const {
    return source == this ? Qt::MoveAction : Qt::CopyAction;
}

// --- The drop target -----------------------------------------------------------------------

void PlaylistListView::setHighlight(const QModelIndex& row) {
    if (QModelIndex(highlight_) == row)
        return;
    if (highlight_.isValid())
        viewport()->update(visualRect(highlight_));
    highlight_ = row;
    if (highlight_.isValid())
        viewport()->update(visualRect(highlight_));
}

void PlaylistListView::forgetDropTarget() {
    setHighlight(QModelIndex());
    remembered_ = QPersistentModelIndex();
}

void PlaylistListView::forgetDropTargetEverywhere() {
    for (PlaylistListView* view : allViews())
        view->forgetDropTarget();
}

void PlaylistListView::ListView1DragOver(QPoint pos, bool leaving) {
    const QModelIndex row = viewport()->rect().contains(pos) ? indexAt(pos) : QModelIndex();
    if (!row.isValid())
        setHighlight(QModelIndex());
    if (leaving) {
        // Left over a row (another window covers the list there): that row is remembered. Left
        // past the edge: the highlight is already gone and the remembered row stays as it was.
        if (highlight_.isValid()) {
            remembered_ = highlight_;
            setHighlight(QModelIndex());
        }
        return;
    }
    if (!row.isValid() || QModelIndex(highlight_) == row)
        return;
    remembered_ = QPersistentModelIndex();
    setHighlight(row);
}

// --- Drops ---------------------------------------------------------------------------------

bool PlaylistListView::AcceptFileDrag(QDragMoveEvent* event) {
    if (!event->mimeData() || !event->mimeData()->hasUrls())
        return false;
    // Copy, never move: a file manager that saw a move would delete the files.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void PlaylistListView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void PlaylistListView::dragMoveEvent(QDragMoveEvent* event) {
    if (PlaylistListView* source = rowsSource(event->mimeData())) {
        const QPoint pos = event->position().toPoint();
        ListView1DragOver(pos, false);
        const int margin = autoScrollMargin();
        if (pos.y() < margin || pos.y() >= viewport()->height() - margin)
            startAutoScroll();
        event->setDropAction(rowsAction(source));
        event->accept();
    } else if (!AcceptFileDrag(event)) {
        event->ignore();
    }
}

void PlaylistListView::dragLeaveEvent(QDragLeaveEvent* event) {
    stopAutoScroll();
    // The leave event has no position; where the cursor is now decides.
    ListView1DragOver(viewport()->mapFromGlobal(QCursor::pos()), true);
    event->accept();
}

void PlaylistListView::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    const QMimeData* mime = event->mimeData();
    if (mime && mime->hasFormat(QLatin1String(kRowsMimeType))) {
        PlaylistListView* source = rowsSource(mime);
        if (!source) {
            forgetDropTarget();
            event->ignore();
            return;
        }
        const int target = dropTarget();
        event->setDropAction(rowsAction(source));
        event->accept();
        QPointer<PlaylistListView> self(this);
        emit entriesDropped(source, target);
        if (self)
            forgetDropTarget();
        return;
    }
    const std::vector<QByteArray> names = NamesFromMimeData(mime);
    namesDropRow_ = indexAt(event->position().toPoint()).row();
    if (names.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit namesDropped(names);
}

std::vector<QByteArray> PlaylistListView::NamesFromMimeData(const QMimeData* mime) {
    std::vector<QByteArray> names;
    if (!mime || !mime->hasUrls())
        return names;
    auto add = [&](const QUrl& url) {
        if (!url.isValid() || url.isEmpty())
            return;
        names.push_back(url.isLocalFile() ? LocalFileBytes(url) : url.toEncoded());
    };
    // The list's own text, not QMimeData::urls(): that would pass every name through QString and
    // lose file names that are not valid UTF-8.
    const QByteArray list = mime->data(QStringLiteral("text/uri-list"));
    if (list.isEmpty()) {
        for (const QUrl& url : mime->urls())
            add(url);
        return names;
    }
    for (const QByteArray& raw : list.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        add(QUrl::fromEncoded(line));
    }
    return names;
}

}  // namespace cadrell
