#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <vector>

namespace cadrell {

// The entries of a playlist as byte strings. The text lives in a few large buffers (the file as
// read, plus one growing buffer for inserted text) and every entry is a slice of one of them, so a
// million-line playlist costs its file size plus 12 bytes a line, and commands that cut entries
// down (Remove Path, Remove Drive) only move a slice's start.
class EntryList {
public:
    EntryList() = default;
    EntryList(const EntryList&) = default;
    EntryList& operator=(const EntryList&) = default;
    EntryList(EntryList&& other) noexcept;
    EntryList& operator=(EntryList&& other) noexcept;

    // Tells lists apart by their contents' history: a copy has the stamp of its source until
    // either changes, and every change gives a list a stamp no list had before. Work done ahead
    // on a copy is used only while the stamps still match.
    uint64_t stamp() const { return stamp_; }

    qsizetype size() const { return static_cast<qsizetype>(spans_.size()); }
    bool empty() const { return spans_.empty(); }
    QByteArrayView at(qsizetype i) const {
        const Span& s = spans_[static_cast<size_t>(i)];
        return QByteArrayView(chunks_[s.chunk()].constData() + s.off(), s.len);
    }
    // What kind of line an entry is, known without reading its text (which, after a sort, lies
    // anywhere in a large buffer): finding a million lines' items then reads only the records.
    enum class Kind : uint8_t { Media, Blank, Directive, Extinf };
    Kind kind(qsizetype i) const { return spans_[static_cast<size_t>(i)].kind(); }
    static Kind KindOf(QByteArrayView text);
    QByteArray bytes(qsizetype i) const { return at(i).toByteArray(); }
    std::vector<QByteArray> toVector() const;
    // The entries as byte arrays over this list's own text, without a copy: valid only while
    // this list lives and is not changed (a worker's snapshot).
    std::vector<QByteArray> views() const;

    void clear();
    // Takes a whole file's bytes and the lines found in it (start offset and length pairs).
    void adopt(QByteArray buffer, const std::vector<std::pair<qsizetype, qsizetype>>& lines);
    void append(QByteArrayView text);
    // Inserts copies of the given entries of src (all when positions is null) before pos.
    void insertFrom(qsizetype pos, const EntryList& src,
                    const std::vector<int>* positions = nullptr);
    // Removes the entries at the given ascending, distinct positions.
    void removeSorted(const std::vector<int>& positions);
    // Entry i keeps only its bytes from offset `from` on.
    void dropPrefix(qsizetype i, qsizetype from);
    // Moves the entries at the ascending positions to stand before pos (a position in the list
    // as it is before the move, which must not be one of the moved ones), or to the end for -1.
    void moveBefore(const std::vector<int>& positions, qsizetype pos);

    qsizetype liveBytes() const { return static_cast<qsizetype>(live_); }
    qsizetype heldBytes() const;

    // Slices share the text of the list they came from: only the records are copied, and the
    // buffers are held by both lists. A shared buffer is never written again, so a slice's text
    // stays as it was whatever either list does next.

    // The entries at the ascending positions, sharing this list's text.
    EntryList slices(const std::vector<int>& positions) const;
    // Inserts the entries of `slices` so that its entry k stands at positions[k] afterwards
    // (ascending), sharing their text.
    void insertSlices(const std::vector<int>& positions, const EntryList& slices);
    // The entry at positions[k] becomes entry k of `slices`, sharing its text.
    void replaceSlices(const std::vector<int>& positions, const EntryList& slices);
    // Whether entry i here and entry j of `other` are the same bytes.
    bool sameText(qsizetype i, const EntryList& other, qsizetype j) const;

    // A reordering: the new list is the old entries [from, from + count) of each run in turn.
    struct Run {
        int from;
        int count;
    };
    void permute(const std::vector<Run>& runs);

    // Lets go of the text buffers no entry refers to any more (text deleted, replaced or moved
    // into another buffer), so a long session holds only what its entries and history need.
    void dropUnusedBuffers();

    // The records' own size, and every text buffer with the bytes it holds (for accounting).
    qsizetype recordBytes() const;
    template <class F>
    void forEachBuffer(F&& f) const {
        for (const QByteArray& c : chunks_)
            f(c.constData(), c.capacity());
    }

private:
    // Twelve bytes a line: the offset's low 32 bits, the length, and one word holding the
    // buffer's index, the line's kind and the offset's high 8 bits (buffers up to a terabyte).
    struct Span {
        uint32_t offLow;
        uint32_t len;
        uint32_t meta;  // chunk << 10 | kind << 8 | offset >> 32

        static Span make(uint64_t off, uint32_t chunk, uint32_t len, Kind kind) {
            return Span{
                static_cast<uint32_t>(off), len,
                chunk << 10 | static_cast<uint32_t>(kind) << 8 | static_cast<uint32_t>(off >> 32)};
        }
        uint64_t off() const { return uint64_t(meta & 0xffu) << 32 | offLow; }
        uint32_t chunk() const { return meta >> 10; }
        Kind kind() const { return static_cast<Kind>((meta >> 8) & 3u); }
        void setOff(uint64_t off) {
            offLow = static_cast<uint32_t>(off);
            meta = (meta & ~0xffu) | static_cast<uint32_t>(off >> 32);
        }
        void setChunk(uint32_t chunk) { meta = (meta & 0x3ffu) | chunk << 10; }
        void setKind(Kind kind) { meta = (meta & ~0x300u) | static_cast<uint32_t>(kind) << 8; }
    };
    static_assert(sizeof(Span) == 12);
    // Far more buffers than a list ever holds; past it the text is copied into one.
    static constexpr size_t kMaxChunks = size_t(1) << 22;
    void collapse();

    uint32_t appendChunk(qsizetype reserve);
    void compactIfWasteful();
    // This list's chunk index for each chunk of src, adding those it does not hold yet.
    std::vector<uint32_t> adoptChunks(const EntryList& src);

    void touch() { stamp_ = NewStamp(); }
    static uint64_t NewStamp();

    std::vector<QByteArray> chunks_;
    std::vector<Span> spans_;
    uint64_t live_ = 0;
    int tail_ = -1;  // the chunk that takes appended text
    uint64_t stamp_ = NewStamp();
};

}  // namespace cadrell
