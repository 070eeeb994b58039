#include "core/playlist/Editing.h"

#include <algorithm>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistDocument.h"

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

// Cuts the front off the selected entries (all when none is selected). Directives and web
// addresses are not paths, and an entry is never cut down to nothing.
template <class Cut>
qsizetype cutEach(PlaylistDocument& doc, const Selection& selected, const QString& name,
                  Cut&& offsetOf) {
    const EntryList& entries = doc.Entries();
    std::vector<int> positions;
    std::vector<uint32_t> lengths;
    auto consider = [&](qsizetype i) {
        const QByteArrayView e = entries.at(i);
        if (e.startsWith('#') || IsWebAddress(e))
            return;
        const qsizetype from = offsetOf(e);
        if (from > 0 && from < e.size()) {
            positions.push_back(static_cast<int>(i));
            lengths.push_back(static_cast<uint32_t>(from));
        }
    };
    const std::vector<int> rows = validPositions(selected, entries.size());
    const size_t most = rows.empty() ? static_cast<size_t>(entries.size()) : rows.size();
    positions.reserve(most);
    lengths.reserve(most);
    if (rows.empty()) {
        for (qsizetype i = 0; i < entries.size(); ++i)
            consider(i);
    } else {
        for (int i : rows)
            consider(i);
    }
    const qsizetype changed = static_cast<qsizetype>(positions.size());
    doc.perform(Change::dropPrefixes(std::move(positions), std::move(lengths)), name);
    return changed;
}

void insertBefore(PlaylistDocument& doc, qsizetype pos, const EntryList& texts,
                  const QString& name) {
    doc.perform(Change::insertAt(pos, texts), name);
}

}  // namespace

namespace editing {

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
    doc.perform(Change::remove(validPositions(selected, doc.Entries().size())),
                QStringLiteral("Delete"));
}

void CutEntries(PlaylistDocument& doc, const Selection& selected, EntryList& clipboard,
                TIntList& copiedPositions) {
    CopyEntries(doc, selected, clipboard, copiedPositions);
    doc.perform(Change::remove(validPositions(selected, doc.Entries().size())),
                QStringLiteral("Cut"));
}

void PasteEntries(PlaylistDocument& doc, const Selection& selected, const EntryList& clipboard) {
    const std::vector<int> rows = validPositions(selected, doc.Entries().size());
    insertBefore(doc, rows.empty() ? doc.Entries().size() : rows.front(), clipboard,
                 QStringLiteral("Paste"));
}

void DeleteCopiedEntries(PlaylistDocument& doc, const TIntList& copiedPositions) {
    DeleteEntries(doc, copiedPositions.values());
}

qsizetype RemovePaths(PlaylistDocument& doc, const Selection& selected) {
    return cutEach(doc, selected, QStringLiteral("Remove Path"),
                   [](QByteArrayView e) { return FileNameOffset(e); });
}

qsizetype RemoveDrives(PlaylistDocument& doc, const Selection& selected) {
    return cutEach(doc, selected, QStringLiteral("Remove Drive"),
                   [](QByteArrayView e) { return StripDriveOffset(e); });
}

void DropWithin(PlaylistDocument& doc, const TIntList& copiedPositions, int target) {
    const qsizetype count = doc.Entries().size();
    const std::vector<int> moved = validPositions(copiedPositions.values(), count);
    int before = target >= 0 && target < count ? target : -1;
    // Dropped onto one of the dragged rows: the next row that stays put is the anchor.
    auto it = std::lower_bound(moved.begin(), moved.end(), before);
    while (before >= 0 && it != moved.end() && *it == before) {
        ++before;
        ++it;
    }
    if (before >= count)
        before = -1;
    doc.perform(Change::move(moved, before, count), QStringLiteral("Move"));
}

void DropFromOther(PlaylistDocument& doc, int target, const EntryList& clipboard) {
    const qsizetype count = doc.Entries().size();
    insertBefore(doc, target >= 0 && target < count ? target : count, clipboard,
                 QStringLiteral("Drop"));
}

void RequireOneLineNames(const std::vector<QByteArray>& names) {
    for (const QByteArray& name : names) {
        if (!name.contains('\n') && !name.contains('\r'))
            continue;
        // Shown with the breaks as symbols, so the message itself stays on its lines.
        QString shown = QString::fromLocal8Bit(name);
        shown.replace(QLatin1Char('\r'), QChar(0x240D)).replace(QLatin1Char('\n'), QChar(0x240A));
        throw Error(QStringLiteral("%1 cannot be added: a line break in its name would split it "
                                   "into several entries")
                        .arg(shown));
    }
}

void AppendNames(PlaylistDocument& doc, const std::vector<QByteArray>& names) {
    RequireOneLineNames(names);
    EntryList texts;
    for (const QByteArray& n : names)
        texts.append(n);
    insertBefore(doc, doc.Entries().size(), texts, QStringLiteral("Drop"));
}

void ConvertEncoding(PlaylistDocument& doc, TextEncoding to) {
    const TextEncoding from = doc.Encoding;
    const qsizetype bad = FirstUnconvertible(doc.Entries(), from, to);
    if (bad >= 0)
        throw Error(QStringLiteral("Entry %1 cannot be written in %2: %3")
                        .arg(bad + 1)
                        .arg(EncodingName(to), DecodeForDisplay(doc.Entries().at(bad), from)));
    std::vector<int> rows;
    EntryList texts;
    if (HoldsUtf8(from) != HoldsUtf8(to)) {
        for (qsizetype i = 0; i < doc.Entries().size(); ++i) {
            const QByteArrayView e = doc.Entries().at(i);
            const std::optional<QByteArray> converted = ConvertEntry(e, from, to);
            if (converted && *converted != e) {
                rows.push_back(static_cast<int>(i));
                texts.append(*converted);
            }
        }
    }
    Change change = Change::replace(std::move(rows), std::move(texts));
    change.setEncoding(to);
    doc.perform(std::move(change), QStringLiteral("Convert to %1").arg(EncodingName(to)));
}

void ConvertLineEnds(PlaylistDocument& doc, LineEnd to) {
    Change change = Change::replace({}, {});
    change.setLineEnd(to);
    doc.perform(std::move(change), QStringLiteral("Line Ends %1").arg(LineEndName(to)));
}

}  // namespace editing
}  // namespace cadrell
