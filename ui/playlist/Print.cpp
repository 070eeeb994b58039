#include "ui/playlist/Print.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/EntryList.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

QPrinter* processPrinter = nullptr;
bool printerChosen = false;
std::function<bool()> defaultPrinterProbe;

bool HasDefaultPrinter() {
    if (defaultPrinterProbe)
        return defaultPrinterProbe();
    return !QPrinterInfo::defaultPrinter().isNull();
}

// A font given in pixels has no size in points yet; it gets the one it shows at on screen,
// so the printout keeps the size the user sees.
QFont InPoints(const QFont& font) {
    if (font.pointSizeF() > 0)
        return font;
    QFont f = font;
    f.setPointSizeF(QFontInfo(font).pointSizeF());
    return f;
}

QPrintDialog& WindowPrintDialog(QWidget* owner) {
    auto* dialog =
        owner->findChild<QPrintDialog*>(QStringLiteral("PrintDialog1"), Qt::FindDirectChildrenOnly);
    if (dialog)
        return *dialog;
    dialog = new QPrintDialog(&ProcessPrinter(), owner);
    dialog->setObjectName(QStringLiteral("PrintDialog1"));
    // Printer, its settings and the copies are the choice; what gets printed is not.
    dialog->setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog->setOption(QAbstractPrintDialog::PrintCollateCopies, false);
    dialog->setOption(QAbstractPrintDialog::PrintShowPageSize, true);
    dialog->setPrintRange(QAbstractPrintDialog::AllPages);
    return *dialog;
}

}  // namespace

QPrinter& ProcessPrinter() {
    if (!processPrinter) {
        processPrinter = new QPrinter(QPrinter::HighResolution);
        // Gone with the application object, after every window that could still print.
        qAddPostRoutine([] {
            delete processPrinter;
            processPrinter = nullptr;
        });
    }
    return *processPrinter;
}

bool PrinterChosen() {
    return printerChosen;
}

void SetDefaultPrinterProbe(std::function<bool()> probe) {
    defaultPrinterProbe = std::move(probe);
}

void ForgetPrinterChoice() {
    printerChosen = false;
}

int PrintLineHeight(const QFont& font, const QPaintDevice& device) {
    return QFontMetrics(InPoints(font), &device).boundingRect(QStringLiteral("W")).height();
}

int DrawPlaylistPages(QPainter& painter, QPaintDevice& device, const std::function<bool()>& newPage,
                      const QByteArray& fileName, const EntryList& entries, const QFont& font,
                      const QColor& color, TextEncoding encoding) {
    const QFont printFont(InPoints(font), &device);
    painter.setFont(printFont);
    painter.setPen(color);
    const int ascent = QFontMetrics(printFont, &device).ascent();
    // A device too small for one line still gets one line a page, so printing always ends.
    const int h = std::max(1, PrintLineHeight(font, device));
    const int pageHeight = device.height();

    auto drawLine = [&](int y, const QString& text) {
        painter.drawText(QPoint(0, y + ascent), text);
    };

    int pages = 1;
    drawLine(0, QString::fromLocal8Bit(DisplayPath(fileName)));
    int y = 2 * h;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (y > 0 && y + h > pageHeight) {
            if (!newPage())
                throw Error(QStringLiteral("Cannot start a new page"));
            ++pages;
            y = 0;
        }
        drawLine(y, DecodeForDisplay(entries.at(i), encoding));
        y += h;
    }
    return pages;
}

void PrintPlaylist(QPrinter& printer, const QByteArray& fileName, const EntryList& entries,
                   const QFont& font, const QColor& color, TextEncoding encoding) {
    printer.setDocName(QString());
    QPainter painter;
    if (!painter.begin(&printer))
        throw Error(QStringLiteral("Cannot start the print job"));
    try {
        DrawPlaylistPages(
            painter, printer, [&] { return printer.newPage(); }, fileName, entries, font, color,
            encoding);
    } catch (...) {
        // Whatever reached the printer is withdrawn rather than left as a half job.
        printer.abort();
        painter.end();
        throw;
    }
    if (!painter.end())
        throw Error(QStringLiteral("Cannot finish the print job"));
}

void PrintDocument(QWidget* owner, const QByteArray& fileName, const EntryList& entries,
                   const QFont& font, const QColor& color, TextEncoding encoding) {
    if (!printerChosen && !HasDefaultPrinter())
        throw Error(QStringLiteral("There is no default printer currently selected"));
    QPrintDialog& dialog = WindowPrintDialog(owner);
    if (Prompts::current().exec(dialog) != QDialog::Accepted)
        return;
    // The dialog has written the printer, its settings and the copies into the process printer.
    printerChosen = true;
    PrintPlaylist(ProcessPrinter(), fileName, entries, font, color, encoding);
}

}  // namespace cadrell
