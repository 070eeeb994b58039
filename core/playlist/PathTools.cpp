#include "core/playlist/PathTools.h"

#include <optional>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Items.h"

namespace cadrell {

namespace {

inline bool asciiLetter(char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

}  // namespace

bool isDrivePath(QByteArrayView s) {
    return s.size() >= 2 && s[1] == ':' && asciiLetter(s[0]);
}

bool isUncName(QByteArrayView s) {
    return s.startsWith("\\\\");
}

namespace {

bool startsWithAnyCase(QByteArrayView s, QByteArrayView prefix) {
    return s.size() >= prefix.size() &&
           s.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// A local file:// URL as a path ("file:///a%20b" or "file://localhost/a%20b"), else empty.
// An escaped line break or zero byte would become a line of its own, or cut the entry, once
// written: such an address is no path we convert.
QByteArray fileUrlPath(QByteArrayView s) {
    if (!startsWithAnyCase(s, "file://"))
        return {};
    QByteArrayView rest = s.sliced(7);
    if (startsWithAnyCase(rest, "localhost/"))
        rest = rest.sliced(9);
    if (!rest.startsWith('/'))
        return {};
    QByteArray path = QByteArray::fromPercentEncoding(rest.toByteArray());
    if (path.contains('\r') || path.contains('\n') || path.contains('\0'))
        return {};
    return path;
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
    explicit PathConverter(QByteArrayView folder) { SplitPathComponents(folder, base_); }

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
        SplitPathComponents(path, parts_);
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
            IsWebAddress(entry) || isDrivePath(entry) || !IsMediaEntry(entry))
            return false;
        parts_ = base_;
        SplitPathComponents(entry, parts_);
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

}  // namespace

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
    return EditItemEntries(entries, selectedRows, [&converter](QByteArrayView e, QByteArray& out) {
        return converter.relative(e, out);
    });
}

EntryEdits MakeAbsolute(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder) {
    requireFolder(folder);
    PathConverter converter(folder);
    return EditItemEntries(entries, selectedRows, [&converter](QByteArrayView e, QByteArray& out) {
        return converter.absolute(e, out);
    });
}

EntryEdits RebaseRelative(const EntryList& entries, QByteArrayView from, QByteArrayView to) {
    EntryEdits edits;
    // Without a folder to start from, a relative entry names nothing yet: it stays as written.
    if (!from.startsWith('/'))
        return edits;
    PathConverter source(from);
    std::optional<PathConverter> target;
    if (to.startsWith('/'))
        target.emplace(to);
    QByteArray absolute, relative;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView entry = entries.at(i);
        if (!source.absolute(entry, absolute))
            continue;
        const QByteArray& now =
            target && target->relative(absolute, relative) ? relative : absolute;
        if (now != entry) {
            edits.rows.push_back(static_cast<int>(i));
            edits.texts.append(now);
        }
    }
    return edits;
}

EntryList RebasedEntries(const EntryList& entries, QByteArrayView from, QByteArrayView to) {
    const EntryEdits edits = RebaseRelative(entries, from, to);
    if (edits.rows.empty())
        return entries;
    EntryList out;
    size_t k = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (k < edits.rows.size() && edits.rows[k] == i)
            out.append(edits.texts.at(static_cast<qsizetype>(k++)));
        else
            out.append(entries.at(i));
    }
    return out;
}

}  // namespace cadrell
