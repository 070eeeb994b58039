#include "ui/playlist/ItemModel.h"

#include "core/platform/PathParts.h"
#include "core/playlist/Extinf.h"
#include "core/playlist/PlaylistDocument.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/MissingWatch.h"
#include "ui/playlist/PlaylistModel.h"

namespace cadrell {

ItemModel::ItemModel(PlaylistDocument* document, TSystemImageList* icons, QObject* parent)
    : QAbstractListModel(parent), document_(document), icons_(icons) {
    connect(document_, &PlaylistDocument::changed, this, [this] {
        stale_ = true;
        if (!active_)
            return;
        const int before = table_.rowCount();
        rebuild();
        if (before > 0 && table_.rowCount() == before) {
            // The same number of rows: a reset would lay out every row again.
            emit dataChanged(index(0), index(before - 1));
            return;
        }
        beginResetModel();
        endResetModel();
    });
}

void ItemModel::setActive(bool active) {
    if (active_ == active)
        return;
    if (active && stale_) {
        beginResetModel();
        active_ = true;
        rebuild();
        endResetModel();
        return;
    }
    active_ = active;
}

void ItemModel::rebuild() {
    table_.rebuild(document_->Entries());
    stale_ = false;
}

int ItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !active_ ? 0 : table_.rowCount();
}

QStringList ItemModel::columnNames() const {
    QStringList names = {tr("#"),    tr("Title"),  tr("Duration"),
                         tr("File"), tr("Folder"), tr("Group")};
    for (const QByteArray& name : attributes_)
        names << QString::fromUtf8(name);
    return names;
}

ItemColumn ItemModel::columnKind(int column) const {
    switch (column) {
        case Number:
            return ItemColumn::Number;
        case Title:
            return ItemColumn::Title;
        case Duration:
            return ItemColumn::Duration;
        case File:
            return ItemColumn::File;
        case Folder:
            return ItemColumn::Folder;
        case Group:
            return ItemColumn::Group;
        default:
            return ItemColumn::Attribute;
    }
}

QByteArray ItemModel::attributeOf(int column) const {
    const int k = column - FirstAttribute;
    return k >= 0 && k < static_cast<int>(attributes_.size()) ? attributes_[static_cast<size_t>(k)]
                                                              : QByteArray();
}

void ItemModel::setAttributes(std::vector<QByteArray> names) {
    if (names == attributes_)
        return;
    attributes_ = std::move(names);
    emit columnsChanged();
}

QString ItemModel::cellText(int row, int column) const {
    if (row < 0 || row >= table_.rowCount())
        return {};
    const EntryList& entries = document_->Entries();
    const int item = table_.itemOfRow(row);
    if (item < 0)
        return column == Title ? PlaylistModel::displayText(entries.at(table_.firstLine(row)),
                                                            document_->Encoding)
                               : QString();
    const Item it = table_.item(item);
    auto shown = [&](QByteArrayView bytes) {
        return PlaylistModel::displayText(bytes, document_->Encoding);
    };
    switch (column) {
        case Number:
            return QString::number(item + 1);
        case Duration:
            return FormatDuration(ItemSeconds(entries, it));
        case Folder:
            return shown(DisplayPath(ItemFolder(entries, it)));
        default:
            return shown(ItemCell(entries, it, columnKind(column), attributeOf(column)));
    }
}

QVariant ItemModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    if (!index.isValid() || row >= table_.rowCount())
        return {};
    const int item = table_.itemOfRow(row);
    if (missing_ && item >= 0 &&
        (role == PlaylistModel::MissingRole || role == Qt::ForegroundRole ||
         role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole)) {
        const int line = table_.item(item).entry;
        const QByteArrayView entry = document_->Entries().at(line);
        if (missing_->isMissing(line))
            return PlaylistModel::missingData(
                role, PlaylistModel::displayText(entry, document_->Encoding));
        if (role != Qt::ToolTipRole)
            return {};
    }
    switch (role) {
        case LooseLineRole:
            return item < 0;
        case DimTitleRole:
            return item >= 0 && ItemTitle(document_->Entries(), table_.item(item)).isEmpty();
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: {
            if (item < 0)
                return cellText(row, Title);
            // Read as a row of the table: the title, then what else is known of it.
            QStringList parts = {cellText(row, Title)};
            for (int c : {Duration, Group, File})
                if (const QString text = cellText(row, c); !text.isEmpty())
                    parts << text;
            return parts.join(QLatin1String(", "));
        }
        case Qt::ToolTipRole: {
            if (item < 0)
                return cellText(row, Title);
            return PlaylistModel::displayText(document_->Entries().at(table_.item(item).entry),
                                              document_->Encoding);
        }
        case Qt::DecorationRole: {
            if (!icons_ || item < 0)
                return {};
            const Item it = table_.item(item);
            return icons_->Image(icons_->GetEntryImageIndex(document_->Entries().at(it.entry)));
        }
        default:
            return {};
    }
}

Qt::ItemFlags ItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

}  // namespace cadrell
