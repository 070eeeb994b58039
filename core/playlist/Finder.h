#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>
#include <vector>

#include "core/playlist/EntryList.h"
#include "core/playlist/Extinf.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// Where in a line a search looks: the whole line, or the part of it one column of the item view
// shows (a line without such a part is not searched). Replacing changes only that part.
struct LookIn {
    enum Part { All, Title, Group, Path, Attribute };
    Part part = All;
    QByteArray attribute;  // for Attribute: the #EXTINF attribute's name
    friend bool operator==(const LookIn&, const LookIn&) = default;
};

// The bytes of `line` a search limited to `lookIn` reads; not found when there are none.
ExtinfSpan RegionOf(QByteArrayView line, const LookIn& lookIn);

// What to look for. An empty text finds nothing.
struct FindOptions {
    QString text;
    bool matchCase = false;
    bool regularExpression = false;
    LookIn lookIn;
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
    bool matchesWhole(QByteArrayView entry) const;
    bool replaceInWhole(QByteArrayView entry, const QString& replacement, QByteArray& out) const;

    TextForm form_;
    QString text_;
    Qt::CaseSensitivity cs_;
    QRegularExpression re_;
    QByteArray needle_;  // set when the search runs on bytes
    bool bytes_ = false;
    bool fold_ = false;  // ASCII letters match either case
    bool regex_ = false;
    LookIn lookIn_;
};

std::vector<int> FindAll(const EntryList& entries, const FindOptions& options,
                         const TextForm& form = {});

// Replace All in the given rows (all rows when rows is null): the rows whose text changed, with
// their new texts. Error for a regular expression that does not compile.
EntryEdits ReplaceAll(const EntryList& entries, const std::vector<int>* rows,
                      const FindOptions& options, const QString& replacement,
                      const TextForm& form = {});

}  // namespace cadrell
