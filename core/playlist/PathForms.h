#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// Playlists travel between systems: these put their local paths in the form this one reads.
// Each works on the items of the selected rows when there are several, else on all; web
// addresses and "#" lines are never touched.

// "\" between folders becomes "/" ("\\srv\share" becomes "//srv/share").
EntryEdits UseForwardSlashes(const EntryList& entries, const std::vector<int>& selectedRows);
// "/" between folders becomes "\"; file addresses stay as they are.
EntryEdits UseBackslashes(const EntryList& entries, const std::vector<int>& selectedRows);
// file:// addresses become plain paths in the document's encoding ("file:///C:/a%20b.mp3"
// becomes "C:/a b.mp3"). An address whose escapes make a "/" inside a name, a line break or a
// zero byte, or a name the encoding cannot hold, stays as it is.
EntryEdits DecodeFileAddresses(const EntryList& entries, const std::vector<int>& selectedRows,
                               TextEncoding encoding);
// Each part of a local path that does not exist is matched against the real names in its
// folder ignoring letter case; only a single match is taken. Relative paths are looked up from
// `folder` and stay relative. Reads the disk: for a worker.
EntryEdits FixLetterCase(const EntryList& entries, const std::vector<int>& selectedRows,
                         QByteArrayView folder, const std::atomic<bool>& cancel);

}  // namespace cadrell
