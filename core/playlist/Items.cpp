#include "core/playlist/Items.h"

#include <algorithm>

namespace cadrell {

bool IsBlankEntry(QByteArrayView entry) {
    return std::all_of(entry.begin(), entry.end(), [](char c) { return c == ' ' || c == '\t'; });
}

bool IsDirective(QByteArrayView entry) {
    return !entry.isEmpty() && entry[0] == '#';
}

bool IsMediaEntry(QByteArrayView entry) {
    return !IsDirective(entry) && !IsBlankEntry(entry);
}

bool IsHeaderLine(QByteArrayView entry) {
    constexpr QByteArrayView kHeader("#EXTM3U");
    return entry.startsWith(kHeader) &&
           (entry.size() == kHeader.size() || entry[kHeader.size()] == ' ' ||
            entry[kHeader.size()] == '\t');
}

ItemLayout FindItems(const EntryList& entries) {
    ItemLayout layout;
    const int n = static_cast<int>(std::min<qsizetype>(entries.size(), INT_MAX));
    int row = n > 0 && IsHeaderLine(entries.at(0)) ? 1 : 0;
    layout.items.reserve(static_cast<size_t>(n));
    int run = -1;  // first row of the "#" lines directly above `row`
    // The lines' kinds say what IsDirective and IsBlankEntry would, without reading the text.
    using Kind = EntryList::Kind;
    for (; row < n; ++row) {
        const Kind kind = entries.kind(row);
        if (kind == Kind::Directive || kind == Kind::Extinf) {
            if (run < 0)
                run = row;
        } else if (kind == Kind::Blank) {
            run = -1;
        } else {
            const int first = run < 0 ? row : run;
            if (layout.items.empty())
                layout.lead = first;
            else
                layout.items.back().end = first;
            layout.items.push_back(Item{first, row, row + 1});
            run = -1;
        }
    }
    if (layout.items.empty()) {
        layout.lead = layout.tail = n;
        return layout;
    }
    // "#" lines after the last entry describe nothing; they and whatever follows them stay at the
    // end, while blank lines right after the last entry keep following it.
    int tail = layout.items.back().entry + 1;
    while (tail < n && entries.kind(tail) == Kind::Blank)
        ++tail;
    layout.items.back().end = tail;
    layout.tail = tail;
    return layout;
}

std::vector<int> ItemsOfRows(const ItemLayout& layout, const std::vector<int>& rows) {
    std::vector<int> out;
    const auto& items = layout.items;
    for (int row : rows) {
        auto it = std::upper_bound(items.begin(), items.end(), row,
                                   [](int r, const Item& item) { return r < item.first; });
        if (it == items.begin())
            continue;
        --it;
        if (row <= it->entry)
            out.push_back(static_cast<int>(it - items.begin()));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<int> RowsOfItems(const ItemLayout& layout, const std::vector<int>& items) {
    std::vector<int> rows;
    for (int i : items) {
        const Item& item = layout.items[static_cast<size_t>(i)];
        for (int r = item.first; r <= item.entry; ++r)
            rows.push_back(r);
    }
    return rows;
}

}  // namespace cadrell
