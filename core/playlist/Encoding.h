#pragma once

#include "core/playlist/EntryList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace cadrell {

// The encoding a playlist file is written in. In memory every encoding but Windows-1252 holds its
// entries as UTF-8, so path commands see `\`, `/` and `:` as single bytes whatever the file uses;
// a Windows-1252 playlist keeps the file's bytes and decodes them only for display.
// UTF-16 files found without a mark are written back without one.
enum class TextEncoding {
    Utf8,
    Utf8Bom,
    Utf16LE,
    Utf16BE,
    Utf16LENoBom,
    Utf16BENoBom,
    Windows1252
};

// The name shown to the user ("UTF-8", "UTF-16 LE", ...).
QString EncodingName(TextEncoding encoding);

// How a playlist's lines end. Kept as found, like the encoding: rewriting every line end shows
// every line as changed to version control and sync tools. New playlists end lines with CR LF.
enum class LineEnd { CrLf, Lf };
// "CR LF", "LF".
QString LineEndName(LineEnd lineEnd);
inline QByteArrayView LineEndBytes(LineEnd lineEnd) {
    return lineEnd == LineEnd::Lf ? QByteArrayView("\n") : QByteArrayView("\r\n");
}
// The line end of the first line that has one (a lone CR counts as CR LF); CR LF when none has.
LineEnd DetectLineEnd(QByteArrayView text);
inline bool HoldsUtf8(TextEncoding encoding) {
    return encoding != TextEncoding::Windows1252;
}
bool IsUtf16(TextEncoding encoding);

// The encoding of a file's bytes: a byte-order mark, UTF-16 recognised by its line ends, valid
// UTF-8 (or a name that says UTF-8, as .m3u8 does), else Windows-1252.
TextEncoding DetectEncoding(QByteArrayView data, bool utf8ByName);

// The file's bytes as entry text: the mark removed (as an offset into the buffer, so a large file
// is not copied), UTF-16 converted to UTF-8. Returns nothing for UTF-16 that does not convert
// exactly (an odd byte count, an unpaired surrogate), which must not be loaded and saved back.
struct FileText {
    QByteArray bytes;
    qsizetype offset = 0;
};
std::optional<FileText> DecodeFileText(QByteArray data, TextEncoding encoding);

// What precedes the text when the file is written: the byte-order mark, if the encoding has one.
QByteArray FileMark(TextEncoding encoding);
// UTF-8 text to UTF-16 in the byte order given, without a mark; nothing when the text is not
// valid UTF-8.
std::optional<QByteArray> EncodeUtf16(QByteArrayView utf8, TextEncoding encoding);
// The same for text known to be valid UTF-8, written at `out`, which has room for twice its
// bytes; returns the bytes written.
qsizetype EncodeValidUtf16(QByteArrayView utf8, TextEncoding encoding, char* out);

// An entry as the rows, the title and the printout show it.
QString DecodeForDisplay(QByteArrayView entry, TextEncoding encoding);
// A zero byte would end the text wherever C strings are involved: it is shown as the symbol for
// one instead, and a search for that symbol finds nothing rather than the wrong entries.
inline constexpr char16_t kZeroByteSymbol = 0x2400;
QString& ShowZeroBytes(QString& text);
// Text typed by the user or taken from a file name, as the bytes of an entry; nothing when the
// encoding cannot hold a character of it.
std::optional<QByteArray> EncodeEntry(const QString& text, TextEncoding encoding);
// An entry moved from a document in one encoding to one in another; nothing when the target
// cannot hold it unchanged.
std::optional<QByteArray> ConvertEntry(QByteArrayView entry, TextEncoding from, TextEncoding to);
// Entries taken from a document in one encoding, as a document in the other holds them; nothing
// when one of them cannot be held.
std::optional<EntryList> ConvertEntries(const EntryList& entries, TextEncoding from,
                                        TextEncoding to);
// The first entry that cannot be converted, or -1 when all can (and when nothing needs doing).
qsizetype FirstUnconvertible(const EntryList& entries, TextEncoding from, TextEncoding to);

}  // namespace cadrell
