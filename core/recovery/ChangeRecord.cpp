#include "core/recovery/ChangeRecord.h"

#include <limits>

#include "core/recovery/JournalBytes.h"

namespace cadrell {

namespace {

enum Flag : uint8_t { HasEncoding = 1, HasLineEnd = 2 };

constexpr int kLastKind = static_cast<int>(Change::Kind::Reset);
constexpr int kLastEncoding = static_cast<int>(TextEncoding::Windows1252);
constexpr int kLastLineEnd = static_cast<int>(LineEnd::Lf);

void writePositions(ByteWriter& w, const std::vector<int>& positions) {
    w.varint(positions.size());
    int64_t previous = -1;
    for (int p : positions) {
        w.varint(static_cast<uint64_t>(p - previous - 1));
        previous = p;
    }
}

std::vector<int> readPositions(ByteReader& r) {
    const qsizetype n = r.count();
    std::vector<int> positions;
    positions.reserve(static_cast<size_t>(n));
    int64_t previous = -1;
    for (qsizetype k = 0; k < n && r.ok(); ++k) {
        const uint64_t gap = r.varint();
        // Both below 2^31, so the sum cannot overflow.
        const int64_t p = gap > static_cast<uint64_t>(std::numeric_limits<int>::max())
                              ? int64_t(std::numeric_limits<int>::max()) + 1
                              : previous + 1 + static_cast<int64_t>(gap);
        if (p > std::numeric_limits<int>::max()) {
            r.fail();
            break;
        }
        positions.push_back(static_cast<int>(p));
        previous = p;
    }
    return positions;
}

void writeTexts(ByteWriter& w, const EntryList& texts) {
    w.varint(static_cast<uint64_t>(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i)
        w.bytes(texts.at(i));
}

EntryList readTexts(ByteReader& r) {
    const qsizetype n = r.count();
    EntryList texts;
    for (qsizetype k = 0; k < n && r.ok(); ++k) {
        const QByteArrayView b = r.bytes();
        if (b.size() > std::numeric_limits<uint32_t>::max())
            r.fail();
        texts.append(b);
    }
    return texts;
}

}  // namespace

void ChangeRecord::serialize(const Change& change, QByteArray& out) {
    ByteWriter w(out);
    w.u8(static_cast<uint8_t>(change.kind_));
    w.u8(static_cast<uint8_t>((change.encoding_ ? HasEncoding : 0) |
                              (change.lineEnd_ ? HasLineEnd : 0)));
    if (change.encoding_)
        w.u8(static_cast<uint8_t>(*change.encoding_));
    if (change.lineEnd_)
        w.u8(static_cast<uint8_t>(*change.lineEnd_));
    switch (change.kind_) {
        case Change::Kind::Remove:
            writePositions(w, change.positions_);
            break;
        case Change::Kind::Insert:
        case Change::Kind::Replace:
            writePositions(w, change.positions_);
            writeTexts(w, change.texts_);
            break;
        case Change::Kind::DropPrefixes:
            writePositions(w, change.positions_);
            for (uint32_t len : change.lengths_)
                w.varint(len);
            break;
        case Change::Kind::Permute:
            // The rows to show afterwards do not change the entries; a sort of a million rows
            // would otherwise write every row twice.
            w.varint(change.runs_.size());
            for (const EntryList::Run& run : change.runs_) {
                w.varint(static_cast<uint64_t>(run.from));
                w.varint(static_cast<uint64_t>(run.count));
            }
            break;
        case Change::Kind::Reset:
            writeTexts(w, change.texts_);
            break;
    }
}

std::optional<Change> ChangeRecord::deserialize(QByteArrayView bytes) {
    ByteReader r(bytes);
    const int kind = r.u8();
    const uint8_t flags = r.u8();
    if (!r.ok() || kind > kLastKind || (flags & ~(HasEncoding | HasLineEnd)))
        return std::nullopt;
    Change c;
    c.kind_ = static_cast<Change::Kind>(kind);
    if (flags & HasEncoding) {
        const int e = r.u8();
        if (e > kLastEncoding)
            return std::nullopt;
        c.encoding_ = static_cast<TextEncoding>(e);
    }
    if (flags & HasLineEnd) {
        const int e = r.u8();
        if (e > kLastLineEnd)
            return std::nullopt;
        c.lineEnd_ = static_cast<LineEnd>(e);
    }
    switch (c.kind_) {
        case Change::Kind::Remove:
            c.positions_ = readPositions(r);
            break;
        case Change::Kind::Insert:
        case Change::Kind::Replace:
            c.positions_ = readPositions(r);
            c.texts_ = readTexts(r);
            if (static_cast<qsizetype>(c.positions_.size()) != c.texts_.size())
                r.fail();
            break;
        case Change::Kind::DropPrefixes:
            c.positions_ = readPositions(r);
            c.lengths_.reserve(c.positions_.size());
            for (size_t k = 0; k < c.positions_.size() && r.ok(); ++k) {
                const uint64_t len = r.varint();
                if (len == 0 || len > std::numeric_limits<uint32_t>::max())
                    r.fail();
                c.lengths_.push_back(static_cast<uint32_t>(len));
            }
            break;
        case Change::Kind::Permute: {
            const qsizetype n = r.count(2);
            c.runs_.reserve(static_cast<size_t>(n));
            for (qsizetype k = 0; k < n && r.ok(); ++k) {
                const uint64_t from = r.varint();
                const uint64_t count = r.varint();
                if (from > static_cast<uint64_t>(std::numeric_limits<int>::max()) ||
                    from + count > static_cast<uint64_t>(std::numeric_limits<int>::max()))
                    r.fail();
                c.runs_.push_back({static_cast<int>(from), static_cast<int>(count)});
            }
            break;
        }
        case Change::Kind::Reset:
            c.texts_ = readTexts(r);
            break;
    }
    if (!r.ok() || !r.atEnd())
        return std::nullopt;
    return c;
}

}  // namespace cadrell
