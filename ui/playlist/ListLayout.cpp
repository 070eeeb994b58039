// How the list follows its model: resets, rows whose texts changed, and laying a million rows
// out without holding the window longer than it must.

#include <QAccessible>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <algorithm>

#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

void PlaylistListView::setModel(QAbstractItemModel* model) {
    forgetDropTarget();
    runs_.clear();
    QListView::setModel(model);
    // Whatever else changes the selection (a click, a key, the find bar) replaces the runs.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!settingRows_ && !runs_.empty() && !selected.isEmpty())
                    clearRuns();
            });
}

void PlaylistListView::fitGrid() {
    // Rows of one height in a grid as wide as the list: laying out a million rows then asks
    // none of them for its size, which takes about half the time.
    QSize grid;
    if (model() && model()->rowCount() > 0)
        grid = QSize(std::max(viewport()->width(), 1), std::max(sizeHintForRow(0), 1));
    if (grid != gridSize())
        setGridSize(grid);
}

void PlaylistListView::reset() {
    fitGrid();
    // A rebuild destroys every row, and with them the drop target and the selection.
    forgetDropTarget();
    runs_.clear();
    dragArmed_ = false;
    clickDeferred_ = false;
    QListView::reset();
}

void PlaylistListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                   const QList<int>& roles) {
    if (!roles.isEmpty() || topLeft.row() != 0 || !model() ||
        bottomRight.row() != model()->rowCount() - 1) {
        QListView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    // Every row's text changed, none's size (the rows are of one height). The list's own handler
    // would lay out every row again and the base class would ask every row for its rectangle,
    // each holding the window for tens of milliseconds or more on a million rows; painting the
    // visible rows again is all it takes.
    viewport()->update();
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(topLeft.row());
        event.setFirstColumn(topLeft.column());
        event.setLastRow(bottomRight.row());
        event.setLastColumn(bottomRight.column());
        QAccessible::updateAccessibility(&event);
    }
#endif
    forgetDropTarget();
    dragArmed_ = false;
    clickDeferred_ = false;
    runs_.clear();
    if (selectionModel())
        selectionModel()->clear();
}

void PlaylistListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    placeHeader();
    // Rows are as wide as the viewport, so a new width lays them out again (the list view does
    // that by itself only for the height).
    if (event->size().width() != event->oldSize().width()) {
        fitGrid();
        scheduleDelayedItemsLayout();
    }
}

void PlaylistListView::changeEvent(QEvent* event) {
    QListView::changeEvent(event);
    // Another font or style gives the rows another height.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitGrid();
}

}  // namespace cadrell
