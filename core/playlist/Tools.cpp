#include "core/playlist/Tools.h"

#include <emmintrin.h>

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>

#include "core/platform/Error.h"
#include "core/playlist/Items.h"
#include "core/platform/PathParts.h"

namespace cadrell {

namespace {

QString decoded(QByteArrayView entry, const TextForm& form) {
    return form.decode ? form.decode(entry) : QString::fromUtf8(entry);
}

QByteArray encoded(const QString& text, const TextForm& form) {
    return form.encode ? form.encode(text) : text.toUtf8();
}

bool isAscii(QByteArrayView s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// ---- item orders ----

// The items a reordering works on: those of the selected rows when there are several, else all.
std::vector<int> itemsToOrder(const ItemLayout& layout, const std::vector<int>& selectedRows) {
    std::vector<int> items = ItemsOfRows(layout, selectedRows);
    if (items.size() <= 1) {
        items.resize(layout.items.size());
        std::iota(items.begin(), items.end(), 0);
    }
    return items;
}

// The row order that puts the items of `places` (ascending) in the order `moved` (the same items,
// reordered); each item brings the rows that follow it.
RowOrder orderOf(const EntryList& entries, const ItemLayout& layout, const std::vector<int>& places,
                 const std::vector<int>& moved) {
    RowOrder order;
    order.reserve(static_cast<size_t>(entries.size()));
    auto rows = [&order](int from, int to) {
        for (int r = from; r < to; ++r)
            order.push_back(r);
    };
    rows(0, layout.lead);
    size_t next = 0;
    for (size_t i = 0; i < layout.items.size(); ++i) {
        const bool slot = next < places.size() && static_cast<size_t>(places[next]) == i;
        const Item& item = layout.items[slot ? static_cast<size_t>(moved[next++]) : i];
        rows(item.first, item.end);
    }
    rows(layout.tail, static_cast<int>(entries.size()));
    return order;
}

QCollator naturalCollator() {
    // The C locale collates by code point, which knows no numbers; a user who has not chosen a
    // language still wants Track 2 before Track 10.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QByteArrayView fileName(QByteArrayView entry) {
    const QByteArrayView name = entry.sliced(FileNameOffset(entry));
    return name.isEmpty() ? entry : name;
}

QByteArrayView titleOf(const EntryList& entries, const Item& item) {
    for (int r = item.first; r < item.entry; ++r) {
        const QByteArrayView title = ExtinfTitle(entries.at(r));
        if (!title.isEmpty())
            return title;
    }
    return fileName(entries.at(item.entry));
}

// Lists this long are worth a second thread.
constexpr size_t kTwoThreads = 50000;

// Runs a and b, a on a thread of its own when `parallel` is set.
template <class A, class B>
void inTwo(bool parallel, A a, B b) {
    if (!parallel || std::thread::hardware_concurrency() < 2) {
        a();
        b();
        return;
    }
    std::thread other(a);
    b();
    other.join();
}

// ---- sorting ----

// Collation of printable ASCII text as the user's collator does it, from a weight per character
// and numbers compared by value: most playlists hold nothing else, and a collation key per item
// costs several times the whole sort. The weights are read off the collator itself, so they follow
// the user's locale; a locale whose rules do not reduce to them (letters that combine, as "ch" in
// Czech, or that differ only at a lower level, as v and w once did in Swedish) shows itself when
// every string of two characters is sorted both ways, and then the collator sorts everything.
class AsciiCollation {
public:
    // Nothing when the collator cannot be followed this way.
    static const AsciiCollation* of(const QCollator& collator) {
        static std::mutex lock;
        static std::map<QString, std::unique_ptr<AsciiCollation>> known;
        const std::lock_guard<std::mutex> guard(lock);
        auto& found = known[collator.locale().bcp47Name()];
        if (!found) {
            found = std::make_unique<AsciiCollation>();
            found->usable = found->learn(collator);
        }
        return found->usable ? found.get() : nullptr;
    }

    // Text it can key: printable ASCII, numbers short enough to be compared whole (the collator
    // splits longer ones).
    static bool fits(QByteArrayView text) {
        qsizetype digits = 0;
        for (const char c : text) {
            if (c < ' ' || c > '~')
                return false;
            digits = c >= '0' && c <= '9' ? digits + 1 : 0;
            if (digits > kLongestNumber)
                return false;
        }
        return true;
    }

    // Appends a key whose bytes compare as the collator compares the texts: a character is its
    // weight; a number is the digits' weight, the count of its digits without leading zeros, and
    // those digits.
    void appendKey(QByteArrayView text, std::string& out) const {
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            if (*p < '0' || *p > '9') {
                out.push_back(weight[static_cast<unsigned char>(*p++)]);
                continue;
            }
            while (p < end && *p == '0')
                ++p;
            const char* const from = p;
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
            out.push_back(weight[static_cast<unsigned char>('0')]);
            out.push_back(static_cast<char>(p - from));
            out.append(from, static_cast<size_t>(p - from));
        }
    }

private:
    static constexpr qsizetype kLongestNumber = 254;

    bool learn(const QCollator& collator) {
        std::vector<char> chars;
        for (char c = ' '; c <= '~'; ++c)
            chars.push_back(c);
        auto text = [](char c) { return QString(QChar(c)); };
        std::stable_sort(chars.begin(), chars.end(),
                         [&](char a, char b) { return collator.compare(text(a), text(b)) < 0; });
        char rank = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i == 0 || collator.compare(text(chars[i - 1]), text(chars[i])) != 0)
                ++rank;
            weight[static_cast<unsigned char>(chars[i])] = rank;
        }
        // A number is keyed by the weight of 0, so no other character may lie among the digits.
        for (char d = '1'; d <= '9'; ++d)
            if (weight[static_cast<unsigned char>(d)] !=
                weight[static_cast<unsigned char>('0')] + (d - '0'))
                return false;
        struct Pair {
            QString text;
            std::string key;
        };
        std::vector<Pair> pairs;
        for (const char a : chars)
            for (const char b : chars) {
                const char both[2] = {a, b};
                Pair pair{QString::fromLatin1(both, 2), {}};
                appendKey(QByteArrayView(both, 2), pair.key);
                pairs.push_back(std::move(pair));
            }
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair& a, const Pair& b) { return a.key < b.key; });
        for (size_t i = 1; i < pairs.size(); ++i) {
            const int keys = pairs[i - 1].key < pairs[i].key ? -1 : 0;
            if (std::clamp(collator.compare(pairs[i - 1].text, pairs[i].text), -1, 1) != keys)
                return false;
        }
        return true;
    }

    char weight[128] = {};
    bool usable = false;
};

// ---- paths ----

inline bool asciiLetter(char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

bool isWebAddress(QByteArrayView s) {
    // A scheme of two or more letters before "://"; one letter would be a drive.
    qsizetype i = 0;
    while (i < s.size() && (asciiLetter(s[i]) || (s[i] >= '0' && s[i] <= '9') || s[i] == '+' ||
                            s[i] == '-' || s[i] == '.'))
        ++i;
    return i >= 2 && asciiLetter(s[0]) && s.sliced(i).startsWith("://");
}

bool isDrivePath(QByteArrayView s) {
    return s.size() >= 2 && s[1] == ':' && asciiLetter(s[0]);
}

bool isUncName(QByteArrayView s) {
    return s.startsWith("\\\\");
}

// A local file:// URL as a path ("file:///a%20b" or "file://localhost/a%20b"), else empty.
QByteArray fileUrlPath(QByteArrayView s) {
    constexpr QByteArrayView kScheme("file://");
    if (s.size() < kScheme.size() ||
        QByteArrayView(s.first(kScheme.size())).compare(kScheme, Qt::CaseInsensitive) != 0)
        return {};
    QByteArrayView rest = s.sliced(kScheme.size());
    if (rest.startsWith("localhost/"))
        rest = rest.sliced(9);
    if (!rest.startsWith('/'))
        return {};
    return QByteArray::fromPercentEncoding(rest.toByteArray());
}

// The components of an absolute path with "." and ".." worked out on the text alone, as a
// playlist names them (a link on the way is not followed).
void splitInto(QByteArrayView path, std::vector<QByteArrayView>& into) {
    qsizetype start = 0;
    while (start <= path.size()) {
        qsizetype end = path.indexOf('/', start);
        if (end < 0)
            end = path.size();
        const QByteArrayView part = path.sliced(start, end - start);
        if (part == "..") {
            if (!into.empty())
                into.pop_back();
        } else if (!part.isEmpty() && part != ".") {
            into.push_back(part);
        }
        start = end + 1;
    }
}

void appendJoined(const std::vector<QByteArrayView>& parts, size_t from, QByteArray& out) {
    for (size_t i = from; i < parts.size(); ++i) {
        if (!out.isEmpty() && !out.endsWith('/'))
            out += '/';
        out += parts[i];
    }
}

// The folder is split once; the vectors are reused from entry to entry.
class PathConverter {
public:
    explicit PathConverter(QByteArrayView folder) { splitInto(folder, base_); }

    bool relative(QByteArrayView entry, QByteArray& out) {
        QByteArrayView path = entry;
        if (!entry.startsWith('/')) {
            url_ = fileUrlPath(entry);
            if (url_.isEmpty())
                return false;
            path = url_;
        }
        if (path.contains('\\'))
            return false;
        parts_.clear();
        splitInto(path, parts_);
        size_t common = 0;
        while (common < base_.size() && common < parts_.size() && base_[common] == parts_[common])
            ++common;
        out.clear();
        for (size_t i = common; i < base_.size(); ++i)
            out += "../";
        appendJoined(parts_, common, out);
        if (out.isEmpty())
            out = ".";
        return true;
    }

    bool absolute(QByteArrayView entry, QByteArray& out) {
        if (entry.isEmpty() || entry.startsWith('/') || entry.contains('\\') ||
            isWebAddress(entry) || isDrivePath(entry) || !IsMediaEntry(entry))
            return false;
        parts_ = base_;
        splitInto(entry, parts_);
        out = "/";
        appendJoined(parts_, 0, out);
        return true;
    }

private:
    std::vector<QByteArrayView> base_, parts_;
    QByteArray url_;
};

void requireFolder(QByteArrayView folder) {
    if (!folder.startsWith('/'))
        throw Error(
            QStringLiteral("Save the playlist first: its paths are relative to its folder"));
}

template <class F>
EntryEdits convertPaths(const EntryList& entries, const std::vector<int>& selectedRows, F convert) {
    const ItemLayout layout = FindItems(entries);
    std::vector<int> items;
    if (selectedRows.size() <= 1) {
        items.resize(layout.items.size());
        std::iota(items.begin(), items.end(), 0);
    } else {
        items = ItemsOfRows(layout, selectedRows);
    }
    EntryEdits edits;
    QByteArray text;
    for (int i : items) {
        const int row = layout.items[static_cast<size_t>(i)].entry;
        const QByteArrayView entry = entries.at(row);
        if (convert(entry, text) && text != entry) {
            edits.rows.push_back(row);
            edits.texts.append(text);
        }
    }
    return edits;
}

// ---- duplicates ----

// What an entry names, for comparing: "\\" and "/" alike, and case ignored where Windows ignores
// it. Only ASCII letters are folded, so names in any 8-bit encoding compare safely. The entries
// are read eight bytes at a time and put in that form on the fly, so no copy is made.
enum class KeyForm : uint8_t { Exact, Slashes, Windows };

KeyForm keyForm(QByteArrayView entry) {
    if (isWebAddress(entry))
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

// ---- search ----

// ASCII letters only; everything else stands for itself.
const char* foldTable() {
    static const auto table = [] {
        static char t[256];
        for (int i = 0; i < 256; ++i)
            t[i] = lowerAscii(static_cast<char>(i));
        return t;
    }();
    return table;
}

QString perlToQt(const QString& replacement) {
    // "$1" means what "\1" means; "$$" is a dollar sign.
    QString out;
    out.reserve(replacement.size());
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c == u'$' && i + 1 < replacement.size()) {
            if (replacement[i + 1].isDigit()) {
                out += u'\\';
                continue;
            }
            if (replacement[i + 1] == u'$') {
                out += u'$';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

QString ShownText(QByteArrayView entry, const TextForm& form) {
    QString text = decoded(entry, form);
    text.replace(QChar(0), QChar(0x2400));
    return text;
}

bool IsIdentity(const RowOrder& order) {
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] != static_cast<int>(i))
            return false;
    return true;
}

QByteArrayView ExtinfTitle(QByteArrayView line) {
    if (!line.startsWith("#EXTINF:"))
        return {};
    bool quoted = false;
    for (qsizetype i = 8; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted)
            return line.sliced(i + 1).trimmed();
    }
    return {};
}

RowOrder SortOrder(const EntryList& entries, const std::vector<int>& selectedRows, SortKey key,
                   const TextForm& form) {
    const ItemLayout layout = FindItems(entries);
    const std::vector<int> places = itemsToOrder(layout, selectedRows);
    auto textOf = [&](int k) {
        const Item& item = layout.items[static_cast<size_t>(places[static_cast<size_t>(k)])];
        const QByteArrayView entry = entries.at(item.entry);
        return key == SortKey::Path       ? entry
               : key == SortKey::FileName ? fileName(entry)
                                          : titleOf(entries, item);
    };
    const QCollator collator = naturalCollator();
    const AsciiCollation* const fast =
        form.asciiCompatible ? AsciiCollation::of(collator) : nullptr;
    // Items are numbered by their place in `places`, so equal texts keep the lower number first.
    std::vector<int> plain, other;
    for (int k = 0; k < static_cast<int>(places.size()); ++k)
        (fast && AsciiCollation::fits(textOf(k)) ? plain : other).push_back(k);

    // Each set is sorted in two halves at once when it is large, and the halves merged.
    auto sortInHalves = [](const std::vector<int>& items, auto sortPart, auto less) {
        const size_t n = items.size(), half = n >= kTwoThreads ? n / 2 : n;
        decltype(sortPart(items, 0, 0)) first, second;
        inTwo(
            half < n, [&] { first = sortPart(items, 0, half); },
            [&] { second = sortPart(items, half, n); });
        std::vector<int> sorted;
        sorted.reserve(n);
        size_t a = 0, b = 0;
        while (a < first.size() || b < second.size()) {
            const bool takeSecond =
                a == first.size() || (b < second.size() && less(second, b, first, a));
            sorted.push_back(takeSecond ? second.item(b++) : first.item(a++));
        }
        return sorted;
    };

    // Printable ASCII: keys of bytes lying in one buffer; an item's first eight bytes of key sit
    // in its record and settle most comparisons without reading the buffer.
    struct Plain {
        uint64_t head;
        size_t at;
        size_t size;
        int item;
    };
    struct PlainPart {
        std::string text;
        std::vector<Plain> keys;
        size_t size() const { return keys.size(); }
        int item(size_t i) const { return keys[i].item; }
        bool less(const Plain& a, const PlainPart& of, const Plain& b) const {
            if (a.head != b.head)
                return a.head < b.head;
            // Equal heads: the first eight bytes (or all of the shorter key) are the same.
            const size_t common = std::min(a.size, b.size), from = std::min<size_t>(common, 8);
            const int c =
                std::memcmp(text.data() + a.at + from, of.text.data() + b.at + from, common - from);
            return c < 0 || (c == 0 && a.size < b.size);
        }
    };
    const std::vector<int> sortedPlain = sortInHalves(
        plain,
        [&](const std::vector<int>& items, size_t from, size_t to) {
            PlainPart part;
            part.keys.reserve(to - from);
            for (size_t i = from; i < to; ++i) {
                const size_t at = part.text.size();
                fast->appendKey(textOf(items[i]), part.text);
                const size_t size = part.text.size() - at;
                uint64_t head = 0;
                for (size_t j = 0; j < 8; ++j)
                    head =
                        head << 8 | (j < size ? static_cast<unsigned char>(part.text[at + j]) : 0u);
                part.keys.push_back(Plain{head, at, size, items[i]});
            }
            std::stable_sort(
                part.keys.begin(), part.keys.end(),
                [&part](const Plain& a, const Plain& b) { return part.less(a, part, b); });
            return part;
        },
        [](const PlainPart& p, size_t i, const PlainPart& q, size_t j) {
            return p.less(p.keys[i], q, q.keys[j]);
        });

    // Other texts: one collation key per item, then plain comparisons of those; the collator
    // itself is far too slow to be asked n log n times. Each half has a collator of its own.
    struct Other {
        QCollatorSortKey key;
        int item;
    };
    struct OtherPart {
        std::vector<Other> keys;
        size_t size() const { return keys.size(); }
        int item(size_t i) const { return keys[i].item; }
    };
    const std::vector<int> sortedOther = sortInHalves(
        other,
        [&](const std::vector<int>& items, size_t from, size_t to) {
            const QCollator own = naturalCollator();
            OtherPart part;
            part.keys.reserve(to - from);
            for (size_t i = from; i < to; ++i)
                part.keys.push_back(Other{own.sortKey(decoded(textOf(items[i]), form)), items[i]});
            // The keys are sorted themselves, not numbers that point at them: one memory access
            // less in each of some twenty million comparisons.
            std::stable_sort(
                part.keys.begin(), part.keys.end(),
                [](const Other& a, const Other& b) { return a.key.compare(b.key) < 0; });
            return part;
        },
        [](const OtherPart& p, size_t i, const OtherPart& q, size_t j) {
            return p.keys[i].key.compare(q.keys[j].key) < 0;
        });

    // The few other texts go in among the ASCII ones by asking the collator, galloping from where
    // the one before went in; the ASCII order is the collator's, so each search is sound.
    std::vector<int> moved;
    moved.reserve(places.size());
    size_t at = 0;
    for (const int item : sortedOther) {
        const QString text = decoded(textOf(item), form);
        auto before = [&](size_t i) {
            const int c = collator.compare(text, QString::fromLatin1(textOf(sortedPlain[i])));
            return c < 0 || (c == 0 && item < sortedPlain[i]);
        };
        size_t low = at, high = at, step = 1;
        while (high < sortedPlain.size() && !before(high)) {
            low = high + 1;
            high += step;
            step *= 2;
        }
        high = std::min(high, sortedPlain.size());
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (before(mid))
                high = mid;
            else
                low = mid + 1;
        }
        for (; at < low; ++at)
            moved.push_back(places[static_cast<size_t>(sortedPlain[at])]);
        moved.push_back(places[static_cast<size_t>(item)]);
    }
    for (; at < sortedPlain.size(); ++at)
        moved.push_back(places[static_cast<size_t>(sortedPlain[at])]);
    return orderOf(entries, layout, places, moved);
}

RowOrder ReverseOrder(const EntryList& entries, const std::vector<int>& selectedRows) {
    const ItemLayout layout = FindItems(entries);
    const std::vector<int> places = itemsToOrder(layout, selectedRows);
    return orderOf(entries, layout, places, std::vector<int>(places.rbegin(), places.rend()));
}

RowOrder ShuffleOrder(const EntryList& entries, const std::vector<int>& selectedRows,
                      uint64_t seed) {
    const ItemLayout layout = FindItems(entries);
    const std::vector<int> places = itemsToOrder(layout, selectedRows);
    std::vector<int> moved = places;
    // Fisher-Yates by hand: std::shuffle may differ between libraries, and a seed should give the
    // same order everywhere.
    std::mt19937_64 random(seed);
    for (size_t i = moved.size(); i > 1; --i)
        std::swap(moved[i - 1], moved[static_cast<size_t>(random() % i)]);
    return orderOf(entries, layout, places, moved);
}

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

QByteArray RelativePath(QByteArrayView entry, QByteArrayView folder) {
    QByteArray out;
    return PathConverter(folder).relative(entry, out) ? out : QByteArray();
}

QByteArray AbsolutePath(QByteArrayView entry, QByteArrayView folder) {
    QByteArray out;
    return PathConverter(folder).absolute(entry, out) ? out : QByteArray();
}

EntryEdits MakeRelative(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder) {
    requireFolder(folder);
    PathConverter converter(folder);
    return convertPaths(entries, selectedRows, [&converter](QByteArrayView e, QByteArray& out) {
        return converter.relative(e, out);
    });
}

EntryEdits MakeAbsolute(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder) {
    requireFolder(folder);
    PathConverter converter(folder);
    return convertPaths(entries, selectedRows, [&converter](QByteArrayView e, QByteArray& out) {
        return converter.absolute(e, out);
    });
}

// ---- Find and Replace ----

Finder::Finder(const FindOptions& options, TextForm form)
    : form_(std::move(form)),
      text_(options.text),
      cs_(options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      regex_(options.regularExpression) {
    if (regex_) {
        re_.setPattern(text_);
        re_.setPatternOptions(options.matchCase ? QRegularExpression::NoPatternOption
                                                : QRegularExpression::CaseInsensitiveOption);
        re_.optimize();
        return;
    }
    // Bytes can be searched directly when the needle's bytes mean the same in every entry: ASCII
    // in an ASCII-based encoding, or any text in UTF-8 when the case must match. A needle with the
    // symbols shown for zero bytes or for undecodable bytes is left to the decoded text.
    if (text_.isEmpty() || text_.contains(QChar(0x2400)) || text_.contains(QChar(0xFFFD)))
        return;
    const QByteArray utf8 = text_.toUtf8();
    const bool ascii = isAscii(utf8);
    if ((ascii && form_.asciiCompatible) || (form_.utf8 && options.matchCase)) {
        bytes_ = true;
        fold_ = !options.matchCase;
        needle_ = utf8;
        if (fold_)
            for (char& c : needle_)
                c = lowerAscii(c);
    }
}

bool Finder::isValid() const {
    return !regex_ || re_.isValid();
}

QString Finder::errorString() const {
    return regex_ ? re_.errorString() : QString();
}

// The first match in [p, end), or null. Candidates are the places where the needle's first and
// last bytes both match, 16 at a time; letters are compared with the case bit set, which makes
// an upper-case letter its lower-case one and nothing else.
const char* Finder::searchBytes(const char* p, const char* end) const {
    const qsizetype n = needle_.size();
    if (end - p < n)
        return nullptr;
    const char* fold = foldTable();
    const char first = needle_[0];
    const char last = needle_[n - 1];
    auto bit = [this](char c) {
        return static_cast<char>(fold_ && c >= 'a' && c <= 'z' ? 0x20 : 0);
    };
    const __m128i firstBytes = _mm_set1_epi8(first);
    const __m128i lastBytes = _mm_set1_epi8(last);
    const __m128i firstBit = _mm_set1_epi8(bit(first));
    const __m128i lastBit = _mm_set1_epi8(bit(last));
    const char* const stop = end - n + 1;  // candidates start before this
    auto same = [&](const char* at) {
        if (!fold_)
            return std::memcmp(at + 1, needle_.constData() + 1, static_cast<size_t>(n - 1)) == 0;
        for (qsizetype k = 1; k < n; ++k)
            if (fold[static_cast<unsigned char>(at[k])] != needle_[k])
                return false;
        return true;
    };
    const char* at = p;
    for (; stop - at >= 16; at += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + n - 1));
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstBit), firstBytes),
                                          _mm_cmpeq_epi8(_mm_or_si128(b, lastBit), lastBytes));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask;
             mask &= mask - 1) {
            const char* candidate = at + __builtin_ctz(mask);
            if (same(candidate))
                return candidate;
        }
    }
    for (; at < stop; ++at)
        if ((*at | bit(first)) == first && same(at))
            return at;
    return nullptr;
}

bool Finder::matches(QByteArrayView entry) const {
    if (bytes_)
        return searchBytes(entry.data(), entry.data() + entry.size()) != nullptr;
    if (regex_)
        return re_.isValid() && !text_.isEmpty() && re_.match(ShownText(entry, form_)).hasMatch();
    return !text_.isEmpty() && ShownText(entry, form_).contains(text_, cs_);
}

void Finder::findRows(const EntryList& entries, qsizetype from, qsizetype to,
                      std::vector<int>& out) const {
    to = std::min(to, entries.size());
    if (!bytes_) {
        for (qsizetype r = from; r < to; ++r)
            if (matches(entries.at(r)))
                out.push_back(static_cast<int>(r));
        return;
    }
    // Entries read from a file lie one after another in its buffer, a line end apart; such a run
    // is searched in one pass, and a match is given to the entry it lies in. A match across a
    // line end lies in no entry and the search goes on after its first byte.
    qsizetype r = from;
    while (r < to) {
        qsizetype runEnd = r + 1;
        const char* const runBegin = entries.at(r).data();
        const char* endOf = runBegin + entries.at(r).size();
        while (runEnd < to) {
            const QByteArrayView next = entries.at(runEnd);
            const qsizetype gap = next.data() - endOf;
            if (gap < 0 || gap > 2)
                break;
            endOf = next.data() + next.size();
            ++runEnd;
        }
        qsizetype k = r;
        const char* p = runBegin;
        while (k < runEnd) {
            const char* hit = searchBytes(p, endOf);
            if (!hit)
                break;
            while (hit >= entries.at(k).data() + entries.at(k).size())
                ++k;
            const QByteArrayView e = entries.at(k);
            if (hit >= e.data() && hit + needle_.size() <= e.data() + e.size()) {
                out.push_back(static_cast<int>(k));
                if (++k == runEnd)
                    break;
                p = entries.at(k).data();
            } else {
                p = hit + 1;
            }
        }
        r = runEnd;
    }
}

bool Finder::replaceIn(QByteArrayView entry, const QString& replacement, QByteArray& out) const {
    if (bytes_ && (form_.utf8 || isAscii(replacement.toUtf8()))) {
        const char* p = entry.data();
        const char* const end = p + entry.size();
        const char* hit = searchBytes(p, end);
        if (!hit)
            return false;
        const QByteArray with = replacement.toUtf8();
        out.clear();
        do {
            out.append(p, hit - p).append(with);
            p = hit + needle_.size();
        } while ((hit = searchBytes(p, end)));
        out.append(p, end - p);
        return true;
    }
    if (text_.isEmpty() || (regex_ && !re_.isValid()))
        return false;
    // Decoded without the zero-byte symbol, so a zero byte comes back as one.
    const QString before = decoded(entry, form_);
    QString after = before;
    if (regex_)
        after.replace(re_, perlToQt(replacement));
    else
        after.replace(text_, replacement, cs_);
    if (after == before)
        return false;
    // An entry whose bytes are not exactly its text (bytes that are no UTF-8) would lose them in
    // the round trip: it is left as it is. A character the encoding cannot hold is the text
    // form's to refuse.
    if (encoded(before, form_) != entry)
        return false;
    out = encoded(after, form_);
    return true;
}

std::vector<int> FindAll(const EntryList& entries, const FindOptions& options,
                         const TextForm& form) {
    std::vector<int> rows;
    Finder(options, form).findRows(entries, 0, entries.size(), rows);
    return rows;
}

EntryEdits ReplaceAll(const EntryList& entries, const std::vector<int>* rows,
                      const FindOptions& options, const QString& replacement,
                      const TextForm& form) {
    const Finder finder(options, form);
    if (!finder.isValid())
        throw Error(finder.errorString());
    // Only rows with a match are rewritten; the search picks them out at its own speed.
    std::vector<int> hits;
    if (rows) {
        for (int r : *rows)
            if (finder.matches(entries.at(r)))
                hits.push_back(r);
    } else {
        finder.findRows(entries, 0, entries.size(), hits);
    }
    EntryEdits edits;
    QByteArray text;
    for (int r : hits) {
        const QByteArrayView entry = entries.at(r);
        if (finder.replaceIn(entry, replacement, text) && text != entry) {
            edits.rows.push_back(r);
            edits.texts.append(text);
        }
    }
    return edits;
}

}  // namespace cadrell
