#include "core/playlist/Encoding.h"

#include <emmintrin.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>

#include "core/playlist/EntryList.h"

namespace cadrell {

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool startsWith(QByteArrayView data, QByteArrayView mark) {
    return data.size() >= mark.size() && data.first(mark.size()) == mark;
}

// UTF-16 without a mark shows itself by its line ends: code units CR and LF, whose other byte is
// zero, always on the same side. Only whole units count: a CR or LF byte can be half of another
// character (U+010D is 0D 01 in little-endian order). And a playlist in UTF-16 is full of ASCII
// (slashes, dots, digits, the extensions), so zero bytes stand on that side often: a stray zero
// next to a line end in 8-bit text is no UTF-16.
std::optional<TextEncoding> utf16ByLineEnds(QByteArrayView data) {
    const qsizetype n = std::min<qsizetype>(data.size() & ~qsizetype(1), 1 << 16);
    auto isEnd = [](char c) { return c == '\r' || c == '\n'; };
    qsizetype little = 0, big = 0, zeroHigh = 0, zeroLow = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        zeroHigh += data[i + 1] == 0;
        zeroLow += data[i] == 0;
        if (isEnd(data[i]) && data[i + 1] == 0)
            ++little;
        else if (data[i] == 0 && isEnd(data[i + 1]))
            ++big;
    }
    const qsizetype enough = n / 2 / 8;
    if (little > 0 && big == 0 && zeroHigh > enough)
        return TextEncoding::Utf16LE;
    if (big > 0 && little == 0 && zeroLow > enough)
        return TextEncoding::Utf16BE;
    // One line and no line end: only the zeros tell, and in such a file nearly every unit has
    // one on the same side and none on the other.
    const qsizetype units = n / 2;
    if (little == 0 && big == 0 && units >= 2) {
        if (zeroLow == 0 && zeroHigh * 10 >= units * 9)
            return TextEncoding::Utf16LE;
        if (zeroHigh == 0 && zeroLow * 10 >= units * 9)
            return TextEncoding::Utf16BE;
    }
    return std::nullopt;
}

bool hasUnpairedSurrogate(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c >= 0xDC00 || i + 1 == n || !QChar::isLowSurrogate(text[i + 1].unicode()))
            return true;
        ++i;
    }
    return false;
}

// Valid UTF-8, checked sixteen bytes at a time for the ASCII most text consists of; the stretches
// around other bytes go to the toolkit's full check. A stretch starts and ends beside ASCII, so it
// is valid exactly when the text around it is.
bool validUtf8(QByteArrayView e) {
    const char* p = e.data();
    const char* const end = p + e.size();
    auto ascii16 = [](const char* at) {
        return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))) == 0;
    };
    auto ascii64 = [](const char* at) {
        const auto* v = reinterpret_cast<const __m128i*>(at);
        return _mm_movemask_epi8(
                   _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                                _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)))) == 0;
    };
    while (end - p >= 16) {
        if (end - p >= 64 && ascii64(p)) {
            p += 64;
            continue;
        }
        if (ascii16(p)) {
            p += 16;
            continue;
        }
        const char* const from = p;
        do
            p += 16;
        while (end - p >= 16 && !ascii16(p));
        if (end - p < 16)
            p = end;
        if (!QByteArrayView(from, p - from).isValidUtf8())
            return false;
    }
    const char* const tail = p;
    for (; p < end; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x80)
            return QByteArrayView(tail, end - tail).isValidUtf8();
    }
    return true;
}

bool isAscii(QByteArrayView e) {
    return std::all_of(e.begin(), e.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QStringDecoder& windows1252Decoder() {
    // Stateless, so one decoder serves every row; the converter is looked up once.
    static thread_local QStringDecoder decoder("windows-1252", QStringDecoder::Flag::Stateless);
    return decoder;
}

// ---- UTF-16 ----

template <bool little>
inline char16_t unitAt(const unsigned char* p) {
    return little ? char16_t(p[0] | (p[1] << 8)) : char16_t((p[0] << 8) | p[1]);
}

// Eight code units as they lie in memory, in the machine's order (little-endian here).
template <bool little>
inline __m128i unitsAt(const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return little ? v : _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

// UTF-16 to UTF-8 in one pass, written over the input as far as it goes: UTF-8 takes fewer bytes
// than UTF-16 for the ASCII most playlists consist of, so a large file is converted in the buffer
// it was read into. A character that would overtake the input moves the rest to a new buffer.
// Nothing for an unpaired surrogate.
template <bool little>
std::optional<QByteArray> utf16ToUtf8(QByteArray data, qsizetype from) {
    const qsizetype units = (data.size() - from) / 2;
    char* base = data.data();
    const auto* in = reinterpret_cast<const unsigned char*>(base + from);
    const auto* const end = in + units * 2;
    QByteArray moved;  // the new buffer, once the text no longer fits the old one
    char* out = base;
    auto room = [&](qsizetype needed) {
        if (!moved.isNull() || out + needed <= reinterpret_cast<const char*>(in))
            return;
        const qsizetype done = out - base;
        moved.resize(done + (end - in) / 2 * 3 + 4);
        std::memcpy(moved.data(), base, static_cast<size_t>(done));
        base = moved.data();
        out = base + done;
    };
    while (in < end) {
        // Eight ASCII characters at a time.
        while (end - in >= 16) {
            const __m128i v = unitsAt<little>(in);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-128)),
                                                  _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
            in += 16;
            out += 8;
        }
        if (in == end)
            break;
        const char16_t c = unitAt<little>(in);
        in += 2;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            room(2);
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c > 0xDFFF) {
            room(3);
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            if (c >= 0xDC00 || in == end)
                return std::nullopt;
            const char16_t low = unitAt<little>(in);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            in += 2;
            const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (low - 0xDC00);
            room(4);
            *out++ = static_cast<char>(0xF0 | (u >> 18));
            *out++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    QByteArray& text = moved.isNull() ? data : moved;
    text.truncate(out - base);
    // Gives the rest of a large buffer back; shrinking in place costs no copy.
    text.squeeze();
    return std::move(text);
}

// Valid UTF-8 to UTF-16 in the byte order given, ASCII sixteen characters at a time.
template <bool little>
qsizetype utf8ToUtf16(QByteArrayView utf8, char* to) {
    auto* out = reinterpret_cast<unsigned char*>(to);
    const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = in + utf8.size();
    auto put = [&out](char16_t u) {
        *out++ = static_cast<unsigned char>(little ? u & 0xFF : u >> 8);
        *out++ = static_cast<unsigned char>(little ? u >> 8 : u & 0xFF);
    };
    while (in < end) {
        while (end - in >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            if (_mm_movemask_epi8(v))
                break;
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             little ? _mm_unpacklo_epi8(v, zero) : _mm_unpacklo_epi8(zero, v));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                             little ? _mm_unpackhi_epi8(v, zero) : _mm_unpackhi_epi8(zero, v));
            in += 16;
            out += 32;
        }
        if (in == end)
            break;
        const unsigned char b = *in;
        if (b < 0x80) {
            put(b);
            in += 1;
        } else if (b < 0xE0) {
            put(char16_t(((b & 0x1F) << 6) | (in[1] & 0x3F)));
            in += 2;
        } else if (b < 0xF0) {
            put(char16_t(((b & 0x0F) << 12) | ((in[1] & 0x3F) << 6) | (in[2] & 0x3F)));
            in += 3;
        } else {
            const char32_t u = ((char32_t(b) & 0x07) << 18) | ((in[1] & 0x3F) << 12) |
                               ((in[2] & 0x3F) << 6) | (in[3] & 0x3F);
            put(char16_t(0xD800 + ((u - 0x10000) >> 10)));
            put(char16_t(0xDC00 + ((u - 0x10000) & 0x3FF)));
            in += 4;
        }
    }
    return reinterpret_cast<char*>(out) - to;
}

}  // namespace

QString EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return QStringLiteral("UTF-8");
        case TextEncoding::Utf8Bom:
            return QStringLiteral("UTF-8 with BOM");
        case TextEncoding::Utf16LE:
            return QStringLiteral("UTF-16 LE");
        case TextEncoding::Utf16BE:
            return QStringLiteral("UTF-16 BE");
        case TextEncoding::Utf16LENoBom:
            return QStringLiteral("UTF-16 LE (no BOM)");
        case TextEncoding::Utf16BENoBom:
            return QStringLiteral("UTF-16 BE (no BOM)");
        case TextEncoding::Windows1252:
            return QStringLiteral("Windows-1252");
    }
    return {};
}

TextEncoding DetectEncoding(QByteArrayView data, bool utf8ByName) {
    if (startsWith(data, kUtf8Mark))
        return TextEncoding::Utf8Bom;
    if (startsWith(data, "\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (startsWith(data, "\xFE\xFF"))
        return TextEncoding::Utf16BE;
    if (auto utf16 = utf16ByLineEnds(data))
        return *utf16 == TextEncoding::Utf16LE ? TextEncoding::Utf16LENoBom
                                               : TextEncoding::Utf16BENoBom;
    if (utf8ByName || data.isValidUtf8())
        return TextEncoding::Utf8;
    return TextEncoding::Windows1252;
}

std::optional<FileText> DecodeFileText(QByteArray data, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom: {
            const qsizetype offset = startsWith(data, kUtf8Mark) ? 3 : 0;
            return FileText{std::move(data), offset};
        }
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
        case TextEncoding::Utf16LENoBom:
        case TextEncoding::Utf16BENoBom: {
            const bool little =
                encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16LENoBom;
            const QByteArrayView mark = little ? "\xFF\xFE" : "\xFE\xFF";
            QByteArrayView body = data;
            if (startsWith(body, mark))
                body = body.sliced(2);
            if (body.size() % 2 != 0)
                return std::nullopt;
            const qsizetype from = data.size() - body.size();
            std::optional<QByteArray> text = little ? utf16ToUtf8<true>(std::move(data), from)
                                                    : utf16ToUtf8<false>(std::move(data), from);
            if (!text)
                return std::nullopt;
            return FileText{std::move(*text), 0};
        }
        case TextEncoding::Utf8:
        case TextEncoding::Windows1252:
            break;
    }
    return FileText{std::move(data), 0};
}

bool IsUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE ||
           encoding == TextEncoding::Utf16LENoBom || encoding == TextEncoding::Utf16BENoBom;
}

QByteArray FileMark(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom:
            return QByteArray(kUtf8Mark);
        case TextEncoding::Utf16LE:
            return QByteArray("\xFF\xFE");
        case TextEncoding::Utf16BE:
            return QByteArray("\xFE\xFF");
        default:
            return {};
    }
}

std::optional<QByteArray> EncodeUtf16(QByteArrayView utf8, TextEncoding encoding) {
    // The toolkit's check is one fast pass; the conversion then trusts it.
    if (!utf8.isValidUtf8())
        return std::nullopt;
    QByteArray out;
    out.resize(utf8.size() * 2);
    out.truncate(EncodeValidUtf16(utf8, encoding, out.data()));
    return out;
}

qsizetype EncodeValidUtf16(QByteArrayView utf8, TextEncoding encoding, char* out) {
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16LENoBom
               ? utf8ToUtf16<true>(utf8, out)
               : utf8ToUtf16<false>(utf8, out);
}

QString DecodeForDisplay(QByteArrayView entry, TextEncoding encoding) {
    if (HoldsUtf8(encoding))
        return QString::fromUtf8(entry);
    return windows1252Decoder().decode(entry);
}

std::optional<QByteArray> EncodeEntry(const QString& text, TextEncoding encoding) {
    if (HoldsUtf8(encoding)) {
        if (hasUnpairedSurrogate(text))
            return std::nullopt;
        return text.toUtf8();
    }
    QStringEncoder encoder("windows-1252", QStringEncoder::Flag::Stateless);
    QByteArray out = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return out;
}

std::optional<QByteArray> ConvertEntry(QByteArrayView entry, TextEncoding from, TextEncoding to) {
    if (HoldsUtf8(from) == HoldsUtf8(to))
        return entry.toByteArray();
    // Bytes that are not UTF-8 have no characters to carry over.
    if (HoldsUtf8(from) && !entry.isValidUtf8())
        return std::nullopt;
    return EncodeEntry(DecodeForDisplay(entry, from), to);
}

std::optional<EntryList> ConvertEntries(const EntryList& entries, TextEncoding from,
                                        TextEncoding to) {
    if (HoldsUtf8(from) == HoldsUtf8(to))
        return entries;
    EntryList out;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView e = entries.at(i);
        if (isAscii(e)) {
            out.append(e);
            continue;
        }
        const std::optional<QByteArray> converted = ConvertEntry(e, from, to);
        if (!converted)
            return std::nullopt;
        out.append(*converted);
    }
    return out;
}

qsizetype FirstUnconvertible(const EntryList& entries, TextEncoding from, TextEncoding to) {
    // UTF-16 is written from the entries' UTF-8, which bytes that are no UTF-8 cannot pass.
    if (HoldsUtf8(from) && IsUtf16(to)) {
        // Entries read from a file lie one after another in its buffer, a line end apart; such a
        // run is checked in one call, and only a run that fails entry by entry.
        for (qsizetype i = 0; i < entries.size();) {
            const qsizetype first = i;
            const char* const begin = entries.at(i).data();
            const char* end = begin + entries.at(i).size();
            for (++i; i < entries.size(); ++i) {
                const QByteArrayView next = entries.at(i);
                // Line ends between them, so no entry of a valid run can start or end inside a
                // character.
                const qsizetype gap = next.data() - end;
                if (gap < 1 || gap > 2 || (end[0] != '\r' && end[0] != '\n') ||
                    (gap == 2 && end[1] != '\n'))
                    break;
                end = next.data() + next.size();
            }
            if (validUtf8(QByteArrayView(begin, end - begin)))
                continue;
            for (qsizetype k = first; k < i; ++k) {
                if (!validUtf8(entries.at(k)))
                    return k;
            }
        }
        return -1;
    }
    if (HoldsUtf8(from) == HoldsUtf8(to))
        return -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView e = entries.at(i);
        // Plain ASCII is the same in both.
        if (std::all_of(e.begin(), e.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            continue;
        if (!ConvertEntry(e, from, to))
            return i;
    }
    return -1;
}

QString& ShowZeroBytes(QString& text) {
    return text.replace(QChar(0), QChar(kZeroByteSymbol));
}

QString LineEndName(LineEnd lineEnd) {
    return lineEnd == LineEnd::Lf ? QStringLiteral("LF") : QStringLiteral("CR LF");
}

LineEnd DetectLineEnd(QByteArrayView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return LineEnd::Lf;
        if (text[i] == '\r')
            return LineEnd::CrLf;
    }
    return LineEnd::CrLf;
}

}  // namespace cadrell
