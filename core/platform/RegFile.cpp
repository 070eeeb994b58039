#include "core/platform/RegFile.h"

#include <QHash>
#include <QStringList>
#include <QtEndian>
#include <optional>

namespace cadrell {

namespace regfile {

namespace {

constexpr char Header[] = "REGEDIT4";

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(QByteArray line) {
    while (!line.isEmpty() && (isSpace(line.back()) || line.back() == '\r'))
        line.chop(1);
    qsizetype start = 0;
    while (start < line.size() && isSpace(line[start]))
        ++start;
    return line.mid(start);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted text starting at `pos` (on the opening quote); `pos` ends after the closing quote.
// Only \\ and \" are escapes; a backslash before anything else stands for itself, so a path
// typed by hand without doubling its backslashes still reads as meant.
std::optional<QByteArray> readQuoted(const QByteArray& line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QByteArray out;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '\\' || line[i + 1] == '"'))
            ++i;
        out += line[i];
    }
    return std::nullopt;
}

std::optional<QByteArray> readHexBytes(const QByteArray& text) {
    QByteArray out;
    const QByteArray all = trimmed(text);
    if (all.isEmpty())
        return out;
    for (const QByteArray& piece : all.split(',')) {
        const QByteArray byte = trimmed(piece);
        if (byte.size() < 1 || byte.size() > 2)
            return std::nullopt;
        int v = 0;
        for (char c : byte) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            v = v * 16 + d;
        }
        out += char(v);
    }
    return out;
}

std::optional<RegValue> readData(const QByteArray& text) {
    RegValue v;
    if (text.startsWith('"')) {
        qsizetype pos = 0;
        auto s = readQuoted(text, pos);
        if (!s || !trimmed(text.mid(pos)).isEmpty())
            return std::nullopt;
        v.type = REG_SZ;
        v.data = *s + '\0';
        return v;
    }
    const QByteArray lower = text.toLower();
    if (lower.startsWith("dword:")) {
        const QByteArray digits = trimmed(text.mid(6));
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        quint32 n = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            n = n * 16 + quint32(d);
        }
        v.type = REG_DWORD;
        v.data.resize(4);
        qToLittleEndian(n, v.data.data());
        return v;
    }
    if (!lower.startsWith("hex"))
        return std::nullopt;
    qsizetype colon = 3;
    v.type = REG_BINARY;
    if (lower.size() > 3 && lower[3] == '(') {
        const qsizetype close = lower.indexOf(')');
        if (close < 5 || close > 12)
            return std::nullopt;
        bool ok = false;
        v.type = text.mid(4, close - 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        colon = close + 1;
    }
    if (colon >= text.size() || text[colon] != ':')
        return std::nullopt;
    auto bytes = readHexBytes(text.mid(colon + 1));
    if (!bytes)
        return std::nullopt;
    v.data = *bytes;
    return v;
}

void setValueIn(Key& key, const QString& name, const RegValue& value) {
    for (Value& v : key.values)
        if (sameName(v.name, name)) {
            v.value = value;
            return;
        }
    key.values.push_back(Value{name, value});
}

// Hex data as the registry editor writes it, wrapped so the file stays readable.
void writeHex(QByteArray& out, qsizetype prefixLength, const QByteArray& data) {
    qsizetype column = prefixLength;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
        const char digits[] = "0123456789abcdef";
        out += digits[(uchar(data[i]) >> 4) & 0xf];
        out += digits[uchar(data[i]) & 0xf];
        column += 2;
    }
}

QByteArray quoted(const QString& text) {
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A string value is written as quoted text only when that text reads back as the same bytes.
bool plainString(const QByteArray& data) {
    if (data.isEmpty() || data.back() != '\0')
        return false;
    const QByteArray text = data.first(data.size() - 1);
    for (char c : text)
        if (uchar(c) < 0x20 || c == 0x7f)
            return false;
    return QString::fromUtf8(text).toUtf8() == text;
}

void writeKey(QByteArray& out, const Key& key, const QString& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += '[' + path.toUtf8() + "]\n";
        for (const Value& v : key.values) {
            QByteArray line = v.name.isEmpty() ? QByteArray("@") : quoted(v.name);
            line += '=';
            const RegValue& d = v.value;
            if (d.type == REG_SZ && plainString(d.data)) {
                line += quoted(QString::fromUtf8(d.data.first(d.data.size() - 1)));
            } else if (d.type == REG_DWORD && d.data.size() == 4) {
                line += "dword:" +
                        QByteArray::number(qFromLittleEndian<quint32>(d.data.constData()), 16)
                            .rightJustified(8, '0');
            } else {
                line += d.type == REG_BINARY ? QByteArray("hex:")
                                             : "hex(" + QByteArray::number(d.type, 16) + "):";
                writeHex(line, line.size(), d.data);
            }
            out += line + '\n';
        }
        out += '\n';
    }
}

}  // namespace

bool parse(const QByteArray& text, const QString& rootName, Key& out) {
    out = Key{rootName, {}, {}};
    // Each key by its case-folded path, so that a file of many sibling keys costs no scan of
    // all of them for each one.
    QHash<QString, qsizetype> childIndex;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    const QList<QByteArray> lines = body.split('\n');
    bool headerSeen = false;
    Key* current = nullptr;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = trimmed(lines[n]);
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (!headerSeen) {
            if (line != Header)
                return false;
            headerSeen = true;
            continue;
        }
        if (line.startsWith('[')) {
            if (!line.endsWith(']'))
                return false;
            const QString path = QString::fromUtf8(line.mid(1, line.size() - 2));
            QStringList parts = path.split(QLatin1Char('\\'));
            if (!sameName(parts.takeFirst(), rootName) || parts.size() > kMaxDepth)
                return false;
            current = &out;
            QString folded;
            for (const QString& part : parts) {
                if (part.isEmpty())
                    return false;
                folded += QLatin1Char('\\') + part.toCaseFolded();
                const auto found = childIndex.constFind(folded);
                if (found != childIndex.cend()) {
                    current = &current->subkeys[size_t(*found)];
                } else {
                    current->subkeys.push_back(Key{part, {}, {}});
                    childIndex.insert(folded, qsizetype(current->subkeys.size()) - 1);
                    current = &current->subkeys.back();
                }
            }
            continue;
        }
        if (!current)
            return false;
        // Long hex data continues on the next lines after a trailing backslash.
        while (line.endsWith('\\') && line.contains("=hex") && n + 1 < lines.size()) {
            line.chop(1);
            line += trimmed(lines[++n]);
        }
        QString name;
        qsizetype pos = 0;
        if (line.startsWith('@')) {
            pos = 1;
        } else {
            auto quotedName = readQuoted(line, pos);
            if (!quotedName)
                return false;
            name = QString::fromUtf8(*quotedName);
            if (name.isEmpty())
                return false;
        }
        while (pos < line.size() && isSpace(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return false;
        auto value = readData(trimmed(line.mid(pos + 1)));
        if (!value)
            return false;
        setValueIn(*current, name, *value);
    }
    return headerSeen || trimmed(body).isEmpty();
}

QByteArray write(const Key& root, const QString& rootName) {
    QByteArray out = QByteArray(Header) + "\n\n";
    // Depth first, parents before their children, without recursion.
    struct Pending {
        const Key* key;
        QString path;
    };
    std::vector<Pending> pending{{&root, rootName}};
    while (!pending.empty()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        writeKey(out, *next.key, next.path, next.key == &root);
        const auto& subkeys = next.key->subkeys;
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.push_back({&*it, next.path + QLatin1Char('\\') + it->name});
    }
    return out;
}

}  // namespace regfile

}  // namespace cadrell
