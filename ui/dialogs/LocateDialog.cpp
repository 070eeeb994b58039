#include "ui/dialogs/LocateDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <thread>

#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "core/playlist/Items.h"
#include "core/playlist/MissingFiles.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

QPushButton* button(const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setAccessibleName(QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    return b;
}

QString shown(const QByteArray& bytes, TextEncoding encoding) {
    return DecodeForDisplay(bytes, encoding);
}

// The rows to look for: the missing local entries among `rows`, and the entries in another
// system's form (drive letters, "\" paths), which never exist here.
std::vector<int> missingAmong(const EntryList& entries, const std::vector<int>& rows,
                              const QByteArray& folder, const std::atomic<bool>& cancel) {
    std::vector<QByteArray> texts;
    std::vector<int> which;
    for (int r : rows) {
        texts.push_back(entries.bytes(r));
        which.push_back(r);
    }
    const MissingFiles missing = FindMissingFiles(texts, folder, {}, &cancel);
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

    table = new QTableWidget(0, 3, this);
    table->setAccessibleName(QStringLiteral("Missing entries"));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Entry"), QStringLiteral("Proposed file"), QStringLiteral("Reason")});
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    auto* tableLabel = new QLabel(QStringLiteral("&Found (tick the rows to change):"), this);
    tableLabel->setBuddy(table);
    connect(table, &QTableWidget::currentCellChanged, this, [this] { showCandidates(); });
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != 0)
            return;
        const size_t k = static_cast<size_t>(item->data(Qt::UserRole).toInt());
        if (k < result_.rows.size())
            result_.rows[k].ticked = item->checkState() == Qt::Checked;
    });

    candidates = new QListWidget(this);
    candidates->setAccessibleName(QStringLiteral("Other candidates"));
    candidates->setMaximumHeight(90);
    auto* candidatesLabel =
        new QLabel(QStringLiteral("&Other candidates (Enter takes one):"), this);
    candidatesLabel->setBuddy(candidates);
    connect(candidates, &QListWidget::itemActivated, this, [this] { takeCandidate(); });

    counts = new QLabel(this);
    counts->setAccessibleName(QStringLiteral("Counts"));
    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    progress_->setRange(0, 0);
    progress_->hide();

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
    auto* status = new QHBoxLayout;
    status->addWidget(counts, 1);
    status->addWidget(progress_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(foldersLabel);
    layout->addLayout(folderRow);
    layout->addWidget(tableLabel);
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
    if (cancel_)
        *cancel_ = true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    std::vector<QByteArray> roots;
    for (const QString& f : searchFolders())
        roots.push_back(QFile::encodeName(f));
    applyButton->setEnabled(false);
    table->setRowCount(0);
    candidates->clear();
    counts->setText(QStringLiteral("Searching…"));
    progress_->show();
    QPointer<LocateDialog> self(this);
    std::thread([self, cancel, roots, deep = subfolders->isChecked(), entries = entries_,
                 rows = rows_, folder = folder_, encoding = encoding_] {
        LocateResult result;
        try {
            const std::vector<int> missing = missingAmong(entries, rows, folder, *cancel);
            const FileIndex index = IndexFolders(roots, deep, *cancel, {});
            result = LocateMissing(entries, missing, folder, encoding, index, MountTable::current(),
                                   *cancel);
        } catch (const std::exception&) {
            result.cancelled = true;
        }
        if (*cancel)
            return;
        QMetaObject::invokeMethod(
            qApp,
            [self, cancel, result = std::move(result)]() mutable {
                if (self && self->cancel_ == cancel)
                    self->showResult(std::move(result));
            },
            Qt::QueuedConnection);
    }).detach();
}

void LocateDialog::showResult(LocateResult result) {
    cancel_.reset();
    progress_->hide();
    result_ = std::move(result);
    filling_ = true;
    table->setRowCount(static_cast<int>(result_.rows.size()));
    for (size_t k = 0; k < result_.rows.size(); ++k) {
        const LocateRow& r = result_.rows[k];
        const int row = static_cast<int>(k);
        auto* entry = new QTableWidgetItem(shown(r.entry, encoding_));
        entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                        (r.proposal.isEmpty() ? Qt::NoItemFlags : Qt::ItemIsUserCheckable));
        entry->setCheckState(r.ticked ? Qt::Checked : Qt::Unchecked);
        entry->setData(Qt::UserRole, row);
        table->setItem(row, 0, entry);
        table->setItem(row, 1, new QTableWidgetItem(QFile::decodeName(r.proposal)));
        table->setItem(row, 2, new QTableWidgetItem(r.note));
    }
    filling_ = false;
    table->resizeColumnsToContents();
    using strings::FormatCount;
    QString text = QStringLiteral(
                       "%1 missing: %2 found, %3 with several candidates, %4 not "
                       "found, %5 on drives not mounted")
                       .arg(FormatCount(static_cast<qsizetype>(result_.rows.size())),
                            FormatCount(result_.found), FormatCount(result_.several),
                            FormatCount(result_.notFound), FormatCount(result_.notMounted));
    for (const LocateResult::Mapping& m : result_.mappings)
        text += QStringLiteral("\n%1 → %2, %3 entries")
                    .arg(QFile::decodeName(m.from), QFile::decodeName(m.to), FormatCount(m.count));
    counts->setText(text);
    applyButton->setEnabled(!result_.rows.empty());
    if (!result_.rows.empty())
        table->setCurrentCell(0, 0);
}

void LocateDialog::showCandidates() {
    candidates->clear();
    const int row = table->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= result_.rows.size())
        return;
    for (const QByteArray& c : result_.rows[static_cast<size_t>(row)].candidates)
        candidates->addItem(QFile::decodeName(c));
}

void LocateDialog::takeCandidate() {
    const int row = table->currentRow();
    QListWidgetItem* item = candidates->currentItem();
    if (row < 0 || !item || static_cast<size_t>(row) >= result_.rows.size())
        return;
    LocateRow& r = result_.rows[static_cast<size_t>(row)];
    const QByteArray file = QFile::encodeName(item->text());
    // A name the playlist cannot hold is shown, never taken.
    if (!LocatedEntry(r.entry, file, folder_, encoding_)) {
        Prompts::current().showError(this, QStringLiteral("%1 cannot be written in %2")
                                               .arg(item->text(), EncodingName(encoding_)));
        return;
    }
    r.proposal = file;
    r.ticked = true;
    filling_ = true;
    table->item(row, 0)->setFlags(table->item(row, 0)->flags() | Qt::ItemIsUserCheckable);
    table->item(row, 0)->setCheckState(Qt::Checked);
    table->item(row, 1)->setText(item->text());
    filling_ = false;
}

EntryEdits LocateDialog::edits() const {
    std::vector<int> chosen;
    for (size_t k = 0; k < result_.rows.size(); ++k)
        if (result_.rows[k].ticked && !result_.rows[k].proposal.isEmpty())
            chosen.push_back(static_cast<int>(k));
    return ApplyLocations(entries_, result_, chosen, folder_, encoding_);
}

void LocateDialog::reject() {
    // Cancel first stops a search at work; a second one closes.
    if (cancel_) {
        *cancel_ = true;
        cancel_.reset();
        progress_->hide();
        counts->setText(QStringLiteral("Cancelled"));
        return;
    }
    QDialog::reject();
}

}  // namespace cadrell
