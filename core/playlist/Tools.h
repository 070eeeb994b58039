#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {

// What the playlist tools share. The tools (SortOrder.h, PathTools.h, Duplicates.h, Finder.h) are
// pure functions of the entries: each returns what the change it stands for needs (a new order,
// rows to remove, new texts), and the caller applies that as one step.
//
// "Selected rows" are ascending row numbers; which rows a tool works on when few are selected is
// said with each tool.

// How the entries' bytes become the text a row shows, and back. Left empty: UTF-8. Sorting
// calls them from two threads at once, so they must keep no state between calls.
struct TextForm {
    std::function<QString(QByteArrayView)> decode;
    std::function<QByteArray(const QString&)> encode;
    bool utf8 = true;             // a UTF-8 needle can be searched for as bytes
    bool asciiCompatible = true;  // ASCII characters are their own bytes
};

// An entry as text in the given form, and text back as an entry's bytes.
QString decoded(QByteArrayView entry, const TextForm& form);
QByteArray encoded(const QString& text, const TextForm& form);

// The text of a row as shown: the entry decoded, a zero byte as a visible symbol.
QString ShownText(QByteArrayView entry, const TextForm& form = {});

// New texts for some rows: texts.at(i) replaces the entry at rows[i]; rows ascend.
struct EntryEdits {
    std::vector<int> rows;
    EntryList texts;
};

// The edits `change(entry, text)` makes to the entries of the items of the selected rows, or of
// every item when at most one row is selected. `change` fills `text` and returns true when it
// has a new text for the entry; a text equal to the entry is no edit.
EntryEdits EditItemEntries(const EntryList& entries, const std::vector<int>& selectedRows,
                           const std::function<bool(QByteArrayView, QByteArray&)>& change);

}  // namespace cadrell
