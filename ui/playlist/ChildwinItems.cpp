// The item view of a document window: mapping its rows to lines, sorting by a column, typing
// into a cell.

#include <QCursor>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include "core/platform/Background.h"
#include "core/platform/Error.h"
#include "core/platform/Strings.h"
#include "core/playlist/Editing.h"
#include "core/playlist/Extinf.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/DocumentHost.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/ItemModel.h"
#include "ui/playlist/ItemRows.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"
#include "ui/playlist/PlaylistTools.h"

namespace cadrell {

namespace {

const char* const kColumnSteps[] = {"Sort by Number", "Sort by Title",  "Sort by Duration",
                                    "Sort by File",   "Sort by Folder", "Sort by Group"};
const char* const kEditSteps[] = {"Edit Number", "Edit Title",  "Edit Duration",
                                  "Edit File",   "Edit Folder", "Edit Group"};

}  // namespace

void TMDIChild::setItemView(bool items) {
    if (items == itemView_ && (itemModel_ || !items))
        return;
    const std::vector<int> lines = selectedLines();
    const QModelIndex current = ListView1->currentIndex();
    const int currentLine = !current.isValid() ? -1
                            : itemView_        ? itemModel_->table().firstLine(current.row())
                                               : current.row();
    if (items && !itemModel_) {
        itemModel_ = new ItemModel(&Document, host_.imageList(), this);
        itemModel_->setMissingWatch(missing_);
        itemHeader_ = new ItemHeader(itemModel_, ListView1);
        itemHeader_->restoreColumnState(host_.itemColumnState());
        connect(itemModel_, &ItemModel::columnsChanged, itemHeader_, [this] {
            itemHeader_->followColumns();
            itemHeader_->restoreColumnState(host_.itemColumnState());
            if (findBar_)
                findBar_->setLookInChoices(itemModel_->attributes(), itemView_);
        });
        connect(itemHeader_, &ItemHeader::columnStateChanged, this,
                [this] { host_.setItemColumnState(itemHeader_->columnState()); });
        connect(itemHeader_, &QHeaderView::sectionClicked, this, [this](int column) {
            Guarded([&] { sortByColumn(column); });
            afterCommand();
        });
        connect(&Document, &PlaylistDocument::changed, this, [this] {
            // The header shows the order only while the rows stand in it.
            if (!keepSortIndicator_ && sortedColumn_ >= 0) {
                sortedColumn_ = -1;
                itemHeader_->setSortIndicator(-1, Qt::AscendingOrder);
            }
            if (itemView_) {
                lookForAttributes();
                // The counts are of items, known only now that the rows are rebuilt.
                host_.refreshStatus(this);
            }
        });
        connect(ListView1, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) {
            if (!itemView_)
                return;
            const QPoint at = ListView1->viewport()->mapFromGlobal(QCursor::pos());
            editCell(itemHeader_->logicalIndexAt(at.x()));
        });
    }
    if (editor_ && editor_->isEditing())
        editor_->cancel();
    QItemSelectionModel* old = ListView1->selectionModel();
    itemView_ = items;
    if (itemModel_)
        itemModel_->setActive(items);
    if (items) {
        itemHeader_->restoreColumnState(host_.itemColumnState());
        ListView1->setColumns(itemHeader_, itemModel_);
        ListView1->setModel(itemModel_);
        lookForAttributes();
    } else {
        ListView1->setColumns(nullptr, nullptr);
        ListView1->setModel(model_);
    }
    if (old && old != ListView1->selectionModel())
        old->deleteLater();
    if (findBar_)
        findBar_->setLookInChoices(
            itemModel_ ? itemModel_->attributes() : std::vector<QByteArray>(), items);
    followSelection();
    selectLines(lines, currentLine);
    host_.refreshStatus(this);
}

void TMDIChild::lookForAttributes() {
    // Every #EXTINF line of a large list is read on a worker; the columns come when it is done.
    // Even the copy of the list it reads is made after the command's own work, in an event of
    // its own, so that the two never hold the window together.
    const quint64 look = ++attributeLook_;
    QTimer::singleShot(0, this, [this, look] {
        if (look == attributeLook_)
            startAttributeLook(look);
    });
}

void TMDIChild::startAttributeLook(quint64 look) {
    RunDetached(
        this,
        [entries = Document.Entries()] {
            LowerThisThreadsPriority();
            return AttributeNames(entries, FindItems(entries));
        },
        [this, look](std::vector<QByteArray> names) {
            if (look == attributeLook_ && itemModel_)
                itemModel_->setAttributes(std::move(names));
        });
}

void TMDIChild::followSelection() {
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!showingChanges_)
            selectionFromHistory_ = false;
        host_.refreshStatus(this);
    });
}

void TMDIChild::followItemView(FindBar* bar) {
    if (itemView_)
        bar->setLookInChoices(itemModel_->attributes(), true);
    // In the item view a match anywhere in an item finds the item.
    bar->setRowMap({[this](const std::vector<int>& lines) {
                        return itemView_ ? itemModel_->table().rowsOfLines(lines) : lines;
                    },
                    [this](const std::vector<int>& rows) {
                        return itemView_ ? itemModel_->table().linesOfRows(rows) : rows;
                    }});
}

std::vector<int> TMDIChild::selectedLines() const {
    std::vector<int> rows = ListView1->selectedPositions();
    return itemView_ ? itemModel_->table().linesOfRows(rows) : rows;
}

int TMDIChild::rowOfLine(int line) const {
    if (!itemView_ || line < 0)
        return line;
    const ItemTable& table = itemModel_->table();
    if (table.rowCount() == 0)
        return -1;
    if (line >= Document.Entries().size())
        return table.rowCount() - 1;
    return table.rowOfLine(line);
}

void TMDIChild::selectLines(const std::vector<int>& lines, int focus, bool fromHistory) {
    const std::vector<int> rows = itemView_ ? itemModel_->table().rowsOfLines(lines) : lines;
    showingChanges_ = fromHistory;
    selectRows(rows, rowOfLine(focus));
    showingChanges_ = false;
}

void TMDIChild::selectRows(const std::vector<int>& rows, int focusRow) {
    ListView1->selectRows(rows, focusRow);
}

std::vector<int> TMDIChild::insertionLines() const {
    const std::vector<int> rows = ListView1->selectedPositions();
    const int line = itemModel_->table().insertionLine(rows.empty() ? -1 : rows.front());
    return line < 0 ? std::vector<int>() : std::vector<int>{line};
}

QString TMDIChild::itemCountsText() const {
    if (!itemView_)
        return {};
    const ItemTable& table = itemModel_->table();
    const qsizetype items = table.itemCount();
    QString text = items == 1 ? tr("1 item") : tr("%1 items").arg(strings::FormatCount(items));
    if (const qsizetype selected = ListView1->selectedCount())
        text += tr(", %1 selected").arg(strings::FormatCount(selected));
    if (table.timedItems() > 0)
        text += QStringLiteral(", ") + FormatTotalDuration(table.totalSeconds());
    return text;
}

void TMDIChild::sortByColumn(int column) {
    if (!itemView_ || column < 0)
        return;
    const bool descending = column == sortedColumn_ && !sortedDescending_;
    const QString name =
        column < ItemModel::FirstAttribute
            ? QString::fromLatin1(kColumnSteps[column])
            : tr("Sort by %1").arg(QString::fromUtf8(itemModel_->attributeOf(column)));
    tools_->sortByColumn(itemModel_->columnKind(column), itemModel_->attributeOf(column),
                         descending, name, [this, column, descending] {
                             keepSortIndicator_ = true;
                             QTimer::singleShot(0, this, [this] { keepSortIndicator_ = false; });
                             sortedColumn_ = column;
                             sortedDescending_ = descending;
                             itemHeader_->setSortIndicator(
                                 column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
                         });
}

void TMDIChild::fillColumnSortMenu() {
    MenuSortColumn->clear();
    if (!itemView_) {
        MenuSortColumn->addAction(tr("(in the item view: View > Items)"))->setEnabled(false);
        return;
    }
    const QStringList names = itemModel_->columnNames();
    for (int v = 0; v < itemHeader_->count(); ++v) {
        const int column = itemHeader_->logicalIndex(v);
        if (itemHeader_->isSectionHidden(column))
            continue;
        QString caption = names.value(column);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* item = MenuSortColumn->addAction(caption);
        connect(item, &QAction::triggered, this, [this, column] {
            Guarded([&] { sortByColumn(column); });
            afterCommand();
        });
    }
}

void TMDIChild::editCell(int column) {
    if (!itemView_)
        return;
    if (column < 0)
        column = editColumn_;
    const QModelIndex current = ListView1->currentIndex();
    if (!current.isValid())
        return;
    const ItemTable& table = itemModel_->table();
    const int item = table.itemOfRow(current.row());
    if (item < 0) {
        // A line of its own is typed into as a whole line.
        const int line = table.firstLine(current.row());
        bool ok = false;
        const QString text = QInputDialog::getText(
            this, tr("Edit Entry"), tr("Line:"), QLineEdit::Normal,
            DecodeForDisplay(Document.Entries().at(line), Document.Encoding), &ok);
        if (!ok)
            return;
        EntryList texts;
        texts.append(encoded(text, PlaylistTools::textForm(Document.Encoding)));
        Change change = Change::replace({line}, std::move(texts));
        change.dropUnchanged(Document.Entries());
        Document.perform(std::move(change), tr("Edit Entry"));
        return;
    }
    if (column == ItemModel::Number)
        column = ItemModel::Title;
    editColumn_ = column;
    const Item it = table.item(item);
    const EntryList& entries = Document.Entries();
    const ItemColumn kind = itemModel_->columnKind(column);
    const QByteArray attribute = itemModel_->attributeOf(column);
    QString value;
    if (kind == ItemColumn::Duration)
        value = FormatDuration(ItemSeconds(entries, it));
    else if (kind != ItemColumn::Title || !ItemTitle(entries, it).isEmpty())
        value = DecodeForDisplay(ItemCell(entries, it, kind, attribute), Document.Encoding);

    auto* field = new QLineEdit(ListView1->viewport());
    field->setObjectName(QStringLiteral("CellEditor"));
    field->setAccessibleName(itemModel_->columnNames().value(column));
    field->setText(value);
    field->selectAll();
    const QRect row = ListView1->visualRect(current);
    field->setGeometry(itemHeader_->sectionViewportPosition(column), row.top(),
                       std::max(itemHeader_->sectionSize(column), 120), row.height());
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    const QString step = column < ItemModel::FirstAttribute
                             ? QString::fromLatin1(kEditSteps[column])
                             : tr("Edit %1").arg(QString::fromUtf8(attribute));
    auto finished = std::make_shared<bool>(false);
    auto finish = [this, field, finished, it, kind, attribute, step](bool keep) {
        if (*finished)
            return;
        *finished = true;
        const QString text = field->text();
        field->hide();
        field->deleteLater();
        ListView1->setFocus(Qt::OtherFocusReason);
        if (!keep)
            return;
        Guarded([&] {
            const std::shared_ptr<std::atomic<bool>> unheld =
                std::make_shared<std::atomic<bool>>(false);
            const QByteArray bytes =
                encoded(text, PlaylistTools::textForm(Document.Encoding, unheld));
            if (*unheld)
                throw Error(tr("%1 cannot hold some of these characters")
                                .arg(EncodingName(Document.Encoding)));
            const int at = ListView1->currentIndex().row();
            Document.perform(EditItemCell(Document.Entries(), it, kind, attribute, bytes), step);
            selectRows({at}, at);
        });
        afterCommand();
    };
    connect(field, &QLineEdit::returnPressed, this, [finish] { finish(true); });
    connect(field, &QLineEdit::editingFinished, this, [finish] { finish(true); });
    auto* escape = new QAction(field);
    escape->setShortcut(Qt::Key_Escape);
    escape->setShortcutContext(Qt::WidgetShortcut);
    field->addAction(escape);
    connect(escape, &QAction::triggered, this, [finish] { finish(false); });
    // Tab and Shift+Tab keep what was typed and go on to the next or previous column shown.
    for (const bool forward : {true, false}) {
        auto* next = new QAction(field);
        next->setShortcut(forward ? QKeySequence(Qt::Key_Tab)
                                  : QKeySequence(Qt::SHIFT | Qt::Key_Backtab));
        next->setShortcutContext(Qt::WidgetShortcut);
        field->addAction(next);
        connect(next, &QAction::triggered, this, [this, finish, column, forward] {
            finish(true);
            int visual = itemHeader_->visualIndex(column);
            for (int tries = 0; tries < itemHeader_->count(); ++tries) {
                visual = (visual + (forward ? 1 : itemHeader_->count() - 1)) % itemHeader_->count();
                const int c = itemHeader_->logicalIndex(visual);
                if (c != ItemModel::Number && !itemHeader_->isSectionHidden(c)) {
                    QTimer::singleShot(0, this, [this, c] { editCell(c); });
                    return;
                }
            }
        });
    }
}

void TMDIChild::insertItem() {
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Insert Entry"), tr("File or address:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok || text.trimmed().isEmpty())
        return;
    const std::vector<int> at = insertionLines();
    EntryList texts;
    texts.append(encoded(text, PlaylistTools::textForm(Document.Encoding)));
    const int line = at.empty() ? static_cast<int>(Document.Entries().size()) : at.front();
    Document.perform(Change::insertAt(line, texts), tr("Insert Entry"));
    selectLines({line}, line);
}

}  // namespace cadrell
