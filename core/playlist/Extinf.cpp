#include "core/playlist/Extinf.h"

#include <QCoreApplication>
#include <QStringList>

#include "core/platform/Error.h"

namespace cadrell {

namespace {

constexpr QByteArrayView kExtinf("#EXTINF:");

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.size() == b.size() && qstrnicmp(a.data(), b.data(), a.size()) == 0;
}

QByteArray spliced(QByteArrayView line, qsizetype at, qsizetype size, QByteArrayView with) {
    QByteArray out;
    out.reserve(line.size() - size + with.size());
    out.append(line.first(at));
    out.append(with);
    out.append(line.sliced(at + size));
    return out;
}

QString tr(const char* text) {
    return QCoreApplication::translate("Extinf", text);
}

}  // namespace

bool IsExtinfLine(QByteArrayView line) {
    return line.startsWith(kExtinf);
}

std::optional<ExtinfParts> ParseExtinfParts(QByteArrayView line) {
    if (!IsExtinfLine(line))
        return std::nullopt;
    ExtinfParts parts;
    const qsizetype n = line.size();
    qsizetype i = kExtinf.size();
    while (i < n && isSpace(line[i]))
        ++i;
    const qsizetype start = i;
    if (i < n && (line[i] == '-' || line[i] == '+'))
        ++i;
    while (i < n && ((line[i] >= '0' && line[i] <= '9') || line[i] == '.'))
        ++i;
    parts.duration = {start, i - start};
    while (i < n) {
        if (isSpace(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == ',') {
            parts.comma = i;
            break;
        }
        if (line[i] == '"') {
            // A stray quoted run: a comma inside it is no title's comma.
            const qsizetype close = line.indexOf('"', i + 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        const qsizetype nameAt = i;
        while (i < n && !isSpace(line[i]) && line[i] != '=' && line[i] != ',' && line[i] != '"')
            ++i;
        if (i >= n || line[i] != '=') {
            if (i == nameAt)
                ++i;  // a lone "=" or quote-free junk character
            continue;
        }
        ExtinfAttribute attribute;
        attribute.name = {nameAt, i - nameAt};
        ++i;  // '='
        if (i < n && line[i] == '"') {
            const qsizetype close = line.indexOf('"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            attribute.value = {i + 1, end - i - 1};
            attribute.quoted = true;
            i = close < 0 ? n : close + 1;
        } else {
            const qsizetype valueAt = i;
            bool quoted = false;
            while (i < n && (quoted || (!isSpace(line[i]) && line[i] != ','))) {
                if (line[i] == '"')
                    quoted = !quoted;
                ++i;
            }
            attribute.value = {valueAt, i - valueAt};
        }
        if (attribute.name.size > 0)
            parts.attributes.push_back(attribute);
    }
    if (parts.comma >= 0) {
        qsizetype from = parts.comma + 1, to = n;
        while (from < to && QChar::isSpace(uchar(line[from])))
            ++from;
        while (to > from && QChar::isSpace(uchar(line[to - 1])))
            --to;
        parts.title = from == to ? ExtinfSpan{parts.comma + 1, 0} : ExtinfSpan{from, to - from};
    }
    return parts;
}

std::optional<qint64> ExtinfSeconds(QByteArrayView line) {
    if (!IsExtinfLine(line))
        return std::nullopt;
    qsizetype i = kExtinf.size();
    const qsizetype n = line.size();
    while (i < n && isSpace(line[i]))
        ++i;
    // Read by hand: the item view adds up the lengths of every item after each change, and a
    // conversion through a string would allocate once per line.
    qint64 whole = 0;
    qsizetype digits = 0;
    for (; i < n && line[i] >= '0' && line[i] <= '9'; ++i, ++digits) {
        if (whole > 1'000'000'000'000LL)
            return std::nullopt;
        whole = whole * 10 + (line[i] - '0');
    }
    bool up = false;
    if (i < n && line[i] == '.') {
        ++i;
        up = i < n && line[i] >= '5' && line[i] <= '9';
        if (digits == 0 && !(i < n && line[i] >= '0' && line[i] <= '9'))
            return std::nullopt;
        digits += 1;
    }
    if (digits == 0)
        return std::nullopt;  // none, or negative
    return whole + (up ? 1 : 0);
}

QByteArrayView ExtinfAttributeValue(QByteArrayView line, QByteArrayView name) {
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    if (!parts)
        return {};
    for (const ExtinfAttribute& a : parts->attributes)
        if (equalsIgnoringCase(a.name.in(line), name))
            return a.value.in(line);
    return {};
}

bool HasExtinfAttribute(QByteArrayView line, QByteArrayView name) {
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    if (!parts)
        return false;
    for (const ExtinfAttribute& a : parts->attributes)
        if (equalsIgnoringCase(a.name.in(line), name))
            return true;
    return false;
}

QByteArray ExtinfWithTitle(QByteArrayView line, QByteArrayView title) {
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    if (!parts)
        return line.toByteArray();
    if (parts->comma < 0)
        return line.toByteArray() + ',' + title.toByteArray();
    return spliced(line, parts->title.at, parts->title.size, title);
}

QByteArray ExtinfWithDuration(QByteArrayView line, QByteArrayView duration) {
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    if (!parts)
        return line.toByteArray();
    return spliced(line, parts->duration.at, parts->duration.size, duration);
}

QByteArray ExtinfWithAttribute(QByteArrayView line, QByteArrayView name, QByteArrayView value) {
    const std::optional<ExtinfParts> parts = ParseExtinfParts(line);
    if (!parts)
        return line.toByteArray();
    if (value.contains('"'))
        throw Error(tr("A value in an #EXTINF line cannot hold a double quote (\")"));
    bool needsQuotes = value.isEmpty();
    for (const char c : value)
        needsQuotes = needsQuotes || isSpace(c) || c == ',' || c == '=';
    for (const ExtinfAttribute& a : parts->attributes) {
        if (!equalsIgnoringCase(a.name.in(line), name))
            continue;
        if (a.quoted || !needsQuotes)
            return spliced(line, a.value.at, a.value.size, value);
        return spliced(line, a.value.at, a.value.size, '"' + value.toByteArray() + '"');
    }
    if (value.isEmpty())
        return line.toByteArray();
    qsizetype at = parts->duration.at + parts->duration.size;
    if (!parts->attributes.empty()) {
        const ExtinfAttribute& last = parts->attributes.back();
        at = last.value.at + last.value.size +
             (last.quoted && last.value.at + last.value.size < line.size() ? 1 : 0);
    }
    return spliced(line, at, 0, ' ' + name.toByteArray() + "=\"" + value.toByteArray() + '"');
}

QString FormatDuration(std::optional<qint64> seconds) {
    if (!seconds)
        return {};
    const qint64 s = *seconds;
    if (s < 3600)
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString FormatTotalDuration(qint64 seconds) {
    if (seconds < 60)
        return tr("%1 s").arg(seconds);
    if (seconds < 3600)
        return tr("%1 min").arg(seconds / 60);
    return tr("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

std::optional<qint64> ParseDurationText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-1"))
        return -1;
    const QStringList fields = t.split(QLatin1Char(':'));
    if (fields.size() > 3)
        return std::nullopt;
    qint64 total = 0;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        bool ok = false;
        const qint64 v = fields[i].toLongLong(&ok);
        // Every field but the first counts to 59; the first may be any size.
        if (!ok || v < 0 || fields[i].isEmpty() || v > 999999999 || (i > 0 && v > 59) ||
            (i > 0 && fields[i].size() != 2))
            return std::nullopt;
        total = total * 60 + v;
    }
    return total;
}

}  // namespace cadrell
