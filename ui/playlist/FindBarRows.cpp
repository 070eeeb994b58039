// What the find bar's rows and choices stand for: lines of the document, or the items of the
// item view, and the part of a line a search looks in.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>

#include "core/platform/Strings.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

using strings::FormatCount;

void FindBar::setLookInChoices(const std::vector<QByteArray>& attributes, bool shown) {
    const QString kept = lookIn_->currentText();
    const QSignalBlocker quiet(lookIn_);
    lookIn_->clear();
    for (const char* part : {"All", "Title", "Group", "Path"})
        lookIn_->addItem(tr(part));
    for (const QByteArray& name : attributes)
        lookIn_->addItem(QString::fromUtf8(name), name);
    lookIn_->setCurrentIndex(std::max(0, lookIn_->findText(kept)));
    lookInLabel_->setVisible(shown);
    lookIn_->setVisible(shown);
    if (lookIn_->currentText() != kept && !findField_->text().isEmpty())
        restart();
}

FindOptions FindBar::options() const {
    LookIn lookIn;
    const int choice = lookIn_->isVisibleTo(this) ? lookIn_->currentIndex() : 0;
    if (choice >= 4)
        lookIn = {LookIn::Attribute, lookIn_->currentData().toByteArray()};
    else
        lookIn.part = static_cast<LookIn::Part>(std::max(choice, 0));
    return {findField_->text(), matchCase_->isChecked(), regex_->isChecked(), lookIn};
}

std::vector<int> FindBar::rowsOfLines(const std::vector<int>& lines) const {
    return map_.rowsOfLines ? map_.rowsOfLines(lines) : lines;
}

std::vector<int> FindBar::linesOfRows(const std::vector<int>& rows) const {
    return map_.linesOfRows ? map_.linesOfRows(rows) : rows;
}

int FindBar::currentRow(bool forward) const {
    if (!view_)
        return -1;
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return -1;
    const std::vector<int> lines = linesOfRows({current.row()});
    if (lines.empty())
        return -1;
    return forward ? lines.back() : lines.front();
}

int FindBar::currentMatchLine() const {
    if (!view_ || !view_->currentIndex().isValid())
        return -1;
    const std::vector<int> lines = linesOfRows({view_->currentIndex().row()});
    for (int line : lines)
        if (session_.matchNumber(line) > 0)
            return line;
    return lines.empty() ? -1 : lines.front();
}

void FindBar::moveTo(int row) {
    if (!view_ || !view_->model())
        return;
    const std::vector<int> rows = rowsOfLines({row});
    if (rows.empty())
        return;
    const QModelIndex index = view_->model()->index(rows.front(), 0);
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(index);
    showCount();
}

void FindBar::selectFound() {
    if (session_.found().empty()) {
        emit message(tr("Not found"));
        return;
    }
    if (!view_ || !view_->model())
        return;
    const std::vector<int> found = rowsOfLines(session_.found());
    view_->selectRows(found, found.front());
    emit message(
        found.size() == 1
            ? tr("1 row selected")
            : tr("%1 rows selected").arg(FormatCount(static_cast<qsizetype>(found.size()))));
}

std::vector<int> FindBar::selectedRows() const {
    return view_ ? linesOfRows(view_->selectedPositions()) : std::vector<int>();
}

}  // namespace cadrell
