#include <QAction>
#include <QActionGroup>
#include <QMdiSubWindow>
#include <QMenu>
#include <QShortcut>
#include <QVBoxLayout>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Editing.h"
#include "core/playlist/PathTools.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/DocumentHost.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/FileChangedBar.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/ItemModel.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistOutput.h"
#include "ui/playlist/PlaylistTools.h"

// The document window's menus: what they hold and what each item does.
namespace cadrell {

namespace {

QAction* addItem(QWidget* owner, QMenu* menu, const char* objectName, const QString& caption,
                 const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QLatin1String(objectName));
    // The shortcut lives in the menu: only the active window's menus stand in the menu bar, so
    // the keys always reach the active window, also while it is minimised.
    action->setShortcut(shortcut);
    menu->addAction(action);
    return action;
}

QAction* addSeparator(QWidget* owner, QMenu* menu, const char* objectName) {
    QAction* separator = menu->addSeparator();
    separator->setParent(owner);
    separator->setObjectName(QLatin1String(objectName));
    return separator;
}

}  // namespace

void TMDIChild::createMenus() {
    MenuFile = new QMenu(QStringLiteral("&File"), this);
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    MenuNew = addItem(this, MenuFile, "MenuNew", QStringLiteral("&New"),
                      QKeySequence(QStringLiteral("Ctrl+N")));
    MenuOpen = addItem(this, MenuFile, "MenuOpen", QStringLiteral("&Open"),
                       QKeySequence(QStringLiteral("Ctrl+O")));
    MenuClose = addItem(this, MenuFile, "MenuClose", QStringLiteral("&Close"),
                        QKeySequence(QStringLiteral("Ctrl+F4")));
    MenuSave = addItem(this, MenuFile, "MenuSave", QStringLiteral("&Save"),
                       QKeySequence(QStringLiteral("Ctrl+S")));
    MenuSaveAs = addItem(this, MenuFile, "MenuSaveAs", QStringLiteral("Save &As..."),
                         QKeySequence(QStringLiteral("Ctrl+A")));
    MenuExportAs = addItem(this, MenuFile, "MenuExportAs", QStringLiteral("Expor&t As..."));
    MenuExportWithFiles =
        addItem(this, MenuFile, "MenuExportWithFiles", QStringLiteral("Export with &Files..."));
    // The encodings a playlist can be written in; the document's own is checked.
    MenuEncoding = new QMenu(QStringLiteral("&Encoding"), this);
    MenuEncoding->setObjectName(QStringLiteral("MenuEncoding"));
    MenuFile->addMenu(MenuEncoding);
    auto* encodings = new QActionGroup(this);
    for (const auto& [encoding, caption] :
         {std::pair{TextEncoding::Utf8, "UTF-&8"},
          std::pair{TextEncoding::Utf8Bom, "UTF-8 with &BOM"},
          std::pair{TextEncoding::Utf16LE, "UTF-16 &LE"},
          std::pair{TextEncoding::Utf16BE, "UTF-16 B&E"},
          std::pair{TextEncoding::Windows1252, "&Windows-1252"}}) {
        QAction* item = MenuEncoding->addAction(QString::fromLatin1(caption));
        item->setCheckable(true);
        item->setData(static_cast<int>(encoding));
        encodings->addAction(item);
        EncodingItems.append(item);
    }
    connect(MenuEncoding, &QMenu::aboutToShow, this, [this] { updateEncodingItems(); });
    MenuLineEnds = new QMenu(QStringLiteral("&Line Ends"), this);
    MenuLineEnds->setObjectName(QStringLiteral("MenuLineEnds"));
    MenuFile->addMenu(MenuLineEnds);
    auto* lineEnds = new QActionGroup(this);
    for (const auto& [lineEnd, caption] :
         {std::pair{LineEnd::CrLf, "&CR LF"}, std::pair{LineEnd::Lf, "&LF"}}) {
        QAction* item = MenuLineEnds->addAction(QString::fromLatin1(caption));
        item->setCheckable(true);
        item->setData(static_cast<int>(lineEnd));
        lineEnds->addAction(item);
        LineEndItems.append(item);
    }
    connect(MenuLineEnds, &QMenu::aboutToShow, this, [this] { updateLineEndItems(); });
    updateLineEndItems();
    N1 = addSeparator(this, MenuFile, "N1");
    MenuPrint = addItem(this, MenuFile, "MenuPrint", QStringLiteral("&Print"),
                        QKeySequence(QStringLiteral("Ctrl+P")));
    MenuPrintPreview =
        addItem(this, MenuFile, "MenuPrintPreview", QStringLiteral("Print Pre&view..."));
    MenuExportPdf = addItem(this, MenuFile, "MenuExportPdf", QStringLiteral("Export as P&DF..."));
    N2 = addSeparator(this, MenuFile, "N2");
    MenuExit = addItem(this, MenuFile, "MenuExit", QStringLiteral("E&xit"));

    MenuEdit = new QMenu(QStringLiteral("&Edit"), this);
    MenuEdit->setObjectName(QStringLiteral("MenuEdit"));
    MenuUndo = addItem(this, MenuEdit, "MenuUndo", QStringLiteral("&Undo"),
                       QKeySequence(QStringLiteral("Ctrl+Z")));
    MenuRedo = addItem(this, MenuEdit, "MenuRedo", QStringLiteral("&Redo"),
                       QKeySequence(QStringLiteral("Ctrl+Y")));
    MenuRedo->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    addSeparator(this, MenuEdit, "undoSeparator");
    MenuDelete = addItem(this, MenuEdit, "MenuDelete", QStringLiteral("&Delete"),
                         QKeySequence(Qt::Key_Delete));
    MenuCut = addItem(this, MenuEdit, "MenuCut", QStringLiteral("Cu&t"),
                      QKeySequence(QStringLiteral("Ctrl+X")));
    MenuCopy = addItem(this, MenuEdit, "MenuCopy", QStringLiteral("&Copy"),
                       QKeySequence(QStringLiteral("Ctrl+C")));
    MenuPaste = addItem(this, MenuEdit, "MenuPaste", QStringLiteral("&Paste"),
                        QKeySequence(QStringLiteral("Ctrl+V")));
    N3 = addSeparator(this, MenuEdit, "N3");
    MenuRemovePaths = addItem(this, MenuEdit, "MenuRemovePaths", QStringLiteral("&Remove Path"),
                              QKeySequence(QStringLiteral("Ctrl+R")));
    MenuRemoveDrives = addItem(this, MenuEdit, "MenuRemoveDrives", QStringLiteral("Re&move Drive"),
                               QKeySequence(QStringLiteral("Ctrl+M")));
    N4 = addSeparator(this, MenuEdit, "N4");
    MenuMoveUp = addItem(this, MenuEdit, "MenuMoveUp", QStringLiteral("Move &Up"),
                         QKeySequence(Qt::ALT | Qt::Key_Up));
    MenuMoveDown = addItem(this, MenuEdit, "MenuMoveDown", QStringLiteral("Move Do&wn"),
                           QKeySequence(Qt::ALT | Qt::Key_Down));
    N5 = addSeparator(this, MenuEdit, "N5");
    // Ctrl+A is Save As here, so selecting everything takes Shift as well.
    MenuSelectAll = addItem(this, MenuEdit, "MenuSelectAll", QStringLiteral("Select &All"),
                            QKeySequence(QStringLiteral("Ctrl+Shift+A")));

    // One handler for every item, whether chosen from the menu or by its shortcut.
    for (QMenu* menu : {MenuFile, MenuEncoding, MenuLineEnds, MenuEdit}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                connect(action, &QAction::triggered, this,
                        [this, action] { Guarded([&] { MenuClick(action); }); });
        }
    }

    // The Edit menu's commands on the rows.
    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName(QStringLiteral("PopupMenu1"));
    popupMenu_->setAccessibleName(QStringLiteral("Entry commands"));
    for (QAction* item : {MenuCut, MenuCopy, MenuPaste, MenuDelete, static_cast<QAction*>(nullptr),
                          MenuRemovePaths, MenuRemoveDrives}) {
        if (item)
            popupMenu_->addAction(item);
        else
            popupMenu_->addSeparator();
    }
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { ShowPopupMenu(pos, false); });
    // The keys that open a context menu anywhere on the desktop.
    auto* popupKeys = new QAction(this);
    popupKeys->setObjectName(QStringLiteral("PopupMenuKeys"));
    popupKeys->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
    popupKeys->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(popupKeys);
    connect(popupKeys, &QAction::triggered, this, [this] { ShowPopupMenu({}, true); });
}

void TMDIChild::MenuClick(QAction* sender) {
    // Also when the command fails half-way: what it did shows.
    struct After {
        TMDIChild* window;
        ~After() { window->afterCommand(); }
    } after{this};
    // What is being typed is kept before any command acts on the rows; Undo takes back the
    // typing itself.
    if (editor_ && editor_->isEditing()) {
        if (sender == MenuUndo) {
            editor_->cancel();
            return;
        }
        editor_->commit();
    }
    if (PlaylistMenuClick(sender))
        return;
    if (sender == MenuNew) {
        host_.newDocument();
    } else if (sender == MenuOpen) {
        host_.openDocument();
    } else if (sender == MenuClose) {
        if (QMdiSubWindow* sub = subWindow())
            sub->close();
        else
            close();
    } else if (sender == MenuSave) {
        SaveDocument();
    } else if (sender == MenuSaveAs) {
        saveAsFrom_ = Document.FileName;
        Document.FileName = kUntitled;
        struct Forget {
            QByteArray& name;
            ~Forget() { name.clear(); }
        } forget{saveAsFrom_};
        SaveDocument();
    } else if (sender == MenuPrint) {
        PrintDocument();
    } else if (sender == MenuExportAs) {
        ExportPlaylistAs(*this);
    } else if (sender == MenuExportWithFiles) {
        ExportWithFiles(*this);
    } else if (sender == MenuPrintPreview) {
        PreviewPrint(*this);
    } else if (sender == MenuExportPdf) {
        ExportPdf(*this);
    } else if (sender == MenuExit) {
        host_.exitProgram();
    } else if (sender == MenuUndo) {
        UndoStep();
    } else if (sender == MenuRedo) {
        RedoStep();
    } else if (sender == MenuDelete) {
        DeleteEntries();
    } else if (sender == MenuCut) {
        CutEntries();
    } else if (sender == MenuCopy) {
        CopyEntries();
    } else if (sender == MenuPaste) {
        PasteEntries();
    } else if (sender == MenuRemovePaths) {
        RemovePaths();
    } else if (sender == MenuRemoveDrives) {
        RemoveDrives();
    } else if (sender == MenuMoveUp) {
        MoveEntries(-1);
    } else if (sender == MenuMoveDown) {
        MoveEntries(1);
    } else if (LineEndItems.contains(sender)) {
        editing::ConvertLineEnds(Document, static_cast<LineEnd>(sender->data().toInt()));
        updateLineEndItems();
    } else if (EncodingItems.contains(sender)) {
        editing::ConvertEncoding(Document, static_cast<TextEncoding>(sender->data().toInt()));
        updateEncodingItems();
    } else if (sender == MenuSelectAll) {
        ListView1->selectAll();
    }
}

void TMDIChild::offerRelativeRewrite(const QByteArray& oldName) {
    EntryEdits edits = RebaseRelative(Document.Entries(), PlaylistTools::folderOf(oldName),
                                      PlaylistTools::folderOf(Document.FileName));
    if (edits.rows.empty())
        return;
    const qsizetype n = static_cast<qsizetype>(edits.rows.size());
    if (!Prompts::current().askYesNo(
            this, QStringLiteral("Save As"),
            QStringLiteral("%1 in this playlist %2 relative to its old folder. Rewrite %3 so %4 "
                           "still name the same files from %5?")
                .arg(n == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(n),
                     n == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                     n == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                     n == 1 ? QStringLiteral("it") : QStringLiteral("they"),
                     QString::fromLocal8Bit(
                         DisplayPath(PlaylistTools::folderOf(Document.FileName))))))
        return;
    Document.perform(Change::replace(std::move(edits.rows), std::move(edits.texts)),
                     QStringLiteral("Rewrite Relative Paths"));
}

void TMDIChild::ShowPopupMenu(QPoint pos, bool fromKeyboard) {
    QWidget* viewport = ListView1->viewport();
    if (fromKeyboard) {
        const QRect row = ListView1->visualRect(ListView1->currentIndex());
        pos = row.isValid() && viewport->rect().intersects(row) ? row.bottomLeft() + QPoint(8, 0)
                                                                : QPoint(8, 8);
    }
    popupMenu_->popup(viewport->mapToGlobal(pos));
}

void TMDIChild::updateLineEndItems() {
    for (QAction* item : std::as_const(LineEndItems))
        item->setChecked(static_cast<LineEnd>(item->data().toInt()) == Document.LineEnds);
}

void TMDIChild::updateEncodingItems() {
    // A UTF-16 file found without a mark has no item of its own: choosing one writes the mark.
    for (QAction* item : std::as_const(EncodingItems))
        item->setChecked(static_cast<TextEncoding>(item->data().toInt()) == Document.Encoding);
}

void TMDIChild::updateUndoItems() {
    // "&" in a step's name is a letter, not an accelerator.
    auto caption = [](const char* verb, QString step) {
        step.replace(QLatin1Char('&'), QLatin1String("&&"));
        return step.isEmpty() ? QString::fromLatin1(verb)
                              : QStringLiteral("%1 %2").arg(QLatin1String(verb), step);
    };
    const UndoStack& history = Document.history();
    MenuUndo->setText(caption("&Undo", history.undoText()));
    MenuUndo->setEnabled(history.canUndo());
    MenuRedo->setText(caption("&Redo", history.redoText()));
    MenuRedo->setEnabled(history.canRedo());
}

// ---- The Playlist menu ----

void TMDIChild::createPlaylistMenu() {
    MenuPlaylist = new QMenu(QStringLiteral("&Playlist"), this);
    MenuPlaylist->setObjectName(QStringLiteral("MenuPlaylist"));
    MenuFind = addItem(this, MenuPlaylist, "MenuFind", QStringLiteral("&Find..."),
                       QKeySequence(QStringLiteral("Ctrl+F")));
    MenuReplace = addItem(this, MenuPlaylist, "MenuReplace", QStringLiteral("Re&place..."),
                          QKeySequence(QStringLiteral("Ctrl+H")));
    MenuFindNext = addItem(this, MenuPlaylist, "MenuFindNext", QStringLiteral("Find &Next"),
                           QKeySequence(Qt::Key_F3));
    MenuFindPrevious =
        addItem(this, MenuPlaylist, "MenuFindPrevious", QStringLiteral("Find Pre&vious"),
                QKeySequence(Qt::SHIFT | Qt::Key_F3));
    addSeparator(this, MenuPlaylist, "findSeparator");
    MenuSort = new QMenu(QStringLiteral("&Sort"), this);
    MenuSort->setObjectName(QStringLiteral("MenuSort"));
    MenuPlaylist->addMenu(MenuSort);
    MenuSortPath = addItem(this, MenuSort, "MenuSortPath", QStringLiteral("By &Path"));
    MenuSortFileName = addItem(this, MenuSort, "MenuSortFileName", QStringLiteral("By &File Name"));
    MenuSortTitle = addItem(this, MenuSort, "MenuSortTitle", QStringLiteral("By &Title"));
    // The item view's header sort, for the keyboard: one item per column shown.
    MenuSortColumn = MenuSort->addMenu(QStringLiteral("By &Column"));
    MenuSortColumn->setObjectName(QStringLiteral("MenuSortColumn"));
    connect(MenuSortColumn, &QMenu::aboutToShow, this, [this] { fillColumnSortMenu(); });
    MenuReverse = addItem(this, MenuSort, "MenuReverse", QStringLiteral("&Reverse Order"));
    MenuShuffle = addItem(this, MenuSort, "MenuShuffle", QStringLiteral("&Shuffle"));
    MenuRemoveDuplicates =
        addItem(this, MenuPlaylist, "MenuRemoveDuplicates", QStringLiteral("Remove &Duplicates"));
    MenuSelectMissing =
        addItem(this, MenuPlaylist, "MenuSelectMissing", QStringLiteral("Select &Missing Files"));
    MenuLocateMissing = addItem(this, MenuPlaylist, "MenuLocateMissing",
                                QStringLiteral("&Locate Missing Files..."));
    addSeparator(this, MenuPlaylist, "pathSeparator");
    MenuMakeRelative =
        addItem(this, MenuPlaylist, "MenuMakeRelative", QStringLiteral("Make Paths &Relative"));
    MenuMakeAbsolute =
        addItem(this, MenuPlaylist, "MenuMakeAbsolute", QStringLiteral("Make Paths &Absolute"));
    MenuForwardSlashes =
        addItem(this, MenuPlaylist, "MenuForwardSlashes", QStringLiteral("&Use Forward Slashes"));
    MenuBackslashes =
        addItem(this, MenuPlaylist, "MenuBackslashes", QStringLiteral("Use &Backslashes"));
    MenuDecodeAddresses = addItem(this, MenuPlaylist, "MenuDecodeAddresses",
                                  QStringLiteral("Dec&ode File Addresses"));
    MenuFixCase = addItem(this, MenuPlaylist, "MenuFixCase", QStringLiteral("Fix Letter &Case"));
    addSeparator(this, MenuPlaylist, "entrySeparator");
    MenuEditEntry = addItem(this, MenuPlaylist, "MenuEditEntry", QStringLiteral("&Edit Entry"),
                            QKeySequence(Qt::Key_F2));
    MenuInsertEntry = addItem(this, MenuPlaylist, "MenuInsertEntry",
                              QStringLiteral("&Insert Entry"), QKeySequence(Qt::Key_Insert));
    for (QMenu* menu : {MenuPlaylist, MenuSort}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && !action->menu())
                connect(action, &QAction::triggered, this,
                        [this, action] { Guarded([&] { MenuClick(action); }); });
        }
    }

    tools_ = new PlaylistTools(this);
    editor_ = new EntryEditor(&Document, ListView1, model_, this);

    changedBar_ = new FileChangedBar(&Document, this);
    changedBar_->setObjectName(QStringLiteral("FileChangedBar"));
    static_cast<QVBoxLayout*>(layout())->addWidget(changedBar_);
    connect(changedBar_, &FileChangedBar::reloaded, this, [this] { afterCommand(); });
    connect(changedBar_, &FileChangedBar::closed, this, [this] { ListView1->setFocus(); });

    // Esc in the list stops a tool at work, and a search the closed find bar was asked for.
    auto* cancelKey = new QAction(this);
    cancelKey->setObjectName(QStringLiteral("CancelTool"));
    cancelKey->setShortcut(QKeySequence(Qt::Key_Escape));
    cancelKey->setShortcutContext(Qt::WidgetShortcut);
    ListView1->addAction(cancelKey);
    connect(cancelKey, &QAction::triggered, tools_, &PlaylistTools::cancel);
    connect(cancelKey, &QAction::triggered, this, [this] {
        if (findBar_)
            findBar_->cancel();
    });

    popupMenu_->addSeparator();
    popupMenu_->addAction(MenuEditEntry);
    popupMenu_->addAction(MenuFind);
    popupMenu_->addMenu(MenuSort);
}

FindBar* TMDIChild::findBar() const {
    // Made the first time it is asked for: most windows are never searched, and a window is
    // shown sooner without it.
    if (!findBar_)
        const_cast<TMDIChild*>(this)->createFindBar();
    return findBar_;
}

void TMDIChild::createFindBar() {
    findBar_ = new FindBar(&Document, ListView1, this);
    findBar_->setObjectName(QStringLiteral("FindBar1"));
    findBar_->setHost(&host_);
    followItemView(findBar_);
    static_cast<QVBoxLayout*>(layout())->addWidget(findBar_);
    // F3 and Shift+F3 belong to the menu for the whole window; the bar's own copies of them
    // would make the keys ambiguous while the bar has the focus.
    for (QShortcut* key : findBar_->findChildren<QShortcut*>()) {
        if (key->key() == MenuFindNext->shortcut() || key->key() == MenuFindPrevious->shortcut())
            key->setEnabled(false);
    }
    // Set when a replacement holds a character the playlist's encoding cannot; such replacements
    // are refused rather than written with stand-ins.
    auto unheld = std::make_shared<std::atomic<bool>>(false);
    auto encoding = std::make_shared<TextEncoding>(Document.Encoding);
    findBar_->setTextForm(PlaylistTools::textForm(Document.Encoding, unheld));
    connect(&Document, &PlaylistDocument::historyChanged, findBar_, [this, unheld, encoding] {
        // A replace stopped by this change leaves nothing behind for the next one.
        unheld->store(false);
        if (*encoding == Document.Encoding)
            return;
        *encoding = Document.Encoding;
        findBar_->setTextForm(PlaylistTools::textForm(Document.Encoding, unheld));
    });
    findBar_->applyEdits = [this, unheld](EntryEdits edits, const QString& name) {
        Guarded([&] {
            if (unheld->exchange(false))
                throw Error(QStringLiteral("The playlist is written in %1, which cannot hold the "
                                           "replacement text: convert it to UTF-8 first (File > "
                                           "Encoding)")
                                .arg(EncodingName(Document.Encoding)));
            Document.perform(Change::replace(std::move(edits.rows), std::move(edits.texts)), name);
        });
        afterCommand();
    };
    connect(findBar_, &FindBar::message, this, &TMDIChild::setStatusMessage);
    connect(findBar_, &FindBar::closed, this, [this] { ListView1->setFocus(); });
}

bool TMDIChild::PlaylistMenuClick(QAction* sender) {
    if (sender == MenuFind) {
        findBar()->showFind();
    } else if (sender == MenuReplace) {
        findBar()->showReplace();
    } else if (sender == MenuFindNext || sender == MenuFindPrevious) {
        // Nothing asked yet: the key opens the bar to ask.
        if (findBar()->countText().isEmpty())
            findBar()->showFind();
        else if (sender == MenuFindNext)
            findBar()->findNext();
        else
            findBar()->findPrevious();
    } else if (sender == MenuSortPath) {
        tools_->sort(SortKey::Path);
    } else if (sender == MenuSortFileName) {
        tools_->sort(SortKey::FileName);
    } else if (sender == MenuSortTitle) {
        tools_->sort(SortKey::Title);
    } else if (sender == MenuReverse) {
        tools_->reverse();
    } else if (sender == MenuShuffle) {
        tools_->shuffle();
    } else if (sender == MenuRemoveDuplicates) {
        tools_->removeDuplicates();
    } else if (sender == MenuSelectMissing) {
        tools_->selectMissingFiles();
    } else if (sender == MenuMakeRelative) {
        tools_->makeRelative();
    } else if (sender == MenuLocateMissing) {
        tools_->locateMissingFiles();
    } else if (sender == MenuForwardSlashes) {
        tools_->useForwardSlashes();
    } else if (sender == MenuBackslashes) {
        tools_->useBackslashes();
    } else if (sender == MenuDecodeAddresses) {
        tools_->decodeFileAddresses();
    } else if (sender == MenuFixCase) {
        tools_->fixLetterCase();
    } else if (sender == MenuMakeAbsolute) {
        tools_->makeAbsolute();
    } else if (sender == MenuEditEntry) {
        if (itemView_)
            editCell(-1);
        else
            editor_->editCurrent();
    } else if (sender == MenuInsertEntry) {
        if (itemView_)
            insertItem();
        else
            editor_->insertEntry();
    } else {
        return false;
    }
    return true;
}

}  // namespace cadrell
