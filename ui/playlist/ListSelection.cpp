// The selection of a playlist's list: the selection model's, or many scattered rows held as runs.

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

namespace {

// Beyond this many ranges the selection model is slower than drawing from runs.
constexpr size_t kMostRanges = 512;

}  // namespace

std::vector<int> PlaylistListView::selectedPositions() const {
    std::vector<int> rows;
    if (!runs_.empty()) {
        for (const auto& [first, last] : runs_)
            for (int row = first; row <= last; ++row)
                rows.push_back(row);
        return rows;
    }
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange& r : selectionModel()->selection()) {
        for (int row = r.top(); row <= r.bottom(); ++row)
            rows.push_back(row);
    }
    // Select All is one range: its million rows are in order already.
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

qsizetype PlaylistListView::selectedCount() const {
    if (!runs_.empty()) {
        qsizetype count = 0;
        for (const auto& [first, last] : runs_)
            count += last - first + 1;
        return count;
    }
    if (!selectionModel())
        return 0;
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& r : selectionModel()->selection())
        ranges.emplace_back(r.top(), r.bottom());
    // Ranges of a selection may overlap (Ctrl-clicks on selected rows): count their union.
    std::sort(ranges.begin(), ranges.end());
    qsizetype count = 0;
    int covered = -1;
    for (const auto& [top, bottom] : ranges) {
        if (bottom <= covered)
            continue;
        count += bottom - std::max(top, covered + 1) + 1;
        covered = bottom;
    }
    return count;
}

bool PlaylistListView::isRowSelected(int row) const {
    if (!runs_.empty()) {
        auto it =
            std::upper_bound(runs_.begin(), runs_.end(), row,
                             [](int r, const std::pair<int, int>& run) { return r < run.first; });
        return it != runs_.begin() && row <= std::prev(it)->second;
    }
    return selectionModel() && model() && selectionModel()->isSelected(model()->index(row, 0));
}

void PlaylistListView::selectRows(const std::vector<int>& rows, int focusRow) {
    QItemSelectionModel* selection = selectionModel();
    if (!selection || !model())
        return;
    std::vector<std::pair<int, int>> runs;
    for (int row : rows) {
        if (!runs.empty() && row == runs.back().second + 1)
            runs.back().second = row;
        else if (runs.empty() || row > runs.back().second)
            runs.emplace_back(row, row);
    }
    settingRows_ = true;
    // Cleared first: the selection model compares an old selection with a new one range by range
    // with every other, which on thousands of ranges each stands still for seconds.
    selection->clearSelection();
    if (runs.size() > kMostRanges) {
        runs_ = std::move(runs);
    } else {
        runs_.clear();
        QItemSelection ranges;
        for (const auto& [first, last] : runs)
            ranges.append(QItemSelectionRange(model()->index(first, 0), model()->index(last, 0)));
        selection->select(ranges, QItemSelectionModel::Select);
    }
    settingRows_ = false;
    viewport()->update();
    emit runsChanged();
    if (focusRow < 0)
        return;
    const QModelIndex focus = model()->index(focusRow, 0);
    selection->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
    scrollTo(focus);
}

void PlaylistListView::clearRuns() {
    if (runs_.empty())
        return;
    runs_.clear();
    viewport()->update();
    emit runsChanged();
}

void PlaylistListView::selectAll() {
    clearRuns();
    QListView::selectAll();
}

void PlaylistListView::clearSelection() {
    clearRuns();
    QListView::clearSelection();
}

void PlaylistListView::toggleInRuns(int row) {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), row,
                               [](int r, const std::pair<int, int>& run) { return r < run.first; });
    if (it != runs_.begin() && row <= std::prev(it)->second) {
        auto run = std::prev(it);
        const auto [first, last] = *run;
        if (first == last) {
            runs_.erase(run);
        } else if (row == first) {
            run->first = row + 1;
        } else if (row == last) {
            run->second = row - 1;
        } else {
            run->second = row - 1;
            runs_.insert(std::next(run), {row + 1, last});
        }
    } else {
        runs_.insert(it, {row, row});
        // Joined with a neighbour it touches.
        auto at = std::lower_bound(runs_.begin(), runs_.end(), std::make_pair(row, row));
        if (std::next(at) != runs_.end() && std::next(at)->first == row + 1) {
            at->second = std::next(at)->second;
            runs_.erase(std::next(at));
        }
        if (at != runs_.begin() && std::prev(at)->second == row - 1) {
            std::prev(at)->second = at->second;
            runs_.erase(at);
        }
    }
    viewport()->update();
    emit runsChanged();
}

bool PlaylistListView::pressOnRuns(QMouseEvent* event, const QModelIndex& row) {
    if (runs_.empty() || !row.isValid())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool toggle = event->button() == Qt::LeftButton && (mods & Qt::ControlModifier) &&
                        !(mods & Qt::ShiftModifier);
    // A right click on a selected row keeps the selection for the row menu.
    const bool keep = event->button() == Qt::RightButton && isRowSelected(row.row());
    if (!toggle && !keep)
        return false;
    setFocus(Qt::MouseFocusReason);
    selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
    if (toggle)
        toggleInRuns(row.row());
    event->accept();
    return true;
}

void PlaylistListView::keyPressEvent(QKeyEvent* event) {
    if (!runs_.empty()) {
        const Qt::KeyboardModifiers mods = event->modifiers();
        const bool ctrl = (mods & Qt::ControlModifier) && !(mods & Qt::ShiftModifier);
        if (ctrl && event->key() == Qt::Key_Space && currentIndex().isValid()) {
            toggleInRuns(currentIndex().row());
            event->accept();
            return;
        }
        // Ctrl with a movement key moves the current row alone; a movement key without it, or a
        // letter that searches the rows, selects anew. Tab and the rest leave the selection.
        static const int moves[] = {Qt::Key_Up,     Qt::Key_Down,     Qt::Key_Left, Qt::Key_Right,
                                    Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End,
                                    Qt::Key_Space,  Qt::Key_Select};
        const bool moving =
            std::find(std::begin(moves), std::end(moves), event->key()) != std::end(moves);
        const bool searching = !event->text().isEmpty() && event->text().at(0).isPrint() &&
                               !(mods & (Qt::ControlModifier | Qt::AltModifier));
        if ((moving && !ctrl) || searching)
            clearRuns();
    }
    QListView::keyPressEvent(event);
}

}  // namespace cadrell
