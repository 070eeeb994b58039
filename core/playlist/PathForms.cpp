#include "core/playlist/PathForms.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QByteArrayList>
#include <QStringDecoder>

#include "core/platform/PathParts.h"
#include "core/playlist/Items.h"
#include "core/playlist/PathTools.h"

namespace cadrell {

namespace {

bool isFileAddress(QByteArrayView e) {
    return e.size() >= 7 && e.first(7).compare("file://", Qt::CaseInsensitive) == 0;
}

// The local paths among the entries these commands change.
bool isLocalPath(QByteArrayView e) {
    return !e.isEmpty() && IsMediaEntry(e) && !IsWebAddress(e) && !isFileAddress(e);
}

// "%" and two hex digits as the byte they stand for; anything else after a "%" stays as written.
QByteArray decodeEscapes(const QByteArray& text) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

QByteArray joinedPath(const QByteArray& base, const QByteArray& part) {
    return base.endsWith('/') ? base + part : base + '/' + part;
}

bool exists(const QByteArray& path) {
    struct stat st;
    return ::stat(path.constData(), &st) == 0;
}

// The one name in `folder` that equals `name` ignoring letter case, or nothing.
QByteArray onlyMatch(const QByteArray& folder, QByteArrayView name) {
    DIR* d = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!d)
        return {};
    const QString wanted = QString::fromUtf8(name).toCaseFolded();
    QByteArray found;
    int matches = 0;
    while (const dirent* e = ::readdir(d)) {
        const QByteArrayView n(e->d_name);
        if (QString::fromUtf8(n).toCaseFolded() == wanted && ++matches == 1)
            found = n.toByteArray();
    }
    ::closedir(d);
    return matches == 1 ? found : QByteArray();
}

}  // namespace

EntryEdits UseForwardSlashes(const EntryList& entries, const std::vector<int>& selectedRows) {
    return EditItemEntries(entries, selectedRows, [](QByteArrayView e, QByteArray& out) {
        if (!isLocalPath(e) || !e.contains('\\'))
            return false;
        out = e.toByteArray().replace('\\', '/');
        return true;
    });
}

EntryEdits UseBackslashes(const EntryList& entries, const std::vector<int>& selectedRows) {
    return EditItemEntries(entries, selectedRows, [](QByteArrayView e, QByteArray& out) {
        if (!isLocalPath(e) || !e.contains('/'))
            return false;
        out = e.toByteArray().replace('/', '\\');
        return true;
    });
}

EntryEdits DecodeFileAddresses(const EntryList& entries, const std::vector<int>& selectedRows,
                               TextEncoding encoding) {
    return EditItemEntries(entries, selectedRows, [encoding](QByteArrayView e, QByteArray& out) {
        if (!isFileAddress(e))
            return false;
        QByteArrayView rest = e.sliced(7);
        if (rest.size() >= 10 && rest.first(10).compare("localhost/", Qt::CaseInsensitive) == 0)
            rest = rest.sliced(9);
        if (!rest.startsWith('/'))
            return false;  // a file on another host
        // Decoded part by part: an escaped "/" would split a name in two.
        QByteArray path;
        for (const QByteArray& part : rest.toByteArray().split('/')) {
            const QByteArray decoded = decodeEscapes(part);
            if (decoded.contains('/') || decoded.contains('\r') || decoded.contains('\n') ||
                decoded.contains('\0'))
                return false;
            if (!path.isEmpty() || !part.isEmpty())
                path += '/';
            path += decoded;
        }
        if (path.isEmpty())
            path = "/";
        // "/C:/Music" is a Windows drive written as an address.
        if (path.size() >= 3 && path[0] == '/' && path[2] == ':' &&
            QChar::fromLatin1(path[1]).isLetter())
            path.remove(0, 1);
        if (!HoldsUtf8(encoding)) {
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString text = utf8.decode(path);
            if (utf8.hasError())
                return false;
            const std::optional<QByteArray> held = EncodeEntry(text, encoding);
            if (!held)
                return false;
            path = *held;
        }
        out = path;
        return true;
    });
}

EntryEdits FixLetterCase(const EntryList& entries, const std::vector<int>& selectedRows,
                         QByteArrayView folder, const std::atomic<bool>& cancel) {
    return EditItemEntries(entries, selectedRows, [&](QByteArrayView e, QByteArray& out) {
        if (cancel.load(std::memory_order_relaxed) || !isLocalPath(e) || e.contains('\\') ||
            isDrivePath(e) || isUncName(e))
            return false;
        const bool absolute = e.startsWith('/');
        if (!absolute && !folder.startsWith('/'))
            return false;
        QByteArray base = absolute ? QByteArray("/") : folder.toByteArray();
        if (exists(absolute ? e.toByteArray() : joinedPath(base, e.toByteArray())))
            return false;
        const QList<QByteArray> parts = e.toByteArray().split('/');
        QByteArrayList fixed;
        bool changed = false;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QByteArray part = parts[i];
            if (!part.isEmpty() && part != "." && part != "..") {
                if (!exists(joinedPath(base, part))) {
                    const QByteArray match = onlyMatch(base, part);
                    if (match.isEmpty()) {
                        // Nothing to go on below here: the rest stays as written.
                        for (qsizetype k = i; k < parts.size(); ++k)
                            fixed << parts[k];
                        break;
                    }
                    changed = changed || match != part;
                    part = match;
                }
            }
            if (!part.isEmpty())
                base = joinedPath(base, part);
            fixed << part;
        }
        if (!changed)
            return false;
        out = fixed.join('/');
        return true;
    });
}

}  // namespace cadrell
