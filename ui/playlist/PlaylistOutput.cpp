#include "ui/playlist/PlaylistOutput.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistFile.h"
#include "core/playlist/PlaylistFormats.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/Print.h"

namespace cadrell {

namespace {

// The playlist's folder and name with another extension, as the dialogs offer them.
std::pair<QString, QString> offeredName(const TMDIChild& window, const char* extension) {
    const PlaylistDocument& doc = window.Document;
    if (doc.untitled())
        return {QString(), QStringLiteral("Playlist%1").arg(QLatin1String(extension))};
    const QFileInfo file(QFile::decodeName(doc.FileName));
    return {file.absolutePath(), file.completeBaseName() + QLatin1String(extension)};
}

// The name chosen, with the extension of the filter when the user typed none.
QByteArray withExtension(const QString& chosen, const char* fallback) {
    QByteArray name = QFile::encodeName(chosen);
    if (Extension(name).isEmpty())
        name += fallback;
    return name;
}

}  // namespace

void ExportPlaylistAs(TMDIChild& window) {
    const auto [folder, offered] = offeredName(window, ".pls");
    const std::optional<QString> chosen = Prompts::current().saveFileName(
        &window, folder, offered,
        QStringLiteral(
            "PLS playlist (*.pls);;XSPF playlist (*.xspf);;M3U playlist (*.m3u *.m3u8)"));
    if (!chosen)
        return;
    const QByteArray name = withExtension(*chosen, ".pls");
    // Writing over the playlist itself would change its file behind the document's back.
    if (!window.Document.untitled() && QFileInfo(QFile::decodeName(name)) ==
                                           QFileInfo(QFile::decodeName(window.Document.FileName)))
        throw Error(QStringLiteral("%1 is the playlist itself: use Save to write it")
                        .arg(QString::fromLocal8Bit(DisplayPath(name))));
    const PlaylistDocument& doc = window.Document;
    // A .m3u8 file is UTF-8 by definition, whatever the document is written in.
    const TextEncoding encoding =
        IsUtf8PlaylistName(name) && !HoldsUtf8(doc.Encoding) ? TextEncoding::Utf8 : doc.Encoding;
    if (encoding != doc.Encoding) {
        const std::optional<EntryList> converted =
            ConvertEntries(doc.Entries(), doc.Encoding, encoding);
        if (!converted)
            throw Error(QStringLiteral("Some entries cannot be written in UTF-8"));
        WritePlaylistAs(name, *converted, encoding, doc.LineEnds);
    } else {
        WritePlaylistAs(name, doc.Entries(), doc.Encoding, doc.LineEnds);
    }
    window.setStatusMessage(
        QStringLiteral("Exported to %1").arg(QString::fromLocal8Bit(DisplayPath(name))));
}

void PreviewPrint(TMDIChild& window) {
    // Its own printer: a preview needs none installed and must not change the one Print uses.
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromLocal8Bit(DisplayPath(window.Document.FileName)));
    QPrintPreviewDialog dialog(&printer, &window);
    dialog.setObjectName(QStringLiteral("PrintPreview"));
    dialog.setWindowTitle(QStringLiteral("Print Preview"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) {
        Guarded([&] {
            PrintPlaylist(*p, window.Document.FileName, window.Document.Entries(),
                          window.DocumentFont(), window.DocumentFontColor(),
                          window.Document.Encoding);
        });
    });
    Prompts::current().exec(dialog);
}

void ExportPdf(TMDIChild& window) {
    const auto [folder, offered] = offeredName(window, ".pdf");
    const std::optional<QString> chosen = Prompts::current().saveFileName(
        &window, folder, offered, QStringLiteral("PDF files (*.pdf)"));
    if (!chosen)
        return;
    const QByteArray name = withExtension(*chosen, ".pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QFile::decodeName(name));
    PrintPlaylist(printer, window.Document.FileName, window.Document.Entries(),
                  window.DocumentFont(), window.DocumentFontColor(), window.Document.Encoding);
    // The PDF writer reports no failure of its own; a file that is not there is one.
    if (!QFileInfo(QFile::decodeName(name)).isFile())
        throw Error(formatText("Cannot create file %s", name));
    window.setStatusMessage(
        QStringLiteral("Exported to %1").arg(QString::fromLocal8Bit(DisplayPath(name))));
}

}  // namespace cadrell
