#pragma once

#include <QPushButton>
#include <QString>

namespace cadrell {

// A button of a bar inside a window (find bar, changed-file bar): named for the screen reader,
// with a tooltip, and never the default, so Enter in the bar's fields does what the field means.
inline QPushButton* BarButton(const QString& caption, const QString& name, const QString& tip,
                              QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setAccessibleName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

}  // namespace cadrell
