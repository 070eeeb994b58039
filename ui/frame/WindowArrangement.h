#pragma once

class QMdiArea;

namespace cadrell {

// The Window menu's arrangements of the visible, unminimised document windows.
// Cascade: each window two thirds of the area, one title bar lower and further right than the
// one before; the last one is activated.
void CascadeWindows(QMdiArea* mdi);
// Tile: up to three windows one above another at full width; more make a grid.
void TileWindows(QMdiArea* mdi);

}  // namespace cadrell
