#pragma once

#include <optional>
#include <vector>

namespace cadrell {

class ItemTable;
class PlaylistDocument;

// Moving the selected entries one place up or down (Move Up, Move Down).
struct Reordering {
    std::vector<int> order;     // order[i]: the row that comes to stand at i
    std::vector<int> selected;  // where the selected rows stand afterwards, ascending
};

// Each run of selected rows trades places with the row just before it (step -1) or just after
// it (step +1); a run that already touches that end of the list stays where it is. Positions
// outside the list are ignored. Nothing when no row would move.
std::optional<Reordering> MoveByOne(int count, const std::vector<int>& selected, int step);

namespace editing {

// Applies MoveByOne to the document as one change. The rows the selection now stands at, or
// nothing (and no change at all) when no row moved.
std::optional<std::vector<int>> MoveEntries(PlaylistDocument& doc, const std::vector<int>& selected,
                                            int step);

// The item view's Move Up and Move Down: the items of the rows trade places with the item before
// or after them, each with all its lines; rows that are no item never move. The rows the items
// stand at afterwards, or nothing when none moved.
std::optional<std::vector<int>> MoveItems(PlaylistDocument& doc, const ItemTable& table,
                                          const std::vector<int>& rows, int step);

}  // namespace editing
}  // namespace cadrell
