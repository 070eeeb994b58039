#include <QDir>
#include <QListWidget>
#include <QTableWidget>
#include <QtTest>

#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/LocateDialog.h"
#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "ui/playlist/Childwin.h"

using namespace cadrell;
using testsupport::ScriptedPrompts;
using testsupport::writeFile;

namespace {

QByteArray joined(const PlaylistDocument& doc) {
    const std::vector<QByteArray> all = doc.Entries().toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

}  // namespace

// A music folder moved and renamed: found in one pass, applied as one step.
class TestLocate : public QObject {
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
        prompts.reset();
        QCOMPARE(unexpected, 0);
    }

    void movedFolderRepairedInOnePass() {
        const QString home = testsupport::homeDir();
        writeFile(QStringLiteral("new place/music/Album/01 One.mp3"), "1");
        writeFile(QStringLiteral("new place/music/Album/02 Two.mp3"), "2");
        writeFile(QStringLiteral("new place/music/Other/03 Three.mp3"), "3");
        const QString list =
            writeFile(QStringLiteral("lists/road.m3u"),
                      "#EXTM3U\n#EXTINF:1,One\n/gone/Music/Album/01 One.mp3\n"
                      "C:\\Music\\Album\\02 Two.mp3\n../Music/Other/03 Three.mp3\nhttp://r/s\n");
        frame->OpenPlaylist(QFile::encodeName(list));
        TMDIChild* window = frame->ActiveDocumentWindow();
        int rows = -1;
        QStringList reasons;
        prompts->dialogs.push_back([&](QDialog& dialog) {
            auto* d = qobject_cast<LocateDialog*>(&dialog);
            if (!d)
                return int(QDialog::Rejected);
            // The playlist's own folder is offered first.
            if (d->folders->count() < 1 || !d->folders->item(0)->text().endsWith("/lists"))
                return int(QDialog::Rejected);
            d->folders->clear();
            d->folders->addItem(home + QStringLiteral("/new place"));
            d->search();
            if (!QTest::qWaitFor([d] { return !d->searching(); }, 20000))
                return int(QDialog::Rejected);
            rows = d->table->rowCount();
            for (int r = 0; r < rows; ++r)
                reasons << d->table->item(r, 2)->text();
            return int(QDialog::Accepted);
        });
        window->MenuLocateMissing->trigger();
        QCOMPARE(prompts->errors, QStringList());
        QCOMPARE(rows, 3);
        const QByteArray base = QFile::encodeName(home);
        QCOMPARE(joined(window->Document),
                 "#EXTM3U|#EXTINF:1,One|" + base + "/new place/music/Album/01 One.mp3|" + base +
                     "/new place/music/Album/02 Two.mp3|../new place/music/Other/03 "
                     "Three.mp3|http://r/s");
        QCOMPARE(window->Document.history().undoText(), QStringLiteral("Locate Missing Files"));
        QCOMPARE(frame->frameStatusBar()->currentMessage(), QStringLiteral("3 entries changed"));
        window->MenuUndo->trigger();
        QVERIFY(joined(window->Document).contains("/gone/Music/Album/01 One.mp3"));
    }

    void cancelLeavesTheDocument() {
        const QString list = writeFile(QStringLiteral("lists/c.m3u"), "/gone/a.mp3\n");
        frame->OpenPlaylist(QFile::encodeName(list));
        TMDIChild* window = frame->ActiveDocumentWindow();
        prompts->dialogs.push_back([](QDialog&) { return int(QDialog::Rejected); });
        window->MenuLocateMissing->trigger();
        QCOMPARE(joined(window->Document), QByteArray("/gone/a.mp3"));
        QVERIFY(!window->Document.Modified());
    }
};

QTEST_MAIN(TestLocate)
#include "tst_locate.moc"
