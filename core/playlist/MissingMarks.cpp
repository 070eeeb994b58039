#include "core/playlist/MissingMarks.h"

#include <QHashFunctions>
#include <algorithm>

#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"

namespace cadrell {

size_t EntryMarkHash(QByteArrayView entry) {
    return qHashBits(entry.data(), static_cast<size_t>(entry.size()), 0x9e3779b9u);
}

bool IsMarkedMissing(const MissingMarkState& state, QByteArrayView entry) {
    return !state.missing.empty() && state.missing.count(EntryMarkHash(entry)) > 0;
}

std::shared_ptr<const MissingMarkState> UpdateMissingMarks(
    const EntryList& entries, const QByteArray& folder,
    const std::shared_ptr<const MissingMarkState>& from, const std::atomic<bool>& cancel) {
    const bool fresh = !from || from->folder != folder;
    const std::vector<size_t> none;
    const std::vector<size_t>& known = fresh ? none : from->checked;
    std::vector<QByteArray> unknown;
    std::vector<size_t> unknownHashes;
    std::unordered_set<size_t> seen;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView entry = entries.at(i);
        if (!IsMediaEntry(entry))
            continue;
        const size_t h = EntryMarkHash(entry);
        if (std::binary_search(known.begin(), known.end(), h) || !seen.insert(h).second)
            continue;
        unknown.push_back(entry.toByteArray());
        unknownHashes.push_back(h);
        if ((i & 0xFFFF) == 0 && cancel)
            return nullptr;
    }
    if (unknown.empty() && !fresh)
        return nullptr;
    const MissingFiles result = FindMissingFiles(unknown, folder, {}, &cancel);
    if (result.cancelled || cancel)
        return nullptr;
    auto next = std::make_shared<MissingMarkState>();
    next->folder = folder;
    if (!fresh)
        next->missing = from->missing;
    for (int row : result.missing)
        next->missing.insert(unknownHashes[static_cast<size_t>(row)]);
    std::sort(unknownHashes.begin(), unknownHashes.end());
    next->checked.reserve(known.size() + unknownHashes.size());
    std::merge(known.begin(), known.end(), unknownHashes.begin(), unknownHashes.end(),
               std::back_inserter(next->checked));
    return next;
}

}  // namespace cadrell
