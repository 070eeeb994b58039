#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <utility>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

class PlaylistDocument;

// The lines of a playlist file as (start, length) pairs. CR LF, a lone CR and a lone LF each end
// a line; a terminator at the very end adds no empty line. Zero bytes are ordinary text.
std::vector<std::pair<qsizetype, qsizetype>> SplitLines(QByteArrayView data);

// Reads a whole regular file; anything else (missing, a folder, a FIFO, a device, no access,
// too large) fails with "Cannot open file <name>".
QByteArray ReadWholeFile(const QByteArray& fileName);

// Every entry followed by the line end; no entries give no bytes.
QByteArray FormatPlaylist(const EntryList& entries, LineEnd lineEnd = LineEnd::CrLf);

// Writes beside the target and renames over it, so a failed save leaves the old file whole.
// Fails with "Cannot create file <name>" or "Stream write error".
// The encoding's mark comes first; UTF-16 is converted from the entries' UTF-8 and refused, before
// anything is written, when an entry is not valid UTF-8.
void WritePlaylist(const QByteArray& fileName, const EntryList& entries,
                   TextEncoding encoding = TextEncoding::Utf8, LineEnd lineEnd = LineEnd::CrLf);

// Empties the document, reads FileName into it as one change, finds its encoding and line ends
// and clears
// Modified. A failure on a file that exists leaves UnreadFile set.
void LoadPlaylist(PlaylistDocument& doc);
// Writes the entries to FileName and clears Modified and UnreadFile.
void SavePlaylist(PlaylistDocument& doc);

// The name a confirmed Save dialog gives: ".m3u" appended unless the extension is exactly that
// or ".m3u8".
QByteArray WithPlaylistExtension(const QByteArray& name);
// A .m3u8 playlist is UTF-8 by definition.
bool IsUtf8PlaylistName(const QByteArray& name);

}  // namespace cadrell
