#include "core/recovery/JournalBytes.h"

#include <array>

namespace cadrell {

namespace {

constexpr std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = crcTable();

}  // namespace

uint32_t Crc32(QByteArrayView bytes, uint32_t crc) {
    crc = ~crc;
    for (const char ch : bytes)
        crc = kCrcTable[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void ByteWriter::u32(uint32_t v) {
    for (int k = 0; k < 4; ++k)
        u8(static_cast<uint8_t>(v >> (8 * k)));
}

void ByteWriter::i64(int64_t v) {
    const auto u = static_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k)
        u8(static_cast<uint8_t>(u >> (8 * k)));
}

void ByteWriter::varint(uint64_t v) {
    while (v >= 0x80) {
        u8(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    u8(static_cast<uint8_t>(v));
}

uint8_t ByteReader::u8() {
    if (!ok_ || at_ >= in_.size()) {
        ok_ = false;
        return 0;
    }
    return static_cast<uint8_t>(in_[at_++]);
}

uint32_t ByteReader::u32() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= static_cast<uint32_t>(u8()) << (8 * k);
    return ok_ ? v : 0;
}

int64_t ByteReader::i64() {
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k)
        v |= static_cast<uint64_t>(u8()) << (8 * k);
    return ok_ ? static_cast<int64_t>(v) : 0;
}

uint64_t ByteReader::varint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t b = u8();
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return ok_ ? v : 0;
    }
    ok_ = false;
    return 0;
}

qsizetype ByteReader::count(qsizetype minBytes) {
    const uint64_t n = varint();
    if (!ok_ || n > static_cast<uint64_t>(left() / std::max<qsizetype>(minBytes, 1))) {
        ok_ = false;
        return 0;
    }
    return static_cast<qsizetype>(n);
}

QByteArrayView ByteReader::bytes() {
    const uint64_t n = varint();
    if (!ok_ || n > static_cast<uint64_t>(left())) {
        ok_ = false;
        return {};
    }
    return raw(static_cast<qsizetype>(n));
}

QByteArrayView ByteReader::raw(qsizetype n) {
    if (!ok_ || n < 0 || n > left()) {
        ok_ = false;
        return {};
    }
    const QByteArrayView v = in_.sliced(at_, n);
    at_ += n;
    return v;
}

}  // namespace cadrell
