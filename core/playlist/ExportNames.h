#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "core/playlist/Encoding.h"

namespace cadrell {

// The names an export gives its copies. Players on phones, sticks and car stereos find a file by
// the text the playlist names it with, so a copy's name is what both the file system and the
// exported playlist can hold exactly.

// The longest name a component may have on the file systems an export goes to.
inline constexpr qsizetype kMaxNameBytes = 255;

// Whether the folder (or, when it is not there yet, the nearest folder above it that is) lies on
// a FAT or exFAT file system, whose names may not hold : ? * " < > | \ and are compared without
// regard to case. Other file systems that cannot say what they are count as not FAT.
bool IsFatFolder(const QByteArray& folder);

// One component of a path (a folder or a file name) as the copy is named: valid UTF-8 (names in
// another encoding are read as Windows-1252), no line breaks (a playlist could not hold them), on
// FAT none of its forbidden characters nor a final dot or space (the file system would drop
// them), and in a Windows-1252 playlist only characters it can hold. Every character left out
// becomes "_"; an empty result is "_".
QByteArray SafeComponent(QByteArrayView name, bool fat, TextEncoding playlistEncoding);

// The name cut to `max` bytes at a character boundary, its extension kept.
QByteArray FitName(QByteArrayView name, qsizetype max = kMaxNameBytes);

// "001 - name.mp3": the number, with at least `width` digits, before the name.
QByteArray NumberedName(QByteArrayView name, qsizetype number, int width);

// "name (2).mp3": the name of the n-th file that wanted the same name, n >= 2, still fitting.
QByteArray NameWithCopyNumber(QByteArrayView name, qsizetype n);

// What decides whether two target paths clash: the path itself, or on FAT its case-folded form.
QByteArray NameKey(QByteArrayView path, bool fat);

// A target path (UTF-8, below the playlist's folder) as an entry of the exported playlist in the
// given encoding: "./" goes before a name that would read as a "#" line, a blank line or a drive.
QByteArray ExportEntryText(const QByteArray& target, TextEncoding playlistEncoding);

// "1.2 GB", "300 MB", "512 bytes"; two sizes that would read the same are given more digits.
QString FormatSize(qint64 bytes);
void FormatSizes(qint64 a, qint64 b, QString& aText, QString& bText);

}  // namespace cadrell
