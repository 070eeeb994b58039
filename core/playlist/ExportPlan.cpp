#include <algorithm>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Export.h"
#include "core/playlist/ExportNames.h"
#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"
#include "core/playlist/PathTools.h"

namespace cadrell {

namespace {

struct ByteHash {
    size_t operator()(const QByteArray& b) const { return qHash(b); }
};

// The components of an absolute path with "." and ".." worked out on the text, as the playlist
// names it: two entries that differ only so name one file, copied once.
std::vector<QByteArrayView> components(QByteArrayView path) {
    std::vector<QByteArrayView> parts;
    SplitPathComponents(path, parts);
    return parts;
}

QByteArray joined(const std::vector<QByteArrayView>& parts, size_t from, size_t to) {
    QByteArray out;
    for (size_t i = from; i < to; ++i) {
        if (!out.isEmpty())
            out += '/';
        out += parts[i];
    }
    return out;
}

// Why an entry that names no local file is left out.
QString notLocalWhy(QByteArrayView entry, bool haveFolder) {
    if (isDrivePath(entry) || isUncName(entry))
        return QStringLiteral("not a file on this computer");
    if (entry.size() >= 7 && entry.first(7).compare("file://", Qt::CaseInsensitive) == 0)
        return QStringLiteral("a file on another computer");
    if (!haveFolder)
        return QStringLiteral("a name relative to the playlist, which has no folder yet");
    return QStringLiteral("not a file name");
}

class Planner {
public:
    Planner(const EntryList& entries, TextEncoding docEncoding, const ExportOptions& options,
            ExportPlan& plan)
        : entries_(entries), docEncoding_(docEncoding), options_(options), plan_(plan) {}

    // The row in the exported playlist's encoding; nothing when that cannot hold it.
    std::optional<QByteArray> converted(int row) const {
        std::optional<QByteArray> text =
            ConvertEntry(entries_.at(row), docEncoding_, options_.encoding);
        // A UTF-16 playlist is written from UTF-8, which other bytes cannot pass.
        if (text && IsUtf16(options_.encoding) && !text->isValidUtf8())
            return std::nullopt;
        return text;
    }

    QString cannotWrite(int row) const {
        return QStringLiteral("line %1 cannot be written in %2")
            .arg(row + 1)
            .arg(EncodingName(options_.encoding));
    }

    void addLead(int row) {
        if (std::optional<QByteArray> text = converted(row)) {
            lines_.push_back(std::move(*text));
            ++plan_.leadLines;
        } else {
            skip(row, cannotWrite(row));
        }
    }

    void addItem(const Item& item, const QByteArray& folder) {
        const QByteArrayView entry = entries_.at(item.entry);
        std::vector<QByteArray> lines;
        for (int r = item.first; r < item.entry; ++r) {
            std::optional<QByteArray> text = converted(r);
            if (!text)
                return skip(item.entry, cannotWrite(r));
            lines.push_back(std::move(*text));
        }
        ExportItem out;
        out.row = item.entry;
        QByteArray path;
        if (LocalFileOf(entry, folder, path) == EntryKind::LocalFile) {
            if (path.contains('\0'))
                return skip(item.entry, QStringLiteral("the name holds a zero byte"));
            std::vector<QByteArrayView> parts = components(path);
            if (parts.empty())
                return skip(item.entry, QStringLiteral("not a file name"));
            out.action = ExportItem::Action::Copy;
            out.file = fileFor(parts);
            lines.emplace_back();  // the copy's name, once it has one
        } else if (entry.size() >= 7 &&
                   entry.first(7).compare("file://", Qt::CaseInsensitive) == 0) {
            // A file address that names no file here: on another host, or cut by a zero byte.
            return skip(item.entry,
                        QByteArray::fromPercentEncoding(entry.toByteArray()).contains('\0')
                            ? QStringLiteral("the name holds a zero byte")
                            : QStringLiteral("a file on another computer"));
        } else if (IsWebAddress(entry)) {
            std::optional<QByteArray> text = converted(item.entry);
            if (!text)
                return skip(item.entry, cannotWrite(item.entry));
            out.action = ExportItem::Action::Keep;
            lines.push_back(std::move(*text));
        } else {
            return skip(item.entry, notLocalWhy(entry, !folder.isEmpty()));
        }
        out.firstLine = static_cast<qsizetype>(lines_.size());
        out.lineCount = static_cast<qsizetype>(lines.size());
        for (QByteArray& line : lines)
            lines_.push_back(std::move(line));
        plan_.items.push_back(std::move(out));
    }

    // A skipped item has no lines in the exported playlist.
    void skip(int row, const QString& why) {
        ExportItem item;
        item.row = row;
        item.firstLine = static_cast<qsizetype>(lines_.size());
        item.why = DecodeForDisplay(entries_.at(row), docEncoding_) + QStringLiteral(": ") + why;
        plan_.items.push_back(std::move(item));
    }

    int fileFor(const std::vector<QByteArrayView>& parts) {
        QByteArray normal = '/' + joined(parts, 0, parts.size());
        auto [it, added] = fileOfSource_.try_emplace(normal, static_cast<int>(plan_.files.size()));
        if (added)
            plan_.files.push_back(ExportFile{std::move(normal), {}});
        return it->second;
    }

    void nameTargets() {
        const bool fat = plan_.fatNames;
        const size_t n = plan_.files.size();
        std::vector<std::vector<QByteArrayView>> parts(n);
        for (size_t i = 0; i < n; ++i)
            parts[i] = components(plan_.files[i].source);
        // The folder all sources lie in; what is below it is kept.
        size_t common = 0;
        if (options_.keepFolders && n > 0) {
            common = parts[0].size() - 1;
            for (size_t i = 1; i < n; ++i) {
                size_t k = 0;
                const size_t limit = std::min(common, parts[i].size() - 1);
                while (k < limit && parts[i][k] == parts[0][k])
                    ++k;
                common = k;
            }
        }
        int width = 3;
        for (size_t count = n; count >= 1000; count /= 10)
            ++width;

        std::unordered_set<QByteArray, ByteHash> taken;
        taken.insert(NameKey(plan_.playlistName, fat));
        std::vector<QByteArray> folders(n), names(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t last = parts[i].size() - 1;
            QByteArray folderPath;
            for (size_t k = options_.keepFolders ? common : last; k < last; ++k) {
                if (!folderPath.isEmpty())
                    folderPath += '/';
                folderPath += SafeComponent(parts[i][k], fat, options_.encoding);
                // A file may not take a folder's name.
                taken.insert(NameKey(folderPath, fat));
            }
            QByteArray name = SafeComponent(parts[i][last], fat, options_.encoding);
            if (options_.numberFiles)
                name = NumberedName(name, static_cast<qsizetype>(i) + 1, width);
            folders[i] = std::move(folderPath);
            names[i] = std::move(name);
        }
        for (size_t i = 0; i < n; ++i) {
            const QByteArray prefix = folders[i].isEmpty() ? QByteArray() : folders[i] + '/';
            QByteArray target = prefix + names[i];
            for (qsizetype copy = 2; !taken.insert(NameKey(target, fat)).second; ++copy)
                target = prefix + NameWithCopyNumber(names[i], copy);
            plan_.files[i].target = std::move(target);
        }
    }

    void fillLines() {
        for (const ExportItem& item : plan_.items) {
            if (item.action == ExportItem::Action::Copy)
                lines_[static_cast<size_t>(item.firstLine + item.lineCount - 1)] = ExportEntryText(
                    plan_.files[static_cast<size_t>(item.file)].target, options_.encoding);
        }
        for (const QByteArray& line : lines_)
            plan_.lines.append(line);
    }

private:
    const EntryList& entries_;
    TextEncoding docEncoding_;
    const ExportOptions& options_;
    ExportPlan& plan_;
    std::unordered_map<QByteArray, int, ByteHash> fileOfSource_;
    std::vector<QByteArray> lines_;
};

}  // namespace

ExportPlan PlanExport(const EntryList& entries, const std::vector<int>& rows,
                      const QByteArray& playlistFolder, TextEncoding docEncoding,
                      const ExportOptions& options) {
    if (!options.targetFolder.startsWith('/'))
        throw Error(QStringLiteral("Choose the folder to export to"));
    if (options.playlistName.isEmpty() || options.playlistName.contains('/') ||
        options.playlistName == "." || options.playlistName == "..")
        throw Error(QStringLiteral("Give the exported playlist a file name"));

    ExportPlan plan;
    switch (options.nameRules) {
        case TargetNameRules::Detect:
            plan.fatNames = IsFatFolder(options.targetFolder);
            break;
        case TargetNameRules::Posix:
            plan.fatNames = false;
            break;
        case TargetNameRules::Fat:
            plan.fatNames = true;
            break;
    }
    plan.playlistName = SafeComponent(options.playlistName, plan.fatNames, TextEncoding::Utf8);

    const ItemLayout layout = FindItems(entries);
    std::vector<int> chosen;
    if (rows.empty()) {
        chosen.resize(layout.items.size());
        std::iota(chosen.begin(), chosen.end(), 0);
    } else {
        chosen = ItemsOfRows(layout, rows);
    }
    plan.items.reserve(chosen.size());

    Planner planner(entries, docEncoding, options, plan);
    // The header and what else stands before the first item describe the playlist as a whole.
    for (int r = 0; r < layout.lead; ++r)
        planner.addLead(r);
    QByteArray folder = playlistFolder;
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    for (int i : chosen)
        planner.addItem(layout.items[static_cast<size_t>(i)], folder);
    planner.nameTargets();
    planner.fillLines();
    return plan;
}

}  // namespace cadrell
