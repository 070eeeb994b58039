#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace cadrell {

// Value types as the registry numbers them; any other number is kept as raw bytes.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct RegValue {
    std::uint32_t type = REG_NONE;
    // The stored bytes: a string includes its terminating NUL, a dword is 4 bytes little-endian.
    QByteArray data;
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// The REGEDIT4 text of one root.
namespace regfile {

struct Value {
    QString name;  // empty: the key's default value, "@" in the file
    RegValue value;
};

struct Key {
    QString name;
    std::vector<Value> values;
    std::vector<Key> subkeys;
};

// A settings file is small; one larger or nested deeper than this is not one (and would take
// unbounded time and memory to read and write back). The store neither reads nor writes a
// larger file; the parser refuses deeper keys.
inline constexpr qsizetype kMaxFileSize = 1 << 20;
inline constexpr qsizetype kMaxDepth = 64;

// Parses a whole file; false when it is not a REGEDIT4 file of the root named `rootName`, or
// has a key deeper than kMaxDepth.
bool parse(const QByteArray& text, const QString& rootName, Key& out);
QByteArray write(const Key& root, const QString& rootName);

}  // namespace regfile

}  // namespace cadrell
