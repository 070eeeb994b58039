#pragma once

#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/IntList.h"

namespace cadrell {

class PlaylistDocument;

// The entry commands, on a document and the ascending positions of its selected rows. Each one
// that changes entries is one undoable step of the document; one that would change nothing
// (nothing selected, an empty clipboard, names without a path) leaves the document alone.
using Selection = std::vector<int>;

// Their own namespace, so a window's handlers of the same names never shadow them.
namespace editing {

// Where the entries last copied (by Copy, Cut or a drag start) stood in their document. One for
// the whole program; emptied whenever a document window is created or closed.
TIntList& CopiedPositions();

void CopyEntries(const PlaylistDocument& doc, const Selection& selected, EntryList& clipboard,
                 TIntList& copiedPositions);
void DeleteEntries(PlaylistDocument& doc, const Selection& selected);
void CutEntries(PlaylistDocument& doc, const Selection& selected, EntryList& clipboard,
                TIntList& copiedPositions);
// Before the first selected row, or appended when none is selected; one change.
void PasteEntries(PlaylistDocument& doc, const Selection& selected, const EntryList& clipboard);
void DeleteCopiedEntries(PlaylistDocument& doc, const TIntList& copiedPositions);
// On the selected entries, or on all when none is selected. Lines starting with "#" and web
// addresses stay as they are, and so does an entry that would become empty. The number of
// entries changed.
qsizetype RemovePaths(PlaylistDocument& doc, const Selection& selected);
qsizetype RemoveDrives(PlaylistDocument& doc, const Selection& selected);

// A drag dropped on the list it started from: the entries at copiedPositions move to stand
// before the target row (-1: to the end). A target that is itself dragged stands for the first
// entry after it that is not.
void DropWithin(PlaylistDocument& doc, const TIntList& copiedPositions, int target);
// A drag dropped on another window: copies of the clipboard before the target row, or appended.
void DropFromOther(PlaylistDocument& doc, int target, const EntryList& clipboard);
// Fails, naming it, for the first name that holds a line break: written as an entry it would
// become lines of its own.
void RequireOneLineNames(const std::vector<QByteArray>& names);
// Names dropped from the file manager, appended in order; none when one holds a line break.
void AppendNames(PlaylistDocument& doc, const std::vector<QByteArray>& names);

// The document written in another encoding from now on, as one step (its entries converted when
// the way they are held changes). Fails, changing nothing, with the first entry the encoding
// cannot hold.
void ConvertEncoding(PlaylistDocument& doc, TextEncoding to);
// The document's lines end with `to` from the next save on, as one step.
void ConvertLineEnds(PlaylistDocument& doc, LineEnd to);

}  // namespace editing
}  // namespace cadrell
