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
// Relative entries written against the folder `from` rewritten to name the same files from the
// folder `to` (absolute where `to` is empty: an untitled playlist has no folder). Absolute
// entries, web addresses, directives and names in another system's form stay as they are, and
// so does everything when `from` is empty. The paths are worked out on the text, as a player
// reading the playlist does.
EntryEdits RebaseRelative(const EntryList& entries, QByteArrayView from, QByteArrayView to);
// The same, applied to a copy.
EntryList RebasedEntries(const EntryList& entries, QByteArrayView from, QByteArrayView to);
// One path of each: empty when the entry is no local path of the kind converted.
QByteArray RelativePath(QByteArrayView entry, QByteArrayView folder);
QByteArray AbsolutePath(QByteArrayView entry, QByteArrayView folder);

// Kinds of name the conversions leave alone, as web addresses (IsWebAddress); Remove Duplicates
// tells them apart too, to compare each kind by its own rules.
bool isDrivePath(QByteArrayView s);
bool isUncName(QByteArrayView s);

}  // namespace cadrell
