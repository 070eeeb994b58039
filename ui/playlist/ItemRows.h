#pragma once

#include <QHeaderView>
#include <QStandardItemModel>

class QPainter;
class QStyleOptionViewItem;

namespace cadrell {

class ItemModel;

// The item view's column header: the sections follow the model's columns, a click sorts, the
// context menu shows and hides columns. It sits above the list's rows, scrolled with them.
class ItemHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit ItemHeader(ItemModel* items, QWidget* parent = nullptr);

    // The columns as the model has them now; sizes, order and hidden ones of known columns kept.
    void followColumns();
    // Widths, order and visible set by column name, to be remembered across starts.
    QByteArray columnState() const;
    void restoreColumnState(const QByteArray& state);

signals:
    // Widths, order or the visible set changed.
    void columnStateChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    ItemModel* items_;
    QStandardItemModel sections_;
    QStringList known_;
};

// Draws one row of the item view: each visible column's text where the header puts it, the
// file-type icon in the Title column, titles made up from the file name dimmed.
void PaintItemRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                  const QHeaderView& header, const ItemModel& items);

// The "missing" mark at the right end of a row whose file is not there.
void PaintMissingMark(QPainter* painter, const QStyleOptionViewItem& option, int right);

}  // namespace cadrell
