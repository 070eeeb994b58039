#include "core/playlist/EntryList.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

namespace cadrell {

namespace {

// Held by another list too (a null buffer has no storage to share).
bool sharedBuffer(const QByteArray& b) {
    return !b.isNull() && !b.isDetached();
}

}  // namespace

uint64_t EntryList::NewStamp() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

EntryList::EntryList(EntryList&& other) noexcept
    : chunks_(std::move(other.chunks_)),
      spans_(std::move(other.spans_)),
      live_(other.live_),
      tail_(other.tail_),
      stamp_(other.stamp_) {
    other.clear();
}

EntryList& EntryList::operator=(EntryList&& other) noexcept {
    if (this != &other) {
        chunks_ = std::move(other.chunks_);
        spans_ = std::move(other.spans_);
        live_ = other.live_;
        tail_ = other.tail_;
        stamp_ = other.stamp_;
        other.clear();
    }
    return *this;
}

EntryList::Kind EntryList::KindOf(QByteArrayView text) {
    if (!text.isEmpty() && text[0] == '#')
        return text.startsWith(QByteArrayView("#EXTINF:")) ? Kind::Extinf : Kind::Directive;
    for (char c : text) {
        if (c != ' ' && c != '\t')
            return Kind::Media;
    }
    return Kind::Blank;
}

std::vector<QByteArray> EntryList::views() const {
    std::vector<QByteArray> out;
    out.reserve(spans_.size());
    for (qsizetype i = 0; i < size(); ++i) {
        const QByteArrayView text = at(i);
        out.push_back(QByteArray::fromRawData(text.data(), text.size()));
    }
    return out;
}

std::vector<QByteArray> EntryList::toVector() const {
    std::vector<QByteArray> out;
    out.reserve(spans_.size());
    for (qsizetype i = 0; i < size(); ++i)
        out.push_back(bytes(i));
    return out;
}

void EntryList::clear() {
    touch();
    chunks_.clear();
    spans_.clear();
    live_ = 0;
    tail_ = -1;
}

void EntryList::adopt(QByteArray buffer,
                      const std::vector<std::pair<qsizetype, qsizetype>>& lines) {
    touch();
    clear();
    chunks_.push_back(std::move(buffer));
    spans_.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        spans_[i] = Span::make(
            static_cast<uint64_t>(lines[i].first), 0, static_cast<uint32_t>(lines[i].second),
            KindOf(QByteArrayView(chunks_[0]).sliced(lines[i].first, lines[i].second)));
        live_ += static_cast<uint64_t>(lines[i].second);
    }
}

uint32_t EntryList::appendChunk(qsizetype reserve) {
    // A buffer that another list shares is never written: its slices there must keep their text.
    if (tail_ < 0 || sharedBuffer(chunks_[static_cast<size_t>(tail_)])) {
        if (chunks_.size() + 1 >= kMaxChunks)
            collapse();
    }
    if (tail_ < 0 || sharedBuffer(chunks_[static_cast<size_t>(tail_)])) {
        chunks_.emplace_back();
        tail_ = static_cast<int>(chunks_.size() - 1);
    }
    QByteArray& tail = chunks_[static_cast<size_t>(tail_)];
    if (tail.capacity() - tail.size() < reserve)
        tail.reserve(std::max<qsizetype>(tail.size() + reserve, tail.size() * 2));
    return static_cast<uint32_t>(tail_);
}

void EntryList::append(QByteArrayView text) {
    touch();
    const uint32_t c = appendChunk(text.size());
    QByteArray& tail = chunks_[c];
    spans_.push_back(Span::make(static_cast<uint64_t>(tail.size()), c,
                                static_cast<uint32_t>(text.size()), KindOf(text)));
    tail.append(text);
    live_ += static_cast<uint64_t>(text.size());
    compactIfWasteful();
}

void EntryList::insertFrom(qsizetype pos, const EntryList& src, const std::vector<int>* positions) {
    touch();
    const size_t n = positions ? positions->size() : src.spans_.size();
    auto srcSpan = [&](size_t k) -> const Span& {
        return src.spans_[positions ? static_cast<size_t>((*positions)[k]) : k];
    };
    uint64_t bytes = 0;
    for (size_t k = 0; k < n; ++k)
        bytes += srcSpan(k).len;
    // All the text goes straight to its place in the tail, which is made large enough first so
    // that it never moves while it is written. The source may be this very list, even its tail:
    // every entry's address is therefore taken afresh, and it lies below the bytes written.
    const uint32_t c = appendChunk(static_cast<qsizetype>(bytes));
    QByteArray& tail = chunks_[c];
    uint64_t at = static_cast<uint64_t>(tail.size());
    tail.resize(tail.size() + static_cast<qsizetype>(bytes));
    char* const out = tail.data();
    auto copy = [&](size_t k) {
        const Span& s = srcSpan(k);
        std::memcpy(out + at, src.chunks_[s.chunk()].constData() + s.off(), s.len);
        const Span added = Span::make(at, c, s.len, s.kind());
        at += s.len;
        return added;
    };
    if (&src != this && pos == size()) {
        // Appending from another list (Copy, Cut): no second pass over the new records.
        if (spans_.capacity() < spans_.size() + n)
            spans_.reserve(std::max(spans_.size() + n, 2 * spans_.capacity()));
        for (size_t k = 0; k < n; ++k)
            spans_.push_back(copy(k));
    } else {
        std::vector<Span> added(n);
        for (size_t k = 0; k < n; ++k)
            added[k] = copy(k);
        spans_.insert(spans_.begin() + pos, added.begin(), added.end());
    }
    live_ += bytes;
    compactIfWasteful();
}

void EntryList::removeSorted(const std::vector<int>& positions) {
    if (positions.empty())
        return;
    touch();
    size_t out = static_cast<size_t>(positions.front());
    size_t next = 0;
    for (size_t i = out; i < spans_.size(); ++i) {
        if (next < positions.size() && static_cast<size_t>(positions[next]) == i) {
            live_ -= spans_[i].len;
            ++next;
            continue;
        }
        spans_[out++] = spans_[i];
    }
    spans_.resize(out);
}

void EntryList::dropPrefix(qsizetype i, qsizetype from) {
    touch();
    Span& s = spans_[static_cast<size_t>(i)];
    s.setOff(s.off() + static_cast<uint64_t>(from));
    s.len -= static_cast<uint32_t>(from);
    s.setKind(KindOf(at(i)));
    live_ -= static_cast<uint64_t>(from);
}

void EntryList::moveBefore(const std::vector<int>& positions, qsizetype pos) {
    touch();
    if (positions.empty())
        return;
    std::vector<Span> moved;
    moved.reserve(positions.size());
    for (int p : positions)
        moved.push_back(spans_[static_cast<size_t>(p)]);
    // Where pos lands once the moved entries are out of the way.
    qsizetype target = static_cast<qsizetype>(spans_.size() - positions.size());
    if (pos >= 0)
        target =
            pos - (std::lower_bound(positions.begin(), positions.end(), static_cast<int>(pos)) -
                   positions.begin());
    const uint64_t liveBefore = live_;
    removeSorted(positions);
    live_ = liveBefore;
    spans_.insert(spans_.begin() + target, moved.begin(), moved.end());
}

qsizetype EntryList::heldBytes() const {
    qsizetype total = 0;
    for (const QByteArray& c : chunks_)
        total += c.capacity();
    return total + static_cast<qsizetype>(spans_.capacity() * sizeof(Span));
}

EntryList EntryList::slices(const std::vector<int>& positions) const {
    EntryList out;
    std::vector<int64_t> map(chunks_.size(), -1);
    out.spans_.reserve(positions.size());
    for (int p : positions) {
        Span s = spans_[static_cast<size_t>(p)];
        int64_t& c = map[s.chunk()];
        if (c < 0) {
            c = static_cast<int64_t>(out.chunks_.size());
            out.chunks_.push_back(chunks_[s.chunk()]);
        }
        s.setChunk(static_cast<uint32_t>(c));
        out.spans_.push_back(s);
        out.live_ += s.len;
    }
    return out;
}

std::vector<uint32_t> EntryList::adoptChunks(const EntryList& src) {
    if (chunks_.size() + src.chunks_.size() >= kMaxChunks)
        collapse();
    std::vector<uint32_t> map(src.chunks_.size());
    for (size_t c = 0; c < src.chunks_.size(); ++c) {
        const QByteArray& b = src.chunks_[c];
        size_t own = 0;
        while (own < chunks_.size() && chunks_[own].constData() != b.constData())
            ++own;
        if (own == chunks_.size())
            chunks_.push_back(b);
        map[c] = static_cast<uint32_t>(own);
    }
    return map;
}

void EntryList::insertSlices(const std::vector<int>& positions, const EntryList& slices) {
    touch();
    if (positions.empty())
        return;
    const std::vector<uint32_t> map = adoptChunks(slices);
    const size_t oldSize = spans_.size();
    spans_.resize(oldSize + positions.size());
    // Merged from the back, in place: only the records from the first new position on move.
    size_t from = oldSize;
    size_t k = positions.size();
    for (size_t out = spans_.size(); out-- > static_cast<size_t>(positions.front());) {
        if (k > 0 && static_cast<size_t>(positions[k - 1]) == out) {
            --k;
            Span s = slices.spans_[k];
            s.setChunk(map[s.chunk()]);
            spans_[out] = s;
            live_ += s.len;
        } else {
            spans_[out] = spans_[--from];
        }
    }
}

void EntryList::replaceSlices(const std::vector<int>& positions, const EntryList& slices) {
    touch();
    const std::vector<uint32_t> map = adoptChunks(slices);
    for (size_t k = 0; k < positions.size(); ++k) {
        Span& s = spans_[static_cast<size_t>(positions[k])];
        live_ -= s.len;
        s = slices.spans_[k];
        s.setChunk(map[s.chunk()]);
        live_ += s.len;
    }
}

bool EntryList::sameText(qsizetype i, const EntryList& other, qsizetype j) const {
    const Span& a = spans_[static_cast<size_t>(i)];
    const Span& b = other.spans_[static_cast<size_t>(j)];
    if (a.len != b.len)
        return false;
    const char* pa = chunks_[a.chunk()].constData() + a.off();
    const char* pb = other.chunks_[b.chunk()].constData() + b.off();
    return pa == pb || std::memcmp(pa, pb, a.len) == 0;
}

void EntryList::permute(const std::vector<Run>& runs) {
    touch();
    // Runs that leave their rows where they are, at either end, are skipped: moving one item
    // down touches only the rows between where it was and where it goes.
    size_t first = 0;
    size_t last = runs.size();
    size_t lo = 0;
    size_t hi = spans_.size();
    while (first < last && (runs[first].count <= 0 || static_cast<size_t>(runs[first].from) == lo))
        lo += static_cast<size_t>(std::max(runs[first++].count, 0));
    while (last > first &&
           (runs[last - 1].count <= 0 ||
            static_cast<size_t>(runs[last - 1].from) + static_cast<size_t>(runs[last - 1].count) ==
                hi))
        hi -= static_cast<size_t>(std::max(runs[--last].count, 0));
    if (lo >= hi)
        return;
    // A shuffle is a million runs of one: no range insert for each.
    std::vector<Span> out(hi - lo);
    Span* to = out.data();
    Span* const end = to + out.size();
    const Span* const from = spans_.data();
    for (size_t k = first; k < last; ++k) {
        const Run& r = runs[k];
        if (r.count <= 0 || r.count > end - to)
            continue;
        if (r.count == 1)
            *to++ = from[r.from];
        else
            to = std::copy(from + r.from, from + r.from + r.count, to);
    }
    if (lo == 0 && hi == spans_.size() && to == end) {
        spans_.swap(out);
        return;
    }
    std::copy(out.data(), to, spans_.begin() + static_cast<std::ptrdiff_t>(lo));
}

qsizetype EntryList::recordBytes() const {
    return static_cast<qsizetype>(spans_.capacity() * sizeof(Span) +
                                  chunks_.capacity() * sizeof(QByteArray));
}

void EntryList::dropUnusedBuffers() {
    if (chunks_.size() < 2)
        return;
    std::vector<uint32_t> map(chunks_.size(), 0);
    for (const Span& s : spans_)
        map[s.chunk()] = 1;
    if (std::find(map.begin(), map.end(), 0u) == map.end())
        return;
    touch();
    std::vector<QByteArray> kept;
    for (size_t c = 0; c < chunks_.size(); ++c) {
        if (map[c]) {
            map[c] = static_cast<uint32_t>(kept.size());
            kept.push_back(std::move(chunks_[c]));
        } else {
            map[c] = UINT32_MAX;
        }
    }
    for (Span& s : spans_)
        s.setChunk(map[s.chunk()]);
    tail_ = tail_ >= 0 && map[static_cast<size_t>(tail_)] != UINT32_MAX
                ? static_cast<int>(map[static_cast<size_t>(tail_)])
                : -1;
    chunks_.swap(kept);
}

void EntryList::compactIfWasteful() {
    touch();
    uint64_t held = 0;
    for (const QByteArray& c : chunks_)
        held += static_cast<uint64_t>(c.size());
    // Deleted and shortened entries leave their bytes behind; copy the live text into one buffer
    // once the waste outweighs it, so a long editing session does not grow without bound.
    if (held < 2 * live_ + (1u << 20))
        return;
    // While another list (the undo history, the entry clipboard) shares a buffer, copying the
    // live text would free nothing of it and only add a second copy.
    for (const QByteArray& c : chunks_) {
        if (sharedBuffer(c))
            return;
    }
    collapse();
}

void EntryList::collapse() {
    touch();
    QByteArray text;
    text.reserve(static_cast<qsizetype>(live_));
    for (Span& s : spans_) {
        const uint64_t off = static_cast<uint64_t>(text.size());
        text.append(chunks_[s.chunk()].constData() + s.off(), s.len);
        s.setOff(off);
        s.setChunk(0);
    }
    chunks_.clear();
    chunks_.push_back(std::move(text));
    tail_ = 0;
}

}  // namespace cadrell
