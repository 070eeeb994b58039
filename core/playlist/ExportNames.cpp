#include "core/playlist/ExportNames.h"

#include <sys/vfs.h>

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "core/platform/Strings.h"

namespace cadrell {

namespace {

constexpr long kMsdosMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the extension starts: a final dot followed by a few letters or digits ("01. Intro" has
// none, so a number added to it goes at the end). The name's length when there is none.
qsizetype extensionStart(QByteArrayView name) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot - 1 < 1 || name.size() - dot - 1 > 10)
        return name.size();
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')))
            return name.size();
    }
    return dot;
}

// The first `n` bytes of text, or fewer so that no character is cut in two.
QByteArrayView cutAtCharacter(QByteArrayView text, qsizetype n) {
    if (n >= text.size())
        return text;
    n = std::max<qsizetype>(n, 0);
    while (n > 0 && isContinuation(text[n]))
        --n;
    return text.first(n);
}

bool forbiddenOnFat(char32_t c) {
    switch (c) {
        case ':':
        case '?':
        case '*':
        case '"':
        case '<':
        case '>':
        case '|':
        case '\\':
            return true;
        default:
            return c < 0x20 || c == 0x7F;
    }
}

bool holdsIn1252(char32_t c) {
    return c < 0x80 || EncodeEntry(QString::fromUcs4(&c, 1), TextEncoding::Windows1252);
}

}  // namespace

bool IsFatFolder(const QByteArray& folder) {
    QByteArray path = folder;
    for (;;) {
        struct statfs fs;
        if (::statfs(path.constData(), &fs) == 0)
            return static_cast<long>(fs.f_type) == kMsdosMagic ||
                   static_cast<long>(fs.f_type) == kExfatMagic;
        if (errno != ENOENT && errno != ENOTDIR)
            return false;
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0)
            return false;
        path.truncate(slash);
    }
}

QByteArray SafeComponent(QByteArrayView name, bool fat, TextEncoding playlistEncoding) {
    const bool only1252 = playlistEncoding == TextEncoding::Windows1252;
    QString text;
    if (name.isValidUtf8()) {
        text = QString::fromUtf8(name);
    } else {
        QStringDecoder decoder("windows-1252", QStringDecoder::Flag::Stateless);
        text = decoder.isValid() ? decoder.decode(name) : QString::fromLatin1(name);
    }
    std::u32string out = text.toStdU32String();
    for (char32_t& c : out) {
        if (c == '\r' || c == '\n' || c == 0 || (fat && forbiddenOnFat(c)) ||
            (only1252 && !holdsIn1252(c)))
            c = '_';
    }
    // FAT drops a final dot or space, so "a." would quietly become "a" and clash with it.
    if (fat) {
        while (!out.empty() && (out.back() == '.' || out.back() == ' '))
            out.pop_back();
    }
    if (out.empty())
        out.push_back(U'_');
    return FitName(QString::fromStdU32String(out).toUtf8());
}

QByteArray FitName(QByteArrayView name, qsizetype max) {
    if (name.size() <= max)
        return name.toByteArray();
    const qsizetype ext = extensionStart(name);
    const QByteArrayView extension = name.sliced(ext);
    if (extension.size() >= max)
        return cutAtCharacter(name, max).toByteArray();
    return cutAtCharacter(name.first(ext), max - extension.size()).toByteArray() +
           extension.toByteArray();
}

QByteArray NumberedName(QByteArrayView name, qsizetype number, int width) {
    QByteArray out = QByteArray::number(number).rightJustified(width, '0');
    out += " - ";
    out += name;
    return FitName(out);
}

QByteArray NameWithCopyNumber(QByteArrayView name, qsizetype n) {
    const QByteArray suffix = " (" + QByteArray::number(n) + ")";
    const qsizetype ext = extensionStart(name);
    const QByteArrayView extension = name.sliced(ext);
    const QByteArrayView stem =
        cutAtCharacter(name.first(ext), kMaxNameBytes - suffix.size() - extension.size());
    return stem.toByteArray() + suffix + extension.toByteArray();
}

QByteArray NameKey(QByteArrayView path, bool fat) {
    if (!fat)
        return path.toByteArray();
    return QString::fromUtf8(path).toCaseFolded().toUtf8();
}

QByteArray ExportEntryText(const QByteArray& target, TextEncoding playlistEncoding) {
    const bool misread = target.isEmpty() || target[0] == '#' || target[0] == ' ' ||
                         target[0] == '\t' || target[0] == '\\' ||
                         (target.size() >= 2 && target[1] == ':');
    const QByteArray text = misread ? "./" + target : target;
    // SafeComponent left only characters the playlist's encoding holds.
    return ConvertEntry(text, TextEncoding::Utf8, playlistEncoding).value_or(text);
}

namespace {

QString sizeText(qint64 bytes, int extraDigits) {
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    // Rounded down, so that a size that only just misses is not shown as enough.
    const int digits = (value < 10 ? 1 : 0) + extraDigits;
    const double scale = std::pow(10.0, digits);
    value = std::floor(value * scale) / scale;
    return strings::UserLocale().toString(value, 'f', digits) + QLatin1Char(' ') +
           QLatin1String(kUnits[unit]);
}

}  // namespace

QString FormatSize(qint64 bytes) {
    return sizeText(bytes, 0);
}

void FormatSizes(qint64 a, qint64 b, QString& aText, QString& bText) {
    for (int extra = 0; extra <= 3; ++extra) {
        aText = sizeText(a, extra);
        bText = sizeText(b, extra);
        if (aText != bText || a == b)
            return;
    }
    aText = QStringLiteral("%1 bytes").arg(strings::FormatCount(a));
    bText = QStringLiteral("%1 bytes").arg(strings::FormatCount(b));
}

}  // namespace cadrell
