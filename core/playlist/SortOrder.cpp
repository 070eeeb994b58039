#include "core/playlist/SortOrder.h"

#include "core/platform/Strings.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>

#include "core/platform/PathParts.h"
#include "core/playlist/ItemTable.h"
#include "core/playlist/Items.h"

namespace cadrell {

namespace {

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
    QCollator collator(strings::UserLocale());
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

}  // namespace

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

namespace {

// The items of `places` in the natural order of the texts textOf(k) gives for places[k]; equal
// texts keep their order.
std::vector<int> naturallySorted(const std::vector<int>& places,
                                 const std::function<QByteArrayView(int)>& textOf,
                                 const TextForm& form) {
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
    return moved;
}

}  // namespace

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
    return orderOf(entries, layout, places, naturallySorted(places, textOf, form));
}

RowOrder SortByColumn(const EntryList& entries, ItemColumn column, QByteArrayView attribute,
                      bool descending, const TextForm& form) {
    const ItemLayout layout = FindItems(entries);
    std::vector<int> places(layout.items.size());
    std::iota(places.begin(), places.end(), 0);
    // Descending is the ascending order of the items taken from the end, read backwards: equal
    // texts then still keep the order they had.
    std::vector<int> from = places;
    if (descending)
        std::reverse(from.begin(), from.end());
    if (column == ItemColumn::Number)
        return orderOf(entries, layout, places, from);
    std::vector<int> moved;
    if (column == ItemColumn::Duration) {
        std::vector<std::pair<qint64, int>> keyed;
        keyed.reserve(from.size());
        for (int i : from) {
            const std::optional<qint64> s =
                ItemSeconds(entries, layout.items[static_cast<size_t>(i)]);
            // Unknown lengths go after every known one.
            keyed.emplace_back(s ? *s : std::numeric_limits<qint64>::max(), i);
        }
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& k : keyed)
            moved.push_back(k.second);
    } else {
        auto textOf = [&](int k) {
            return ItemCell(entries,
                            layout.items[static_cast<size_t>(from[static_cast<size_t>(k)])], column,
                            attribute);
        };
        moved = naturallySorted(from, textOf, form);
    }
    if (descending)
        std::reverse(moved.begin(), moved.end());
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

OrderScope ScopeOfOrder(const EntryList& entries, const std::vector<int>& selectedRows) {
    const ItemLayout layout = FindItems(entries);
    const qsizetype selected = static_cast<qsizetype>(ItemsOfRows(layout, selectedRows).size());
    if (selected > 1)
        return {selected, true};
    return {static_cast<qsizetype>(layout.items.size()), false};
}

}  // namespace cadrell
