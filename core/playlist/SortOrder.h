#pragma once

#include <QByteArrayView>
#include <cstdint>
#include <vector>

#include "core/playlist/EntryList.h"
#include "core/playlist/ItemTable.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// A new order of all rows: order[newRow] is the row that moves there.
using RowOrder = std::vector<int>;
bool IsIdentity(const RowOrder& order);

// Sort, Reverse and Shuffle reorder the items of the selected rows when more than one item is
// selected, else all items; the other rows keep their places.
enum class SortKey { Path, FileName, Title };
RowOrder SortOrder(const EntryList& entries, const std::vector<int>& selectedRows, SortKey key,
                   const TextForm& form = {});
// All items in the order of one column of the item view (a second click on its header sorts
// descending); the lines that are no item stay in place.
RowOrder SortByColumn(const EntryList& entries, ItemColumn column, QByteArrayView attribute,
                      bool descending, const TextForm& form = {});
RowOrder ReverseOrder(const EntryList& entries, const std::vector<int>& selectedRows);
RowOrder ShuffleOrder(const EntryList& entries, const std::vector<int>& selectedRows,
                      uint64_t seed);

// The title an #EXTINF line gives ("#EXTINF:123 attr="a,b",Title" gives "Title"), or an empty
// view when the line is no #EXTINF line or names no title.
QByteArrayView ExtinfTitle(QByteArrayView line);

// What a reordering of these selected rows works on: the items of the selection when it holds
// several, else every item.
struct OrderScope {
    qsizetype items = 0;
    bool selection = false;
};
OrderScope ScopeOfOrder(const EntryList& entries, const std::vector<int>& selectedRows);

}  // namespace cadrell
