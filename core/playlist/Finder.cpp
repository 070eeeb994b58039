#include "core/playlist/Finder.h"

#include "core/playlist/Encoding.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "core/platform/Error.h"
#include "core/playlist/Items.h"

namespace cadrell {

namespace {

bool isAscii(QByteArrayView s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

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

Finder::Finder(const FindOptions& options, TextForm form)
    : form_(std::move(form)),
      text_(options.text),
      cs_(options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      regex_(options.regularExpression),
      lookIn_(options.lookIn) {
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
    if (text_.isEmpty() || text_.contains(QChar(kZeroByteSymbol)) || text_.contains(QChar(0xFFFD)))
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

ExtinfSpan RegionOf(QByteArrayView line, const LookIn& lookIn) {
    const qsizetype n = line.size();
    switch (lookIn.part) {
        case LookIn::All:
            return {0, n};
        case LookIn::Path:
            return IsMediaEntry(line) ? ExtinfSpan{0, n} : ExtinfSpan{};
        case LookIn::Title: {
            const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
            return parts ? parts->title : ExtinfSpan{};
        }
        case LookIn::Group:
        case LookIn::Attribute: {
            const QByteArrayView name =
                lookIn.part == LookIn::Group ? QByteArrayView("group-title") : lookIn.attribute;
            constexpr QByteArrayView kExtgrp("#EXTGRP:");
            if (lookIn.part == LookIn::Group && line.startsWith(kExtgrp))
                return {kExtgrp.size(), n - kExtgrp.size()};
            const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
            if (!parts)
                return {};
            for (const ExtinfAttribute& a : parts->attributes)
                if (a.name.in(line).compare(name, Qt::CaseInsensitive) == 0)
                    return a.value;
            return {};
        }
    }
    return {};
}

bool Finder::matches(QByteArrayView entry) const {
    if (lookIn_.part == LookIn::All)
        return matchesWhole(entry);
    const ExtinfSpan region = RegionOf(entry, lookIn_);
    return region.found() && matchesWhole(region.in(entry));
}

bool Finder::matchesWhole(QByteArrayView entry) const {
    if (bytes_)
        return searchBytes(entry.data(), entry.data() + entry.size()) != nullptr;
    if (regex_)
        return re_.isValid() && !text_.isEmpty() && re_.match(ShownText(entry, form_)).hasMatch();
    return !text_.isEmpty() && ShownText(entry, form_).contains(text_, cs_);
}

void Finder::findRows(const EntryList& entries, qsizetype from, qsizetype to,
                      std::vector<int>& out) const {
    to = std::min(to, entries.size());
    if (!bytes_ || lookIn_.part != LookIn::All) {
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
    if (lookIn_.part == LookIn::All)
        return replaceInWhole(entry, replacement, out);
    const ExtinfSpan region = RegionOf(entry, lookIn_);
    QByteArray part;
    if (!region.found() || !replaceInWhole(region.in(entry), replacement, part))
        return false;
    // A value given a quote, or an unquoted value given a space or a comma, would end early and
    // change what the line means: such a line is left as it is.
    if (lookIn_.part == LookIn::Group || lookIn_.part == LookIn::Attribute) {
        const bool quoted = region.at > 0 && entry[region.at - 1] == '"';
        for (const char c : part)
            if (c == '"' || (!quoted && (c == ' ' || c == '\t' || c == ',')))
                return false;
    }
    out = entry.first(region.at).toByteArray() + part +
          entry.sliced(region.at + region.size).toByteArray();
    return true;
}

bool Finder::replaceInWhole(QByteArrayView entry, const QString& replacement,
                            QByteArray& out) const {
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
