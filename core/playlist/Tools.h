#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {

// The playlist tools, as pure functions of the entries: each returns what the change it stands
// for needs (a new order, rows to remove, new texts), and the caller applies that as one step.
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

// The text of a row as shown: the entry decoded, a zero byte as a visible symbol.
QString ShownText(QByteArrayView entry, const TextForm& form = {});

// New texts for some rows: texts.at(i) replaces the entry at rows[i]; rows ascend.
struct EntryEdits {
    std::vector<int> rows;
    EntryList texts;
};

// A new order of all rows: order[newRow] is the row that moves there.
using RowOrder = std::vector<int>;
bool IsIdentity(const RowOrder& order);

// Sort, Reverse and Shuffle reorder the items of the selected rows when more than one item is
// selected, else all items; the other rows keep their places.
enum class SortKey { Path, FileName, Title };
RowOrder SortOrder(const EntryList& entries, const std::vector<int>& selectedRows, SortKey key,
                   const TextForm& form = {});
RowOrder ReverseOrder(const EntryList& entries, const std::vector<int>& selectedRows);
RowOrder ShuffleOrder(const EntryList& entries, const std::vector<int>& selectedRows,
                      uint64_t seed);

// The title an #EXTINF line gives ("#EXTINF:123 attr="a,b",Title" gives "Title"), or an empty
// view when the line is no #EXTINF line or names no title.
QByteArrayView ExtinfTitle(QByteArrayView line);

// The rows of every item whose media entry names the same thing as an earlier one, ascending.
std::vector<int> DuplicateRows(const EntryList& entries);

// Local paths of the selected items (all when at most one row is selected) made relative to, or
// absolute in, the playlist's folder (an absolute path; Error when there is none). Web addresses,
// drive and UNC names, and names written with "\" are left alone.
EntryEdits MakeRelative(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder);
EntryEdits MakeAbsolute(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder);
// One path of each: empty when the entry is no local path of the kind converted.
QByteArray RelativePath(QByteArrayView entry, QByteArrayView folder);
QByteArray AbsolutePath(QByteArrayView entry, QByteArrayView folder);

// What to look for. An empty text finds nothing.
struct FindOptions {
    QString text;
    bool matchCase = false;
    bool regularExpression = false;
};

// A search prepared once and run over rows in slices, so a caller can keep its window live.
class Finder {
public:
    explicit Finder(const FindOptions& options, TextForm form = {});

    // False for a regular expression that does not compile; errorString() says why.
    bool isValid() const;
    QString errorString() const;

    bool matches(QByteArrayView entry) const;
    // Appends the matching rows among [from, to) to out, in order.
    void findRows(const EntryList& entries, qsizetype from, qsizetype to,
                  std::vector<int>& out) const;

    // The entry with every match replaced (capture groups \1 or $1 for a regular expression);
    // false when nothing matched.
    bool replaceIn(QByteArrayView entry, const QString& replacement, QByteArray& out) const;

private:
    const char* searchBytes(const char* p, const char* end) const;

    TextForm form_;
    QString text_;
    Qt::CaseSensitivity cs_;
    QRegularExpression re_;
    QByteArray needle_;  // set when the search runs on bytes
    bool bytes_ = false;
    bool fold_ = false;  // ASCII letters match either case
    bool regex_ = false;
};

std::vector<int> FindAll(const EntryList& entries, const FindOptions& options,
                         const TextForm& form = {});

// Replace All in the given rows (all rows when rows is null): the rows whose text changed, with
// their new texts. Error for a regular expression that does not compile.
EntryEdits ReplaceAll(const EntryList& entries, const std::vector<int>* rows,
                      const FindOptions& options, const QString& replacement,
                      const TextForm& form = {});

}  // namespace cadrell
