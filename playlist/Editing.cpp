#include "playlist/Editing.h"

#include <algorithm>

#include "playlist/PathParts.h"
#include "playlist/PlaylistDocument.h"

namespace cadrell {

namespace {

// Positions that still lie inside the document, ascending and distinct, so a stale or
// hand-made selection can never reach past the entries.
std::vector<int> validPositions(const std::vector<int>& positions, qsizetype count) {
    std::vector<int> out;
    out.reserve(positions.size());
    for (int p : positions) {
        if (p >= 0 && p < count)
            out.push_back(p);
    }
    if (!std::is_sorted(out.begin(), out.end()))
        std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

template <class Cut>
void cutEach(PlaylistDocument& doc, const Selection& selected, Cut&& offsetOf) {
    {
        UpdateBatch batch(doc);
        EntryList& entries = batch.entries();
        auto apply = [&](qsizetype i) {
            const qsizetype from = offsetOf(entries.at(i));
            if (from > 0)
                entries.dropPrefix(i, from);
        };
        const std::vector<int> rows = validPositions(selected, entries.size());
        if (rows.empty()) {
            for (qsizetype i = 0; i < entries.size(); ++i)
                apply(i);
        } else {
            for (int i : rows)
                apply(i);
        }
    }
    doc.Modified = true;
}

}  // namespace

TIntList& CopiedPositions() {
    static TIntList positions;
    return positions;
}

void CopyEntries(const PlaylistDocument& doc, const Selection& selected, EntryList& clipboard,
                 TIntList& copiedPositions) {
    const std::vector<int> rows = validPositions(selected, doc.Entries().size());
    clipboard.clear();
    clipboard.insertFrom(0, doc.Entries(), &rows);
    copiedPositions.assign(std::vector<int32_t>(rows.begin(), rows.end()));
}

void DeleteEntries(PlaylistDocument& doc, const Selection& selected) {
    doc.edit([&](EntryList& entries) {
        entries.removeSorted(validPositions(selected, entries.size()));
    });
    doc.Modified = true;
}

void CutEntries(PlaylistDocument& doc, const Selection& selected, EntryList& clipboard,
                TIntList& copiedPositions) {
    CopyEntries(doc, selected, clipboard, copiedPositions);
    DeleteEntries(doc, selected);
}

void PasteEntries(PlaylistDocument& doc, const Selection& selected, const EntryList& clipboard) {
    doc.edit([&](EntryList& entries) {
        const std::vector<int> rows = validPositions(selected, entries.size());
        entries.insertFrom(rows.empty() ? entries.size() : rows.front(), clipboard);
    });
    doc.Modified = true;
}

void DeleteCopiedEntries(PlaylistDocument& doc, const TIntList& copiedPositions) {
    DeleteEntries(doc, copiedPositions.values());
}

void RemovePaths(PlaylistDocument& doc, const Selection& selected) {
    cutEach(doc, selected, [](QByteArrayView e) { return FileNameOffset(e); });
}

void RemoveDrives(PlaylistDocument& doc, const Selection& selected) {
    cutEach(doc, selected, [](QByteArrayView e) { return StripDriveOffset(e); });
}

void DropWithin(PlaylistDocument& doc, const TIntList& copiedPositions, int target) {
    doc.edit([&](EntryList& entries) {
        const std::vector<int> moved = validPositions(copiedPositions.values(), entries.size());
        int before = target >= 0 && target < entries.size() ? target : -1;
        // Dropped onto one of the dragged rows: the next row that stays put is the anchor.
        auto it = std::lower_bound(moved.begin(), moved.end(), before);
        while (before >= 0 && it != moved.end() && *it == before) {
            ++before;
            ++it;
        }
        if (before >= entries.size())
            before = -1;
        entries.moveBefore(moved, before);
    });
    doc.Modified = true;
}

void DropFromOther(PlaylistDocument& doc, int target, const EntryList& clipboard) {
    PasteEntries(doc, target >= 0 ? Selection{target} : Selection{}, clipboard);
}

void AppendNames(PlaylistDocument& doc, const std::vector<QByteArray>& names) {
    doc.edit([&](EntryList& entries) {
        for (const QByteArray& n : names)
            entries.append(n);
    });
    doc.Modified = true;
}

}  // namespace cadrell
