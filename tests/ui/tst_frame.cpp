#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QtTest>

#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/options.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"

using namespace cadrell;
using testsupport::ScriptedPrompts;
using Lines = std::vector<QByteArray>;

namespace {

QStringList menuTitles(QMainWindow& frame) {
    QStringList titles;
    for (QAction* a : frame.menuBar()->actions())
        titles << a->text();
    return titles;
}

QStringList titles(const TCadrellMainForm& frame) {
    QStringList out;
    for (TMDIChild* c : frame.DocumentWindows())
        out << c->Caption();
    return out;
}

QString playlist(const QString& name, const QByteArray& bytes = "a\r\nb\r\nc\r\n") {
    return testsupport::writeFile(name, bytes);
}

void select(TMDIChild* child, std::initializer_list<int> rows) {
    child->ListView1->clearSelection();
    for (int r : rows)
        child->ListView1->selectionModel()->select(child->ListView1->model()->index(r, 0),
                                                   QItemSelectionModel::Select);
}

Lines entries(TMDIChild* child) {
    return child->Document.Entries().toVector();
}

}  // namespace

class TestFrame : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TCadrellMainForm> frame;

    void closeAllUnasked() {
        for (TMDIChild* c : frame->DocumentWindows()) {
            c->Document.markClean();
            c->subWindow()->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private slots:
    void init() {
        prompts = std::make_unique<ScriptedPrompts>();
        frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QApplication::setActiveWindow(frame.get());
    }
    void cleanup() {
        closeAllUnasked();
        frame.reset();
        QCOMPARE(prompts->unexpected, 0);
        prompts.reset();
    }

    void menuBarFollowsTheActiveWindow() {
        QCOMPARE(menuTitles(*frame), (QStringList{"&File", "&View", "&Window", "&Help"}));
        QCOMPARE(frame->menuBar()->actions().first()->menu(), frame->MenuFile);
        QStringList items;
        for (QAction* a : frame->MenuFile->actions())
            items << a->text();
        QCOMPARE(items, (QStringList{"&New", "&Open", "", "E&xit"}));

        TMDIChild* child = frame->CreateDocumentWindow();
        QCOMPARE(menuTitles(*frame),
                 (QStringList{"&File", "&Edit", "&Playlist", "&View", "&Window", "&Help"}));
        QCOMPARE(frame->menuBar()->actions().first()->menu(), child->MenuFile);
        child->subWindow()->close();
        QCOMPARE(menuTitles(*frame), (QStringList{"&File", "&View", "&Window", "&Help"}));
    }

    void documentMenuItems() {
        TMDIChild* child = frame->CreateDocumentWindow();
        QStringList items;
        for (QMenu* menu : {child->MenuFile, child->MenuEdit}) {
            for (QAction* a : menu->actions())
                items << a->text() + QLatin1Char('=') + a->shortcut().toString();
        }
        QCOMPARE(items, (QStringList{"&New=Ctrl+N",
                                     "&Open=Ctrl+O",
                                     "&Close=Ctrl+F4",
                                     "&Save=Ctrl+S",
                                     "Save &As...=Ctrl+A",
                                     "Expor&t As...=",
                                     "Export with &Files...=",
                                     "&Encoding=",
                                     "&Line Ends=",
                                     "=",
                                     "&Print=Ctrl+P",
                                     "Print Pre&view...=",
                                     "Export as P&DF...=",
                                     "=",
                                     "E&xit=",
                                     "&Undo=Ctrl+Z",
                                     "&Redo=Ctrl+Y",
                                     "=",
                                     "&Delete=Del",
                                     "Cu&t=Ctrl+X",
                                     "&Copy=Ctrl+C",
                                     "&Paste=Ctrl+V",
                                     "=",
                                     "&Remove Path=Ctrl+R",
                                     "Re&move Drive=Ctrl+M",
                                     "=",
                                     "Move &Up=Alt+Up",
                                     "Move Do&wn=Alt+Down",
                                     "=",
                                     "Select &All=Ctrl+Shift+A"}));
        QCOMPARE(child->MenuRedo->shortcuts().value(1),
                 QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
        QVERIFY(!child->MenuUndo->isEnabled());
        QVERIFY(!child->MenuRedo->isEnabled());
    }

    void windowMenuListsWindows() {
        TMDIChild* one = frame->CreateDocumentWindow();
        frame->CreateDocumentWindow();
        frame->MdiArea->setActiveSubWindow(one->subWindow());
        emit frame->MenuWindow->aboutToShow();
        QStringList items;
        QList<bool> checked;
        for (QAction* a : frame->MenuWindow->actions()) {
            items << a->text();
            checked << a->isChecked();
        }
        QCOMPARE(items, (QStringList{"&Cascade", "&Tile", "&Minimize All", "", "&1 (untitled)",
                                     "&2 (untitled)"}));
        QCOMPARE(checked.mid(4), (QList<bool>{true, false}));
        frame->MenuWindow->actions().last()->trigger();
        QCOMPARE(frame->ActiveDocumentWindow(), frame->DocumentWindows().last());
    }

    void openPlaylist() {
        const QString path = playlist(QStringLiteral("lists/open.m3u"));
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* child = frame->ActiveDocumentWindow();
        QCOMPARE(child->Caption(), path);
        QCOMPARE(entries(child), (Lines{"a", "b", "c"}));
        QCOMPARE(child->ListView1->model()->rowCount(), 3);
        QVERIFY(!child->Document.Modified());
        QCOMPARE(frame->OpenDialog.InitialDir,
                 QFile::encodeName(testsupport::homeDir() + "/lists"));
        // The same file again is a second window.
        frame->OpenPlaylist(QFile::encodeName(path));
        QCOMPARE(titles(*frame), (QStringList{path, path}));
    }

    void missingFileLeavesAnEmptyUntitledWindow() {
        Guarded([&] { frame->OpenPlaylist("no-such.m3u"); });
        QCOMPARE(prompts->errors, QStringList{"Cannot open file no-such.m3u."});
        TMDIChild* child = frame->ActiveDocumentWindow();
        QCOMPARE(child->Caption(), QStringLiteral("(untitled)"));
        QCOMPARE(child->Document.FileName, QByteArray("no-such.m3u"));
        QVERIFY(!child->Document.Modified());
        // Save then writes to the requested name without asking.
        QDir::setCurrent(testsupport::homeDir());
        child->MenuClick(child->MenuSave);
        QVERIFY(QFile::exists(testsupport::homeDir() + "/no-such.m3u"));
    }

    void commandLineArgumentOpensOnce() {
        const QString path = playlist(QStringLiteral("arg.m3u"));
        frame.reset();
        frame = std::make_unique<TCadrellMainForm>(QFile::encodeName(path), true);
        frame->show();
        QTRY_COMPARE(frame->DocumentWindows().size(), 1);
        frame->DocumentWindows().first()->subWindow()->close();
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(frame.get());
        frame->hide();
        frame->show();
        QTest::qWait(20);
        QCOMPARE(frame->DocumentWindows().size(), 0);
    }

    void filesDroppedOnTheFrame() {
        const QString a = playlist(QStringLiteral("drop/a.m3u"));
        const QString b = playlist(QStringLiteral("drop/b.txt"));
        const QString c = playlist(QStringLiteral("drop/c.M3U"));
        const QString d = playlist(QStringLiteral("drop2/d.m3u"));
        frame->FilesDropped({QFile::encodeName(a), QFile::encodeName(b), QFile::encodeName(c),
                             QFile::encodeName(d)});
        QCOMPARE(titles(*frame), (QStringList{a, d}));
        QCOMPARE(frame->OpenDialog.InitialDir,
                 QFile::encodeName(testsupport::homeDir() + "/drop2"));
        // A file that cannot be read ends the drop.
        Guarded([&] { frame->FilesDropped({"gone.m3u", QFile::encodeName(a)}); });
        QCOMPARE(prompts->errors, QStringList{"Cannot open file gone.m3u."});
        QCOMPARE(frame->DocumentWindows().size(), 3);
    }

    void filesDroppedOnAWindowsFrameGoToThatWindow_data() {
        QTest::addColumn<QPoint>("at");  // in the document window's frame
        QTest::newRow("title bar") << QPoint(60, 6);
        QTest::newRow("left border") << QPoint(1, 80);
        QTest::newRow("bottom border") << QPoint(80, -2);  // from the bottom edge
    }
    void filesDroppedOnAWindowsFrameGoToThatWindow() {
        QFETCH(QPoint, at);
        TMDIChild* child = frame->CreateDocumentWindow();
        QMdiSubWindow* window = child->subWindow();
        if (at.y() < 0)
            at.setY(window->height() + at.y());
        QVERIFY(!child->geometry().contains(at));
        const QString list = playlist(QStringLiteral("border/list.m3u"));
        const QString song = playlist(QStringLiteral("border/song.mp3"));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(list), QUrl::fromLocalFile(song)});
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(window, &enter);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(window, &drop);
        QCOMPARE(frame->DocumentWindows().size(), 1);
        QCOMPARE(entries(child), (Lines{QFile::encodeName(list), QFile::encodeName(song)}));
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    }

    void saveAndSaveAs() {
        const QString path = playlist(QStringLiteral("save/named.m3u"));
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* child = frame->ActiveDocumentWindow();
        select(child, {0});
        child->MenuClick(child->MenuDelete);
        child->MenuClick(child->MenuSave);  // named: no dialog
        QCOMPARE(testsupport::readFile(path), QByteArray("b\r\nc\r\n"));
        QVERIFY(!child->Document.Modified());

        // Save As forgets the name first; cancelling keeps the old title.
        prompts->fileNames.push_back(std::nullopt);
        child->MenuClick(child->MenuSaveAs);
        QCOMPARE(child->Caption(), path);
        QCOMPARE(child->Document.FileName, QByteArray("(untitled)"));
        // The next Save asks again; ".m3u" is appended to the chosen name.
        const QString other = testsupport::homeDir() + "/save/other";
        prompts->fileNames.push_back(other);
        child->MenuClick(child->MenuSave);
        QCOMPARE(child->Caption(), other + ".m3u");
        QCOMPARE(testsupport::readFile(other + ".m3u"), QByteArray("b\r\nc\r\n"));
        // A named playlist's dialog starts in its folder with its name; an untitled one gets the
        // name the dialog last accepted, from any window.
        QCOMPARE(prompts->saveInitialNames, (QStringList{"named.m3u", "named.m3u"}));
        QCOMPARE(prompts->fileDialogFolders.first(), testsupport::homeDir() + "/save");
        prompts->fileNames.push_back(std::nullopt);
        frame->CreateDocumentWindow()->MenuClick(frame->ActiveDocumentWindow()->MenuSave);
        QCOMPARE(prompts->saveInitialNames.last(), other);
    }

    void appendedExtensionAsksBeforeOverwriting() {
        const QString existing = playlist(QStringLiteral("ow/list.m3u"), "keep\r\n");
        TMDIChild* child = frame->CreateDocumentWindow();
        const QString typed = testsupport::homeDir() + "/ow/list";
        prompts->fileNames = {typed, testsupport::homeDir() + "/ow/fresh.m3u"};
        prompts->yesNo = {false};
        QVERIFY(child->SaveDocument());
        QCOMPARE(prompts->asked.size(), 1);
        QVERIFY(prompts->asked.first().contains(existing));
        QCOMPARE(testsupport::readFile(existing), QByteArray("keep\r\n"));
        QCOMPARE(child->Document.FileName,
                 QFile::encodeName(testsupport::homeDir() + "/ow/fresh.m3u"));
    }

    void closePrompt_data() {
        QTest::addColumn<QList<int>>("answers");  // Prompts::Answer values
        QTest::addColumn<bool>("saveName");       // the Save dialog is confirmed
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("modified");
        QTest::newRow("No closes and loses")
            << QList<int>{int(Prompts::Answer::No)} << false << true << true;
        QTest::newRow("Cancel keeps")
            << QList<int>{int(Prompts::Answer::Cancel)} << false << false << true;
        QTest::newRow("Yes, Save dialog cancelled, keeps")
            << QList<int>{int(Prompts::Answer::Yes)} << false << false << true;
        QTest::newRow("Yes and a name saves and closes")
            << QList<int>{int(Prompts::Answer::Yes)} << true << true << false;
    }
    void closePrompt() {
        QFETCH(QList<int>, answers);
        QFETCH(bool, saveName);
        TMDIChild* child = frame->CreateDocumentWindow();
        select(child, {});
        frame->EntryClipboard.clear();
        frame->EntryClipboard.append("x.mp3");
        child->MenuClick(child->MenuPaste);
        QVERIFY(child->Document.Modified());
        for (int a : answers)
            prompts->answers.push_back(Prompts::Answer(a));
        if (answers.contains(int(Prompts::Answer::Yes)))
            prompts->fileNames.push_back(
                saveName ? std::optional<QString>(testsupport::homeDir() + "/closed.m3u")
                         : std::nullopt);
        QPointer<TMDIChild> watch(child);
        child->MenuClick(child->MenuClose);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(prompts->asked, QStringList{"Closing file...: Save '(untitled)'?"});
        QTEST(watch.isNull(), "closed");
        if (watch)
            QTEST(watch->Document.Modified(), "modified");
    }

    void unmodifiedWindowClosesWithoutAsking() {
        TMDIChild* child = frame->CreateDocumentWindow();
        QPointer<TMDIChild> watch(child);
        child->MenuClick(child->MenuClose);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watch.isNull());
        QVERIFY(prompts->asked.isEmpty());
    }

    void frameCloseAsksMostRecentFirstAndStopsAtCancel() {
        const QString one = playlist(QStringLiteral("close/one.m3u"));
        const QString two = playlist(QStringLiteral("close/two.m3u"));
        frame->OpenPlaylist(QFile::encodeName(one));
        frame->OpenPlaylist(QFile::encodeName(two));
        for (TMDIChild* c : frame->DocumentWindows())
            testsupport::makeUnsaved(c->Document);
        frame->MdiArea->setActiveSubWindow(frame->DocumentWindows().first()->subWindow());
        prompts->answers = {Prompts::Answer::Cancel};
        frame->MenuClick(frame->MenuExit);
        QCOMPARE(prompts->asked, QStringList{"Closing file...: Save '" + one + "'?"});
        QCOMPARE(frame->DocumentWindows().size(), 2);
        QVERIFY(frame->isVisible());
        // No to the first, Cancel to the second: the first stays answered, nothing closes.
        prompts->answers = {Prompts::Answer::No, Prompts::Answer::Cancel};
        frame->MenuClick(frame->MenuExit);
        QCOMPARE(prompts->asked.size(), 3);
        QVERIFY(frame->isVisible());
    }

    void toolbarToggle() {
        QVERIFY(frame->MenuToolbar->isChecked());
        frame->MenuToolbar->trigger();
        QVERIFY(!frame->MenuToolbar->isChecked());
        QVERIFY(!frame->ToolBar1->isVisible());
        frame->MenuClick(frame->MenuToolbar);
        QVERIFY(frame->MenuToolbar->isChecked());
        QVERIFY(frame->ToolBar1->isVisible());
    }

    void firstStart_data() {
        QTest::addColumn<QByteArray>("stored");  // the settings file's text; empty: none at all
        QTest::newRow("no settings file") << QByteArray();
        QTest::newRow("settings without placement or font") << QByteArray(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tovermark\\Cadrell2]\r\n"
            "\"Remember\"=dword:00000000\r\n");
    }
    void firstStart() {
        QFETCH(QByteArray, stored);
        frame.reset();  // writes its settings, which this start must not find
        const QString settings =
            testsupport::homeDir() + QStringLiteral("/.config/cadrell/HKEY_CURRENT_USER.reg");
        QFile::remove(settings);
        if (!stored.isEmpty())
            testsupport::writeFile(QStringLiteral(".config/cadrell/HKEY_CURRENT_USER.reg"), stored);
        frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        // Two thirds of the screen, in its middle.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(frame->size(), QSize(available.width() * 2 / 3, available.height() * 2 / 3));
        const QPoint off = frame->frameGeometry().center() - available.center();
        QVERIFY2(off.manhattanLength() <= 32,
                 qPrintable(QStringLiteral("%1 %2").arg(off.x()).arg(off.y())));
        // The desktop's font, in the frame and in every playlist.
        QCOMPARE(frame->FrameFont, QApplication::font());
        TMDIChild* child = frame->CreateDocumentWindow();
        QCOMPARE(child->ListView1->font().family(), QApplication::font().family());
        QCOMPARE(child->ListView1->font().pointSizeF(), QApplication::font().pointSizeF());
    }

    void frameStaysPutOverExits_data() {
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << int(Qt::WindowNoState);
        QTest::newRow("maximized") << int(Qt::WindowMaximized);
        QTest::newRow("minimized") << int(Qt::WindowMinimized);
    }
    void frameStaysPutOverExits() {
        QFETCH(int, state);
        frame->setGeometry(150, 120, 700, 500);
        QTRY_COMPARE(frame->geometry().topLeft(), QPoint(150, 120));
        const QRect start(frame->frameGeometry().topLeft(), frame->size());
        for (int exit = 0; exit < 10; ++exit) {
            frame->setWindowState(Qt::WindowState(state));
            QTest::qWait(10);
            frame.reset();  // saves the settings
            frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
            frame->show();
            QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
            QCOMPARE(QRect(frame->frameGeometry().topLeft(), frame->size()), start);
        }
    }

    void noOtherWayToHideTheToolbar() {
        // The menu bar passes a right click on to the frame; the frame offers no menu of its own
        // that would hide the bar behind View > Toolbar's back.
        QWidget* popup = nullptr;
        QTimer::singleShot(0, [&] {
            popup = QApplication::activePopupWidget();
            if (popup)
                popup->close();
        });
        const QPoint at = frame->menuBar()->rect().bottomRight() - QPoint(4, 4);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, frame->menuBar()->mapToGlobal(at));
        QApplication::sendEvent(frame->menuBar(), &click);
        QTest::qWait(10);
        QVERIFY(!popup);
        QVERIFY(frame->ToolBar1->isVisible());
        QVERIFY(frame->MenuToolbar->isChecked());
    }

    void handOffWaitsForTheOpenDialog() {
        const QString path = playlist(QStringLiteral("handed.m3u"));
        bool remember = false;
        TOptionsBox box(frame.get(), remember, [] {});
        int windowsMeanwhile = -1;
        bool dialogInFront = false;
        QList<int> choices;
        QTimer::singleShot(50, [&] {
            // The user's choices, not yet applied, must survive a hand-off.
            for (RadioGroup* group : {box.RadioGroup1, box.RadioGroup2, box.RadioGroup3})
                group->SetItemIndex(1 - group->ItemIndex());
            for (RadioGroup* group : {box.RadioGroup1, box.RadioGroup2, box.RadioGroup3})
                choices << group->ItemIndex();
            frame->HandOff(QFile::encodeName(path));
            QTest::qWait(20);
            windowsMeanwhile = int(frame->DocumentWindows().size());
            dialogInFront = QApplication::activeWindow() == &box;
            for (RadioGroup* group : {box.RadioGroup1, box.RadioGroup2, box.RadioGroup3})
                choices << group->ItemIndex();
            box.reject();
        });
        box.exec();
        QCOMPARE(choices.mid(3), choices.first(3));
        QVERIFY(dialogInFront);
        QCOMPARE(windowsMeanwhile, 0);
        QTRY_COMPARE(titles(*frame), QStringList{path});
    }

    // The name was promised to the later start while a dialog was open; closing the frame
    // right after that dialog leaves the program open with the playlist.
    void handOffDuringCloseIsNotLost() {
        const QString path = playlist(QStringLiteral("late.m3u"));
        QDialog box(frame.get());
        frame->show();
        QTimer::singleShot(50, [&] {
            frame->HandOff(QFile::encodeName(path));
            box.reject();
            frame->close();
        });
        box.exec();
        QVERIFY(frame->isVisible());
        QTRY_COMPARE(titles(*frame), QStringList{path});
    }

    void toolbarLayout() {
        QStringList hints;
        int separators = 0;
        for (QAction* a : frame->ToolBar1->actions()) {
            if (a->isSeparator()) {
                ++separators;
                continue;
            }
            hints << a->toolTip();
            QCOMPARE(frame->ToolBar1->widgetForAction(a)->size(), QSize(23, 22));
            QVERIFY(!a->icon().isNull());
        }
        QCOMPARE(separators, 3);
        QCOMPARE(hints.size(), 15);
        QCOMPARE(hints.first(), QStringLiteral("Create a new file"));
        QCOMPARE(hints.mid(hints.indexOf(QStringLiteral("Paste cut or copied items")) + 1, 2),
                 (QStringList{"Undo", "Redo"}));
        QCOMPARE(hints.last(), QStringLiteral("Tovermark Software on the web"));
        QCOMPARE(frame->ToolBar1->widgetForAction(frame->tbWeb)->cursor().shape(),
                 Qt::PointingHandCursor);
    }

    void documentButtonsWithoutWindowDoNothing() {
        for (QAction* a :
             {frame->tbSave, frame->tbPrint, frame->tbDelete, frame->tbCut, frame->tbCopy,
              frame->tbPaste, frame->tbUndo, frame->tbRedo, frame->tbKillDrive, frame->tbKillPath})
            frame->ToolBar1Click(a);
        QCOMPARE(frame->DocumentWindows().size(), 0);
        QVERIFY(prompts->errors.isEmpty());
    }

    void toolbarForwardsToTheActiveWindow() {
        frame->OpenPlaylist(
            QFile::encodeName(playlist(QStringLiteral("tb.m3u"), "C:\\x\\a\r\nC:\\y\r\n")));
        TMDIChild* child = frame->ActiveDocumentWindow();
        frame->ToolBar1Click(frame->tbKillPath);
        QCOMPARE(entries(child), (Lines{"a", "y"}));
        QVERIFY(child->Document.Modified());
    }

    void fontReachesEveryWindow() {
        TMDIChild* one = frame->CreateDocumentWindow();
        TMDIChild* two = frame->CreateDocumentWindow();
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPointSize(14);
        prompts->fonts = {FontChoice{font, QColor(Qt::darkRed)}};
        frame->ToolBar1Click(frame->tbFont);
        QCOMPARE(one->ListView1->font().pointSize(), 14);
        QCOMPARE(two->ListView1->font().pointSize(), 14);
        QCOMPARE(frame->CreateDocumentWindow()->ListView1->font().pointSize(), 14);
        QCOMPARE(two->ListView1->palette().color(QPalette::Text), QColor(Qt::darkRed));
        QCOMPARE(frame->FrameFontColor, QColor(Qt::darkRed));
        prompts->fonts = {std::nullopt};  // cancelled: the frame font stays
        frame->MenuClick(frame->MenuFont);
        QCOMPARE(one->ListView1->font().pointSize(), 14);
    }

    void helpAndHomePage() {
        frame->MenuClick(frame->MenuContents);
        frame->ToolBar1Click(frame->tbWeb);
        QCOMPARE(prompts->urls.size(), 2);
        QCOMPARE(prompts->urls[0].toLocalFile(), QCoreApplication::applicationFilePath() + ".htm");
        QCOMPARE(prompts->urls[1].toString(), QStringLiteral("https://tovermark.example/cadrell/"));
    }

    void helpThatCannotOpenNamesThePage_data() {
        QTest::addColumn<int>("way");
        QTest::addColumn<QString>("page");
        const QString help = QCoreApplication::applicationFilePath() + ".htm";
        QTest::newRow("Contents") << 0 << help;
        QTest::newRow("Visit Home Page") << 1 << "https://tovermark.example/cadrell/";
        QTest::newRow("Options Help") << 2 << help;
    }
    void helpThatCannotOpenNamesThePage() {
        QFETCH(int, way);
        QFETCH(QString, page);
        prompts->urlsOpen = false;
        if (way == 0) {
            frame->MenuContents->trigger();
        } else if (way == 1) {
            frame->MenuVisitHomePage->trigger();
        } else {
            prompts->dialogs.push_back([](QDialog& dialog) {
                static_cast<TOptionsBox&>(dialog).ButtonHelp->click();
                return int(QDialog::Rejected);
            });
            frame->MenuOptions->trigger();
        }
        QCOMPARE(prompts->errors, QStringList{"Cannot open " + page + "."});
    }

    void tileTwoWindowsOneAboveTheOther() {
        frame->CreateDocumentWindow();
        frame->CreateDocumentWindow();
        frame->MenuClick(frame->MenuTile);
        const QRect area = frame->MdiArea->viewport()->rect();
        QList<QRect> rects;
        for (TMDIChild* c : frame->DocumentWindows())
            rects << c->subWindow()->geometry();
        std::sort(rects.begin(), rects.end(), [](QRect a, QRect b) { return a.top() < b.top(); });
        QCOMPARE(rects[0].width(), area.width());
        QCOMPARE(rects[1].width(), area.width());
        QCOMPARE(rects[0].top(), 0);
        QVERIFY(rects[1].top() >= rects[0].bottom());
    }

    void commandsWithoutATargetAreDisabled() {
        auto enabled = [this] {
            QList<bool> states;
            for (QAction* a : {frame->tbSave, frame->tbDelete, frame->tbPaste, frame->MenuCascade,
                               frame->MenuTile})
                states << a->isEnabled();
            return states;
        };
        QCOMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
        QVERIFY(frame->EmptyHint->isVisible());
        QCOMPARE(frame->EmptyHint->text(),
                 QStringLiteral("Open a playlist (Ctrl+O) or drop .m3u files here"));
        frame->OpenPlaylist(QFile::encodeName(playlist(QStringLiteral("targets.m3u"))));
        TMDIChild* child = frame->ActiveDocumentWindow();
        QVERIFY(!frame->EmptyHint->isVisible());
        QCOMPARE(enabled(), (QList<bool>{true, true, false, true, true}));
        QVERIFY(!child->MenuPaste->isEnabled());
        select(child, {1});
        child->MenuCopy->trigger();
        QCOMPARE(enabled(), (QList<bool>{true, true, true, true, true}));
        QVERIFY(child->MenuPaste->isEnabled());
        child->subWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
        QVERIFY(frame->EmptyHint->isVisible());
    }

    void cascadeUsesTheFrame() {
        for (int i = 0; i < 3; ++i)
            frame->CreateDocumentWindow();
        frame->MenuCascade->trigger();
        const QSize area = frame->MdiArea->viewport()->size();
        QList<QRect> rects;
        for (TMDIChild* c : frame->DocumentWindows())
            rects << c->subWindow()->geometry();
        QCOMPARE(rects[0].topLeft(), QPoint(0, 0));
        QCOMPARE(rects[0].size(), QSize(area.width() * 2 / 3, area.height() * 2 / 3));
        const int step = rects[1].top() - rects[0].top();
        QVERIFY(step >= 10 && step < 60);  // about a title bar
        QCOMPARE(rects[1].topLeft(), QPoint(step, step));
        QCOMPARE(rects[2].topLeft(), QPoint(2 * step, 2 * step));
        QCOMPARE(frame->ActiveDocumentWindow(), frame->DocumentWindows().last());
    }

    void ctrlF6CyclesTheWindows() {
        for (int i = 0; i < 3; ++i)
            frame->CreateDocumentWindow();
        const QList<TMDIChild*> windows = frame->DocumentWindows();
        windows[2]->ListView1->setFocus();
        QTest::keyClick(windows[2]->ListView1, Qt::Key_F6, Qt::ControlModifier);
        QCOMPARE(frame->ActiveDocumentWindow(), windows[0]);
        QTest::keyClick(windows[0]->ListView1, Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(frame->ActiveDocumentWindow(), windows[2]);
    }

    void inactiveWindowsSelectionLooksInactive() {
        TMDIChild* back = frame->CreateDocumentWindow();
        frame->EntryClipboard.append("row");
        back->MenuClick(back->MenuPaste);
        TMDIChild* front = frame->CreateDocumentWindow();
        front->MenuClick(front->MenuPaste);
        for (TMDIChild* c : {back, front}) {
            QPalette colours = c->ListView1->palette();
            colours.setColor(QPalette::Active, QPalette::Highlight, Qt::red);
            colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::blue);
            c->ListView1->setPalette(colours);
            select(c, {0});
        }
        auto colourOfRow = [](TMDIChild* c) {
            const QRect row = c->ListView1->visualRect(c->ListView1->model()->index(0, 0));
            return c->ListView1->viewport()->grab().toImage().pixelColor(row.right() - 4,
                                                                         row.center().y());
        };
        QCOMPARE(colourOfRow(front), QColor(Qt::red));
        QCOMPARE(colourOfRow(back), QColor(Qt::blue));
        // Also where the style's two colours are the same.
        for (TMDIChild* c : {back, front})
            c->ListView1->setPalette(QPalette(Qt::white));
        QVERIFY(colourOfRow(back) != colourOfRow(front));
    }

    void modifiedMark() {
        const QString path = playlist(QStringLiteral("mark/a [*] b.m3u"));
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* child = frame->ActiveDocumentWindow();
        QCOMPARE(child->Caption(), path);
        select(child, {0});
        child->MenuDelete->trigger();
        QCOMPARE(child->Caption(), path + "*");
        QCOMPARE(child->subWindow()->windowTitle().endsWith(QLatin1String("[*]")), true);
        QVERIFY(child->subWindow()->isWindowModified());
        emit frame->MenuWindow->aboutToShow();
        QCOMPARE(frame->MenuWindow->actions().last()->text(), "&1 " + path + "*");
        child->MenuSave->trigger();
        QCOMPARE(child->Caption(), path);
        QVERIFY(!child->subWindow()->isWindowModified());
    }

    void rowMenu_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("row");  // where the right click goes
        QTest::addColumn<std::vector<int>>("selected");
        QTest::newRow("right click on a selected row keeps the selection")
            << "click" << 3 << std::vector<int>{1, 3};
        QTest::newRow("Menu key") << "Menu" << -1 << std::vector<int>{1, 3};
    }
    void rowMenu() {
        QFETCH(QString, way);
        QFETCH(int, row);
        frame->OpenPlaylist(
            QFile::encodeName(playlist(QStringLiteral("menu.m3u"), "a\nb\nc\nd\n")));
        TMDIChild* child = frame->ActiveDocumentWindow();
        QWidget* vp = child->ListView1->viewport();
        auto at = [&](int r) {
            return child->ListView1->visualRect(child->ListView1->model()->index(r, 0)).center();
        };
        child->ListView1->setFocus();
        QTest::mouseClick(vp, Qt::LeftButton, {}, at(1));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, at(3));
        if (way == QLatin1String("click")) {
            // The press selects as a list does; the window system then asks for the menu.
            QTest::mousePress(vp, Qt::RightButton, {}, at(row));
            QContextMenuEvent menu(QContextMenuEvent::Mouse, at(row), vp->mapToGlobal(at(row)));
            QApplication::sendEvent(vp, &menu);
            QTest::mouseRelease(vp, Qt::RightButton, {}, at(row));
        } else {
            QTest::keyClick(child->ListView1, QKeySequence(way)[0].key(),
                            QKeySequence(way)[0].keyboardModifiers());
        }
        QTRY_VERIFY(child->popupMenu()->isVisible());
        QStringList items;
        for (QAction* a : child->popupMenu()->actions())
            items << a->text();
        QCOMPARE(items, (QStringList{"Cu&t", "&Copy", "&Paste", "&Delete", "", "&Remove Path",
                                     "Re&move Drive", "", "&Edit Entry", "&Find...", "&Sort"}));
        QTEST(child->ListView1->selectedPositions(), "selected");
        child->popupMenu()->close();
    }

    void keyboardEditing_data() {
        // Keys on a list of a..f, after clicking `first` and Shift-clicking `last`.
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("keys");  // comma-separated
        QTest::addColumn<QByteArray>("order");
        QTest::addColumn<std::vector<int>>("selected");
        QTest::addColumn<int>("current");
        QTest::newRow("Select All") << 2 << 2 << "Ctrl+Shift+A" << QByteArray("abcdef")
                                    << std::vector<int>{0, 1, 2, 3, 4, 5} << 2;
        QTest::newRow("Delete leaves the next row current, unselected")
            << 1 << 2 << "Del" << QByteArray("adef") << std::vector<int>{} << 1;
        QTest::newRow("Delete, then Shift+Down and Delete go on from there")
            << 1 << 2 << "Del,Shift+Down,Del" << QByteArray("af") << std::vector<int>{} << 1;
        QTest::newRow("Cut of the last rows leaves the new last row current")
            << 4 << 5 << "Ctrl+X" << QByteArray("abcd") << std::vector<int>{} << 3;
    }
    void keyboardEditing() {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, keys);
        QFETCH(QByteArray, order);
        frame->OpenPlaylist(
            QFile::encodeName(playlist(QStringLiteral("keys.m3u"), "a\nb\nc\nd\ne\nf\n")));
        TMDIChild* child = frame->ActiveDocumentWindow();
        QWidget* vp = child->ListView1->viewport();
        auto at = [&](int r) {
            return child->ListView1->visualRect(child->ListView1->model()->index(r, 0)).center();
        };
        child->ListView1->setFocus();
        QTest::mouseClick(vp, Qt::LeftButton, {}, at(first));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, at(last));
        for (const QString& key : keys.split(QLatin1Char(','))) {
            const QKeyCombination combination = QKeySequence(key)[0];
            QTest::keyClick(child->ListView1, combination.key(), combination.keyboardModifiers());
        }
        QCOMPARE(entries(child).size(), size_t(order.size()));
        QByteArray shown;
        for (const QByteArray& e : entries(child))
            shown += e;
        QCOMPARE(shown, order);
        QTEST(child->ListView1->selectedPositions(), "selected");
        QTEST(child->ListView1->currentIndex().row(), "current");
        QCOMPARE(child->Caption().endsWith(QLatin1Char('*')), order != "abcdef");
    }

    void arrangingNoWindowsDoesNothing() {
        frame->MenuClick(frame->MenuMinimize);
        frame->MenuClick(frame->MenuCascade);
        frame->MenuClick(frame->MenuTile);
        QCOMPARE(frame->DocumentWindows().size(), 0);
        frame->CreateDocumentWindow();
        frame->CreateDocumentWindow();
        frame->MenuClick(frame->MenuMinimize);
        for (TMDIChild* c : frame->DocumentWindows())
            QVERIFY(c->subWindow()->isMinimized());
    }

    void selectionAfterCommands() {
        const QString path = playlist(QStringLiteral("sel.m3u"), "a\nb\nc\nd\ne\nf\n");
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* child = frame->ActiveDocumentWindow();
        select(child, {0, 2, 5});
        child->MenuClick(child->MenuCopy);
        QCOMPARE(child->ListView1->selectedPositions(), (std::vector<int>{0, 2, 5}));
        QVERIFY(!child->Document.Modified());
        child->MenuClick(child->MenuDelete);
        QCOMPARE(entries(child), (Lines{"b", "d", "e"}));
        QVERIFY(child->ListView1->selectedPositions().empty());
        // Paste in another window puts the copied rows there; an untitled playlist has no folder
        // for relative names, so they arrive absolute.
        TMDIChild* other = frame->CreateDocumentWindow();
        other->MenuClick(other->MenuPaste);
        const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath()) + '/';
        QCOMPARE(entries(other), (Lines{dir + "a", dir + "c", dir + "f"}));
    }

    // Undo and Redo from the menu, the keys and the toolbar, each reaching the active window:
    // the entries and Modified come back, the captions name the steps, and the rows that came
    // back are selected with the first in view.
    void undoAndRedo_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("menu") << "menu";
        QTest::newRow("keys") << "keys";
        QTest::newRow("redo with Ctrl+Shift+Z") << "shift";
        QTest::newRow("toolbar") << "toolbar";
    }
    void undoAndRedo() {
        QFETCH(QString, way);
        QByteArray text;
        for (int i = 0; i < 300; ++i)
            text += "C:\\songs\\" + QByteArray::number(i) + ".mp3\r\n";
        frame->OpenPlaylist(QFile::encodeName(playlist(QStringLiteral("undo.m3u"), text)));
        TMDIChild* child = frame->ActiveDocumentWindow();
        TMDIChild* other = frame->CreateDocumentWindow();
        frame->MdiArea->setActiveSubWindow(child->subWindow());
        child->ListView1->setFocus();
        const Lines loaded = entries(child);
        auto act = [&](bool undo) {
            if (way == QLatin1String("menu"))
                (undo ? child->MenuUndo : child->MenuRedo)->trigger();
            else if (way == QLatin1String("toolbar"))
                frame->ToolBar1Click(undo ? frame->tbUndo : frame->tbRedo);
            else if (undo)
                QTest::keyClick(child->ListView1, Qt::Key_Z, Qt::ControlModifier);
            else if (way == QLatin1String("shift"))
                QTest::keyClick(child->ListView1, Qt::Key_Z,
                                Qt::ControlModifier | Qt::ShiftModifier);
            else
                QTest::keyClick(child->ListView1, Qt::Key_Y, Qt::ControlModifier);
        };
        select(child, {250, 280});
        child->MenuClick(child->MenuDelete);
        child->MenuClick(child->MenuRemovePaths);
        const Lines edited = entries(child);
        QCOMPARE(child->MenuUndo->text(), QStringLiteral("&Undo Remove Path"));
        QVERIFY(frame->tbUndo->isEnabled());
        QVERIFY(!frame->tbRedo->isEnabled());

        act(true);
        QCOMPARE(child->MenuUndo->text(), QStringLiteral("&Undo Delete"));
        QCOMPARE(child->MenuRedo->text(), QStringLiteral("&Redo Remove Path"));
        QCOMPARE(child->ListView1->selectedPositions().size(), size_t(298));
        act(true);
        QCOMPARE(entries(child), loaded);
        QVERIFY(!child->Document.Modified());
        QCOMPARE(child->ListView1->selectedPositions(), (std::vector<int>{250, 280}));
        QCOMPARE(child->ListView1->currentIndex().row(), 250);
        QVERIFY(child->ListView1->viewport()->rect().intersects(
            child->ListView1->visualRect(child->ListView1->currentIndex())));
        QVERIFY(!child->MenuUndo->isEnabled());
        QVERIFY(!frame->tbUndo->isEnabled());
        QCOMPARE(child->MenuUndo->text(), QStringLiteral("&Undo"));
        QVERIFY(entries(other).empty());

        act(false);
        act(false);
        QCOMPARE(entries(child), edited);
        QVERIFY(child->Document.Modified());
        QVERIFY(!child->MenuRedo->isEnabled());
        QVERIFY(!frame->tbRedo->isEnabled());
        // The toolbar follows the active window.
        frame->MdiArea->setActiveSubWindow(other->subWindow());
        QVERIFY(!frame->tbUndo->isEnabled());
        frame->MdiArea->setActiveSubWindow(child->subWindow());
        QVERIFY(frame->tbUndo->isEnabled());
    }

    void shortcutsReachTheActiveWindow() {
        frame->OpenPlaylist(QFile::encodeName(playlist(QStringLiteral("keys.m3u"), "a\nb\nc\n")));
        TMDIChild* child = frame->ActiveDocumentWindow();
        child->ListView1->setFocus();
        select(child, {1});
        QTest::keyClick(child->ListView1, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(entries(child), (Lines{"a", "c"}));
        select(child, {0});
        QTest::keyClick(child->ListView1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(entries(child), (Lines{"b", "a", "c"}));
        select(child, {2});
        QTest::keyClick(child->ListView1, Qt::Key_Delete);
        QCOMPARE(entries(child), (Lines{"b", "a"}));
        QTest::keyClick(child->ListView1, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(frame->DocumentWindows().size(), 2);
        // Ctrl+A is Save As here, not select-all.
        prompts->fileNames.push_back(std::nullopt);
        QTest::keyClick(frame->ActiveDocumentWindow()->ListView1, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(prompts->saveInitialNames.size(), 1);
    }

    void boxesShowNamesAsPlainText_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("close question") << 0;
        QTest::newRow("yes/no question") << 1;
        QTest::newRow("error box") << 2;
    }
    void boxesShowNamesAsPlainText() {
        QFETCH(int, kind);
        const QString text = QStringLiteral("Save '<b>x</b> a&lt;b.m3u'?");
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                box->reject();
            }
        });
        QtPrompts real;
        if (kind == 0)
            real.askYesNoCancel(frame.get(), QStringLiteral("Closing file..."), text);
        else if (kind == 1)
            real.askYesNo(frame.get(), QStringLiteral("Confirm"), text);
        else
            real.showError(frame.get(), text);
        QCOMPARE(format, Qt::PlainText);
    }

    void longRowIsCutBetweenCharacters_data() {
        QTest::addColumn<QByteArray>("character");
        QTest::addColumn<int>("before");  // bytes in front of it
        QTest::newRow("two bytes across the cut") << QByteArray("\xc3\xa9") << 4095;
        QTest::newRow("three bytes, one shown") << QByteArray("\xe2\x82\xac") << 4095;
        QTest::newRow("three bytes, two shown") << QByteArray("\xe2\x82\xac") << 4094;
        QTest::newRow("four bytes, three shown") << QByteArray("\xf0\x9f\x8e\xb5") << 4093;
    }
    void longRowIsCutBetweenCharacters() {
        QFETCH(QByteArray, character);
        QFETCH(int, before);
        const QByteArray entry = QByteArray(before, 'a') + character + QByteArray(100, 'b');
        const QString text = PlaylistModel::displayText(entry);
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QCOMPARE(text, QString(before, QLatin1Char('a')) + QChar(0x2026));
    }

    void aboutBox() {
        TAboutBox box(frame.get());
        QCOMPARE(box.windowTitle(), QStringLiteral("About Cadrell"));
        QCOMPARE(box.ProductName->text(), QStringLiteral("Cadrell"));
        QCOMPARE(box.Version->text(), QStringLiteral("Version 2.2.4"));
        QCOMPARE(box.Comments->text(), QStringLiteral("https://tovermark.example/cadrell/"));
        QVERIFY(box.OKButton->isDefault());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(box.Comments, Qt::LeftButton);
        QCOMPARE(prompts->urls.size(), 1);
        QVERIFY(box.isVisible());
        QTest::mouseClick(box.OKButton, Qt::LeftButton);
        QVERIFY(!box.isVisible());
    }

    // Entries copied between playlists of different encodings arrive as the same characters; a
    // character the target cannot hold asks before the target is converted, never becomes "?".
    void pasteAcrossEncodings_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<bool>("convert");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<int>("questions");
        const QByteArray japanese = QStringLiteral("\u65e5\u672c.mp3").toUtf8();
        QTest::newRow("Windows-1252 into UTF-8")
            << QByteArray("R\xF6yksopp.mp3\r\n") << QByteArray("a.mp3\r\n") << false
            << QByteArray("a.mp3\r\nR\xC3\xB6yksopp.mp3\r\n") << 0;
        QTest::newRow("UTF-8 into Windows-1252")
            << QByteArray("R\xC3\xB6y.mp3\r\n") << QByteArray("\xE9t\xE9.mp3\r\n") << false
            << QByteArray("\xE9t\xE9.mp3\r\nR\xF6y.mp3\r\n") << 0;
        QTest::newRow("Japanese into Windows-1252, converted")
            << japanese + "\r\n"
            << QByteArray("\xE9.mp3\r\n") << true
            << QByteArray("\xC3\xA9.mp3\r\n") + japanese + "\r\n"
            << 1;
        QTest::newRow("Japanese into Windows-1252, cancelled")
            << japanese + "\r\n"
            << QByteArray("\xE9.mp3\r\n") << false << QByteArray("\xE9.mp3\r\n") << 1;
    }
    void pasteAcrossEncodings() {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, target);
        QFETCH(bool, convert);
        QFETCH(QByteArray, saved);
        QFETCH(int, questions);
        frame->OpenPlaylist(QFile::encodeName(playlist(QStringLiteral("source.m3u"), source)));
        TMDIChild* from = frame->ActiveDocumentWindow();
        from->ListView1->selectAll();
        from->MenuClick(from->MenuCopy);
        const QString path = playlist(QStringLiteral("target.m3u"), target);
        frame->OpenPlaylist(QFile::encodeName(path));
        TMDIChild* to = frame->ActiveDocumentWindow();
        prompts->yesNo.push_back(convert);
        to->MenuClick(to->MenuPaste);
        QCOMPARE(prompts->asked.size(), questions);
        if (to->Document.Modified())
            to->MenuClick(to->MenuSave);
        QCOMPARE(testsupport::readFile(path), saved);
        closeAllUnasked();
    }
};

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
