#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {

// Which entries of a playlist name local files that are not there, kept up to date as the
// playlist changes without checking an entry twice. Entries are known by a hash of their text,
// eight bytes each rather than a copy of every name, so a moved or sorted entry keeps its mark
// and only new texts are looked up. Entries that cannot be checked here (web addresses, other
// drives) are never marked.
struct MissingMarkState {
    QByteArray folder;  // relative entries were read against it
    // Every text looked up, ascending: its hash with the lowest bit set when it was missing.
    std::vector<uint64_t> known;
};

uint64_t EntryMarkHash(QByteArrayView entry);  // the lowest bit always clear
bool IsMarkedMissing(const MissingMarkState& state, QByteArrayView entry);

// The state after looking up the entries `from` does not know yet (all of them when the folder
// differs); null when there was nothing new to look up or the work was cancelled. Touches the
// disk: run it on a worker over a snapshot of the entries.
std::shared_ptr<const MissingMarkState> UpdateMissingMarks(
    const EntryList& entries, const QByteArray& folder,
    const std::shared_ptr<const MissingMarkState>& from, const std::atomic<bool>& cancel);

}  // namespace cadrell
