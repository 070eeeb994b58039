#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace cadrell {

// CRC-32 (the polynomial zip and PNG use) of the bytes, continuing from `crc`.
uint32_t Crc32(QByteArrayView bytes, uint32_t crc = 0);

// Little-endian fixed-size numbers and variable-length unsigned numbers (7 bits a byte), the
// building blocks of the journal's records.
class ByteWriter {
public:
    explicit ByteWriter(QByteArray& out) : out_(out) {}
    void u8(uint8_t v) { out_.append(static_cast<char>(v)); }
    void u32(uint32_t v);
    void i64(int64_t v);
    void varint(uint64_t v);
    void bytes(QByteArrayView b) {
        varint(static_cast<uint64_t>(b.size()));
        out_.append(b);
    }
    void raw(QByteArrayView b) { out_.append(b); }

private:
    QByteArray& out_;
};

// Reads what ByteWriter wrote; any read past the end or out of range leaves it failed, and a
// failed reader reads only zeros, so a caller checks ok() once at the end.
class ByteReader {
public:
    explicit ByteReader(QByteArrayView in) : in_(in) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == in_.size(); }
    qsizetype left() const { return in_.size() - at_; }
    void fail() { ok_ = false; }
    uint8_t u8();
    uint32_t u32();
    int64_t i64();
    uint64_t varint();
    // A count of items that take at least `minBytes` each, so a damaged count cannot ask for
    // more memory than the rest of the input could fill.
    qsizetype count(qsizetype minBytes = 1);
    QByteArrayView bytes();
    QByteArrayView raw(qsizetype n);

private:
    QByteArrayView in_;
    qsizetype at_ = 0;
    bool ok_ = true;
};

}  // namespace cadrell
