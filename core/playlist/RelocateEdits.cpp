#include <QStringDecoder>
#include <QUrl>
#include <algorithm>

#include "core/platform/PathParts.h"
#include "core/playlist/PathTools.h"
#include "core/playlist/Relocate.h"

namespace cadrell {

namespace {

bool startsWithAnyCase(QByteArrayView s, QByteArrayView prefix) {
    return s.size() >= prefix.size() &&
           s.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString LocateReasonText(LocateReason reason) {
    switch (reason) {
        case LocateReason::MovedFolder:
            return QStringLiteral("moved folder");
        case LocateReason::SameName:
            return QStringLiteral("same name");
        case LocateReason::SeveralFound:
            return QStringLiteral("several found");
        case LocateReason::NotFound:
            return QStringLiteral("not found");
        case LocateReason::NotMounted:
            return QStringLiteral("on a drive that is not mounted");
        case LocateReason::CannotWrite:
            return QStringLiteral("cannot be written");
    }
    return {};
}

std::optional<QByteArray> LocatedEntry(QByteArrayView entry, const QByteArray& file,
                                       const QByteArray& playlistFolder, TextEncoding encoding) {
    // A line break would split the entry in two once saved.
    if (file.contains('\n') || file.contains('\r') || file.contains('\0'))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(file);
    if (decoder.hasError())
        return std::nullopt;
    if (startsWithAnyCase(entry, "file://"))
        return QUrl::fromLocalFile(text).toEncoded();
    const bool relative = !entry.startsWith('/') && !isDrivePath(entry) && !isUncName(entry) &&
                          !IsWebAddress(entry) && playlistFolder.startsWith('/');
    if (relative) {
        const QByteArray path = RelativePath(file, playlistFolder);
        if (!path.isEmpty())
            text = QString::fromUtf8(path);
    }
    return EncodeEntry(text, encoding);
}

EntryEdits ApplyLocations(const EntryList& entries, const LocateResult& result,
                          const std::vector<int>& chosenRows, const QByteArray& playlistFolder,
                          TextEncoding encoding) {
    std::vector<std::pair<int, QByteArray>> edits;
    for (int i : chosenRows) {
        const LocateRow& row = result.rows.at(static_cast<size_t>(i));
        if (row.proposal.isEmpty() || row.row >= entries.size())
            continue;
        // The entries are read again: a row that no longer holds what was looked for is left.
        if (entries.at(row.row) != row.entry)
            continue;
        if (!row.replacement.isEmpty())
            edits.emplace_back(row.row, row.replacement);
        else if (auto text = LocatedEntry(row.entry, row.proposal, playlistFolder, encoding))
            edits.emplace_back(row.row, *text);
    }
    std::sort(edits.begin(), edits.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    edits.erase(std::unique(edits.begin(), edits.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                edits.end());
    EntryEdits out;
    for (const auto& [row, text] : edits) {
        out.rows.push_back(row);
        out.texts.append(text);
    }
    return out;
}

}  // namespace cadrell
