#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

// Playlists in the other two common formats. Each is read into M3U lines (UTF-8): "#EXTM3U",
// then per track an "#EXTINF:<seconds>,<title>" line when a title or length is known, then its
// path; and written from a document's items the same way back, so a round trip through either
// keeps every path, title and length.
enum class PlaylistFormat { M3u, Pls, Xspf };

// By the name's extension: ".pls", ".xspf", anything else M3U.
PlaylistFormat FormatOfName(const QByteArray& fileName);

// Reads a PLS or XSPF file's bytes. Fails (cadrell::Error) with a message naming the line or
// element at fault; nothing is returned half-read.
EntryList ReadPls(const QByteArray& bytes, const QString& shownName);
EntryList ReadXspf(const QByteArray& bytes, const QString& shownName);

// The bytes of the document's entries (in `encoding`) as a PLS or XSPF file, in UTF-8.
QByteArray FormatPls(const EntryList& entries, TextEncoding encoding);
QByteArray FormatXspf(const EntryList& entries, TextEncoding encoding);

// Writes the document's entries to fileName in the format its extension names (M3U in the
// document's encoding and line ends, PLS and XSPF in UTF-8), replacing the file whole. The
// document and its own file are not touched.
void WritePlaylistAs(const QByteArray& fileName, const EntryList& entries, TextEncoding encoding,
                     LineEnd lineEnd);
// An M3U, PLS or XSPF file as M3U lines: an M3U file as written, the others converted.
EntryList ReadPlaylistAsM3u(const QByteArray& fileName);

// An "#EXTINF:" line's length in seconds (none for a missing or negative one) and title.
struct ExtinfFields {
    std::optional<qint64> seconds;
    QByteArray title;
};
std::optional<ExtinfFields> ParseExtinf(QByteArrayView line);

}  // namespace cadrell
