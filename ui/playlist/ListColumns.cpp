// The list in the item view: its header placed above the rows and scrolled sideways with them.

#include <QHeaderView>
#include <QScrollBar>

#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

void PlaylistListView::setColumns(QHeaderView* header, const ItemModel* items) {
    if (header_ == header)
        return;
    if (header_) {
        header_->hide();
        disconnect(header_, nullptr, this, nullptr);
        disconnect(horizontalScrollBar(), nullptr, header_, nullptr);
    }
    header_ = header;
    items_ = items;
    if (header_) {
        header_->setParent(this);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setViewportMargins(0, header_->sizeHint().height(), 0, 0);
        auto relayout = [this] {
            scheduleDelayedItemsLayout();
            viewport()->update();
        };
        connect(header_, &QHeaderView::sectionResized, this, relayout);
        connect(header_, &QHeaderView::sectionMoved, this, relayout);
        connect(header_, &QHeaderView::sectionCountChanged, this, relayout);
        connect(horizontalScrollBar(), &QScrollBar::valueChanged, header_, &QHeaderView::setOffset);
        header_->setOffset(horizontalScrollBar()->value());
        placeHeader();
        header_->show();
    } else {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setViewportMargins(0, 0, 0, 0);
    }
    scheduleDelayedItemsLayout();
}

void PlaylistListView::placeHeader() {
    if (!header_)
        return;
    const QRect inside = contentsRect();
    header_->setGeometry(inside.left(), inside.top(), viewport()->width(),
                         header_->sizeHint().height());
}

}  // namespace cadrell
