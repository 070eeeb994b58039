#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "core/playlist/EntryList.h"
#include "core/playlist/Finder.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// One search over a playlist's entries as the find bar runs it: what is looked for, the rows
// found so far, and a Replace All under way. The count and Replace All advance in slices of a few
// milliseconds, so a caller on the interface thread stays live on a million rows; the caller says
// when a slice runs and hands in the entries as they are then.
//
// The rows found are kept, which makes Next and Previous instant once the count is done (before
// that they search the part not yet counted directly).
class FindSession {
public:
    FindSession();
    ~FindSession();

    // How entries decode for display; the next restart searches with it.
    void setTextForm(TextForm form);
    // Drops the count and looks for `options` from the first row on. A Replace All under way goes
    // on with the search it started with.
    void restart(const FindOptions& options);

    // There is a text to look for; valid: one that is no regular expression failing to compile,
    // which errorString() explains.
    bool hasSearch() const;
    bool isValid() const;
    QString errorString() const;

    // Counts on for one slice; true once every row is counted.
    bool countSlice(const EntryList& entries);
    bool isCounted(const EntryList& entries) const;
    // The matching rows among those counted, ascending.
    const std::vector<int>& found() const { return found_; }
    // The place of `row` among the rows found, from 1; 0 when it is not one of them.
    qsizetype matchNumber(int row) const;

    // The first match after `current` (-1: before the first row), else the first from the top;
    // the last match before it, else the last from the bottom. -1 when nothing matches.
    int nextMatch(const EntryList& entries, int current) const;
    int previousMatch(const EntryList& entries, int current) const;

    // The entry at `row` with every match replaced; false when the row holds no match or lies
    // outside the entries.
    bool replaceAt(const EntryList& entries, int row, const QString& with, QByteArray& out) const;

    // Replace All in the selected rows (ascending), or in every row when at most one is selected.
    void startReplaceAll(const EntryList& entries, std::vector<int> selectedRows,
                         const QString& with);
    // Replaces on for one slice; true once every row is done.
    bool replaceSlice(const EntryList& entries);
    bool isReplacing() const;
    // Ends Replace All and hands over the rows whose text changed, with their new texts.
    EntryEdits finishReplace();
    void stopReplace();

private:
    struct ReplaceJob;

    // The first or last match in [from, to), or -1: rows counted come from the rows found, the
    // rest are searched directly.
    int firstIn(const EntryList& entries, qsizetype from, qsizetype to) const;
    int lastIn(const EntryList& entries, qsizetype from, qsizetype to) const;

    TextForm form_;
    std::shared_ptr<const Finder> finder_;  // null while the find text is empty
    std::vector<int> found_;                // the matching rows among [0, scanned_)
    qsizetype scanned_ = 0;
    std::unique_ptr<ReplaceJob> job_;
};

}  // namespace cadrell
