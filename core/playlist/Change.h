#pragma once

// A change of a document's entries, and the one way entries change.
//
// A command works out what it wants done as a Change and hands it to the document:
//
//     doc.perform(Change::remove(positions), QStringLiteral("Delete"));
//
// The document applies it, keeps its inverse as one undoable step called by the given name (the
// Edit menu shows "&Undo Delete"), updates Modified and rebuilds the view once. A change that
// changes nothing is dropped: the document, Modified and the history stay as they were.
//
// The kinds, with what each keeps for its undo:
//   remove(positions)               the removed entries' slices and positions
//   insert(positions, texts)        the positions (texts[k] ends up at positions[k])
//   insertAt(at, texts)             the same, as one block before `at`
//   dropPrefixes(positions, lens)   the old slices (Remove Path, Remove Drive)
//   replace(positions, texts)       the old slices (find/replace, typed entries, conversions)
//   permute(order) / move(...)      the inverse permutation as runs (sort, shuffle, moves, drags)
// Positions are ascending and distinct; Editing's commands clip a selection to the entries
// before building one. Texts are an EntryList: build it with append(), or take slices() of
// another list, which shares that list's text instead of copying it.
//
// Applying a change that does not fit the entries (a position past the end) throws before any
// entry is touched.

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

class Change {
public:
    enum class Kind { Remove, Insert, DropPrefixes, Replace, Permute, Reset };

    Change() = default;  // changes nothing

    static Change remove(std::vector<int> positions);
    static Change insert(std::vector<int> positions, EntryList texts);
    static Change insertAt(qsizetype at, EntryList texts);
    // Entry positions[k] keeps its bytes from lengths[k] on; zero lengths are left out.
    static Change dropPrefixes(std::vector<int> positions, std::vector<uint32_t> lengths);
    static Change replace(std::vector<int> positions, EntryList texts);
    // New entry i is old entry order[i]; order must hold each of 0 .. size-1 once.
    static Change permute(const std::vector<int>& order);
    // The entries at the ascending positions move, in order, to stand before entry `before` (a
    // position in the list as it is, not one of the moved ones), or to the end for -1, in a list
    // of `count` entries. The moved rows are the ones shown after it and after its undo.
    static Change move(const std::vector<int>& positions, int before, qsizetype count);
    // The whole list becomes `texts` (a file read again); its inverse holds the list it replaced.
    static Change reset(EntryList texts);

    Kind kind() const { return kind_; }
    bool isEmpty() const;

    // A conversion also switches the document's encoding. apply() leaves that to the document,
    // which puts the encoding it had into the inverse.
    void setEncoding(std::optional<TextEncoding> encoding) { encoding_ = encoding; }
    std::optional<TextEncoding> encoding() const { return encoding_; }
    // Likewise a switch of the line ends.
    void setLineEnd(std::optional<LineEnd> lineEnd) { lineEnd_ = lineEnd; }
    std::optional<LineEnd> lineEnd() const { return lineEnd_; }
    // The positions the change works on; for a permutation, the rows to show after it.
    const std::vector<int>& positions() const { return positions_; }
    const EntryList& texts() const { return texts_; }
    // A reordering's runs: the new list is the old entries [from, from + count) of each in turn.
    const std::vector<EntryList::Run>& runs() const { return runs_; }

    // Leaves out the replacements that would not change their entry.
    void dropUnchanged(const EntryList& entries);

    // Applies the change and returns its inverse: the change that brings the entries back.
    Change apply(EntryList& entries) &&;

    // Works out what apply() will do to these entries ahead of time (on a worker, over a copy of
    // a document's entries): applied to entries that are still what that copy was, the change
    // then only takes its result over, which keeps a million-row reordering off the window's
    // time. Applied to anything else it works as if never prepared.
    void prepare(const EntryList& entries);
    bool isPrepared() const { return prepared_ != nullptr; }
    // A copy kept for what the change is (the journal's) needs none of the work done ahead.
    void forgetPrepared() { prepared_.reset(); }

    // The rows to select once the change is applied (ascending; none after a removal).
    std::vector<int> shownRows() const;

    // What the change holds beyond the text buffers it shares.
    qsizetype recordBytes() const;
    template <class F>
    void forEachBuffer(F&& f) const {
        texts_.forEachBuffer(f);
    }

private:
    // Writes and reads a change as bytes for the recovery journal.
    friend class ChangeRecord;

    Kind kind_ = Kind::Remove;
    std::vector<int> positions_;
    std::vector<uint32_t> lengths_;     // DropPrefixes
    EntryList texts_;                   // Insert, Replace, Reset
    std::vector<EntryList::Run> runs_;  // Permute
    std::optional<TextEncoding> encoding_;
    std::optional<LineEnd> lineEnd_;
    struct Prepared;
    std::shared_ptr<Prepared> prepared_;
};

}  // namespace cadrell
