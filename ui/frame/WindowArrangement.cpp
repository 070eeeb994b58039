#include "ui/frame/WindowArrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <algorithm>

namespace cadrell {

void CascadeWindows(QMdiArea* mdi) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized() && window->isVisible())
            windows.append(window);
    }
    if (windows.isEmpty())
        return;
    // Each window two thirds of the area, each one title bar lower and further right than the
    // one before, starting again at the corner where the next would leave the area.
    const QRect area = mdi->viewport()->rect();
    const QSize size(std::max(area.width() * 2 / 3, 200), std::max(area.height() * 2 / 3, 150));
    QStyleOptionTitleBar option;
    option.initFrom(windows.first());
    const int step = std::max(8, windows.first()->style()->pixelMetric(QStyle::PM_TitleBarHeight,
                                                                       &option, windows.first()));
    const int fit = std::max(
        1,
        std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step) + 1);
    int k = 0;
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized())
            window->showNormal();
        const int offset = (k++ % fit) * step;
        window->setGeometry(QRect(QPoint(offset, offset), size));
        window->raise();
    }
    mdi->setActiveSubWindow(windows.last());
}

void TileWindows(QMdiArea* mdi) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : mdi->subWindowList(QMdiArea::StackingOrder)) {
        if (!window->isMinimized() && window->isVisible())
            windows.append(window);
    }
    if (windows.isEmpty())
        return;
    // A few windows lie one above another at full width; more make a grid.
    if (windows.size() > 3) {
        mdi->tileSubWindows();
        return;
    }
    QRect area = mdi->viewport()->rect();
    // Minimised windows keep their row along the bottom edge.
    if (mdi->subWindowList().size() > windows.size())
        area.setBottom(area.bottom() - mdi->fontMetrics().height() * 2 - 8);
    const int height = area.height() / static_cast<int>(windows.size());
    int top = 0;
    std::reverse(windows.begin(), windows.end());
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized())
            window->showNormal();
        window->setGeometry(0, top, area.width(), height);
        top += height;
    }
}

}  // namespace cadrell
