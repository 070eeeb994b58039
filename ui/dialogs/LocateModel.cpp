#include "ui/dialogs/LocateModel.h"

#include <QFile>

namespace cadrell {

namespace {

qsizetype countTicked(const LocateResult& result) {
    qsizetype n = 0;
    for (const LocateRow& r : result.rows)
        n += r.ticked ? 1 : 0;
    return n;
}

}  // namespace

LocateModel::LocateModel(QObject* parent, TextEncoding encoding)
    : QAbstractTableModel(parent), encoding_(encoding) {}

LocateResult LocateModel::reset(LocateResult result) {
    beginResetModel();
    std::swap(result_, result);
    ticked_ = countTicked(result_);
    endResetModel();
    emit tickedChanged();
    return result;
}

qsizetype LocateModel::setTicked(const std::vector<std::pair<int, int>>& runs, bool ticked) {
    qsizetype changed = 0;
    for (const auto& [first, last] : runs) {
        int lo = -1, hi = -1;
        for (int row = std::max(first, 0); row <= last && row < rowCount(); ++row) {
            LocateRow& r = result_.rows[static_cast<size_t>(row)];
            if (r.proposal.isEmpty() || r.ticked == ticked)
                continue;
            r.ticked = ticked;
            ticked_ += ticked ? 1 : -1;
            ++changed;
            if (lo < 0)
                lo = row;
            hi = row;
        }
        // One notice per run: a view asked about a hundred thousand single rows repaints as often.
        if (lo >= 0)
            emit dataChanged(index(lo, UseColumn), index(hi, UseColumn), {Qt::CheckStateRole});
    }
    if (changed)
        emit tickedChanged();
    return changed;
}

qsizetype LocateModel::setAllTicked(bool ticked) {
    return setTicked({{0, rowCount() - 1}}, ticked);
}

void LocateModel::propose(int row, const QByteArray& file, const QByteArray& replacement) {
    if (row < 0 || row >= rowCount())
        return;
    LocateRow& r = result_.rows[static_cast<size_t>(row)];
    r.proposal = file;
    r.replacement = replacement;
    if (!r.ticked)
        ++ticked_;
    r.ticked = true;
    emit dataChanged(index(row, EntryColumn), index(row, ReasonColumn));
    emit tickedChanged();
}

int LocateModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(result_.rows.size());
}

int LocateModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LocateModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const LocateRow& r = result_.rows[static_cast<size_t>(index.row())];
    if (role == Qt::CheckStateRole && index.column() == UseColumn)
        return r.proposal.isEmpty() ? QVariant() : (r.ticked ? Qt::Checked : Qt::Unchecked);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
        case EntryColumn:
            return DecodeForDisplay(r.entry, encoding_);
        case ProposalColumn:
            return QFile::decodeName(r.proposal);
        case UseColumn:
            // A screen reader says what the box means; the box itself shows no text.
            if (role != Qt::AccessibleTextRole)
                return {};
            return r.proposal.isEmpty()
                       ? QStringLiteral("nothing to use")
                       : (r.ticked ? QStringLiteral("used") : QStringLiteral("not used"));
        case ReasonColumn:
            return r.note;
    }
    return {};
}

bool LocateModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != UseColumn || role != Qt::CheckStateRole)
        return false;
    const bool tick = value.value<Qt::CheckState>() == Qt::Checked;
    return setTicked({{index.row(), index.row()}}, tick) > 0;
}

Qt::ItemFlags LocateModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == UseColumn &&
        !result_.rows[static_cast<size_t>(index.row())].proposal.isEmpty())
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant LocateModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
        case EntryColumn:
            return QStringLiteral("Entry");
        case ProposalColumn:
            return QStringLiteral("Proposed file");
        case UseColumn:
            return QStringLiteral("Use");
        case ReasonColumn:
            return QStringLiteral("Reason");
    }
    return {};
}

}  // namespace cadrell
