#include "core/playlist/ItemTable.h"

#include <QCoreApplication>
#include <algorithm>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Extinf.h"

namespace cadrell {

namespace {

constexpr QByteArrayView kExtgrp("#EXTGRP:");
constexpr QByteArrayView kGroupTitle("group-title");

QString tr(const char* text) {
    return QCoreApplication::translate("ItemTable", text);
}

int extgrpLineOf(const EntryList& entries, const Item& item) {
    for (int r = item.first; r < item.entry; ++r)
        if (entries.at(r).startsWith(kExtgrp))
            return r;
    return -1;
}

Change replaced(int row, const QByteArray& text) {
    EntryList texts;
    texts.append(text);
    return Change::replace({row}, std::move(texts));
}

// A new line just above the item's entry, after the "#" lines it has.
Change insertedAbove(const Item& item, const QByteArray& text) {
    EntryList texts;
    texts.append(text);
    return Change::insert({item.entry}, std::move(texts));
}

}  // namespace

void ItemTable::rebuild(const EntryList& entries) {
    using Kind = EntryList::Kind;
    entries_ = &entries;
    lines_ = static_cast<int>(std::min<qsizetype>(entries.size(), INT_MAX));
    totalSeconds_ = 0;
    timedItems_ = 0;
    // The same items FindItems finds, read from the lines' kinds alone: the text is touched only
    // for the #EXTINF lines whose lengths are added up.
    qsizetype media = 0;
    for (int line = 0; line < lines_; ++line)
        media += entries.kind(line) == Kind::Media;
    firsts_.clear();
    firsts_.shrink_to_fit();
    firsts_.reserve(static_cast<size_t>(media));
    int line = lines_ > 0 && IsHeaderLine(entries.at(0)) ? 1 : 0;
    int run = -1;     // first line of the "#" lines directly above `line`
    int extinf = -1;  // the first #EXTINF line among them
    int lastEntry = -1;
    std::vector<int> timed;  // each item's first #EXTINF line
    for (; line < lines_; ++line) {
        switch (entries.kind(line)) {
            case Kind::Extinf:
                if (extinf < 0)
                    extinf = line;
                [[fallthrough]];
            case Kind::Directive:
                if (run < 0)
                    run = line;
                break;
            case Kind::Blank:
                run = extinf = -1;
                break;
            case Kind::Media:
                firsts_.push_back(run < 0 ? line : run);
                if (extinf >= 0)
                    timed.push_back(extinf);
                lastEntry = line;
                run = extinf = -1;
                break;
        }
    }
    // The lengths are read from text spread over a large buffer (anywhere after a sort): asking
    // for the lines a few steps ahead lets their reads overlap instead of waiting one by one.
    constexpr size_t kAhead = 16;
    for (size_t k = 0; k < timed.size(); ++k) {
        if (k + kAhead < timed.size())
            __builtin_prefetch(entries.at(timed[k + kAhead]).data());
        if (const std::optional<qint64> sec = ExtinfSeconds(entries.at(timed[k]))) {
            totalSeconds_ += *sec;
            ++timedItems_;
        }
    }
    if (firsts_.empty()) {
        lead_ = tail_ = lines_;
    } else {
        lead_ = firsts_.front();
        // "#" lines after the last entry describe nothing; they and whatever follows them stay
        // at the end, while blank lines right after the last entry keep following it.
        tail_ = lastEntry + 1;
        while (tail_ < lines_ && entries.kind(tail_) == Kind::Blank)
            ++tail_;
    }
    rows_ = lead_ + itemCount() + (lines_ - tail_);
}

Item ItemTable::item(int item) const {
    const size_t i = static_cast<size_t>(item);
    const int first = firsts_[i];
    const int end = i + 1 < firsts_.size() ? firsts_[i + 1] : tail_;
    int entry = first;
    while (entry + 1 < end && entries_->kind(entry) != EntryList::Kind::Media)
        ++entry;
    return Item{first, entry, end};
}

int ItemTable::itemOfRow(int row) const {
    const int item = row - lead_;
    return row >= lead_ && item < itemCount() ? item : -1;
}

int ItemTable::firstLine(int row) const {
    if (row < lead_)
        return row;
    const int item = itemOfRow(row);
    if (item >= 0)
        return firsts_[static_cast<size_t>(item)];
    return tail_ + (row - lead_ - itemCount());
}

int ItemTable::endLine(int row) const {
    const int item = itemOfRow(row);
    if (item < 0)
        return firstLine(row) + 1;
    return static_cast<size_t>(item) + 1 < firsts_.size() ? firsts_[static_cast<size_t>(item) + 1]
                                                          : tail_;
}

int ItemTable::rowOfLine(int line) const {
    if (line < lead_)
        return line;
    if (line >= tail_)
        return lead_ + itemCount() + (line - tail_);
    auto it = std::upper_bound(firsts_.begin(), firsts_.end(), line);
    return lead_ + static_cast<int>(it - firsts_.begin()) - 1;
}

std::vector<int> ItemTable::linesOfRows(const std::vector<int>& rows) const {
    std::vector<int> lines;
    lines.reserve(rows.size());
    for (int row : rows) {
        if (row < 0 || row >= rows_)
            continue;
        for (int l = firstLine(row), end = endLine(row); l < end; ++l)
            lines.push_back(l);
    }
    // Rows in order give their lines in order.
    if (!std::is_sorted(lines.begin(), lines.end()))
        std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

std::vector<int> ItemTable::rowsOfLines(const std::vector<int>& lines) const {
    std::vector<int> rows;
    rows.reserve(lines.size());
    // Rows cover the lines in order, one after another: a line in the row found last, or just
    // past it, needs no search (a million selected lines are mostly such).
    int row = -1;
    int first = 0;
    int end = 0;
    for (int line : lines) {
        if (line < 0 || line >= lines_)
            continue;
        if (row >= 0 && line >= first && line < end)
            continue;
        row = row >= 0 && line == end ? row + 1 : rowOfLine(line);
        first = firstLine(row);
        end = endLine(row);
        rows.push_back(row);
    }
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int ItemTable::insertionLine(int row) const {
    int line = tail_;
    if (row >= lead_ && itemOfRow(row) >= 0)
        line = firstLine(row);
    else if (row >= 0 && row < lead_)
        line = lead_;
    return line >= lines_ ? -1 : line;
}

int ExtinfLineOf(const EntryList& entries, const Item& item) {
    for (int r = item.first; r < item.entry; ++r)
        if (IsExtinfLine(entries.at(r)))
            return r;
    return -1;
}

QByteArrayView ItemTitle(const EntryList& entries, const Item& item) {
    const int x = ExtinfLineOf(entries, item);
    if (x < 0)
        return {};
    const QByteArrayView line = entries.at(x);
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    return parts ? parts->title.in(line) : QByteArrayView();
}

std::optional<qint64> ItemSeconds(const EntryList& entries, const Item& item) {
    const int x = ExtinfLineOf(entries, item);
    return x < 0 ? std::nullopt : ExtinfSeconds(entries.at(x));
}

QByteArrayView ItemGroup(const EntryList& entries, const Item& item) {
    const int x = ExtinfLineOf(entries, item);
    if (x >= 0 && HasExtinfAttribute(entries.at(x), kGroupTitle))
        return ExtinfAttributeValue(entries.at(x), kGroupTitle);
    const int g = extgrpLineOf(entries, item);
    return g < 0 ? QByteArrayView() : entries.at(g).sliced(kExtgrp.size()).trimmed();
}

QByteArrayView ItemAttribute(const EntryList& entries, const Item& item, QByteArrayView name) {
    const int x = ExtinfLineOf(entries, item);
    return x < 0 ? QByteArrayView() : ExtinfAttributeValue(entries.at(x), name);
}

QByteArrayView ItemFileName(const EntryList& entries, const Item& item) {
    const QByteArrayView entry = entries.at(item.entry);
    return entry.sliced(FileNameOffset(entry));
}

QByteArrayView ItemFolder(const EntryList& entries, const Item& item) {
    const QByteArrayView entry = entries.at(item.entry);
    return entry.first(FileNameOffset(entry));
}

QByteArrayView ItemCell(const EntryList& entries, const Item& item, ItemColumn column,
                        QByteArrayView attribute) {
    switch (column) {
        case ItemColumn::Title: {
            const QByteArrayView title = ItemTitle(entries, item);
            if (!title.isEmpty())
                return title;
            const QByteArrayView file = ItemFileName(entries, item);
            return file.isEmpty() ? entries.at(item.entry) : file;
        }
        case ItemColumn::File:
            return ItemFileName(entries, item);
        case ItemColumn::Folder:
            return ItemFolder(entries, item);
        case ItemColumn::Group:
            return ItemGroup(entries, item);
        case ItemColumn::Attribute:
            return ItemAttribute(entries, item, attribute);
        case ItemColumn::Number:
        case ItemColumn::Duration:
            break;
    }
    return {};
}

std::vector<QByteArray> AttributeNames(const EntryList& entries, const ItemLayout& layout) {
    // A list that invents a name per line would bury the view in columns.
    constexpr size_t kMostColumns = 64;
    std::vector<QByteArray> names;
    std::vector<QByteArray> lowered;
    for (const Item& item : layout.items) {
        const int x = ExtinfLineOf(entries, item);
        if (x < 0)
            continue;
        const QByteArrayView line = entries.at(x);
        const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
        for (const ExtinfAttribute& a : parts->attributes) {
            const QByteArray lower = a.name.in(line).toByteArray().toLower();
            if (lower == kGroupTitle ||
                std::find(lowered.begin(), lowered.end(), lower) != lowered.end())
                continue;
            lowered.push_back(lower);
            names.push_back(a.name.in(line).toByteArray());
            if (names.size() == kMostColumns)
                return names;
        }
    }
    return names;
}

Change EditItemCell(const EntryList& entries, const Item& item, ItemColumn column,
                    QByteArrayView attribute, const QByteArray& value) {
    const int x = ExtinfLineOf(entries, item);
    const QByteArrayView extinf = x < 0 ? QByteArrayView() : entries.at(x);
    Change change;
    switch (column) {
        case ItemColumn::Number:
            return {};
        case ItemColumn::Title:
            if (x >= 0)
                change = replaced(x, ExtinfWithTitle(extinf, value));
            else if (!value.isEmpty())
                change = insertedAbove(item, "#EXTINF:-1," + value);
            break;
        case ItemColumn::Duration: {
            const std::optional<qint64> seconds = ParseDurationText(QString::fromUtf8(value));
            if (!seconds)
                throw Error(tr("\"%1\" is no length: type minutes and seconds, as 3:07")
                                .arg(QString::fromUtf8(value)));
            const QByteArray text = QByteArray::number(*seconds);
            if (x >= 0) {
                // "-1" and a missing length both mean unknown: leave such a line alone.
                if (*seconds < 0 && !ItemSeconds(entries, item))
                    return {};
                change = replaced(x, ExtinfWithDuration(extinf, text));
            } else if (*seconds >= 0) {
                change = insertedAbove(item, "#EXTINF:" + text + ',');
            }
            break;
        }
        case ItemColumn::Group: {
            const int g = extgrpLineOf(entries, item);
            if (x >= 0 && (HasExtinfAttribute(extinf, kGroupTitle) || g < 0))
                change = replaced(x, ExtinfWithAttribute(extinf, kGroupTitle, value));
            else if (g >= 0)
                change = replaced(g, kExtgrp.toByteArray() + value);
            else if (!value.isEmpty())
                change = insertedAbove(item, kExtgrp.toByteArray() + value);
            break;
        }
        case ItemColumn::Attribute:
            if (x >= 0)
                change = replaced(x, ExtinfWithAttribute(extinf, attribute, value));
            else if (!value.isEmpty())
                change = insertedAbove(item, ExtinfWithAttribute("#EXTINF:-1,", attribute, value));
            break;
        case ItemColumn::File:
        case ItemColumn::Folder: {
            const QByteArrayView entry = entries.at(item.entry);
            const qsizetype cut = FileNameOffset(entry);
            QByteArray text;
            if (column == ItemColumn::File) {
                if (value.isEmpty())
                    throw Error(tr("A file name cannot be empty"));
                text = entry.first(cut).toByteArray() + value;
            } else {
                text = value;
                if (!text.isEmpty() && !text.endsWith('/') && !text.endsWith('\\'))
                    text += entry.first(cut).endsWith('\\') ? '\\' : '/';
                text += entry.sliced(cut);
            }
            change = replaced(item.entry, text);
            break;
        }
    }
    change.dropUnchanged(entries);
    return change;
}

}  // namespace cadrell
