#pragma once

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <vector>

#include "core/playlist/Change.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

// Which lines of a playlist name local files that are not there: one byte a line, kept beside
// the lines as each change is applied, so a moved or sorted entry keeps its mark and only the
// lines a change brought in or rewrote are looked up again. Lines that cannot be checked here
// (web addresses, other drives) and lines that name no file are never marked.
class MissingMarks {
public:
    enum Mark : uint8_t { Unknown, There, Missing };

    qsizetype size() const { return static_cast<qsizetype>(marks_.size()); }
    Mark at(qsizetype line) const {
        return line >= 0 && line < size() ? static_cast<Mark>(marks_[size_t(line)]) : Unknown;
    }
    bool isMissing(qsizetype line) const { return at(line) == Missing; }
    void set(qsizetype line, Mark mark) { marks_[size_t(line)] = mark; }

    // Nothing known of any of the lines (a load, another folder, a check of everything).
    void forgetAll(qsizetype lines);
    // Follows a change just applied to the lines; false when it cannot (the marks were not of
    // the lines the change was applied to), and then nothing is known any more.
    bool follow(const Change& change);
    // The media entries not known yet, ascending, at most `most` of them; the other lines not
    // known yet are marked as there on the way, as nothing can be missing about them.
    std::vector<int> linesToLookUp(const EntryList& entries, size_t most = SIZE_MAX);
    // Takes over what a lookup found for lines still unknown here (the answers followed the
    // same changes since); true when a mark changed.
    bool merge(const MissingMarks& answers);

private:
    std::vector<uint8_t> marks_;
};

// Looks up the files of the given lines (their texts are `texts`, in the same order) against the
// playlist's folder: marks for a list of `lines` lines with the answers at those lines. Touches
// the disk: run it on a worker. `cancelled` is set when it stopped early.
MissingMarks LookUpMissing(const EntryList& texts, const std::vector<int>& lines,
                           qsizetype lineCount, const QByteArray& folder,
                           const std::atomic<bool>& cancel, bool& cancelled);

}  // namespace cadrell
