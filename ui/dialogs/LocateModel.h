#pragma once

#include <QAbstractTableModel>

#include "core/playlist/Relocate.h"

namespace cadrell {

// The rows of a Locate Missing Files result as a table. Rows are read only when painted, so a
// result of a hundred thousand rows is shown as fast as one of ten; ticking many rows at once is
// one change of the model, not one per row.
class LocateModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { EntryColumn, ProposalColumn, UseColumn, ReasonColumn, ColumnCount };

    LocateModel(QObject* parent, TextEncoding encoding);

    const LocateResult& result() const { return result_; }
    // The new result in place of the old; the old one is handed back, for the caller to let go
    // of where it costs nothing.
    LocateResult reset(LocateResult result);
    qsizetype tickedCount() const { return ticked_; }

    // Only rows with a proposal take a tick. Returns how many rows changed.
    qsizetype setTicked(const std::vector<std::pair<int, int>>& runs, bool ticked);
    qsizetype setAllTicked(bool ticked);
    // The user's choice of file for a row, with its entry text; the row is ticked.
    void propose(int row, const QByteArray& file, const QByteArray& replacement);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void tickedChanged();

private:
    TextEncoding encoding_;
    LocateResult result_;
    qsizetype ticked_ = 0;
};

}  // namespace cadrell
