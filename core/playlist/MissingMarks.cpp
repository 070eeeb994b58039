#include "core/playlist/MissingMarks.h"

#include <algorithm>

#include "core/playlist/MissingFiles.h"

namespace cadrell {

void MissingMarks::forgetAll(qsizetype lines) {
    marks_.assign(static_cast<size_t>(std::max<qsizetype>(lines, 0)), Unknown);
}

bool MissingMarks::follow(const Change& change) {
    const std::vector<int>& positions = change.positions();
    const auto fits = [&](qsizetype count) {
        return std::all_of(positions.begin(), positions.end(),
                           [count](int p) { return p >= 0 && p < count; });
    };
    switch (change.kind()) {
        case Change::Kind::Remove: {
            if (!fits(size()))
                break;
            size_t out = positions.empty() ? marks_.size() : size_t(positions.front());
            size_t next = 0;
            for (size_t i = out; i < marks_.size(); ++i) {
                if (next < positions.size() && size_t(positions[next]) == i) {
                    ++next;
                    continue;
                }
                marks_[out++] = marks_[i];
            }
            marks_.resize(out);
            return true;
        }
        case Change::Kind::Insert: {
            const size_t added = positions.size();
            if (!fits(size() + static_cast<qsizetype>(added)))
                break;
            // Merged from the back, in place, as the entries were.
            size_t from = marks_.size();
            marks_.resize(marks_.size() + added);
            size_t k = added;
            for (size_t out = marks_.size(); out-- > 0 && k > 0;) {
                if (size_t(positions[k - 1]) == out) {
                    --k;
                    marks_[out] = Unknown;
                } else {
                    marks_[out] = marks_[--from];
                }
            }
            return true;
        }
        case Change::Kind::Replace:
        case Change::Kind::DropPrefixes:
            if (!fits(size()))
                break;
            for (int p : positions)
                marks_[size_t(p)] = Unknown;
            return true;
        case Change::Kind::Permute: {
            // A shuffle is a million runs of one: no range insert for each.
            std::vector<uint8_t> out(marks_.size());
            size_t to = 0;
            bool whole = true;
            for (const EntryList::Run& r : change.runs()) {
                if (r.from < 0 || r.count < 0 || r.from + r.count > size() ||
                    size_t(r.count) > out.size() - to) {
                    whole = false;
                    break;
                }
                if (r.count == 1)
                    out[to++] = marks_[size_t(r.from)];
                else
                    to =
                        size_t(std::copy(marks_.begin() + r.from, marks_.begin() + r.from + r.count,
                                         out.begin() + std::ptrdiff_t(to)) -
                               out.begin());
            }
            if (!whole || to != out.size())
                break;
            marks_.swap(out);
            return true;
        }
        case Change::Kind::Reset:
            forgetAll(change.texts().size());
            return true;
    }
    forgetAll(0);
    return false;
}

std::vector<int> MissingMarks::linesToLookUp(const EntryList& entries, size_t most) {
    std::vector<int> lines;
    const qsizetype n = std::min(size(), entries.size());
    for (qsizetype i = 0; i < n && lines.size() < most; ++i) {
        if (marks_[size_t(i)] != Unknown)
            continue;
        if (entries.kind(i) == EntryList::Kind::Media)
            lines.push_back(static_cast<int>(i));
        else
            marks_[size_t(i)] = There;
    }
    return lines;
}

bool MissingMarks::merge(const MissingMarks& answers) {
    bool changed = false;
    const size_t n = std::min(marks_.size(), answers.marks_.size());
    for (size_t i = 0; i < n; ++i) {
        if (marks_[i] == Unknown && answers.marks_[i] != Unknown) {
            marks_[i] = answers.marks_[i];
            changed = changed || marks_[i] == Missing;
        }
    }
    return changed;
}

MissingMarks LookUpMissing(const EntryList& texts, const std::vector<int>& lines,
                           qsizetype lineCount, const QByteArray& folder,
                           const std::atomic<bool>& cancel, bool& cancelled) {
    MissingMarks answers;
    answers.forgetAll(lineCount);
    const size_t count = std::min(lines.size(), static_cast<size_t>(texts.size()));
    // The texts' own bytes, not copies: they outlive the lookup.
    const MissingFiles result = FindMissingFiles(texts.views(), folder, {}, &cancel);
    cancelled = result.cancelled || cancel;
    if (cancelled)
        return answers;
    for (size_t k = 0; k < count; ++k)
        answers.set(lines[k], MissingMarks::There);
    for (int row : result.missing)
        if (row >= 0 && size_t(row) < count)
            answers.set(lines[size_t(row)], MissingMarks::Missing);
    return answers;
}

}  // namespace cadrell
