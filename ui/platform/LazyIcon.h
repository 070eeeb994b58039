#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <QStringList>

namespace cadrell {

// An icon that reads its files the first time it is drawn or measured rather than when it is
// made. A picture made from a file is otherwise read at once (an SVG is parsed to check it and
// parsed again to draw it), and the frame makes a toolbar's worth of them before it can show
// anything.
//
// `bitmap`, a picture of exactly `bitmapSize` added after `files`, is read only when that size is
// asked for or the icon's sizes are listed: a scalable picture draws every other size itself, and
// reading the bitmap would load every image reader of the toolkit to find its format.
QIcon LazyIcon(const QStringList& files, const QString& bitmap = {}, QSize bitmapSize = {});

// Makes the application's style hand out its standard pictures the same way, read when first
// drawn: a toolbar asks for its overflow arrow as it is made, and the arrow is a bitmap whose
// reading loads every image reader of the toolkit, though the arrow is seldom shown. The style
// stays the one the application would have had. Needs the QApplication.
void UseLazyStandardIcons();

}  // namespace cadrell
