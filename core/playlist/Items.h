#pragma once

#include <QByteArrayView>
#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {

// An extended playlist describes a media entry with the "#" lines just above it; the tools move
// and remove such an item as one, so an #EXTINF line never loses its entry.

bool IsBlankEntry(QByteArrayView entry);  // empty, or nothing but spaces and tabs
bool IsDirective(QByteArrayView entry);   // starts with "#"
bool IsMediaEntry(QByteArrayView entry);  // neither blank nor a directive
bool IsHeaderLine(QByteArrayView entry);  // "#EXTM3U", alone or with attributes

// One item: rows [first, entry] are its "#" lines and its media entry. Rows (entry, end) are the
// blank lines and stray "#" lines that follow it; they belong to no item but travel with the item
// before them when items are reordered.
struct Item {
    int first;
    int entry;
    int end;
};

// The items of a list, in order. Rows before the first item (the header among them) and from
// the first "#" line after the last media entry on (lines that describe nothing) stay in place.
struct ItemLayout {
    std::vector<Item> items;
    int lead = 0;  // rows [0, lead) come before the first item
    int tail = 0;  // rows [tail, size) come after the last item
};

ItemLayout FindItems(const EntryList& entries);

// The ascending, distinct indices of the items that the given rows belong to (any of an item's
// "#" lines or its entry selects it; a row in no item selects nothing).
std::vector<int> ItemsOfRows(const ItemLayout& layout, const std::vector<int>& rows);

// The rows [first, entry] of the given items, ascending.
std::vector<int> RowsOfItems(const ItemLayout& layout, const std::vector<int>& items);

}  // namespace cadrell
