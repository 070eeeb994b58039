#include "ui/playlist/PlaylistOutput.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageLayout>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <atomic>
#include <memory>
#include <thread>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "core/playlist/Export.h"
#include "core/playlist/PlaylistFile.h"
#include "core/playlist/PlaylistFormats.h"
#include "ui/dialogs/ExportDialog.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/DocumentHost.h"
#include "ui/playlist/PlaylistTools.h"
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

namespace {

QString exportSummary(const ExportReport& report, const QByteArray& folder) {
    using strings::FormatCount;
    QString text = report.cancelled ? QStringLiteral("Export to %1 cancelled: ")
                                    : QStringLiteral("Exported to %1: ");
    text = text.arg(QString::fromLocal8Bit(DisplayPath(folder)));
    text += QStringLiteral("%1 copied, %2 already there, %3 skipped")
                .arg(FormatCount(report.copied), FormatCount(report.alreadyThere),
                     FormatCount(report.skipped));
    return text;
}

}  // namespace

void ExportWithFiles(TMDIChild& window) {
    DocumentHost& host = window.host();
    if (host.progressShown()) {
        window.setStatusMessage(
            QStringLiteral("Another tool is still at work; wait for it or cancel it (Esc)"));
        return;
    }
    const PlaylistDocument& doc = window.Document;
    const QByteArray folder = window.tools()->folder();
    QString offered = QStringLiteral("Playlist.m3u8");
    if (!doc.untitled())
        offered =
            QFileInfo(QFile::decodeName(doc.FileName)).completeBaseName() + QStringLiteral(".m3u8");
    ExportDialog dialog(&window, QString(), offered, doc.Encoding);
    if (Prompts::current().exec(dialog) != QDialog::Accepted)
        return;
    ExportOptions options = dialog.options();
    options.lineEnd = doc.LineEnds;

    // The worker owns copies of all it reads; the window may close while it works, and closing
    // never waits for a copy stuck on a slow disk: the worker is told to stop and let go.
    struct Shared {
        std::atomic<bool> cancel{false};
    };
    auto shared = std::make_shared<Shared>();
    QPointer<TMDIChild> target(&window);
    QObject::connect(&window, &QObject::destroyed, [shared] { shared->cancel = true; });
    host.beginProgress(QStringLiteral("Exporting with files…"),
                       [shared] { shared->cancel = true; });
    std::thread([shared, target, entries = doc.Entries(), rows = window.toolRows(), folder,
                 encoding = doc.Encoding, options] {
        ExportReport report;
        try {
            const ExportPlan plan = PlanExport(entries, rows, folder, encoding, options);
            report = RunExport(
                plan, options,
                [target](qint64, qint64, qint64 bytesDone, qint64 bytes) {
                    QMetaObject::invokeMethod(
                        qApp,
                        [target, bytesDone, bytes] {
                            if (target)
                                target->host().setProgress(bytesDone, bytes);
                        },
                        Qt::QueuedConnection);
                },
                shared->cancel);
        } catch (const std::exception& e) {
            report.error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(
            qApp,
            [target, report, options] {
                if (!target)
                    return;
                target->host().endProgress();
                const QString summary = exportSummary(report, options.targetFolder);
                target->setStatusMessage(report.error.isEmpty() ? summary : report.error);
                QString details = summary + QLatin1Char('.');
                if (!report.error.isEmpty())
                    details = report.error + QStringLiteral("\n\n") + details;
                if (!report.skippedWhy.isEmpty())
                    details += QStringLiteral("\n\nSkipped:\n") +
                               report.skippedWhy.mid(0, 30).join(QLatin1Char('\n'));
                if (report.skippedWhy.size() > 30)
                    details += QStringLiteral("\n… and %1 more").arg(report.skippedWhy.size() - 30);
                QMessageBox box(
                    report.error.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Export with Files"), details, QMessageBox::Ok, target);
                box.setObjectName(QStringLiteral("ExportSummary"));
                box.setTextFormat(Qt::PlainText);
                Prompts::current().exec(box);
            },
            Qt::QueuedConnection);
    }).detach();
}

}  // namespace cadrell
