// Another program changes a playlist that is open here: Save asks before overwriting it, and the
// window tells of it when it becomes active, offering to read the file again.

#include <fcntl.h>
#include <sys/stat.h>
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QtTest>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/FileChangedBar.h"

using namespace cadrell;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

// Another program's write: new text, and a modification time that surely differs.
void changeOnDisk(const QString& path, const QByteArray& bytes) {
    struct stat before {};
    ::stat(name(path).constData(), &before);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();
    const struct timespec times[2] = {before.st_atim,
                                      {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
    QVERIFY(::utimensat(AT_FDCWD, name(path).constData(), times, 0) == 0);
}

}  // namespace

class TestFileChanged : public QObject {
    Q_OBJECT

    testsupport::ScriptedPrompts prompts;
    TCadrellMainForm* frame = nullptr;
    int files = 0;

    TMDIChild* open(const QByteArray& bytes, QString* path) {
        *path = writeFile(QStringLiteral("changed/list-%1.m3u").arg(++files), bytes);
        Guarded([&] { frame->OpenPlaylist(name(*path)); });
        return frame->ActiveDocumentWindow();
    }

    void activate(TMDIChild* child) { frame->MdiArea->setActiveSubWindow(child->subWindow()); }

    // Lets the look at the file, which runs on a worker, come back.
    static void settle(TMDIChild* child) {
        QTRY_VERIFY(!child->fileChangedBar()->busy());
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        frame = new TCadrellMainForm(QByteArray(), false);
        frame->show();
        QVERIFY(QTest::qWaitForWindowActive(frame));
    }
    void cleanupTestCase() { delete frame; }
    void cleanup() {
        for (TMDIChild* child : frame->DocumentWindows()) {
            child->setCloseApproved(true);
            child->subWindow()->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(prompts.errors, QStringList());
        prompts.asked.clear();
    }

    // Save overwrites another program's changes only when the user says so; No leaves the
    // document modified and the other program's text on disk.
    void saveAsks_data() {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("answer");
        QTest::newRow("changed, Yes: ours written") << true << true;
        QTest::newRow("changed, No: theirs kept") << true << false;
        QTest::newRow("unchanged: not asked") << false << false;
    }
    void saveAsks() {
        QFETCH(bool, changed);
        QFETCH(bool, answer);
        QString path;
        TMDIChild* child = open("a.mp3\r\n", &path);
        child->Document.edit([](EntryList& e) { e.append("ours.mp3"); });
        testsupport::makeUnsaved(child->Document);
        if (changed) {
            changeOnDisk(path, "theirs.mp3\r\n");
            prompts.yesNo.push_back(answer);
        }
        child->MenuSave->trigger();
        const bool saved = !changed || answer;
        QCOMPARE(prompts.asked,
                 changed ? QStringList{QStringLiteral("Confirm Save: ") +
                                       formatText("%s has been changed by another program since "
                                                  "it was opened. Save anyway?",
                                                  DisplayPath(name(path)))}
                         : QStringList());
        QCOMPARE(readFile(path), saved ? QByteArray("a.mp3\r\nours.mp3\r\n") : "theirs.mp3\r\n");
        QCOMPARE(child->Document.Modified(), !saved);
        // Once saved, the file is ours again: no second question.
        if (saved) {
            testsupport::makeUnsaved(child->Document);
            child->MenuSave->trigger();
            QCOMPARE(prompts.asked.size(), changed ? 1 : 0);
        }
    }

    // Activating the window tells of the change; Dismiss (or Esc) hides it until the file
    // changes again.
    void barOnActivation() {
        QString pathA, pathB;
        TMDIChild* a = open("a.mp3\r\n", &pathA);
        TMDIChild* b = open("b.mp3\r\n", &pathB);
        FileChangedBar* bar = a->fileChangedBar();
        QVERIFY(bar->isHidden());
        changeOnDisk(pathA, "theirs.mp3\r\n");
        activate(a);
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->text(), QStringLiteral("%1 has been changed by another program.")
                                  .arg(QFileInfo(pathA).fileName()));
        QCOMPARE(bar->reloadButton()->text(), QStringLiteral("Rel&oad"));
        QCOMPARE(bar->reloadButton()->accessibleName(), QStringLiteral("Reload"));
        QCOMPARE(bar->dismissButton()->text(), QStringLiteral("&Dismiss"));
        QCOMPARE(bar->dismissButton()->accessibleName(), QStringLiteral("Dismiss"));
        // Esc on the bar dismisses it; the list has the keyboard again.
        bar->dismissButton()->setFocus();
        QTest::keyClick(bar->dismissButton(), Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QCOMPARE(a->Document.Entries().toVector(), std::vector<QByteArray>{"a.mp3"});
        activate(b);
        settle(b);
        activate(a);
        settle(a);
        QVERIFY(bar->isHidden());
        // Changed once more: told again.
        changeOnDisk(pathA, "theirs again.mp3\r\n");
        activate(b);
        activate(a);
        QTRY_VERIFY(bar->isVisible());
        QTest::mouseClick(bar->dismissButton(), Qt::LeftButton);
        QVERIFY(bar->isHidden());
        QVERIFY(!b->fileChangedBar()->isVisible());
    }

    // The frame coming back from another program looks at its active window's file too.
    void barOnFrameActivation() {
        QString path;
        TMDIChild* child = open("a.mp3\r\n", &path);
        settle(child);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        changeOnDisk(path, "theirs.mp3\r\n");
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTRY_VERIFY(child->fileChangedBar()->isVisible());
    }

    // Reload reads the file as one step, "Reload"; with unsaved changes it asks first. Undo
    // brings back what was shown before.
    void reload_data() {
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<bool>("answer");
        QTest::newRow("no unsaved changes: not asked") << false << true;
        QTest::newRow("unsaved changes, Yes") << true << true;
        QTest::newRow("unsaved changes, No: kept") << true << false;
    }
    void reload() {
        QFETCH(bool, unsaved);
        QFETCH(bool, answer);
        QString path;
        TMDIChild* child = open("a.mp3\r\nb.mp3\r\n", &path);
        FileChangedBar* bar = child->fileChangedBar();
        if (unsaved) {
            child->Document.perform(Change::remove({0}), QStringLiteral("Delete"));
            prompts.yesNo.push_back(answer);
        }
        const std::vector<QByteArray> before = child->Document.Entries().toVector();
        changeOnDisk(path, "x.mp3\r\ny.mp3\r\nz.mp3\r\n");
        activate(child);
        child->fileChangedBar()->check();
        QTRY_VERIFY(bar->isVisible());
        QTest::mouseClick(bar->reloadButton(), Qt::LeftButton);
        settle(child);
        QCOMPARE(prompts.asked,
                 unsaved ? QStringList{QStringLiteral("Reload: ") +
                                       formatText("Reload %s and lose the changes made here?",
                                                  DisplayPath(name(path)))}
                         : QStringList());
        if (unsaved && !answer) {
            QCOMPARE(child->Document.Entries().toVector(), before);
            QVERIFY(child->Document.Modified());
            QVERIFY(bar->isVisible());
            return;
        }
        QVERIFY(bar->isHidden());
        QCOMPARE(child->Document.Entries().toVector(),
                 (std::vector<QByteArray>{"x.mp3", "y.mp3", "z.mp3"}));
        QVERIFY(!child->Document.Modified());
        QCOMPARE(child->MenuUndo->text(), QStringLiteral("&Undo Reload"));
        child->MenuUndo->trigger();
        QCOMPARE(child->Document.Entries().toVector(), before);
        QVERIFY(child->Document.Modified());
        // The file is the one read: nothing to tell, nothing to ask on Save.
        child->MenuSave->trigger();
        QCOMPARE(prompts.asked.size(), unsaved ? 1 : 0);
        QCOMPARE(readFile(path),
                 QByteArray(before.size() == 1 ? "b.mp3\r\n" : "a.mp3\r\nb.mp3\r\n"));
    }
};

QTEST_MAIN(TestFileChanged)
#include "tst_filechanged.moc"
