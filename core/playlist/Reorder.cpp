#include "core/playlist/Reorder.h"

#include "core/playlist/ItemTable.h"

#include <algorithm>
#include <numeric>

#include "core/playlist/Change.h"
#include "core/playlist/PlaylistDocument.h"

namespace cadrell {

std::optional<Reordering> MoveByOne(int count, const std::vector<int>& selected, int step) {
    if (count <= 0 || (step != -1 && step != 1))
        return std::nullopt;
    std::vector<char> marked(static_cast<size_t>(count), 0);
    for (int row : selected) {
        if (row >= 0 && row < count)
            marked[static_cast<size_t>(row)] = 1;
    }
    Reordering result;
    result.order.resize(static_cast<size_t>(count));
    std::iota(result.order.begin(), result.order.end(), 0);
    bool moved = false;
    // Walking towards the far end lets a whole run follow its first row: once that row has
    // traded places, the next one finds an unmarked row before it in turn.
    auto trade = [&](int from, int to) {
        const auto a = static_cast<size_t>(from);
        const auto b = static_cast<size_t>(to);
        if (marked[a] && !marked[b]) {
            std::swap(marked[a], marked[b]);
            std::swap(result.order[a], result.order[b]);
            moved = true;
        }
    };
    if (step < 0) {
        for (int row = 1; row < count; ++row)
            trade(row, row - 1);
    } else {
        for (int row = count - 2; row >= 0; --row)
            trade(row, row + 1);
    }
    if (!moved)
        return std::nullopt;
    for (int row = 0; row < count; ++row) {
        if (marked[static_cast<size_t>(row)])
            result.selected.push_back(row);
    }
    return result;
}

namespace editing {

std::optional<std::vector<int>> MoveEntries(PlaylistDocument& doc, const std::vector<int>& selected,
                                            int step) {
    const qsizetype size = doc.Entries().size();
    const int count = static_cast<int>(std::min<qsizetype>(size, INT_MAX));
    std::optional<Reordering> moving = MoveByOne(count, selected, step);
    if (!moving)
        return std::nullopt;
    // Rows past what a list view can address keep their places at the end.
    for (qsizetype row = count; row < size; ++row)
        moving->order.push_back(static_cast<int>(row));
    doc.perform(Change::permute(moving->order),
                step < 0 ? QStringLiteral("Move Up") : QStringLiteral("Move Down"));
    return std::move(moving->selected);
}

std::optional<std::vector<int>> MoveItems(PlaylistDocument& doc, const ItemTable& table,
                                          const std::vector<int>& rows, int step) {
    std::vector<int> items;
    for (int row : rows)
        if (const int item = table.itemOfRow(row); item >= 0)
            items.push_back(item);
    std::optional<Reordering> moving = MoveByOne(table.itemCount(), items, step);
    if (!moving)
        return std::nullopt;
    const QString name = step < 0 ? QStringLiteral("Move Up") : QStringLiteral("Move Down");
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    if (items.back() - items.front() + 1 == static_cast<int>(items.size())) {
        // One run of items: its lines move as one block, which costs far less on a long list
        // than reordering every line.
        std::vector<int> lines;
        const Item first = table.item(items.front());
        const Item last = table.item(items.back());
        for (int line = first.first; line < last.end; ++line)
            lines.push_back(line);
        const int count = table.itemCount();
        int before = -1;
        if (step < 0)
            before = table.item(items.front() - 1).first;
        else if (items.back() + 2 < count)
            before = table.item(items.back() + 2).first;
        else if (table.tail() < doc.Entries().size())
            before = table.tail();
        doc.perform(Change::move(lines, before, doc.Entries().size()), name);
    } else {
        std::vector<int> order;
        order.reserve(static_cast<size_t>(doc.Entries().size()));
        for (int line = 0; line < table.lead(); ++line)
            order.push_back(line);
        for (int item : moving->order) {
            const Item it = table.item(item);
            for (int line = it.first; line < it.end; ++line)
                order.push_back(line);
        }
        for (qsizetype line = table.tail(); line < doc.Entries().size(); ++line)
            order.push_back(static_cast<int>(line));
        doc.perform(Change::permute(order), name);
    }
    std::vector<int> moved;
    for (int item : moving->selected)
        moved.push_back(table.rowOfItem(item));
    return moved;
}

}  // namespace editing
}  // namespace cadrell
