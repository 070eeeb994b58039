#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <utility>
#include <vector>

#include "core/platform/FileStamp.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

class PlaylistDocument;

// The lines of a playlist file as (start, length) pairs. CR LF, a lone CR and a lone LF each end
// a line; a terminator at the very end adds no empty line. Zero bytes are ordinary text.
std::vector<std::pair<qsizetype, qsizetype>> SplitLines(QByteArrayView data);

// Reads a whole regular file; anything else (missing, a folder, a FIFO, a device, no access,
// too large) fails with "Cannot open file <name>". `stamp`, if given, gets the file's as read.
QByteArray ReadWholeFile(const QByteArray& fileName, FileStamp* stamp = nullptr);

// Every entry followed by the line end; no entries give no bytes.
QByteArray FormatPlaylist(const EntryList& entries, LineEnd lineEnd = LineEnd::CrLf);

// The size of the file WritePlaylist makes of the entries.
qint64 EncodedSize(const EntryList& entries, TextEncoding encoding,
                   LineEnd lineEnd = LineEnd::CrLf);

// Writes beside the target and renames over it, so a failed save leaves the old file whole.
// Fails with "Cannot create file <name>" or "Stream write error", followed by what the file
// system adds (why the file was not touched, or where a copy of its old text is kept).
// The encoding's mark comes first; UTF-16 is converted from the entries' UTF-8 and refused, before
// anything is written, when an entry is not valid UTF-8. Returns the stamp of the file written.
FileStamp WritePlaylist(const QByteArray& fileName, const EntryList& entries,
                        TextEncoding encoding = TextEncoding::Utf8,
                        LineEnd lineEnd = LineEnd::CrLf);

// A playlist file as read, apart from any document: a worker may read it.
struct PlaylistText {
    EntryList entries;
    TextEncoding encoding = TextEncoding::Utf8;
    LineEnd lineEnd = LineEnd::CrLf;
    FileStamp stamp;
};
PlaylistText ReadPlaylist(const QByteArray& fileName);

// Empties the document, reads FileName into it as one change, finds its encoding and line ends,
// records the file's stamp and clears Modified. A failure on a file that exists leaves UnreadFile
// set.
void LoadPlaylist(PlaylistDocument& doc);
// Puts the text read again from FileName in the document as one undoable step, "Reload", which
// is where the document now stands clean.
void ReloadPlaylist(PlaylistDocument& doc, PlaylistText text);
// Whether the file under FileName is no longer the one last loaded or saved. A file that is gone
// has nothing to lose and counts as unchanged; so does a document that has no file yet.
bool ChangedOnDisk(const PlaylistDocument& doc);
// Writes the entries to FileName, records the file's stamp and clears Modified and UnreadFile.
void SavePlaylist(PlaylistDocument& doc);

// The name a confirmed Save dialog gives: ".m3u" appended unless the extension is exactly that
// or ".m3u8".
QByteArray WithPlaylistExtension(const QByteArray& name);
// A .m3u8 playlist is UTF-8 by definition.
bool IsUtf8PlaylistName(const QByteArray& name);

}  // namespace cadrell
