#include "core/playlist/Relocate.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <map>

#include "core/platform/PathParts.h"
#include "core/playlist/MissingFiles.h"
#include "core/playlist/PathTools.h"

namespace cadrell {

namespace {

struct Part {
    qsizetype at, len;
};

// An entry's path as components; the last is the file name.
struct EntryPath {
    QByteArray text;
    std::vector<Part> parts;
    char separator = '/';  // "\\" for drive and UNC names
    QByteArrayView part(size_t i) const {
        return QByteArrayView(text).sliced(parts[i].at, parts[i].len);
    }
};

bool startsWithAnyCase(QByteArrayView s, QByteArrayView prefix) {
    return s.size() >= prefix.size() &&
           s.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// "." and ".." are worked out on the text, as the playlist's reader would.
void splitParts(const QByteArray& text, bool backslash, std::vector<Part>& parts) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '/' && !(backslash && text[i] == '\\'))
            continue;
        const QByteArrayView part = QByteArrayView(text).sliced(start, i - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.isEmpty() && part != ".") {
            parts.push_back({start, i - start});
        }
        start = i + 1;
    }
}

// Windows names (a drive, a UNC name, a relative name written with "\") count as paths too:
// their files may well have moved to this machine.
bool entryPath(QByteArrayView entry, const QByteArray& folder, EntryPath& out) {
    out.parts.clear();
    bool backslash = false;
    switch (LocalFileOf(entry, folder, out.text)) {
        case EntryKind::NotAFile:
            return false;
        case EntryKind::LocalFile:
            backslash = !entry.startsWith('/') && !startsWithAnyCase(entry, "file://");
            break;
        case EntryKind::NotChecked:
            if (!isDrivePath(entry) && !isUncName(entry))
                return false;
            out.text = entry.toByteArray();
            backslash = true;
            out.separator = '\\';
            break;
    }
    splitParts(out.text, backslash, out.parts);
    return !out.parts.empty();
}

quint64 mix(quint64 a, quint64 b) {
    a ^= b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2);
    return a * 0xff51afd7ed558ccdull;
}

// One missing row on its way through the search.
struct Work {
    size_t row;  // into the result's rows
    EntryPath path;
    std::vector<quint64> keys;  // keys[j]: the name and its j nearest folders, folded
    QByteArray extension;
    bool unmounted = false;
    size_t level = 0;  // how many folders the best candidates share with the entry
    std::pair<size_t, size_t> top{0, 0}, all{0, 0};  // ranges of the candidate table
    std::vector<std::pair<int, quint32>> mappings;   // (mapping, file)
};

// Every candidate once for each number of trailing folders it could share with an entry: the
// rows whose name and nearest folders match are one binary search away, however many files of
// one name there are.
class CandidateTable {
public:
    CandidateTable(const FileIndex& index, const std::vector<Work>& work) : index_(index) {
        std::vector<quint64> folderHash(static_cast<size_t>(index.folderCount()));
        for (size_t f = 0; f < folderHash.size(); ++f)
            folderHash[f] = FoldedHash(index.folderName(static_cast<quint32>(f)));
        QHash<quint64, bool> names;
        for (const Work& w : work) {
            if (w.keys.empty() || names.contains(w.keys[0]))
                continue;
            names.insert(w.keys[0], true);
            for (quint32 file : index.find(w.path.part(w.path.parts.size() - 1))) {
                quint64 key = w.keys[0];
                table_.emplace_back(key, file);
                for (quint32 f = index.folderOf(file); f != FileIndex::kNone;
                     f = index.parentOf(f)) {
                    key = mix(key, folderHash[f]);
                    table_.emplace_back(key, file);
                }
            }
        }
        std::sort(table_.begin(), table_.end());
    }
    std::pair<size_t, size_t> range(quint64 key) const {
        auto lo = std::lower_bound(table_.begin(), table_.end(), std::make_pair(key, quint32(0)));
        // Bounded by search, not by walking: one name may have a million files.
        auto hi = std::upper_bound(lo, table_.end(), std::make_pair(key, FileIndex::kNone));
        return {static_cast<size_t>(lo - table_.begin()), static_cast<size_t>(hi - table_.begin())};
    }
    quint32 file(size_t i) const { return table_[i].second; }

private:
    const FileIndex& index_;
    std::vector<std::pair<quint64, quint32>> table_;
};

// The mapping a candidate makes of the entry's folders: the parts that differ, and those that
// differ only in letter case, so that a folder renamed "Music" to "music" shows as such.
std::pair<QByteArray, QByteArray> mappingOf(const FileIndex& index, const Work& w, quint32 file) {
    std::vector<QByteArrayView> folders;
    for (quint32 f = index.folderOf(file); f != FileIndex::kNone; f = index.parentOf(f))
        folders.push_back(index.folderName(f));
    std::reverse(folders.begin(), folders.end());
    const size_t entryFolders = w.path.parts.size() - 1;
    size_t e = entryFolders - w.level, c = folders.size() - w.level;
    while (e < entryFolders && w.path.part(e) != folders[c]) {
        ++e;
        ++c;
    }
    QByteArray to = "/";
    for (size_t i = 0; i < c; ++i) {
        to += folders[i];
        to += '/';
    }
    // The entry's folders as the text is read: "." and ".." worked out, so that entries written
    // differently but in one folder agree.
    QByteArray from = w.path.text.startsWith('/')      ? QByteArray("/")
                      : w.path.text.startsWith("\\\\") ? QByteArray("\\\\")
                                                       : QByteArray();
    for (size_t i = 0; i < e; ++i) {
        from += w.path.part(i);
        from += w.path.separator;
    }
    return {from, to};
}

}  // namespace

namespace {

// What the best candidates of an entry come to; entries whose name, nearest folders and
// extension agree share it, so many entries of one name cost one pass over its files.
struct Ranking {
    int unique = -1;
    std::vector<quint32> listed;
};

Ranking rank(const FileIndex& index, const CandidateTable& table, const Work& w) {
    Ranking r;
    auto sameExtension = [&](quint32 file) {
        return Extension(index.fileName(file)) == w.extension;
    };
    if (w.top.second - w.top.first == 1) {
        r.unique = static_cast<int>(table.file(w.top.first));
    } else {
        int same = 0;
        for (size_t i = w.top.first; i < w.top.second && same < 2; ++i)
            if (sameExtension(table.file(i))) {
                ++same;
                r.unique = same == 1 ? static_cast<int>(table.file(i)) : -1;
            }
    }
    // Best first: the most folders shared, then the same extension. A level is read only while
    // the list is short, so a name with a million files costs no more than one with twenty.
    for (size_t level = w.level + 1; level-- > 0;) {
        const auto [lo, hi] = table.range(w.keys[level]);
        std::vector<quint32> fresh;
        for (size_t i = lo; i < hi && r.listed.size() + fresh.size() < LocateResult::kMaxCandidates;
             ++i) {
            const quint32 file = table.file(i);
            if (std::find(r.listed.begin(), r.listed.end(), file) == r.listed.end())
                fresh.push_back(file);
        }
        std::stable_partition(fresh.begin(), fresh.end(), sameExtension);
        r.listed.insert(r.listed.end(), fresh.begin(), fresh.end());
        if (r.listed.size() >= LocateResult::kMaxCandidates)
            break;
    }
    return r;
}

}  // namespace

LocateResult LocateMissing(const EntryList& entries, const std::vector<int>& missingRows,
                           const QByteArray& playlistFolder, TextEncoding encoding,
                           const FileIndex& index, const MountTable& mounts,
                           const std::atomic<bool>& cancel,
                           const std::function<void(qint64, qint64)>& progress) {
    LocateResult result;
    auto cancelled = [&] {
        if (cancel.load(std::memory_order_relaxed))
            result = LocateResult{{}, {}, 0, 0, 0, 0, 0, true};
        return result.cancelled;
    };
    std::vector<Work> work;
    QHash<QByteArray, bool> unmountedFolders;
    for (int row : missingRows) {
        LocateRow out;
        out.row = row;
        out.entry = entries.bytes(row);
        result.rows.push_back(out);
        Work w;
        w.row = result.rows.size() - 1;
        // Names on disk are UTF-8 here; a Windows-1252 playlist's entries are compared as such.
        const QByteArray entry =
            HoldsUtf8(encoding)
                ? out.entry
                : ConvertEntry(out.entry, encoding, TextEncoding::Utf8).value_or(out.entry);
        if (entryPath(entry, playlistFolder, w.path)) {
            const size_t n = w.path.parts.size();
            w.keys.push_back(FoldedHash(w.path.part(n - 1)));
            for (size_t j = n - 1; j-- > 0;)
                w.keys.push_back(mix(w.keys.back(), FoldedHash(w.path.part(j))));
            w.extension = Extension(w.path.part(n - 1));
            const QByteArray drive =
                w.path.text.startsWith('/') ? mounts.driveFolder(w.path.text) : QByteArray();
            if (!drive.isEmpty()) {
                auto it = unmountedFolders.find(drive);
                if (it == unmountedFolders.end())
                    it = unmountedFolders.insert(drive, MountTable::emptyOrMissing(drive));
                w.unmounted = it.value();
            }
        }
        work.push_back(std::move(w));
        if (work.size() % 1024 == 0 && cancelled())
            return result;
    }
    const CandidateTable table(index, work);
    if (cancelled())
        return result;

    // Moved folders first: a mapping of folders that two or more entries agree on.
    std::map<std::pair<QByteArray, QByteArray>, int> mappingIds;
    std::vector<std::pair<QByteArray, QByteArray>> mappingTexts;
    std::vector<qsizetype> votes;
    for (Work& w : work) {
        if (w.keys.empty())
            continue;
        w.all = w.top = table.range(w.keys[0]);
        for (size_t j = 1; j < w.keys.size(); ++j) {
            const auto r = table.range(w.keys[j]);
            if (r.first == r.second)
                break;
            w.top = r;
            w.level = j;
        }
        if (w.unmounted || w.top.first == w.top.second)
            continue;
        // A few are enough: more best candidates than this make no folder mapping anyway.
        for (size_t i = w.top.first; i < std::min(w.top.second, w.top.first + 8); ++i) {
            const quint32 file = table.file(i);
            const auto key = mappingOf(index, w, file);
            auto [it, added] = mappingIds.emplace(key, static_cast<int>(mappingTexts.size()));
            if (added) {
                mappingTexts.push_back(key);
                votes.push_back(0);
            }
            const int id = it->second;
            if (std::none_of(w.mappings.begin(), w.mappings.end(),
                             [id](const auto& m) { return m.first == id; })) {
                w.mappings.emplace_back(id, file);
                ++votes[static_cast<size_t>(id)];
            }
        }
    }
    // Each entry takes the mapping most entries agree on, unless two tie; a mapping then left
    // with a single entry is no moved folder.
    std::vector<int> chosen(work.size(), -1);
    std::vector<qsizetype> count(votes.size(), 0);
    for (size_t i = 0; i < work.size(); ++i) {
        qsizetype best = 1;
        for (const auto& [m, file] : work[i].mappings) {
            const qsizetype v = votes[static_cast<size_t>(m)];
            if (v > best) {
                best = v;
                chosen[i] = m;
            } else if (v == best && best > 1) {
                chosen[i] = -1;
            }
        }
        if (chosen[i] >= 0)
            ++count[static_cast<size_t>(chosen[i])];
    }
    std::vector<int> newId(votes.size(), -1);
    QHash<QPair<quint64, QByteArray>, Ranking> rankings;
    for (size_t i = 0; i < work.size(); ++i) {
        if (i % 1024 == 0) {
            if (cancelled())
                return result;
            if (progress)
                progress(static_cast<qint64>(i), static_cast<qint64>(work.size()));
        }
        const Work& w = work[i];
        LocateRow& row = result.rows[w.row];
        int m = chosen[i];
        if (m >= 0 && count[static_cast<size_t>(m)] < 2)
            m = -1;
        if (!w.keys.empty() && w.all.first < w.all.second) {
            const QPair<quint64, QByteArray> key(w.keys[w.level], w.extension);
            auto it = rankings.find(key);
            if (it == rankings.end())
                it = rankings.insert(key, rank(index, table, w));
            for (quint32 file : it->listed)
                row.candidates.push_back(index.filePath(file));
            row.candidateCount = static_cast<qsizetype>(w.all.second - w.all.first);
            if (m >= 0) {
                auto& id = newId[static_cast<size_t>(m)];
                if (id < 0) {
                    id = static_cast<int>(result.mappings.size());
                    result.mappings.push_back({mappingTexts[static_cast<size_t>(m)].first,
                                               mappingTexts[static_cast<size_t>(m)].second, 0});
                }
                ++result.mappings[static_cast<size_t>(id)].count;
                row.mapping = id;
                row.reason = LocateReason::MovedFolder;
                for (const auto& [mm, file] : w.mappings)
                    if (mm == m)
                        row.proposal = index.filePath(file);
            } else if (it->unique >= 0) {
                row.reason = LocateReason::SameName;
                row.proposal = index.filePath(static_cast<quint32>(it->unique));
            } else {
                row.reason = LocateReason::SeveralFound;
            }
        }
        row.note = LocateReasonText(row.reason);
        if (w.unmounted) {
            // The file is most likely still on that drive; another copy is not put in its place
            // unless the user picks it.
            row.reason = LocateReason::NotMounted;
            row.proposal.clear();
            row.mapping = -1;
            row.note = LocateReasonText(row.reason);
        } else if (!row.proposal.isEmpty()) {
            if (auto text = LocatedEntry(row.entry, row.proposal, playlistFolder, encoding)) {
                row.replacement = std::move(*text);
            } else {
                row.reason = LocateReason::CannotWrite;
                row.note = QStringLiteral("cannot be written in %1").arg(EncodingName(encoding));
                row.proposal.clear();
            }
        }
        row.ticked = !row.proposal.isEmpty();
        if (row.reason == LocateReason::SameName && row.candidateCount > 1)
            row.note = QStringLiteral("same name, best of %1").arg(row.candidateCount);
        if (row.reason == LocateReason::SeveralFound)
            row.note = QStringLiteral("%1 found").arg(row.candidateCount);
        switch (row.reason) {
            case LocateReason::MovedFolder:
            case LocateReason::SameName:
                ++result.found;
                break;
            case LocateReason::SeveralFound:
                ++result.several;
                break;
            case LocateReason::NotFound:
                ++result.notFound;
                break;
            case LocateReason::NotMounted:
                ++result.notMounted;
                break;
            case LocateReason::CannotWrite:
                ++result.cannotWrite;
                break;
        }
    }
    if (progress)
        progress(static_cast<qint64>(work.size()), static_cast<qint64>(work.size()));
    return result;
}

}  // namespace cadrell
