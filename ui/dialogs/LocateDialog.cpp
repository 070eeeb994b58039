#include "ui/dialogs/LocateDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"
#include "ui/dialogs/LocateModel.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

using strings::FormatCount;

QPushButton* button(const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setAccessibleName(QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    return b;
}

// The rows to look for: the missing local entries among `rows`, and the entries in another
// system's form (drive letters, "\" paths), which never exist here.
std::vector<int> missingAmong(const EntryList& entries, const std::vector<int>& rows,
                              const QByteArray& folder, const std::atomic<bool>& cancel,
                              LocateProgress& progress) {
    std::vector<QByteArray> texts;
    std::vector<int> which;
    for (int r : rows) {
        texts.push_back(entries.bytes(r));
        which.push_back(r);
    }
    const MissingFiles missing = FindMissingFiles(
        texts, folder,
        [&progress](qsizetype done, qsizetype total) {
            progress.done = done;
            progress.total = total;
        },
        &cancel);
    std::vector<char> take(which.size(), 0);
    for (int k : missing.missing)
        take[static_cast<size_t>(k)] = 1;
    for (size_t k = 0; k < which.size(); ++k) {
        const QByteArrayView e = entries.at(which[k]);
        const bool windows = (e.size() >= 2 && e[1] == ':' && QChar::fromLatin1(e[0]).isLetter()) ||
                             (e.contains('\\') && !IsWebAddress(e));
        if (windows && IsMediaEntry(e))
            take[k] = 1;
    }
    std::vector<int> out;
    for (size_t k = 0; k < which.size(); ++k)
        if (take[k])
            out.push_back(which[k]);
    return out;
}

// A result of many rows takes a while to free; a thread of its own does that.
void letGo(LocateResult result) {
    if (result.rows.size() > 4096)
        std::thread([old = std::move(result)] {}).detach();
}

}  // namespace

LocateDialog::LocateDialog(QWidget* parent, EntryList entries, std::vector<int> rows,
                           QByteArray folder, TextEncoding encoding, QStringList searchFolders)
    : QDialog(parent),
      entries_(std::move(entries)),
      rows_(std::move(rows)),
      folder_(std::move(folder)),
      encoding_(encoding) {
    setObjectName(QStringLiteral("LocateDialog"));
    setWindowTitle(QStringLiteral("Locate Missing Files"));

    auto* foldersLabel = new QLabel(QStringLiteral("&Look in:"), this);
    folders = new QListWidget(this);
    folders->setAccessibleName(QStringLiteral("Look in"));
    folders->addItems(searchFolders);
    foldersLabel->setBuddy(folders);
    auto* add = button(QStringLiteral("&Add Folder..."), this);
    auto* remove = button(QStringLiteral("&Remove Folder"), this);
    subfolders = new QCheckBox(QStringLiteral("Include &subfolders"), this);
    subfolders->setAccessibleName(QStringLiteral("Include subfolders"));
    subfolders->setChecked(true);
    searchButton = button(QStringLiteral("Searc&h"), this);
    connect(add, &QPushButton::clicked, this, [this] { addFolder(); });
    connect(remove, &QPushButton::clicked, this, [this] { delete folders->currentItem(); });
    connect(searchButton, &QPushButton::clicked, this, [this] { search(); });

    model = new LocateModel(this, encoding_);
    table = new QTableView(this);
    table->setModel(model);
    table->setAccessibleName(QStringLiteral("Missing entries"));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Rows of one height: the view then never measures rows it does not paint.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setResizeContentsPrecision(200);
    table->installEventFilter(this);
    auto* tableLabel =
        new QLabel(QStringLiteral("&Found (Space ticks the selected rows to change):"), this);
    tableLabel->setBuddy(table);
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showCandidates(); });
    connect(model, &LocateModel::tickedChanged, this, [this] { showCounts(); });
    tickAllButton = button(QStringLiteral("&Tick All"), this);
    untickAllButton = button(QStringLiteral("U&ntick All"), this);
    connect(tickAllButton, &QPushButton::clicked, this, [this] { model->setAllTicked(true); });
    connect(untickAllButton, &QPushButton::clicked, this, [this] { model->setAllTicked(false); });

    candidates = new QListWidget(this);
    candidates->setAccessibleName(QStringLiteral("Other candidates"));
    candidates->setMaximumHeight(90);
    candidates->installEventFilter(this);
    auto* candidatesLabel =
        new QLabel(QStringLiteral("&Other candidates (Enter takes one):"), this);
    candidatesLabel->setBuddy(candidates);
    connect(candidates, &QListWidget::itemDoubleClicked, this, [this] { takeCandidate(); });

    counts = new QLabel(this);
    // Read out as what it says; a fixed name would hide the counts from a screen reader.
    counts->setAccessibleDescription(QStringLiteral("Counts"));
    counts->setTextFormat(Qt::PlainText);
    progressBar_ = new QProgressBar(this);
    progressBar_->setAccessibleName(QStringLiteral("Progress"));
    progressBar_->setRange(0, 0);
    progressBar_->hide();
    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, [this] { showProgress(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    applyButton = buttons->addButton(QStringLiteral("A&pply"), QDialogButtonBox::AcceptRole);
    applyButton->setAccessibleName(QStringLiteral("Apply"));
    applyButton->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LocateDialog::reject);

    auto* folderButtons = new QVBoxLayout;
    folderButtons->addWidget(add);
    folderButtons->addWidget(remove);
    folderButtons->addWidget(subfolders);
    folderButtons->addWidget(searchButton);
    folderButtons->addStretch();
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folders, 1);
    folderRow->addLayout(folderButtons);
    auto* tickRow = new QHBoxLayout;
    tickRow->addWidget(tableLabel, 1);
    tickRow->addWidget(tickAllButton);
    tickRow->addWidget(untickAllButton);
    auto* status = new QHBoxLayout;
    status->addWidget(counts, 1);
    status->addWidget(progressBar_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(foldersLabel);
    layout->addLayout(folderRow);
    layout->addLayout(tickRow);
    layout->addWidget(table, 1);
    layout->addWidget(candidatesLabel);
    layout->addWidget(candidates);
    layout->addLayout(status);
    layout->addWidget(buttons);
    folders->setMaximumHeight(100);
    resize(760, 560);
}

LocateDialog::~LocateDialog() {
    // The worker keeps what it reads; told to stop, it is let go, never waited for.
    if (cancel_)
        *cancel_ = true;
    letGo(model->reset({}));
}

const LocateResult& LocateDialog::result() const {
    return model->result();
}

QStringList LocateDialog::searchFolders() const {
    QStringList out;
    for (int i = 0; i < folders->count(); ++i)
        out << folders->item(i)->text();
    return out;
}

void LocateDialog::addFolder() {
    const QString start =
        folders->count() ? folders->item(folders->count() - 1)->text() : QString();
    if (const std::optional<QString> chosen = Prompts::current().chooseFolder(this, start)) {
        if (searchFolders().contains(*chosen))
            return;
        folders->addItem(*chosen);
    }
}

void LocateDialog::search() {
    stopSearch();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto progress = std::make_shared<LocateProgress>();
    cancel_ = cancel;
    progress_ = progress;
    std::vector<QByteArray> roots;
    for (const QString& f : searchFolders())
        roots.push_back(QFile::encodeName(f));
    applyButton->setEnabled(false);
    letGo(model->reset({}));
    candidates->clear();
    progressBar_->setRange(0, 0);
    progressBar_->show();
    showProgress();
    poll_->start();
    QPointer<LocateDialog> self(this);
    std::thread([self, cancel, progress, roots, deep = subfolders->isChecked(), entries = entries_,
                 rows = rows_, folder = folder_, encoding = encoding_] {
        LocateResult result;
        qsizetype unreadable = 0;
        try {
            const std::vector<int> missing =
                missingAmong(entries, rows, folder, *cancel, *progress);
            progress->stage = LocateProgress::Indexing;
            const FileIndex index =
                IndexFolders(roots, deep, *cancel, [&progress](qint64 folders, qint64 files) {
                    progress->folders = folders;
                    progress->files = files;
                });
            unreadable = index.unreadableFolders;
            progress->folders = index.folderCount();
            progress->files = index.fileCount();
            progress->done = 0;
            progress->total = static_cast<qint64>(missing.size());
            progress->stage = LocateProgress::Matching;
            result = LocateMissing(entries, missing, folder, encoding, index, MountTable::current(),
                                   *cancel, [&progress](qint64 done, qint64 total) {
                                       progress->done = done;
                                       progress->total = total;
                                   });
        } catch (const std::exception&) {
            result.cancelled = true;
        }
        if (*cancel)
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, cancel, unreadable, result = std::move(result)]() mutable {
                if (self && self->cancel_ == cancel)
                    self->showResult(std::move(result), unreadable);
                else
                    letGo(std::move(result));
            },
            Qt::QueuedConnection);
    }).detach();
}

void LocateDialog::stopSearch() {
    if (cancel_)
        *cancel_ = true;
    cancel_.reset();
    poll_->stop();
    progressBar_->hide();
}

void LocateDialog::showProgress() {
    if (!progress_)
        return;
    const LocateProgress& p = *progress_;
    const qint64 done = p.done, total = p.total;
    QString text;
    switch (p.stage) {
        case LocateProgress::Checking:
            text = QStringLiteral("Checking %1 of %2 entries…")
                       .arg(FormatCount(done), FormatCount(total));
            break;
        case LocateProgress::Indexing:
            text = QStringLiteral("Indexed %1 files in %2 folders…")
                       .arg(FormatCount(p.files), FormatCount(p.folders));
            break;
        case LocateProgress::Matching:
            text = QStringLiteral("Indexed %1 files in %2 folders. Matched %3 of %4 entries…")
                       .arg(FormatCount(p.files), FormatCount(p.folders), FormatCount(done),
                            FormatCount(total));
            break;
    }
    counts->setText(text);
    if (p.stage == LocateProgress::Indexing || total <= 0) {
        progressBar_->setRange(0, 0);
    } else {
        // Counted in thousandths: a bar's range is an int, a playlist's rows need not fit one.
        progressBar_->setRange(0, 1000);
        progressBar_->setValue(static_cast<int>(done * 1000 / total));
    }
}

void LocateDialog::showResult(LocateResult result, qsizetype unreadable) {
    stopSearch();
    progress_.reset();
    unreadable_ = unreadable;
    letGo(model->reset(std::move(result)));
    table->resizeColumnToContents(LocateModel::EntryColumn);
    table->resizeColumnToContents(LocateModel::UseColumn);
    table->setColumnWidth(LocateModel::EntryColumn,
                          std::min(table->columnWidth(LocateModel::EntryColumn), 320));
    table->setColumnWidth(LocateModel::ProposalColumn, 300);
    showCounts();
    applyButton->setEnabled(model->rowCount() > 0);
    if (model->rowCount() > 0)
        table->setCurrentIndex(model->index(0, LocateModel::EntryColumn));
}

void LocateDialog::showCounts() {
    if (searching())
        return;
    const LocateResult& r = model->result();
    QString text =
        QStringLiteral(
            "%1 missing: %2 found, %3 with several candidates, %4 not "
            "found, %5 on drives not mounted; %6 ticked")
            .arg(FormatCount(static_cast<qsizetype>(r.rows.size())), FormatCount(r.found),
                 FormatCount(r.several), FormatCount(r.notFound + r.cannotWrite),
                 FormatCount(r.notMounted), FormatCount(model->tickedCount()));
    if (unreadable_ > 0)
        text += QStringLiteral("\n%1 folders could not be read").arg(FormatCount(unreadable_));
    // The largest moves, enough to recognise them; the table has every row.
    constexpr size_t kShown = 4;
    for (size_t i = 0; i < r.mappings.size() && i < kShown; ++i) {
        const LocateResult::Mapping& m = r.mappings[i];
        text += QStringLiteral("\n%1 → %2, %3 entries")
                    .arg(QFile::decodeName(m.from), QFile::decodeName(m.to), FormatCount(m.count));
    }
    if (r.mappings.size() > kShown)
        text += QStringLiteral("\nand %1 more moved folders")
                    .arg(FormatCount(static_cast<qsizetype>(r.mappings.size() - kShown)));
    counts->setText(text);
}

void LocateDialog::showCandidates() {
    candidates->clear();
    const int row = table->currentIndex().row();
    if (row < 0 || row >= model->rowCount())
        return;
    for (const QByteArray& c : model->result().rows[static_cast<size_t>(row)].candidates)
        candidates->addItem(QFile::decodeName(c));
}

void LocateDialog::takeCandidate() {
    const int row = table->currentIndex().row();
    QListWidgetItem* item = candidates->currentItem();
    if (row < 0 || !item || row >= model->rowCount())
        return;
    const LocateRow& r = model->result().rows[static_cast<size_t>(row)];
    const QByteArray file = r.candidates.at(static_cast<size_t>(candidates->row(item)));
    // A name the playlist cannot hold is shown, never taken.
    const std::optional<QByteArray> text = LocatedEntry(r.entry, file, folder_, encoding_);
    if (!text) {
        Prompts::current().showError(this, QStringLiteral("%1 cannot be written in %2")
                                               .arg(item->text(), EncodingName(encoding_)));
        return;
    }
    model->propose(row, file, *text);
}

void LocateDialog::toggleSelected() {
    std::vector<std::pair<int, int>> runs;
    bool tick = false;
    for (const QItemSelectionRange& range : table->selectionModel()->selection()) {
        runs.emplace_back(range.top(), range.bottom());
        for (int row = range.top(); row <= range.bottom() && !tick; ++row) {
            const LocateRow& r = model->result().rows[static_cast<size_t>(row)];
            tick = !r.proposal.isEmpty() && !r.ticked;
        }
    }
    model->setTicked(runs, tick);
}

bool LocateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain =
            key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
        if (watched == table && plain && key->key() == Qt::Key_Space) {
            toggleSelected();
            return true;
        }
        // Taken here, not by the dialog: Enter would otherwise apply everything as well.
        if (watched == candidates && plain &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            takeCandidate();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

EntryEdits LocateDialog::edits() const {
    const LocateResult& r = model->result();
    std::vector<int> chosen;
    chosen.reserve(static_cast<size_t>(model->tickedCount()));
    for (size_t k = 0; k < r.rows.size(); ++k)
        if (r.rows[k].ticked && !r.rows[k].proposal.isEmpty())
            chosen.push_back(static_cast<int>(k));
    return ApplyLocations(entries_, r, chosen, folder_, encoding_);
}

void LocateDialog::reject() {
    // Cancel first stops a search at work; a second one closes.
    if (searching()) {
        stopSearch();
        progress_.reset();
        counts->setText(QStringLiteral("Cancelled"));
        return;
    }
    QDialog::reject();
}

void LocateDialog::closeEvent(QCloseEvent* event) {
    // Closing the window closes it, search or not; the worker is told to stop and let go.
    stopSearch();
    QDialog::closeEvent(event);
}

}  // namespace cadrell
