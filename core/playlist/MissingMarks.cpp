#include "core/playlist/MissingMarks.h"

#include <QHashFunctions>
#include <algorithm>
#include <unordered_set>

#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"

namespace cadrell {

namespace {

// The entry of `known` for a text's hash, or end.
std::vector<uint64_t>::const_iterator find(const std::vector<uint64_t>& known, uint64_t hash) {
    auto it = std::lower_bound(known.begin(), known.end(), hash);
    return it != known.end() && (*it & ~uint64_t(1)) == hash ? it : known.end();
}

}  // namespace

uint64_t EntryMarkHash(QByteArrayView entry) {
    return static_cast<uint64_t>(
               qHashBits(entry.data(), static_cast<size_t>(entry.size()), 0x9e3779b9u)) &
           ~uint64_t(1);
}

bool IsMarkedMissing(const MissingMarkState& state, QByteArrayView entry) {
    const auto it = find(state.known, EntryMarkHash(entry));
    return it != state.known.end() && (*it & 1);
}

std::shared_ptr<const MissingMarkState> UpdateMissingMarks(
    const EntryList& entries, const QByteArray& folder,
    const std::shared_ptr<const MissingMarkState>& from, const std::atomic<bool>& cancel) {
    const bool fresh = !from || from->folder != folder;
    const std::vector<uint64_t> none;
    const std::vector<uint64_t>& known = fresh ? none : from->known;
    std::vector<QByteArray> unknown;
    std::vector<uint64_t> unknownHashes;
    std::unordered_set<uint64_t> seen;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView entry = entries.at(i);
        if (!IsMediaEntry(entry))
            continue;
        const uint64_t h = EntryMarkHash(entry);
        if (find(known, h) != known.end() || !seen.insert(h).second)
            continue;
        // The snapshot's own bytes, not a copy: it outlives the lookup.
        unknown.push_back(QByteArray::fromRawData(entry.data(), entry.size()));
        unknownHashes.push_back(h);
        if ((i & 0xFFFF) == 0 && cancel)
            return nullptr;
    }
    if (unknown.empty() && !fresh)
        return nullptr;
    const MissingFiles result = FindMissingFiles(unknown, folder, {}, &cancel);
    if (result.cancelled || cancel)
        return nullptr;
    for (int row : result.missing)
        unknownHashes[static_cast<size_t>(row)] |= 1;
    std::sort(unknownHashes.begin(), unknownHashes.end());
    auto next = std::make_shared<MissingMarkState>();
    next->folder = folder;
    next->known.reserve(known.size() + unknownHashes.size());
    std::merge(known.begin(), known.end(), unknownHashes.begin(), unknownHashes.end(),
               std::back_inserter(next->known));
    return next;
}

}  // namespace cadrell
