#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <functional>

#include "core/playlist/Encoding.h"

class QPainter;
class QPaintDevice;
class QPrinter;
class QWidget;

namespace cadrell {

class EntryList;

// The Print command of a document window: asks for the printer in the window's print dialog
// ("PrintDialog1", made on first use and owned by `owner`) and prints the playlist on it.
// Throws Error "There is no default printer currently selected" before any dialog when no
// printer has been chosen in this run and the system has no default one. Cancel prints nothing.
// The document is only read.
void PrintDocument(QWidget* owner, const QByteArray& fileName, const EntryList& entries,
                   const QFont& font, const QColor& color,
                   TextEncoding encoding = TextEncoding::Utf8);

// Prints the playlist as one job with an empty document name on the given printer, without a
// dialog. Throws Error when the job cannot be started or finished.
void PrintPlaylist(QPrinter& printer, const QByteArray& fileName, const EntryList& entries,
                   const QFont& font, const QColor& color,
                   TextEncoding encoding = TextEncoding::Utf8);

// The line height of the printed list on a device: the height of "W" in the font there, as a
// text extent (ascent plus descent, the cell the text occupies), not the ink of the glyph, so
// that lines never touch.
int PrintLineHeight(const QFont& font, const QPaintDevice& device);

// Draws the playlist with `painter`, already active on `device`: the display form of
// `fileName` on top, an empty line, then every entry as the rows show it, one line of
// PrintLineHeight each. A y position is the top of a line's text cell. Lines go on over further
// pages; each further page starts with `newPage` (false from it ends the job with an Error) and its
// first line at y = 0. The page is the device's height in device units and the font keeps its size
// in points at the device's vertical resolution. Returns the number of pages drawn.
int DrawPlaylistPages(QPainter& painter, QPaintDevice& device, const std::function<bool()>& newPage,
                      const QByteArray& fileName, const EntryList& entries, const QFont& font,
                      const QColor& color, TextEncoding encoding = TextEncoding::Utf8);

// The one printer of the process: every print from any window goes to it, and every window's
// print dialog edits it.
QPrinter& ProcessPrinter();
// True once a print dialog has been confirmed in this run.
bool PrinterChosen();

// For tests: replaces the system's answer to "is there a default printer" (an empty function
// restores it), and forgets that a printer was chosen.
void SetDefaultPrinterProbe(std::function<bool()> probe);
void ForgetPrinterChoice();

}  // namespace cadrell
