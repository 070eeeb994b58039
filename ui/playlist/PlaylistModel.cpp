#include "ui/playlist/PlaylistModel.h"

#include "core/playlist/PlaylistDocument.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/MissingWatch.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

#include <iterator>
#include <vector>

namespace cadrell {

PlaylistModel::PlaylistModel(PlaylistDocument* document, TSystemImageList* icons, QObject* parent)
    : QAbstractListModel(parent), document_(document), icons_(icons) {
    connect(document_, &PlaylistDocument::aboutToChange, this, [this] {
        // A row being typed into ends with any change, and the view must drop its editor.
        rowsBefore_ = editRow_ >= 0 ? -1 : rowCount();
        editRow_ = -1;
        inserted_ = false;
        iconWaiting_.clear();
    });
    connect(document_, &PlaylistDocument::changed, this, [this] { announceChange(); });
    if (icons_)
        connect(FileIcons::Instance().Lookups(), &IconLookups::answered, this,
                [this] { iconAnswersArrived(); });
}

std::optional<QByteArrayView> PlaylistModel::entryAt(int row) const {
    if (inserted_ && row >= editRow_) {
        if (row == editRow_)
            return std::nullopt;
        --row;
    }
    if (row < 0 || row >= document_->Entries().size())
        return std::nullopt;
    return document_->Entries().at(row);
}

void PlaylistModel::announceChange() {
    const int rows = rowCount();
    if (rows > 0 && rows == rowsBefore_) {
        // As many rows as before (a sort, a move, a replacement): their texts changed, and the
        // list keeps its layout; a reset would make it lay out every row again.
        emit dataChanged(index(0), index(rows - 1));
        return;
    }
    beginResetModel();
    endResetModel();
}

void PlaylistModel::iconAnswersArrived() {
    if (iconWaiting_.isEmpty() || !icons_)
        return;
    std::vector<int> changed;
    for (auto it = iconWaiting_.begin(); it != iconWaiting_.end();) {
        const std::optional<QByteArrayView> entry = entryAt(it.key());
        if (!entry) {
            it = iconWaiting_.erase(it);
            continue;
        }
        bool pending = false;
        const int index = icons_->GetEntryImageIndex(*entry, &pending);
        if (index != it.value())
            changed.push_back(it.key());
        it.value() = index;
        it = pending ? std::next(it) : iconWaiting_.erase(it);
    }
    // Told after the loop: a view may ask for the row's data again at once.
    for (int row : changed)
        emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

// The base class checks the row with hasIndex(), a second rowCount() per index; layouts of a
// million rows ask for an index per row.
QModelIndex PlaylistModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || parent.isValid() || row >= rowCount())
        return {};
    return createIndex(row, 0);
}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    // A list view addresses rows with int; a larger playlist is read but not shown past that.
    const qsizetype rows = document_->Entries().size() + (inserted_ ? 1 : 0);
    return static_cast<int>(std::min<qsizetype>(rows, INT_MAX));
}

void PlaylistModel::setEditRow(int row, bool inserted) {
    // Rows move; the painting that follows asks again for those still waiting.
    iconWaiting_.clear();
    if (inserted_) {
        beginRemoveRows({}, editRow_, editRow_);
        inserted_ = false;
        editRow_ = -1;
        endRemoveRows();
    }
    if (inserted && row >= 0) {
        beginInsertRows({}, row, row);
        editRow_ = row;
        inserted_ = true;
        endInsertRows();
    } else {
        editRow_ = row;
    }
}

QString PlaylistModel::displayText(QByteArrayView entry, TextEncoding encoding) {
    // A row shows no more than fits on any screen; the entry itself stays whole.
    constexpr qsizetype kShown = 4096;
    qsizetype shown = std::min(entry.size(), kShown);
    // Cut before a character, never inside one: back off over UTF-8 continuation bytes (at
    // most three, so a run of stray ones in a name that is not UTF-8 is still cut near the end).
    // Windows-1252 has one byte a character.
    if (shown < entry.size() && HoldsUtf8(encoding)) {
        for (int back = 0; back < 3 && (uchar(entry[shown]) & 0xC0) == 0x80; ++back)
            --shown;
        if ((uchar(entry[shown]) & 0xC0) == 0x80)
            shown = kShown;
    }
    QString text = DecodeForDisplay(entry.first(shown), encoding);
    if (entry.size() > kShown)
        text += QChar(0x2026);
    ShowZeroBytes(text);
    return text;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    int row = index.row();
    if (inserted_ && row >= editRow_) {
        if (row == editRow_)
            return role == Qt::DisplayRole || role == Qt::EditRole ? QString() : QVariant();
        --row;
    }
    if (row >= document_->Entries().size())
        return {};
    const QByteArrayView entry = document_->Entries().at(row);
    if (missing_ && (role == MissingRole || role == Qt::ForegroundRole || role == Qt::ToolTipRole ||
                     role == Qt::AccessibleDescriptionRole)) {
        if (missing_->isMissing(row))
            return missingData(role, displayText(entry, document_->Encoding));
        if (role != Qt::ToolTipRole)
            return {};
    }
    switch (role) {
        case Qt::EditRole: {
            // The whole entry, not the shortened row.
            QString text = DecodeForDisplay(entry, document_->Encoding);
            ShowZeroBytes(text);
            return text;
        }
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
        case Qt::AccessibleTextRole:
            return displayText(entry, document_->Encoding);
        case Qt::DecorationRole: {
            if (!icons_)
                return {};
            bool pending = false;
            const int icon = icons_->GetEntryImageIndex(entry, &pending);
            if (pending)
                iconWaiting_.insert(index.row(), icon);
            return icons_->Image(icon);
        }
        default:
            return {};
    }
}

QVariant PlaylistModel::missingData(int role, const QString& text) {
    switch (role) {
        case MissingRole:
            return true;
        case Qt::ForegroundRole: {
            QColor dim = QGuiApplication::palette().color(QPalette::Text);
            dim.setAlphaF(0.5f);
            return QBrush(dim);
        }
        case Qt::ToolTipRole:
            return tr("%1\nMissing: there is no such file").arg(text);
        case Qt::AccessibleDescriptionRole:
            return tr("missing");
        default:
            return {};
    }
}

Qt::ItemFlags PlaylistModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    const Qt::ItemFlags flags =
        Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    return index.row() == editRow_ ? flags | Qt::ItemIsEditable : flags;
}

}  // namespace cadrell
