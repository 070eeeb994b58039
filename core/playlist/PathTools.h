#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

#include "core/playlist/EntryList.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// Local paths of the selected items (all when at most one row is selected) made relative to, or
// absolute in, the playlist's folder (an absolute path; Error when there is none). Web addresses,
// drive and UNC names, and names written with "\" are left alone.
EntryEdits MakeRelative(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder);
EntryEdits MakeAbsolute(const EntryList& entries, const std::vector<int>& selectedRows,
                        QByteArrayView folder);
// One path of each: empty when the entry is no local path of the kind converted.
QByteArray RelativePath(QByteArrayView entry, QByteArrayView folder);
QByteArray AbsolutePath(QByteArrayView entry, QByteArrayView folder);

// Kinds of name the conversions leave alone, as web addresses (IsWebAddress); Remove Duplicates
// tells them apart too, to compare each kind by its own rules.
bool isDrivePath(QByteArrayView s);
bool isUncName(QByteArrayView s);

}  // namespace cadrell
