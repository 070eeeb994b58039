#include "ui/playlist/ItemRows.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionViewItem>

#include "ui/playlist/ItemModel.h"
#include "ui/playlist/PlaylistModel.h"

namespace cadrell {

namespace {

int defaultWidth(int column) {
    switch (column) {
        case ItemModel::Number:
            return 56;
        case ItemModel::Title:
            return 300;
        case ItemModel::Duration:
            return 72;
        case ItemModel::File:
            return 200;
        case ItemModel::Folder:
            return 260;
        default:
            return 140;
    }
}

}  // namespace

ItemHeader::ItemHeader(ItemModel* items, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), items_(items) {
    setObjectName(QStringLiteral("ItemHeader"));
    setAccessibleName(tr("Columns"));
    setSectionsMovable(true);
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setSortIndicator(-1, Qt::AscendingOrder);
    setHighlightSections(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setModel(&sections_);
    followColumns();
    auto changed = [this] { emit columnStateChanged(); };
    connect(this, &QHeaderView::sectionResized, this, changed);
    connect(this, &QHeaderView::sectionMoved, this, changed);
}

void ItemHeader::followColumns() {
    const QStringList names = items_->columnNames();
    if (names == known_)
        return;
    const QByteArray state = known_.isEmpty() ? QByteArray() : columnState();
    sections_.setColumnCount(static_cast<int>(names.size()));
    sections_.setHorizontalHeaderLabels(names);
    for (int c = 0; c < names.size(); ++c) {
        resizeSection(c, defaultWidth(c));
        setSectionHidden(c, c >= ItemModel::FirstAttribute);
    }
    // A channel list is read by its groups: Group comes right after the length at first.
    if (known_.isEmpty())
        moveSection(visualIndex(ItemModel::Group), ItemModel::File);
    known_ = names;
    if (!state.isEmpty())
        restoreColumnState(state);
}

QByteArray ItemHeader::columnState() const {
    // By name, so the columns of attributes keep their settings in another playlist.
    QByteArray state;
    for (int v = 0; v < count(); ++v) {
        const int c = logicalIndex(v);
        if (!state.isEmpty())
            state += '\n';
        state += known_.value(c).toUtf8() + '\t' + QByteArray::number(sectionSize(c)) + '\t' +
                 (isSectionHidden(c) ? '0' : '1');
    }
    return state;
}

void ItemHeader::restoreColumnState(const QByteArray& state) {
    int visual = 0;
    for (const QByteArray& line : state.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        const int c = static_cast<int>(known_.indexOf(QString::fromUtf8(fields[0])));
        if (c < 0)
            continue;
        moveSection(visualIndex(c), visual++);
        const int width = fields[1].toInt();
        if (width > 8 && width < 10000)
            resizeSection(c, width);
        // The title is what the view is for: it is never hidden.
        setSectionHidden(c, fields[2] == "0" && c != ItemModel::Title);
    }
}

void ItemHeader::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.setAccessibleName(tr("Columns"));
    for (int c = 0; c < count(); ++c) {
        QAction* action = menu.addAction(known_.value(c));
        action->setCheckable(true);
        action->setChecked(!isSectionHidden(c));
        action->setEnabled(c != ItemModel::Title);
        connect(action, &QAction::toggled, this, [this, c](bool shown) {
            setSectionHidden(c, !shown);
            emit columnStateChanged();
        });
    }
    menu.exec(event->globalPos());
}

void PaintMissingMark(QPainter* painter, const QStyleOptionViewItem& option, int right) {
    const QString mark = QHeaderView::tr("missing");
    QFont font = option.font;
    font.setItalic(true);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(mark) + 12;
    const QRect box(right - width, option.rect.top() + 1, width, option.rect.height() - 2);
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setBrush(option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    painter->setPen(Qt::NoPen);
    painter->drawRect(box);
    painter->setFont(font);
    QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    text.setAlphaF(0.7f);
    painter->setPen(text);
    painter->drawText(box.adjusted(6, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, mark);
    painter->restore();
}

void PaintItemRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                  const QHeaderView& header, const ItemModel& items) {
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem base(option);
    base.text.clear();
    base.icon = QIcon();
    base.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
    // The whole row first, so the selection runs past the last column too.
    style->drawControl(QStyle::CE_ItemViewItem, &base, painter, widget);
    const bool loose = index.data(ItemModel::LooseLineRole).toBool();
    const bool dim = index.data(ItemModel::DimTitleRole).toBool();
    const bool selected = option.state & QStyle::State_Selected;
    const int row = index.row();
    for (int v = 0; v < header.count(); ++v) {
        const int c = header.logicalIndex(v);
        if (header.isSectionHidden(c))
            continue;
        const int x = header.sectionViewportPosition(c);
        int width = header.sectionSize(c);
        if (loose) {
            // A line of its own reads across the columns, from the first one shown.
            width = option.rect.right() - x;
        }
        QStyleOptionViewItem cell(base);
        cell.rect = QRect(x, option.rect.top(), width, option.rect.height());
        if (cell.rect.right() < option.rect.left() || cell.rect.left() > option.rect.right())
            continue;
        cell.state &= ~QStyle::State_HasFocus;
        cell.text = items.cellText(row, loose ? ItemModel::Title : c);
        cell.features |= QStyleOptionViewItem::HasDisplay;
        cell.textElideMode = Qt::ElideRight;
        if (!loose && (c == ItemModel::Duration || c == ItemModel::Number))
            cell.displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        if ((c == ItemModel::Title || loose) && !option.icon.isNull()) {
            cell.icon = option.icon;
            cell.features |= QStyleOptionViewItem::HasDecoration;
        }
        if (c == ItemModel::Title && dim && !selected &&
            !index.data(PlaylistModel::MissingRole).toBool()) {
            QColor text = cell.palette.color(QPalette::Text);
            text.setAlphaF(0.55f);
            cell.palette.setColor(QPalette::Text, text);
        }
        cell.backgroundBrush = Qt::NoBrush;
        // Only the text and icon: the row's background is already drawn.
        cell.state &= ~QStyle::State_Selected;
        if (selected)
            cell.palette.setColor(
                QPalette::Text,
                option.palette.color(
                    option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive,
                    QPalette::HighlightedText));
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        if (loose)
            break;
    }
    if (index.data(PlaylistModel::MissingRole).toBool())
        if (const auto* view = qobject_cast<const QAbstractItemView*>(widget))
            PaintMissingMark(painter, option,
                             std::min(option.rect.right(), view->viewport()->width()));
}

}  // namespace cadrell
