#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

#include "core/playlist/Change.h"
#include "core/playlist/Items.h"

namespace cadrell {

// The item view's rows. Every line of a playlist belongs to exactly one row: each line before the
// first item (the #EXTM3U header among them) and each line after the last item is a row of its
// own that never moves, and every item is one row holding its "#" lines, its entry and the blank
// lines that follow it. A command on a row therefore works on whole items; nothing an item owns is
// left behind or split off.
enum class ItemColumn { Number, Title, Duration, File, Folder, Group, Attribute };

class ItemTable {
public:
    // The table reads the list it was built from until the next rebuild.
    void rebuild(const EntryList& entries);

    int rowCount() const { return rows_; }
    int itemCount() const { return static_cast<int>(firsts_.size()); }
    Item item(int item) const;
    // Lines [0, lead) stand before the first item, lines [tail, end) after the last.
    int lead() const { return lead_; }
    int tail() const { return tail_; }
    // The item a row shows, or -1 for a line of its own.
    int itemOfRow(int row) const;
    int rowOfItem(int item) const { return lead_ + item; }
    // The line a row starts with, and one past its last.
    int firstLine(int row) const;
    int endLine(int row) const;
    // The row a line belongs to.
    int rowOfLine(int line) const;

    // Every line of the rows, ascending.
    std::vector<int> linesOfRows(const std::vector<int>& rows) const;
    // The rows the lines belong to, ascending and distinct.
    std::vector<int> rowsOfLines(const std::vector<int>& lines) const;
    // The line a drop or an insertion before `row` goes before: never among the lines that stay
    // at the top, and after the last item for a row at the bottom (-1: at the end).
    int insertionLine(int row) const;

    // The sum of the known lengths, and how many items have one.
    qint64 totalSeconds() const { return totalSeconds_; }
    qsizetype timedItems() const { return timedItems_; }

private:
    const EntryList* entries_ = nullptr;
    // Only where each item starts, four bytes an item: its entry and end follow from the lines'
    // kinds and the next item's start.
    std::vector<int> firsts_;
    int lead_ = 0;
    int tail_ = 0;
    int lines_ = 0;
    int rows_ = 0;
    qint64 totalSeconds_ = 0;
    qsizetype timedItems_ = 0;
};

// ---- the cells of an item, as bytes of its lines ----

// The item's #EXTINF line, or -1.
int ExtinfLineOf(const EntryList& entries, const Item& item);
// The title of its #EXTINF line; empty when there is none (the view then shows the file name).
QByteArrayView ItemTitle(const EntryList& entries, const Item& item);
std::optional<qint64> ItemSeconds(const EntryList& entries, const Item& item);
// The group-title attribute, else the value of an #EXTGRP line among the item's "#" lines.
QByteArrayView ItemGroup(const EntryList& entries, const Item& item);
QByteArrayView ItemAttribute(const EntryList& entries, const Item& item, QByteArrayView name);
QByteArrayView ItemFileName(const EntryList& entries, const Item& item);
QByteArrayView ItemFolder(const EntryList& entries, const Item& item);
// The cell's text as sorting and finding see it (for the attribute column, that attribute).
QByteArrayView ItemCell(const EntryList& entries, const Item& item, ItemColumn column,
                        QByteArrayView attribute = {});

// The #EXTINF attribute names the items use, in order of first use, without group-title (which
// has a column of its own).
std::vector<QByteArray> AttributeNames(const EntryList& entries, const ItemLayout& layout);

// The change that gives one cell of an item a new value (bytes in the document's encoding); an
// empty change when the value is the same. Title, length, group and attributes rewrite only
// their part of the #EXTINF line (an item without one gets one, just above its entry); File and
// Folder rewrite that part of the entry. A length is typed text ("3:07"); one that is no length,
// or a value the line cannot hold, fails with cadrell::Error.
Change EditItemCell(const EntryList& entries, const Item& item, ItemColumn column,
                    QByteArrayView attribute, const QByteArray& value);

}  // namespace cadrell
