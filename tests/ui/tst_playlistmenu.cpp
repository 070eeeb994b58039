#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport/PatternGate.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistTools.h"

using namespace cadrell;
using testsupport::PatternGate;
using testsupport::ScriptedPrompts;
using Rows = std::vector<int>;

namespace {

QByteArray joined(const PlaylistDocument& doc) {
    const std::vector<QByteArray> all = doc.Entries().toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

void fill(TMDIChild* child, const QByteArray& lines) {
    child->Document.edit([&](EntryList& e) {
        if (lines.isEmpty())
            return;
        for (const QByteArray& line : lines.split('|'))
            e.append(line);
    });
}

void select(TMDIChild* child, const Rows& rows) {
    child->ListView1->clearSelection();
    for (int r : rows)
        child->ListView1->selectionModel()->select(child->ListView1->model()->index(r, 0),
                                                   QItemSelectionModel::Select);
}

QString status() {
    return CadrellMainForm->frameStatusBar()->currentMessage();
}

// The letter Alt takes with a caption ("&&" is an ampersand); null when there is none.
QChar mnemonic(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1].toUpper();
        ++i;
    }
    return {};
}

QLineEdit* findField(TMDIChild* child, const QString& name) {
    for (QLineEdit* f : child->findBar()->findChildren<QLineEdit*>())
        if (f->accessibleName() == name)
            return f;
    return nullptr;
}

}  // namespace

class TestPlaylistMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TCadrellMainForm> frame;
    TMDIChild* child = nullptr;

    QAction* item(const QString& name) { return child->findChild<QAction*>(name); }
    void waitForTools() { QTRY_VERIFY_WITH_TIMEOUT(!child->tools()->busy(), 20000); }

private slots:
    void init() {
        prompts = std::make_unique<ScriptedPrompts>();
        frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QApplication::setActiveWindow(frame.get());
        child = frame->CreateDocumentWindow();
        child->ListView1->setFocus();
    }
    void cleanup() {
        child->Document.markClean();
        frame.reset();
        QCOMPARE(prompts->unexpected, 0);
        QCOMPARE(prompts->errors, QStringList());
        prompts.reset();
    }

    // The menu's items and keys; no accelerator letter twice in one menu, so Alt+letter always
    // reaches the item it names.
    void menuItemsAndAccelerators() {
        QStringList items;
        for (QAction* a : child->MenuPlaylist->actions())
            items << a->text() + QLatin1Char('=') + a->shortcut().toString();
        QCOMPARE(
            items,
            (QStringList{"&Find...=Ctrl+F", "Re&place...=Ctrl+H", "Find &Next=F3",
                         "Find Pre&vious=Shift+F3", "=", "&Sort=", "Remove &Duplicates=",
                         "Select &Missing Files=", "&Locate Missing Files...=", "=",
                         "Make Paths &Relative=", "Make Paths &Absolute=", "&Use Forward Slashes=",
                         "Use &Backslashes=", "Dec&ode File Addresses=", "Fix Letter &Case=", "=",
                         "&Edit Entry=F2", "&Insert Entry=Ins"}));
        for (QMenu* menu : {child->MenuPlaylist, child->MenuSort, child->popupMenu()}) {
            QSet<QChar> letters;
            for (QAction* a : menu->actions()) {
                const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
                if (amp < 0 || amp + 1 >= a->text().size())
                    continue;
                const QChar letter = a->text().at(amp + 1).toLower();
                QVERIFY2(!letters.contains(letter), qPrintable(menu->title() + ": " + a->text()));
                letters.insert(letter);
            }
        }
    }

    void tools_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QByteArray>("fileName");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("step");  // empty: no step
        QTest::addColumn<QString>("result");

        const QByteArray untitled = kUntitled;
        QTest::newRow("sort by path keeps #EXTINF with its entry")
            << QByteArray("#EXTM3U|#EXTINF:1,b|/m/Track 10.mp3|#EXTINF:2,a|/m/Track 2.mp3")
            << untitled << Rows{} << "MenuSortPath"
            << QByteArray("#EXTM3U|#EXTINF:2,a|/m/Track 2.mp3|#EXTINF:1,b|/m/Track 10.mp3")
            << "Sort by Path"
            << "2 items sorted";
        QTest::newRow("sort by file name")
            << QByteArray("/z/b.mp3|/a/c.mp3|/y/a.mp3") << untitled << Rows{} << "MenuSortFileName"
            << QByteArray("/y/a.mp3|/z/b.mp3|/a/c.mp3") << "Sort by File Name"
            << "3 items sorted";
        QTest::newRow("sort by title")
            << QByteArray("#EXTINF:1,Zed|/a.mp3|#EXTINF:1,Alpha|/b.mp3") << untitled << Rows{}
            << "MenuSortTitle" << QByteArray("#EXTINF:1,Alpha|/b.mp3|#EXTINF:1,Zed|/a.mp3")
            << "Sort by Title"
            << "2 items sorted";
        QTest::newRow("sort of the selected items only")
            << QByteArray("d|c|b|a") << untitled << Rows{1, 2} << "MenuSortPath"
            << QByteArray("d|b|c|a") << "Sort by Path"
            << "2 selected items sorted";
        QTest::newRow("already sorted: no step")
            << QByteArray("a|b") << untitled << Rows{} << "MenuSortPath" << QByteArray("a|b") << ""
            << "Already in that order";
        QTest::newRow("reverse") << QByteArray("a|b|c") << untitled << Rows{} << "MenuReverse"
                                 << QByteArray("c|b|a") << "Reverse Order"
                                 << "3 items reversed";
        QTest::newRow("remove duplicates with their #EXTINF lines")
            << QByteArray("#EXTINF:1,x|/m/a.mp3|/m/b.mp3|#EXTINF:2,y|/m/a.mp3|http://r/s|/m/b.mp3")
            << untitled << Rows{} << "MenuRemoveDuplicates"
            << QByteArray("#EXTINF:1,x|/m/a.mp3|/m/b.mp3|http://r/s") << "Remove Duplicates"
            << "2 duplicates removed";
        QTest::newRow("no duplicates") << QByteArray("a|b") << untitled << Rows{}
                                       << "MenuRemoveDuplicates" << QByteArray("a|b") << ""
                                       << "No duplicates found";
        QTest::newRow("relative") << QByteArray("/m/lists/a.mp3|/m/music/b b.mp3|http://x/y")
                                  << QByteArray("/m/lists/x.m3u") << Rows{} << "MenuMakeRelative"
                                  << QByteArray("a.mp3|../music/b b.mp3|http://x/y")
                                  << "Make Paths Relative"
                                  << "2 entries changed";
        QTest::newRow("absolute, selected item only")
            << QByteArray("a.mp3|#EXTINF:1,b|../music/b.mp3") << QByteArray("/m/lists/x.m3u")
            << Rows{1, 2} << "MenuMakeAbsolute" << QByteArray("a.mp3|#EXTINF:1,b|/m/music/b.mp3")
            << "Make Paths Absolute"
            << "1 entry changed";
        QTest::newRow("relative with nothing to change")
            << QByteArray("a.mp3|http://x/y") << QByteArray("/m/lists/x.m3u") << Rows{}
            << "MenuMakeRelative" << QByteArray("a.mp3|http://x/y") << ""
            << "No paths changed";
    }
    void tools() {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, fileName);
        QFETCH(Rows, selected);
        QFETCH(QString, action);
        QFETCH(QByteArray, after);
        QFETCH(QString, step);
        QFETCH(QString, result);

        fill(child, lines);
        child->Document.FileName = fileName;
        select(child, selected);
        item(action)->trigger();
        waitForTools();
        QCOMPARE(joined(child->Document), after);
        QCOMPARE(status(), result);
        if (action == "MenuSortPath" && !selected.empty()) {
            // The sorted items stay selected.
            QCOMPARE(child->ListView1->selectedPositions(), selected);
        }
        QCOMPARE(child->Document.history().count(), step.isEmpty() ? 0 : 1);
        QCOMPARE(child->Document.Modified(), !step.isEmpty());
        if (step.isEmpty())
            return;
        QCOMPARE(child->MenuUndo->text(), "&Undo " + step);
        child->MenuUndo->trigger();
        QCOMPARE(joined(child->Document), lines);
        QVERIFY(!child->Document.Modified());
    }

    void untitledPlaylistHasNoFolderForRelativePaths() {
        fill(child, "/m/a.mp3");
        item("MenuMakeRelative")->trigger();
        waitForTools();
        QCOMPARE(prompts->errors,
                 QStringList{"Save the playlist first: its paths are relative to its folder."});
        prompts->errors.clear();
        QCOMPARE(joined(child->Document), QByteArray("/m/a.mp3"));
    }

    // A result worked out on the thread fits only the entries it was worked out from.
    void resultDroppedWhenThePlaylistChangedMeanwhile() {
        fill(child, "c|b|a");
        item("MenuSortPath")->trigger();
        QVERIFY(child->tools()->busy());
        select(child, {0});
        child->MenuDelete->trigger();
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("b|a"));
        QCOMPARE(status(),
                 QStringLiteral("The playlist changed meanwhile; Sort by Path was not done"));
        QCOMPARE(child->Document.history().count(), 1);
    }

    void typingWhileAToolWorksIsKept() {
        fill(child, "c|b|a");
        item("MenuSortPath")->trigger();
        child->ListView1->setCurrentIndex(child->ListView1->model()->index(0, 0));
        child->MenuEditEntry->trigger();
        child->editor()->field()->setText("x");
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("x|b|a"));
        QCOMPARE(status(),
                 QStringLiteral("The playlist changed meanwhile; Sort by Path was not done"));
    }

    void cancelledToolChangesNothing() {
        fill(child, "c|b|a");
        item("MenuSortPath")->trigger();
        QVERIFY(frame->frameStatusBar()->inProgress());
        QTest::keyClick(child->ListView1, Qt::Key_Escape);
        QVERIFY(!frame->frameStatusBar()->inProgress());
        QCOMPARE(status(), QStringLiteral("Cancelled"));
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("c|b|a"));
        QCOMPARE(child->Document.history().count(), 0);
    }

    void missingFiles_data() {
        QTest::addColumn<bool>("named");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("result");
        // Rows: 0 #EXTM3U, 1-2 a (there), 3-4 b (missing), 5 a web address, 6 a drive path,
        // 7 an absolute path that is missing, 8 an absolute path that is there.
        QTest::newRow("named playlist") << true << Rows{3, 4, 7} << "2 missing, 2 not checked";
        QTest::newRow("untitled: relative names not checked")
            << false << Rows{7} << "1 missing, 4 not checked";
    }
    void missingFiles() {
        QFETCH(bool, named);
        QFETCH(Rows, selected);
        QFETCH(QString, result);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"a.mp3", "c.mp3"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QByteArray root = QFile::encodeName(dir.path());
        fill(child, "#EXTM3U|#EXTINF:1,a|a.mp3|#EXTINF:2,b|b.mp3|http://x/s|C:\\x.mp3|" + root +
                        "/gone/c.mp3|" + root + "/c.mp3");
        if (named)
            child->Document.FileName = root + "/list.m3u";
        item("MenuSelectMissing")->trigger();
        waitForTools();
        QCOMPARE(child->ListView1->selectedPositions(), selected);
        QCOMPARE(child->ListView1->currentIndex().row(), selected.front());
        QCOMPARE(status(), result);
        QCOMPARE(child->Document.history().count(), 0);
        // Delete then takes the items whole.
        child->MenuDelete->trigger();
        QVERIFY(!joined(child->Document).contains("#EXTINF:2,b") || !named);
    }

    void findAndReplaceAll() {
        fill(child, "/home/old/Music/a.mp3|/home/old/Music/b.mp3|/other/c.mp3");
        QTest::keyClick(child->ListView1, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(child->findBar()->isVisible());
        QLineEdit* find = nullptr;
        QLineEdit* with = nullptr;
        for (QLineEdit* f : child->findBar()->findChildren<QLineEdit*>())
            (f->accessibleName() == "Find" ? find : with) = f;
        QVERIFY(find->hasFocus());
        find->setText("/home/old/Music");
        with->setText("/mnt/music");
        for (QPushButton* b : child->findBar()->findChildren<QPushButton*>())
            if (b->accessibleName() == "Replace All")
                b->click();
        QTRY_VERIFY(!child->findBar()->isReplacing());
        QCOMPARE(joined(child->Document),
                 QByteArray("/mnt/music/a.mp3|/mnt/music/b.mp3|/other/c.mp3"));
        QCOMPARE(child->MenuUndo->text(), QStringLiteral("&Undo Replace All"));
        QCOMPARE(status(), QStringLiteral("2 entries changed"));
        // F3 from the list goes on searching with what the bar holds.
        find->setText("c.mp3");
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!child->findBar()->isVisible());
        QVERIFY(child->ListView1->hasFocus());
        QTest::keyClick(child->ListView1, Qt::Key_F3);
        QTRY_COMPARE(child->ListView1->currentIndex().row(), 2);
    }

    // The find bar by keyboard: Tab goes through it as it reads, and every underlined letter in
    // it is its own, taken by no menu of the menu bar.
    void findBarKeyboard_data() {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QStringList>("chain");
        QTest::newRow("find") << false
                              << QStringList{"Find",       "Next",       "Previous",
                                             "Select All", "Match case", "Regular expression"};
        QTest::newRow("replace") << true
                                 << QStringList{
                                        "Find",        "Replace with", "Next",
                                        "Previous",    "Select All",   "Replace",
                                        "Replace All", "Match case",   "Regular expression"};
    }
    void findBarKeyboard() {
        QFETCH(bool, replace);
        (replace ? child->MenuReplace : child->MenuFind)->trigger();
        FindBar* bar = child->findBar();
        QStringList chain;
        for (int i = 0; i < 20 && bar->isAncestorOf(QApplication::focusWidget()); ++i) {
            chain << QApplication::focusWidget()->accessibleName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QTEST(chain, "chain");

        QSet<QChar> menus;
        for (QAction* a : frame->menuBar()->actions())
            menus.insert(mnemonic(a->text()));
        QCOMPARE(menus, (QSet<QChar>{'F', 'E', 'P', 'V', 'W', 'H'}));
        QSet<QChar> letters;
        for (QWidget* w : bar->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(w);
            const auto* button = qobject_cast<QAbstractButton*>(w);
            const QChar letter = mnemonic(label ? label->text() : button ? button->text() : "");
            if (letter.isNull())
                continue;
            const QString caption = label ? label->text() : button->text();
            QVERIFY2(!letters.contains(letter), qPrintable(caption));
            QVERIFY2(!menus.contains(letter), qPrintable(caption));
            letters.insert(letter);
            // A label's letter takes the keyboard to its field, from wherever it is.
            if (label && label->isVisible()) {
                child->ListView1->setFocus();
                QTest::keyClick(child->ListView1, letter.toLatin1(), Qt::AltModifier);
                QCOMPARE(QApplication::focusWidget(), label->buddy());
            }
        }
        QCOMPARE(letters.size(), 8);  // "Look in" counts though only the item view shows it
    }

    // Searches the window asks for never hold it up: F3 with the bar closed waits for the count,
    // Esc in the list calls it off, Replace All shows its progress with Cancel in the status
    // bar, and a window closing leaves a stuck search behind and gives the status bar back.
    void searchesCalledOffFromTheWindow() {
        fill(child, "a.mp3|b.ogg|c.mp3");
        auto gate = std::make_shared<PatternGate>();
        child->findBar()->setTextForm(PatternGate::form(gate));
        child->MenuReplace->trigger();
        findField(child, "Find")->setText("mp3");
        findField(child, "Replace with")->setText("flac");
        QTest::keyClick(findField(child, "Find"), Qt::Key_Escape);
        child->ListView1->setCurrentIndex(child->ListView1->model()->index(1, 0));
        QTest::keyClick(child->ListView1, Qt::Key_F3);
        QTRY_VERIFY(gate->waiting() > 0);
        QVERIFY(child->findBar()->isFinding());
        QTest::keyClick(child->ListView1, Qt::Key_Escape);
        QCOMPARE(status(), QStringLiteral("Cancelled"));
        QVERIFY(!child->findBar()->isFinding());

        child->MenuReplace->trigger();
        child->findBar()->replaceAll();
        QVERIFY(frame->frameStatusBar()->inProgress());
        frame->frameStatusBar()->cancelProgress();
        QCOMPARE(status(), QStringLiteral("Cancelled"));
        QVERIFY(!child->findBar()->isReplacing());

        child->findBar()->replaceAll();
        QVERIFY(frame->frameStatusBar()->inProgress());
        child->Document.markClean();
        QPointer<TMDIChild> closing = child;
        child->MenuClose->trigger();
        QVERIFY(!frame->frameStatusBar()->inProgress());
        QTRY_VERIFY(!closing);
        child = frame->CreateDocumentWindow();
        QVERIFY(gate->waiting() > 0);
        gate->open();
        QTRY_COMPARE(gate->waiting(), 0);
        QTest::qWait(100);
        QCOMPARE(gate->onInterfaceThread(), 0);
        QCOMPARE(child->Document.Entries().size(), 0);
    }

    // Replacing into a Windows-1252 playlist with a character it cannot hold writes nothing.
    void replacementTheEncodingCannotHold() {
        frame->OpenPlaylist(QFile::encodeName(
            testsupport::writeFile(QStringLiteral("latin.m3u"), "caf\xe9.mp3\r\n")));
        child = frame->ActiveDocumentWindow();
        QCOMPARE(child->Document.Encoding, TextEncoding::Windows1252);
        child->MenuReplace->trigger();
        QLineEdit* find = nullptr;
        QLineEdit* with = nullptr;
        for (QLineEdit* f : child->findBar()->findChildren<QLineEdit*>())
            (f->accessibleName() == "Find" ? find : with) = f;
        find->setText(QString::fromUtf8("café"));
        with->setText(QString::fromUtf8("cafā"));
        child->findBar()->replaceAll();
        QTRY_VERIFY(!child->findBar()->isReplacing());
        QCOMPARE(joined(child->Document), QByteArray("caf\xe9.mp3"));
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY(prompts->errors.front().startsWith("The playlist is written in Windows-1252"));
        prompts->errors.clear();
        // What it can hold is replaced as usual.
        with->setText(QString::fromUtf8("Café"));
        child->findBar()->replaceAll();
        QTRY_VERIFY(!child->findBar()->isReplacing());
        QCOMPARE(joined(child->Document), QByteArray("Caf\xe9.mp3"));
    }

    void typing_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("current");  // -1: none
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("typed");  // a null text: Esc
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("step");

        QTest::newRow("edit") << QByteArray("a|b|c") << 1 << int(Qt::Key_F2) << "x"
                              << QByteArray("a|x|c") << "Edit Entry";
        QTest::newRow("edit cancelled") << QByteArray("a|b|c") << 1 << int(Qt::Key_F2) << QString()
                                        << QByteArray("a|b|c") << "";
        // Bytes that are no UTF-8 show as stand-ins, but an untouched text keeps them.
        QTest::newRow("edit unchanged keeps the bytes")
            << QByteArray("a|b\xff|c") << 1 << int(Qt::Key_F2) << "=" << QByteArray("a|b\xff|c")
            << "";
        const QByteArray longEntry = "http://tv/" + QByteArray(40000, 'x');
        QTest::newRow("edit unchanged keeps a long entry whole")
            << QByteArray("a|") + longEntry << 1 << int(Qt::Key_F2) << "="
            << QByteArray("a|") + longEntry << "";
        QTest::newRow("insert before the current row")
            << QByteArray("a|b|c") << 1 << int(Qt::Key_Insert) << "http://radio/stream"
            << QByteArray("a|http://radio/stream|b|c") << "Insert Entry";
        QTest::newRow("insert at the end without a current row")
            << QByteArray("a|b") << -1 << int(Qt::Key_Insert) << "c" << QByteArray("a|b|c")
            << "Insert Entry";
        QTest::newRow("insert into an empty playlist") << QByteArray() << -1 << int(Qt::Key_Insert)
                                                       << "c" << QByteArray("c") << "Insert Entry";
        QTest::newRow("insert left empty")
            << QByteArray("a|b") << 0 << int(Qt::Key_Insert) << "" << QByteArray("a|b") << "";
        QTest::newRow("insert cancelled") << QByteArray("a|b") << 0 << int(Qt::Key_Insert)
                                          << QString() << QByteArray("a|b") << "";
    }
    void typing() {
        QFETCH(QByteArray, lines);
        QFETCH(int, current);
        QFETCH(int, key);
        QFETCH(QString, typed);
        QFETCH(QByteArray, after);
        QFETCH(QString, step);

        fill(child, lines);
        if (current >= 0)
            child->ListView1->setCurrentIndex(child->ListView1->model()->index(current, 0));
        QTest::keyClick(child->ListView1, Qt::Key(key));
        QLineEdit* field = child->editor()->field();
        QVERIFY(field);
        QVERIFY(field->hasFocus());
        const qsizetype rows = child->Document.Entries().size();
        QCOMPARE(child->ListView1->model()->rowCount(), rows + (key == Qt::Key_Insert ? 1 : 0));
        if (typed.isNull()) {
            QTest::keyClick(field, Qt::Key_Escape);
        } else {
            if (typed != "=")
                field->setText(typed);
            QTest::keyClick(field, Qt::Key_Return);
        }
        QTRY_VERIFY(!child->editor()->isEditing());
        QCOMPARE(joined(child->Document), after);
        QCOMPARE(child->ListView1->model()->rowCount(), child->Document.Entries().size());
        QCOMPARE(child->Document.history().count(), step.isEmpty() ? 0 : 1);
        QVERIFY(child->ListView1->hasFocus());
        if (step.isEmpty())
            return;
        QCOMPARE(child->MenuUndo->text(), "&Undo " + step);
        child->MenuUndo->trigger();
        QCOMPARE(joined(child->Document), lines);
    }

    // The field stands out from its row, drawn selected or not: a line in the selection colour
    // round a field of the list's own background.
    void entryFieldFramed_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("selected");
        QTest::newRow("edit, row selected") << int(Qt::Key_F2) << true;
        QTest::newRow("edit, row not selected") << int(Qt::Key_F2) << false;
        QTest::newRow("insert, row selected") << int(Qt::Key_Insert) << true;
        QTest::newRow("insert, row not selected") << int(Qt::Key_Insert) << false;
    }
    void entryFieldFramed() {
        QFETCH(int, key);
        QFETCH(bool, selected);
        fill(child, "a|b|c");
        const QModelIndex row = child->ListView1->model()->index(1, 0);
        child->ListView1->setCurrentIndex(row);
        QTest::keyClick(child->ListView1, Qt::Key(key));
        QLineEdit* field = child->editor()->field();
        QVERIFY(field);
        // Put away however the test ends: a frame that goes with the field open takes the
        // window's status from a frame half destroyed.
        const std::unique_ptr<EntryEditor, void (*)(EntryEditor*)> typing(
            child->editor(), [](EntryEditor* e) { e->cancel(); });
        QItemSelectionModel* selection = child->ListView1->selectionModel();
        selection->select(
            row, selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Clear);
        QCOMPARE(selection->isSelected(row), selected);
        const QImage shot = child->ListView1->viewport()->grab().toImage();
        const QRect r = field->geometry();
        const QPoint mid = r.center();
        const QColor line = field->palette().color(QPalette::Highlight);
        for (const QPoint& edge : {QPoint(mid.x(), r.top()), QPoint(mid.x(), r.bottom()),
                                   QPoint(r.left(), mid.y()), QPoint(r.right(), mid.y())})
            QCOMPARE(shot.pixelColor(edge), line);
        // Clear of the short text, inside the line: the field's background, not the selection.
        QCOMPARE(shot.pixelColor(r.right() - 2, mid.y()), field->palette().color(QPalette::Base));
    }

    // The program ending while an entry is typed: the windows go before the frame stops being
    // their host (this used to end in a call into the half-destroyed frame).
    void frameGoesWhileTyping() {
        fill(child, "a|b");
        child->MenuInsertEntry->trigger();
        QVERIFY(child->editor()->isEditing());
        child->Document.markClean();
        frame.reset();
        QVERIFY(!CadrellMainForm);
        prompts.reset();
        init();  // for cleanup
    }

    // Another command while typing takes what was typed first.
    void commandWhileTypingCommitsFirst() {
        fill(child, "a|b");
        child->ListView1->setCurrentIndex(child->ListView1->model()->index(0, 0));
        child->MenuInsertEntry->trigger();
        child->editor()->field()->setText("new");
        child->MenuReverse->trigger();
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("b|a|new"));
        QCOMPARE(child->Document.history().count(), 2);
        // Undo while typing drops the typing, not the step before it.
        child->ListView1->setCurrentIndex(child->ListView1->model()->index(2, 0));
        child->MenuEditEntry->trigger();
        child->editor()->field()->setText("changed");
        frame->tbUndo->trigger();
        QVERIFY(!child->editor()->isEditing());
        QCOMPARE(joined(child->Document), QByteArray("b|a|new"));
        QCOMPARE(child->Document.history().index(), 2);
    }

    void typedCharacterWindows1252CannotHold_data() {
        QTest::addColumn<bool>("convert");
        QTest::newRow("converted to UTF-8") << true;
        QTest::newRow("edit abandoned") << false;
    }
    void typedCharacterWindows1252CannotHold() {
        QFETCH(bool, convert);
        fill(child, "caf\xe9|b");
        child->Document.Encoding = TextEncoding::Windows1252;
        child->ListView1->setCurrentIndex(child->ListView1->model()->index(1, 0));
        child->MenuEditEntry->trigger();
        QCOMPARE(child->editor()->field()->text(), QStringLiteral("b"));
        child->editor()->field()->setText(QString::fromUtf8("Dvořák"));
        prompts->yesNo.push_back(convert);
        QTest::keyClick(child->editor()->field(), Qt::Key_Return);
        QTRY_VERIFY(!child->editor()->isEditing());
        QCOMPARE(
            prompts->asked,
            QStringList{"Encoding: This playlist is written in Windows-1252, which cannot hold "
                        "some of these characters. Convert it to UTF-8?"});
        QCOMPARE(joined(child->Document), convert ? QByteArray("caf\xc3\xa9|Dvo\xc5\x99\xc3\xa1k")
                                                  : QByteArray("caf\xe9|b"));
        QCOMPARE(child->Document.Encoding,
                 convert ? TextEncoding::Utf8 : TextEncoding::Windows1252);
    }

    // Rows Undo brings back are shown selected, but the next tool still works on every item; a
    // selection the user makes narrows it again.
    void undoSelectionDoesNotNarrowTheNextTool() {
        fill(child, "#EXTINF:1,d|/d.mp3|/c.mp3|/b.mp3|/a.mp3");
        select(child, {2, 3});
        child->MenuDelete->trigger();
        child->MenuUndo->trigger();
        QCOMPARE(child->ListView1->selectedPositions(), (Rows{2, 3}));
        item("MenuSortPath")->trigger();
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("/a.mp3|/b.mp3|/c.mp3|#EXTINF:1,d|/d.mp3"));
        QCOMPARE(status(), QStringLiteral("4 items sorted"));

        child->MenuUndo->trigger();
        select(child, {3, 4});
        item("MenuReverse")->trigger();
        waitForTools();
        QCOMPARE(joined(child->Document), QByteArray("#EXTINF:1,d|/d.mp3|/c.mp3|/a.mp3|/b.mp3"));
        QCOMPARE(status(), QStringLiteral("2 selected items reversed"));

        // Remove Path after an Undo: all entries, and how many changed.
        child->MenuUndo->trigger();
        child->MenuRemovePaths->trigger();
        QCOMPARE(joined(child->Document), QByteArray("#EXTINF:1,d|d.mp3|c.mp3|b.mp3|a.mp3"));
        QCOMPARE(status(), QStringLiteral("4 entries changed"));
    }

    // A result speaks of its own window: it goes when that window's rows change, is not shown
    // beside another window and leaves with its window.
    void statusMessagesBelongToTheirWindow() {
        fill(child, "a|b|c");
        select(child, {0, 2});
        child->MenuRemovePaths->trigger();
        QCOMPARE(status(), QStringLiteral("No entries changed"));
        child->MenuDelete->trigger();
        QCOMPARE(status(), QString());

        child->MenuRemovePaths->trigger();
        QCOMPARE(status(), QStringLiteral("No entries changed"));
        TMDIChild* other = frame->CreateDocumentWindow();
        QTRY_COMPARE(frame->ActiveDocumentWindow(), other);
        QCOMPARE(status(), QString());
        frame->MdiArea->setActiveSubWindow(child->subWindow());
        QTRY_COMPARE(status(), QStringLiteral("No entries changed"));
        child->Document.markClean();
        child->subWindow()->close();
        QTRY_COMPARE(frame->ActiveDocumentWindow(), other);
        QCOMPARE(status(), QString());
        child = other;
    }
};

QTEST_MAIN(TestPlaylistMenu)
#include "tst_playlistmenu.moc"
