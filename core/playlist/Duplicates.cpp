#include "core/playlist/Duplicates.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/platform/PathParts.h"
#include "core/playlist/Items.h"
#include "core/playlist/PathTools.h"

namespace cadrell {

namespace {

// What an entry names, for comparing: "\\" and "/" alike, and case ignored where Windows ignores
// it. Only ASCII letters are folded, so names in any 8-bit encoding compare safely. The entries
// are read eight bytes at a time and put in that form on the fly, so no copy is made.
enum class KeyForm : uint8_t { Exact, Slashes, Windows };

KeyForm keyForm(QByteArrayView entry) {
    if (IsWebAddress(entry))
        return KeyForm::Exact;
    if (isDrivePath(entry) || isUncName(entry))
        return KeyForm::Windows;
    return entry.contains('\\') ? KeyForm::Slashes : KeyForm::Exact;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// 0x80 in every byte of v that is zero, and nothing else (no carries cross a byte).
inline uint64_t zeroBytes(uint64_t v) {
    return ~(((v & kLow7) + kLow7) | v | kLow7);
}

inline uint64_t normalised(uint64_t w, KeyForm form) {
    if (form == KeyForm::Exact)
        return w;
    const uint64_t backslash = (zeroBytes(w ^ (0x5C * kOnes)) >> 7) * 0xFF;
    w = (w & ~backslash) | ((0x2F * kOnes) & backslash);
    if (form == KeyForm::Windows) {
        const uint64_t low = w & kLow7;
        const uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
        const uint64_t pastZ = low + (0x80 - 'Z' - 1) * kOnes;
        w |= (atLeastA & ~pastZ & ~w & (0x80 * kOnes)) >> 2;  // 0x20 on A to Z
    }
    return w;
}

inline uint64_t wordAt(const char* p, qsizetype left) {
    uint64_t word = 0;
    std::memcpy(&word, p, static_cast<size_t>(std::min<qsizetype>(left, 8)));
    return word;
}

uint64_t hashOf(QByteArrayView key, KeyForm form) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(key.size());
    for (qsizetype at = 0; at < key.size(); at += 8) {
        h = (h ^ normalised(wordAt(key.data() + at, key.size() - at), form)) *
            0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h;
}

bool sameKey(QByteArrayView a, KeyForm fa, QByteArrayView b, KeyForm fb) {
    if (a.size() != b.size())
        return false;
    if (fa == KeyForm::Exact && fb == KeyForm::Exact)
        return a == b;
    for (qsizetype at = 0; at < a.size(); at += 8) {
        const qsizetype left = a.size() - at;
        if (normalised(wordAt(a.data() + at, left), fa) !=
            normalised(wordAt(b.data() + at, left), fb))
            return false;
    }
    return true;
}

}  // namespace

std::vector<int> DuplicateRows(const EntryList& entries) {
    const ItemLayout layout = FindItems(entries);
    const size_t n = layout.items.size();
    auto keyOf = [&](size_t i) { return entries.at(layout.items[i].entry); };
    std::vector<KeyForm> forms(n);
    std::vector<uint64_t> hashes(n);
    for (size_t i = 0; i < n; ++i) {
        const QByteArrayView key = keyOf(i);
        forms[i] = keyForm(key);
        hashes[i] = hashOf(key, forms[i]);
    }
    // Open addressing: a node-based set of a million keys costs more than the rest of the command
    // together. A slot holds part of the hash beside the item number, so most probes that miss
    // never read a key.
    size_t capacity = 16;
    while (capacity * 3 < n * 4)  // at most three quarters full
        capacity *= 2;
    std::vector<uint64_t> table(capacity, 0);
    std::vector<int> rows;
    // Every first probe misses the cache; asking for the slot some items ahead hides most of it.
    constexpr size_t kAhead = 16;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            __builtin_prefetch(&table[static_cast<size_t>(hashes[i + kAhead]) & (capacity - 1)]);
        const uint64_t h = hashes[i];
        const uint64_t tag = h & 0xFFFFFFFF00000000ull;
        size_t slot = static_cast<size_t>(h) & (capacity - 1);
        bool seen = false;
        for (; table[slot]; slot = (slot + 1) & (capacity - 1)) {
            const size_t other = (table[slot] & 0xFFFFFFFFu) - 1;
            if ((table[slot] & 0xFFFFFFFF00000000ull) == tag &&
                sameKey(keyOf(other), forms[other], keyOf(i), forms[i])) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            table[slot] = tag | static_cast<uint64_t>(i + 1);
            continue;
        }
        for (int r = layout.items[i].first; r <= layout.items[i].entry; ++r)
            rows.push_back(r);
    }
    return rows;
}

}  // namespace cadrell
