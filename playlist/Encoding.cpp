#include "playlist/Encoding.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

#include "playlist/EntryList.h"

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

bool isAscii(QByteArrayView e) {
    return std::all_of(e.begin(), e.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QStringDecoder& windows1252Decoder() {
    // Stateless, so one decoder serves every row; the converter is looked up once.
    static thread_local QStringDecoder decoder("windows-1252", QStringDecoder::Flag::Stateless);
    return decoder;
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
            QString text;
            text.resize(body.size() / 2);
            char16_t* out = reinterpret_cast<char16_t*>(text.data());
            const auto* in = reinterpret_cast<const unsigned char*>(body.data());
            for (qsizetype i = 0; i < text.size(); ++i, in += 2)
                out[i] = little ? char16_t(in[0] | (in[1] << 8)) : char16_t((in[0] << 8) | in[1]);
            if (hasUnpairedSurrogate(text))
                return std::nullopt;
            data = QByteArray();
            return FileText{text.toUtf8(), 0};
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
    if (!utf8.isValidUtf8())
        return std::nullopt;
    const QString text = QString::fromUtf8(utf8);
    QByteArray out;
    out.resize(text.size() * 2);
    const bool little = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16LENoBom;
    unsigned char* p = reinterpret_cast<unsigned char*>(out.data());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        *p++ = static_cast<unsigned char>(little ? u & 0xFF : u >> 8);
        *p++ = static_cast<unsigned char>(little ? u >> 8 : u & 0xFF);
    }
    return out;
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
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (!entries.at(i).isValidUtf8())
                return i;
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

}  // namespace cadrell
