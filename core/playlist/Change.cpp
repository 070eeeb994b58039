#include "core/playlist/Change.h"

#include <algorithm>
#include <numeric>

#include "core/platform/Error.h"

namespace cadrell {

namespace {

[[noreturn]] void outOfBounds(qsizetype index) {
    throw Error(QStringLiteral("List index out of bounds (%1)").arg(index));
}

// Ascending, distinct and below `limit`, or the change is refused before anything is touched.
void checkPositions(const std::vector<int>& positions, qsizetype limit) {
    int previous = -1;
    for (int p : positions) {
        if (p <= previous || p >= limit)
            outOfBounds(p);
        previous = p;
    }
}

// Neighbouring runs that continue each other become one, so an unchanged order is one run.
std::vector<EntryList::Run> joined(std::vector<EntryList::Run> runs) {
    std::vector<EntryList::Run> out;
    out.reserve(runs.size());
    for (const EntryList::Run& r : runs) {
        if (r.count <= 0)
            continue;
        if (!out.empty() && out.back().from + out.back().count == r.from)
            out.back().count += r.count;
        else
            out.push_back(r);
    }
    return out;
}

}  // namespace

Change Change::remove(std::vector<int> positions) {
    Change c;
    c.kind_ = Kind::Remove;
    c.positions_ = std::move(positions);
    return c;
}

Change Change::insert(std::vector<int> positions, EntryList texts) {
    if (static_cast<qsizetype>(positions.size()) != texts.size())
        outOfBounds(texts.size());
    Change c;
    c.kind_ = Kind::Insert;
    c.positions_ = std::move(positions);
    c.texts_ = std::move(texts);
    return c;
}

Change Change::insertAt(qsizetype at, EntryList texts) {
    std::vector<int> positions(static_cast<size_t>(texts.size()));
    std::iota(positions.begin(), positions.end(), static_cast<int>(at));
    return insert(std::move(positions), std::move(texts));
}

Change Change::dropPrefixes(std::vector<int> positions, std::vector<uint32_t> lengths) {
    Change c;
    c.kind_ = Kind::DropPrefixes;
    size_t out = 0;
    for (size_t k = 0; k < positions.size() && k < lengths.size(); ++k) {
        if (lengths[k] == 0)
            continue;
        positions[out] = positions[k];
        lengths[out] = lengths[k];
        ++out;
    }
    positions.resize(out);
    lengths.resize(out);
    c.positions_ = std::move(positions);
    c.lengths_ = std::move(lengths);
    return c;
}

Change Change::replace(std::vector<int> positions, EntryList texts) {
    Change c = insert(std::move(positions), std::move(texts));
    c.kind_ = Kind::Replace;
    return c;
}

Change Change::permute(const std::vector<int>& order) {
    Change c;
    c.kind_ = Kind::Permute;
    std::vector<bool> seen(order.size());
    std::vector<EntryList::Run> runs;
    for (size_t i = 0; i < order.size(); ++i) {
        const int from = order[i];
        if (from < 0 || static_cast<size_t>(from) >= order.size() ||
            seen[static_cast<size_t>(from)])
            outOfBounds(from);
        seen[static_cast<size_t>(from)] = true;
        runs.push_back({from, 1});
        if (static_cast<size_t>(from) != i)
            c.positions_.push_back(static_cast<int>(i));
    }
    c.runs_ = joined(std::move(runs));
    return c;
}

Change Change::move(const std::vector<int>& positions, int before, qsizetype count) {
    checkPositions(positions, count);
    if (before >= count || std::binary_search(positions.begin(), positions.end(), before))
        outOfBounds(before);
    Change c;
    c.kind_ = Kind::Permute;
    // The rows that stay, as the gaps between the moved ones; the moved block goes in where the
    // gap holding `before` is split.
    const int end = before < 0 ? static_cast<int>(count) : before;
    std::vector<EntryList::Run> runs;
    std::vector<EntryList::Run> moved;
    int next = 0;  // first row not yet placed
    qsizetype movedBefore = 0;
    for (int p : positions) {
        if (p < end) {
            runs.push_back({next, p - next});
            ++movedBefore;
        } else {
            break;
        }
        next = p + 1;
    }
    runs.push_back({next, end - next});
    for (int p : positions)
        moved.push_back({p, 1});
    runs.insert(runs.end(), moved.begin(), moved.end());
    next = end;
    for (size_t k = static_cast<size_t>(movedBefore); k < positions.size(); ++k) {
        runs.push_back({next, positions[k] - next});
        next = positions[k] + 1;
    }
    runs.push_back({next, static_cast<int>(count) - next});
    c.runs_ = joined(std::move(runs));
    const int start = end - static_cast<int>(movedBefore);
    c.positions_.resize(positions.size());
    std::iota(c.positions_.begin(), c.positions_.end(), start);
    return c;
}

Change Change::reset(EntryList texts) {
    Change c;
    c.kind_ = Kind::Reset;
    c.texts_ = std::move(texts);
    return c;
}

bool Change::isEmpty() const {
    if (encoding_ || lineEnd_)
        return false;
    if (kind_ == Kind::Reset)
        return false;
    if (kind_ == Kind::Permute)
        return runs_.empty() || (runs_.size() == 1 && runs_.front().from == 0);
    return positions_.empty();
}

void Change::dropUnchanged(const EntryList& entries) {
    if (kind_ != Kind::Replace || static_cast<qsizetype>(positions_.size()) != texts_.size())
        return;
    std::vector<int> changed;
    for (size_t k = 0; k < positions_.size(); ++k) {
        const int p = positions_[k];
        if (p < 0 || p >= entries.size() || !entries.sameText(p, texts_, static_cast<qsizetype>(k)))
            changed.push_back(static_cast<int>(k));
    }
    if (changed.size() == positions_.size())
        return;
    std::vector<int> positions;
    positions.reserve(changed.size());
    for (int k : changed)
        positions.push_back(positions_[static_cast<size_t>(k)]);
    texts_ = texts_.slices(changed);
    positions_ = std::move(positions);
}

struct Change::Prepared {
    uint64_t stamp;
    EntryList after;
    Change inverse;
};

void Change::prepare(const EntryList& entries) {
    Change change = *this;
    change.prepared_.reset();
    EntryList after = entries;
    Change inverse = std::move(change).apply(after);
    prepared_ =
        std::make_shared<Prepared>(Prepared{entries.stamp(), std::move(after), std::move(inverse)});
}

Change Change::apply(EntryList& entries) && {
    if (std::shared_ptr<Prepared> prepared = std::move(prepared_)) {
        // Only a result no other copy of the change still holds can be taken over.
        if (prepared->stamp == entries.stamp() && prepared.use_count() == 1) {
            EntryList before = std::move(entries);
            entries = std::move(prepared->after);
            Change inverse = std::move(prepared->inverse);
            // The way back leads to the list as it was, which is at hand: kept with it, Undo
            // (and Redo after that) only swap lists again.
            Change forward = std::move(*this);
            forward.prepared_.reset();
            inverse.prepared_ = std::make_shared<Prepared>(
                Prepared{entries.stamp(), std::move(before), std::move(forward)});
            return inverse;
        }
    }
    Change inverse;
    switch (kind_) {
        case Kind::Remove:
            checkPositions(positions_, entries.size());
            inverse.kind_ = Kind::Insert;
            inverse.texts_ = entries.slices(positions_);
            entries.removeSorted(positions_);
            inverse.positions_ = std::move(positions_);
            break;
        case Kind::Insert:
            checkPositions(positions_, entries.size() + texts_.size());
            entries.insertSlices(positions_, texts_);
            inverse.kind_ = Kind::Remove;
            inverse.positions_ = std::move(positions_);
            break;
        case Kind::DropPrefixes:
            checkPositions(positions_, entries.size());
            for (size_t k = 0; k < positions_.size(); ++k) {
                if (lengths_[k] > entries.at(positions_[k]).size())
                    outOfBounds(lengths_[k]);
            }
            inverse.kind_ = Kind::Replace;
            inverse.texts_ = entries.slices(positions_);
            for (size_t k = 0; k < positions_.size(); ++k)
                entries.dropPrefix(positions_[k], lengths_[k]);
            inverse.positions_ = std::move(positions_);
            break;
        case Kind::Replace:
            checkPositions(positions_, entries.size());
            inverse.kind_ = Kind::Replace;
            inverse.texts_ = entries.slices(positions_);
            entries.replaceSlices(positions_, texts_);
            inverse.positions_ = std::move(positions_);
            break;
        case Kind::Reset:
            inverse.kind_ = Kind::Reset;
            std::swap(entries, texts_);
            inverse.texts_ = std::move(texts_);
            break;
        case Kind::Permute: {
            qsizetype total = 0;
            for (const EntryList::Run& r : runs_) {
                if (r.from < 0 || r.count < 0 || r.from + r.count > entries.size())
                    outOfBounds(r.from + r.count);
                total += r.count;
            }
            if (total != entries.size())
                outOfBounds(total);
            // Run i takes the new positions from starts[i] on; sorted by where the runs came
            // from, those starts are the runs of the way back.
            std::vector<int> starts(runs_.size());
            int at = 0;
            for (size_t i = 0; i < runs_.size(); ++i) {
                starts[i] = at;
                at += runs_[i].count;
            }
            std::vector<int> bySource;
            bySource.reserve(runs_.size());
            if (runs_.size() * 64 < static_cast<size_t>(entries.size())) {
                // A move of a few items is a few runs: sorting them beats a table of every row.
                for (size_t i = 0; i < runs_.size(); ++i)
                    if (runs_[i].count > 0)
                        bySource.push_back(static_cast<int>(i));
                std::sort(bySource.begin(), bySource.end(), [this](int a, int b) {
                    return runs_[size_t(a)].from < runs_[size_t(b)].from;
                });
            } else {
                // The runs cover every row once, so their sources put them in order without a
                // sort (a shuffle of a million rows is a million runs).
                std::vector<int> runAt(static_cast<size_t>(entries.size()), -1);
                for (size_t i = 0; i < runs_.size(); ++i) {
                    if (runs_[i].count > 0)
                        runAt[static_cast<size_t>(runs_[i].from)] = static_cast<int>(i);
                }
                for (int i : runAt)
                    if (i >= 0)
                        bySource.push_back(i);
            }
            // Runs that overlap would duplicate rows and lose others (a journal read back
            // from a damaged disk may hold such a change): every row must be taken once.
            qsizetype next = 0;
            for (int i : bySource) {
                if (runs_[size_t(i)].from != next)
                    outOfBounds(runs_[size_t(i)].from);
                next += runs_[size_t(i)].count;
            }
            if (next != entries.size())
                outOfBounds(next);
            inverse.kind_ = Kind::Permute;
            inverse.runs_.reserve(bySource.size());
            for (int i : bySource)
                inverse.runs_.push_back({starts[size_t(i)], runs_[size_t(i)].count});
            // The rows shown after the way back: where the rows shown now came from.
            inverse.positions_.reserve(positions_.size());
            size_t run = 0;
            for (int p : positions_) {
                while (run + 1 < runs_.size() && starts[run + 1] <= p)
                    ++run;
                inverse.positions_.push_back(runs_[run].from + (p - starts[run]));
            }
            if (inverse.positions_.size() * 16 > static_cast<size_t>(entries.size())) {
                std::vector<bool> shown(static_cast<size_t>(entries.size()));
                for (int p : inverse.positions_)
                    shown[static_cast<size_t>(p)] = true;
                inverse.positions_.clear();
                for (size_t p = 0; p < shown.size(); ++p) {
                    if (shown[p])
                        inverse.positions_.push_back(static_cast<int>(p));
                }
            } else {
                std::sort(inverse.positions_.begin(), inverse.positions_.end());
            }
            entries.permute(runs_);
            break;
        }
    }
    return inverse;
}

std::vector<int> Change::shownRows() const {
    return kind_ == Kind::Remove ? std::vector<int>{} : positions_;
}

qsizetype Change::recordBytes() const {
    return static_cast<qsizetype>(sizeof(Change) + positions_.capacity() * sizeof(int) +
                                  lengths_.capacity() * sizeof(uint32_t) +
                                  runs_.capacity() * sizeof(EntryList::Run)) +
           texts_.recordBytes();
}

}  // namespace cadrell
