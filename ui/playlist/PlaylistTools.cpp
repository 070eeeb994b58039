#include "ui/playlist/PlaylistTools.h"

#include <QFile>
#include <QFileInfo>
#include <QItemSelection>
#include <QLocale>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>
#include <numeric>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/platform/Strings.h"
#include "core/playlist/Duplicates.h"
#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"
#include "core/playlist/PathForms.h"
#include "core/playlist/PathTools.h"
#include "core/settings/Settings.h"
#include "ui/dialogs/LocateDialog.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/DocumentHost.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

namespace {

using strings::FormatCount;

// "1 entry changed", "12 entries changed".
QString counted(qsizetype n, const char* one, const char* many) {
    return n == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(FormatCount(n));
}

// "14 selected items sorted", "2,059 items sorted": which rows a tool worked on is never a guess.
QString orderMessage(const OrderScope& scope, const char* verb) {
    const QString what = scope.selection ? QStringLiteral("selected ") : QString();
    return scope.items == 1 ? QStringLiteral("1 %1item %2").arg(what, QLatin1String(verb))
                            : QStringLiteral("%1 %2items %3")
                                  .arg(FormatCount(scope.items), what, QLatin1String(verb));
}

}  // namespace

PlaylistTools::PlaylistTools(TMDIChild* window) : QObject(window), window_(window) {
    connect(&window_->Document, &PlaylistDocument::changed, this, [this] { ++changes_; });
}

PlaylistTools::~PlaylistTools() {
    if (cancel_)
        *cancel_ = true;
    if (busy()) {
        window_->host().endProgress();
        // A sort cannot stop half-way; it ends within about a second on a million entries.
        worker_.join();
    }
}

TextForm PlaylistTools::textForm(TextEncoding encoding, std::shared_ptr<std::atomic<bool>> unheld) {
    TextForm form;
    form.utf8 = HoldsUtf8(encoding);
    if (form.utf8)
        return form;
    form.decode = [encoding](QByteArrayView entry) { return DecodeForDisplay(entry, encoding); };
    // A replacement the playlist cannot hold must not be written with stand-in characters; the
    // window refuses such edits before they reach the document.
    form.encode = [encoding, unheld](const QString& text) {
        std::optional<QByteArray> bytes = EncodeEntry(text, encoding);
        if (!bytes && unheld)
            *unheld = true;
        return bytes.value_or(QByteArray());
    };
    return form;
}

QByteArray PlaylistTools::folder() const {
    return folderOf(window_->Document.FileName);
}

QByteArray PlaylistTools::folderOf(const QByteArray& fileName) {
    if (fileName == kUntitled || fileName.isEmpty())
        return {};
    return QFile::encodeName(QFileInfo(QFile::decodeName(fileName)).absolutePath());
}

std::vector<int> PlaylistTools::selectedRows() const {
    return window_->toolRows();
}

void PlaylistTools::report(const QString& text) {
    window_->setStatusMessage(text);
}

void PlaylistTools::run(const QString& busyText, const QString& name, Work work) {
    DocumentHost& host = window_->host();
    if (busy() || host.progressShown()) {
        report(QStringLiteral("Another tool is still at work; wait for it or cancel it (Esc)"));
        return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    host.beginProgress(busyText, [this] { this->cancel(); });
    window_->ListView1->setFocus();
    const quint64 changes = changes_;
    worker_ = std::thread([this, cancel, name, changes, work = std::move(work)] {
        const Progress progress = [this, cancel](qint64 done, qint64 total) {
            if (!*cancel)
                QMetaObject::invokeMethod(
                    this,
                    [this, cancel, done, total] {
                        if (!*cancel)
                            window_->host().setProgress(done, total);
                    },
                    Qt::QueuedConnection);
        };
        Finish finish;
        QString error;
        try {
            finish = work(*cancel, progress);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, finish = std::move(finish), error, name, changes, cancel] {
                done(finish, error, name, changes, cancel);
            },
            Qt::QueuedConnection);
    });
}

void PlaylistTools::done(const Finish& finish, const QString& error, const QString& name,
                         quint64 changes, const std::shared_ptr<std::atomic<bool>>& cancel) {
    worker_.join();
    if (*cancel)
        return;  // the status bar said so when Cancel was chosen
    cancel_.reset();
    window_->host().endProgress();
    // An entry typed meanwhile is kept; the result, which no longer fits, is the one dropped.
    if (window_->editor() && window_->editor()->isEditing())
        window_->editor()->commit();
    if (changes != changes_) {
        report(QStringLiteral("The playlist changed meanwhile; %1 was not done").arg(name));
        return;
    }
    Guarded([&] {
        if (!error.isEmpty())
            throw Error(error);
        if (finish)
            finish();
    });
    window_->UpdateModifiedMark();
    window_->host().refreshCommandStates();
}

void PlaylistTools::cancel() {
    if (!busy() || !cancel_ || *cancel_)
        return;
    *cancel_ = true;
    window_->host().endProgress();
    report(QStringLiteral("Cancelled"));
}

PlaylistTools::Finish PlaylistTools::orderFinish(const EntryList& entries, const RowOrder& order,
                                                 const std::vector<int>& selected,
                                                 const QString& name, const QString& done,
                                                 std::function<void()> before) {
    if (IsIdentity(order))
        return [this, before = std::move(before)] {
            if (before)
                before();
            report(QStringLiteral("Already in that order"));
        };
    Change change = Change::permute(order);
    change.prepare(entries);
    // Items move whole, so the rows selected before are selected where they went.
    std::vector<int> where(order.size());
    for (size_t to = 0; to < order.size(); ++to)
        where[static_cast<size_t>(order[to])] = static_cast<int>(to);
    std::vector<int> rows;
    rows.reserve(selected.size());
    for (int row : selected)
        rows.push_back(where[static_cast<size_t>(row)]);
    std::sort(rows.begin(), rows.end());
    return [this, change = std::move(change), rows = std::move(rows), name, done,
            before = std::move(before)]() mutable {
        if (before)
            before();
        window_->Document.perform(std::move(change), name);
        selectRows(rows);
        report(done);
    };
}

void PlaylistTools::sort(SortKey key) {
    static const char* const names[] = {"Sort by Path", "Sort by File Name", "Sort by Title"};
    const QString name = QString::fromLatin1(names[static_cast<int>(key)]);
    EntryList entries = window_->Document.Entries();
    const std::vector<int> selected = selectedRows();
    const TextForm form = textForm(window_->Document.Encoding);
    run(QStringLiteral("Sorting…"), name,
        [this, entries = std::move(entries), selected, form, key, name](const std::atomic<bool>&,
                                                                        const Progress&) {
            const RowOrder order = SortOrder(entries, selected, key, form);
            const QString done = orderMessage(ScopeOfOrder(entries, selected), "sorted");
            return orderFinish(entries, order, selected, name, done);
        });
}

void PlaylistTools::sortByColumn(ItemColumn column, const QByteArray& attribute, bool descending,
                                 const QString& name, const std::function<void()>& sorted) {
    EntryList entries = window_->Document.Entries();
    const std::vector<int> selected = window_->selectedLines();
    const TextForm form = textForm(window_->Document.Encoding);
    run(QStringLiteral("Sorting…"), name,
        [this, entries = std::move(entries), selected, form, column, attribute, descending, name,
         sorted](const std::atomic<bool>&, const Progress&) {
            const RowOrder order = SortByColumn(entries, column, attribute, descending, form);
            const QString done = orderMessage(ScopeOfOrder(entries, {}), "sorted");
            // Sorted already is sorted still: the header shows the order either way.
            return orderFinish(entries, order, selected, name, done, sorted);
        });
}

void PlaylistTools::reverse() {
    const QString name = QStringLiteral("Reverse Order");
    EntryList entries = window_->Document.Entries();
    const std::vector<int> selected = selectedRows();
    run(QStringLiteral("Reversing…"), name,
        [this, entries = std::move(entries), selected, name](const std::atomic<bool>&,
                                                             const Progress&) {
            const RowOrder order = ReverseOrder(entries, selected);
            const QString done = orderMessage(ScopeOfOrder(entries, selected), "reversed");
            return orderFinish(entries, order, selected, name, done);
        });
}

void PlaylistTools::shuffle() {
    const QString name = QStringLiteral("Shuffle");
    EntryList entries = window_->Document.Entries();
    const std::vector<int> selected = selectedRows();
    const uint64_t seed = QRandomGenerator::global()->generate64();
    run(QStringLiteral("Shuffling…"), name,
        [this, entries = std::move(entries), selected, seed, name](const std::atomic<bool>&,
                                                                   const Progress&) {
            const RowOrder order = ShuffleOrder(entries, selected, seed);
            const QString done = orderMessage(ScopeOfOrder(entries, selected), "shuffled");
            return orderFinish(entries, order, selected, name, done);
        });
}

void PlaylistTools::removeDuplicates() {
    const QString name = QStringLiteral("Remove Duplicates");
    EntryList entries = window_->Document.Entries();
    run(QStringLiteral("Looking for duplicates…"), name,
        [this, entries = std::move(entries), name](const std::atomic<bool>&, const Progress&) {
            std::vector<int> rows = DuplicateRows(entries);
            qsizetype items = 0;
            for (int row : rows)
                items += IsMediaEntry(entries.at(row)) ? 1 : 0;
            return Finish([this, rows = std::move(rows), items, name]() mutable {
                if (rows.empty()) {
                    report(QStringLiteral("No duplicates found"));
                    return;
                }
                window_->Document.perform(Change::remove(std::move(rows)), name);
                report(counted(items, "1 duplicate removed", "%1 duplicates removed"));
            });
        });
}

void PlaylistTools::makeRelative() {
    convertPaths(QStringLiteral("Make Paths Relative"), QStringLiteral("Making paths relative…"),
                 [](const EntryList& e, const std::vector<int>& rows, QByteArrayView folder,
                    const std::atomic<bool>&) { return MakeRelative(e, rows, folder); });
}

void PlaylistTools::makeAbsolute() {
    convertPaths(QStringLiteral("Make Paths Absolute"), QStringLiteral("Making paths absolute…"),
                 [](const EntryList& e, const std::vector<int>& rows, QByteArrayView folder,
                    const std::atomic<bool>&) { return MakeAbsolute(e, rows, folder); });
}

void PlaylistTools::useForwardSlashes() {
    convertPaths(QStringLiteral("Use Forward Slashes"), QStringLiteral("Changing separators…"),
                 [](const EntryList& e, const std::vector<int>& rows, QByteArrayView,
                    const std::atomic<bool>&) { return UseForwardSlashes(e, rows); });
}

void PlaylistTools::useBackslashes() {
    convertPaths(QStringLiteral("Use Backslashes"), QStringLiteral("Changing separators…"),
                 [](const EntryList& e, const std::vector<int>& rows, QByteArrayView,
                    const std::atomic<bool>&) { return UseBackslashes(e, rows); });
}

void PlaylistTools::decodeFileAddresses() {
    const TextEncoding encoding = window_->Document.Encoding;
    convertPaths(
        QStringLiteral("Decode File Addresses"), QStringLiteral("Decoding file addresses…"),
        [encoding](const EntryList& e, const std::vector<int>& rows, QByteArrayView,
                   const std::atomic<bool>&) { return DecodeFileAddresses(e, rows, encoding); });
}

void PlaylistTools::fixLetterCase() {
    convertPaths(
        QStringLiteral("Fix Letter Case"), QStringLiteral("Looking up letter case…"),
        [](const EntryList& e, const std::vector<int>& rows, QByteArrayView folder,
           const std::atomic<bool>& cancel) { return FixLetterCase(e, rows, folder, cancel); });
}

void PlaylistTools::convertPaths(const QString& name, const QString& busy, PathConversion convert) {
    EntryList entries = window_->Document.Entries();
    const std::vector<int> selected = selectedRows();
    const QByteArray base = folder();
    run(busy, name,
        [this, entries = std::move(entries), selected, base, name, convert](
            const std::atomic<bool>& cancel, const Progress&) {
            EntryEdits edits = convert(entries, selected, base, cancel);
            return Finish([this, edits = std::move(edits), name]() mutable {
                const qsizetype n = static_cast<qsizetype>(edits.rows.size());
                if (!window_->Document.perform(
                        Change::replace(std::move(edits.rows), std::move(edits.texts)), name)) {
                    report(QStringLiteral("No paths changed"));
                    return;
                }
                report(counted(n, "1 entry changed", "%1 entries changed"));
            });
        });
}

void PlaylistTools::selectMissingFiles() {
    EntryList entries = window_->Document.Entries();
    const QByteArray base = folder();
    run(QStringLiteral("Looking for missing files…"), QStringLiteral("Select Missing Files"),
        [this, entries = std::move(entries), base](const std::atomic<bool>& cancel,
                                                   const Progress& progress) {
            const MissingFiles result = FindMissingFiles(entries.views(), base, progress, &cancel);
            // The rows of the missing entries' items, so that Delete takes their "#" lines too.
            const ItemLayout layout = FindItems(entries);
            std::vector<int> rows = RowsOfItems(layout, ItemsOfRows(layout, result.missing));
            const QString text = MissingFilesMessage(result);
            return Finish([this, rows = std::move(rows), text] {
                selectRows(rows);
                report(text);
            });
        });
}

void PlaylistTools::locateMissingFiles() {
    // The folders looked in last time, in this run or an earlier one; the store holds a few
    // lines, read and written only as the dialog opens and closes.
    Registry& store = Registry::instance();
    const std::optional<QStringList> kept = LoadLocateFolders(store);
    const PlaylistDocument& doc = window_->Document;
    const QString own = QFile::decodeName(folder());
    QString music;
    if (!kept) {
        music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        if (!QFileInfo(music).isDir())
            music.clear();
    }
    std::vector<int> rows = selectedRows();
    if (rows.size() <= 1) {
        rows.resize(static_cast<size_t>(doc.Entries().size()));
        std::iota(rows.begin(), rows.end(), 0);
    }
    LocateDialog dialog(window_, doc.Entries(), std::move(rows), folder(), doc.Encoding,
                        LocateFoldersOffered(own, kept, music));
    dialog.search();
    const int answer = Prompts::current().exec(dialog);
    const QStringList keep = LocateFoldersToKeep(dialog.searchFolders(), own, kept);
    if (!kept || keep != *kept)
        SaveLocateFolders(keep, store);
    if (answer != QDialog::Accepted)
        return;
    EntryEdits edits = dialog.edits();
    const qsizetype n = static_cast<qsizetype>(edits.rows.size());
    if (n == 0 ||
        !window_->Document.perform(Change::replace(std::move(edits.rows), std::move(edits.texts)),
                                   QStringLiteral("Locate Missing Files"))) {
        report(QStringLiteral("No entries changed"));
        return;
    }
    window_->UpdateModifiedMark();
    report(counted(n, "1 entry changed", "%1 entries changed"));
}

void PlaylistTools::selectRows(const std::vector<int>& rows) {
    window_->selectLines(rows, rows.empty() ? -1 : rows.front());
}

}  // namespace cadrell
