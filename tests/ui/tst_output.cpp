#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/ExportDialog.h"
#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

using namespace cadrell;
using testsupport::readFile;
using testsupport::ScriptedPrompts;
using testsupport::writeFile;

namespace {

QByteArray joined(const PlaylistDocument& doc) {
    const std::vector<QByteArray> all = doc.Entries().toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

}  // namespace

// The ways out of a playlist other than Save, and PLS and XSPF files coming in.
class TestOutput : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TCadrellMainForm> frame;

private slots:
    void init() {
        prompts = std::make_unique<ScriptedPrompts>();
        frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
    }
    void cleanup() {
        for (TMDIChild* w : frame->DocumentWindows())
            w->Document.markClean();
        frame.reset();
        const int unexpected = prompts->unexpected;
        // Gone before the next test's are made, which would otherwise be uninstalled by these.
        prompts.reset();
        QCOMPARE(unexpected, 0);
    }

    // M3U to PLS or XSPF and back through Open: the same paths, titles and lengths; the document
    // and its own file stay as they were.
    void exportAndOpenAgain_data() {
        QTest::addColumn<QString>("extension");
        QTest::newRow("PLS") << ".pls";
        QTest::newRow("XSPF") << ".xspf";
    }
    void exportAndOpenAgain() {
        QFETCH(QString, extension);
        const QByteArray m3u = "#EXTM3U\n#EXTINF:61,Tom & Jerry\n/m/a b.mp3\nhttp://r/s\n";
        const QString path = writeFile(QStringLiteral("out/list.m3u"), m3u);
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* window = frame->ActiveDocumentWindow();
        const QString target = testsupport::homeDir() + QStringLiteral("/out/list") + extension;
        prompts->fileNames.push_back(target);
        window->MenuExportAs->trigger();
        QCOMPARE(prompts->errors, QStringList());
        QCOMPARE(prompts->saveInitialNames.last(), QStringLiteral("list.pls"));
        QCOMPARE(readFile(path), m3u);
        QVERIFY(!window->Document.Modified());

        frame->OpenPlaylist(QFile::encodeName(target));
        TMDIChild* imported = frame->ActiveDocumentWindow();
        QVERIFY(imported != window);
        QVERIFY(imported->Document.untitled());
        QCOMPARE(joined(imported->Document),
                 QByteArray("#EXTM3U|#EXTINF:61,Tom & Jerry|/m/a b.mp3|http://r/s"));
        // Saving offers M3U beside the file it came from.
        prompts->fileNames.push_back(std::nullopt);
        imported->MenuSave->trigger();
        QCOMPARE(prompts->saveInitialNames.last(), QStringLiteral("list.m3u"));
    }

    void malformedOpensNothing() {
        const QString path = writeFile(QStringLiteral("bad.xspf"), "<playlist>\n<track>");
        QString error;
        try {
            frame->OpenPlaylist(QFile::encodeName(path));
        } catch (const Error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.startsWith(QFile::decodeName(DisplayPath(QFile::encodeName(path))) +
                                  QStringLiteral(", line 2: ")),
                 qPrintable(error));
        QVERIFY(frame->DocumentWindows().isEmpty());
    }

    void pdfWithoutAPrinter() {
        const QByteArray m3u = "/m/alpha.mp3\r\n/m/second.mp3\r\n";
        const QString path = writeFile(QStringLiteral("pdf/list.m3u"), m3u);
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* window = frame->ActiveDocumentWindow();
        const QString pdf = testsupport::homeDir() + QStringLiteral("/pdf/list");
        prompts->fileNames.push_back(pdf);
        window->MenuExportPdf->trigger();
        QCOMPARE(prompts->errors, QStringList());
        QCOMPARE(prompts->saveFilters.last(), QStringLiteral("PDF files (*.pdf)"));
        QVERIFY(QFileInfo(pdf + QStringLiteral(".pdf")).isFile());
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {pdf + QStringLiteral(".pdf"), QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QByteArray out = text.readAllStandardOutput();
        QVERIFY2(out.contains("/m/alpha.mp3") && out.contains("/m/second.mp3"), out.constData());
    }

    void previewDrawsThePages() {
        const QString path = writeFile(QStringLiteral("preview/list.m3u"), "/m/a.mp3\r\n");
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* window = frame->ActiveDocumentWindow();
        bool painted = false;
        prompts->dialogs.push_back([&](QDialog& dialog) {
            auto* preview = qobject_cast<QPrintPreviewDialog*>(&dialog);
            if (!preview)
                return int(QDialog::Rejected);
            const QString pdf = testsupport::homeDir() + QStringLiteral("/preview/shown.pdf");
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            emit preview->paintRequested(&printer);
            painted = QFileInfo(pdf).size() > 0;
            return int(QDialog::Accepted);
        });
        window->MenuPrintPreview->trigger();
        QVERIFY(painted);
        QCOMPARE(prompts->errors, QStringList());
    }

    // The files and a playlist naming the copies, on a worker; a missing file is listed, not
    // fatal; the window stays live and the summary says what happened.
    void exportWithFiles() {
        writeFile(QStringLiteral("exp/music/a.mp3"), "aaaa");
        writeFile(QStringLiteral("exp/music/sub/b.mp3"), "bb");
        const QString path = writeFile(
            QStringLiteral("exp/list.m3u"),
            "#EXTM3U\n#EXTINF:4,A\nmusic/a.mp3\nmusic/sub/b.mp3\nmusic/gone.mp3\nhttp://r/s\n");
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* window = frame->ActiveDocumentWindow();
        const QString target = testsupport::homeDir() + QStringLiteral("/stick");
        QVERIFY(QDir().mkpath(target));
        prompts->dialogs.push_back([&](QDialog& dialog) {
            auto* d = qobject_cast<ExportDialog*>(&dialog);
            if (!d)
                return int(QDialog::Rejected);
            d->targetFolder->setText(target);
            d->numberFiles->setChecked(true);
            d->oneFolder->setChecked(true);
            return int(QDialog::Accepted);
        });
        QString summary;
        prompts->dialogs.push_back([&](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog))
                summary = box->text();
            return int(QDialog::Accepted);
        });
        window->MenuExportWithFiles->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!summary.isEmpty(), 20000);
        QVERIFY2(summary.contains(QStringLiteral("2 copied, 0 already there, 1 skipped")),
                 qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("gone.mp3")), qPrintable(summary));
        QCOMPARE(readFile(target + QStringLiteral("/001 - a.mp3")), QByteArray("aaaa"));
        QCOMPARE(readFile(target + QStringLiteral("/002 - b.mp3")), QByteArray("bb"));
        const QByteArray list = readFile(target + QStringLiteral("/list.m3u8"));
        QVERIFY2(list.contains("#EXTINF:4,A\n001 - a.mp3\n002 - b.mp3\nhttp://r/s\n"),
                 list.constData());
        QVERIFY(!list.contains("gone"));
        QVERIFY(!frame->frameStatusBar()->inProgress());
    }

    // Pasted into a playlist in another folder, or saved as one elsewhere, relative entries keep
    // naming the files they named.
    void relativeEntriesKeepTheirFiles() {
        const QString a =
            writeFile(QStringLiteral("rel/Playlists/a.m3u"), "../Music/x.mp3\n/abs/y.mp3\n");
        const QString b = writeFile(QStringLiteral("rel/Other/deep/b.m3u"), "z.mp3\n");
        frame->OpenPlaylist(QFile::encodeName(a));
        TMDIChild* first = frame->ActiveDocumentWindow();
        first->ListView1->selectAll();
        first->MenuCopy->trigger();
        frame->OpenPlaylist(QFile::encodeName(b));
        TMDIChild* second = frame->ActiveDocumentWindow();
        second->ListView1->clearSelection();
        second->MenuPaste->trigger();
        QCOMPARE(joined(second->Document), QByteArray("z.mp3|../../Music/x.mp3|/abs/y.mp3"));

        prompts->fileNames.push_back(testsupport::homeDir() +
                                     QStringLiteral("/rel/Elsewhere/deeper/a.m3u"));
        prompts->yesNo.push_back(true);
        QVERIFY(QDir().mkpath(testsupport::homeDir() + QStringLiteral("/rel/Elsewhere/deeper")));
        first->MenuSaveAs->trigger();
        QCOMPARE(prompts->errors, QStringList());
        QVERIFY2(
            prompts->asked.last().startsWith(QStringLiteral("Save As: 1 entry in this playlist "
                                                            "is relative to its old folder")),
            qPrintable(prompts->asked.last()));
        QCOMPARE(readFile(testsupport::homeDir() + QStringLiteral("/rel/Elsewhere/deeper/a.m3u")),
                 QByteArray("../../Music/x.mp3\n/abs/y.mp3\n"));
        QCOMPARE(first->Document.history().undoText(), QStringLiteral("Rewrite Relative Paths"));
        // The old file is as it was.
        QCOMPARE(readFile(a), QByteArray("../Music/x.mp3\n/abs/y.mp3\n"));
    }
};

QTEST_MAIN(TestOutput)
#include "tst_output.moc"
