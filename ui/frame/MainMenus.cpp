#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include "core/instance/HandOff.h"
#include "core/platform/Error.h"
#include "core/platform/EventLog.h"
#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/options.h"
#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "ui/frame/WindowArrangement.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/LazyIcon.h"
#include "ui/platform/Prompts.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

// The frame's menus and toolbar: what they hold and what each command does.
namespace cadrell {

namespace {

QAction* menuItem(QObject* owner, QMenu* menu, const char* objectName, const QString& caption,
                  const QString& hint = {}, const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(shortcut);
    // The long part of a "short|long" hint, which the status bar shows while the item is
    // highlighted.
    action->setStatusTip(hint.section(QLatin1Char('|'), -1));
    menu->addAction(action);
    return action;
}

QMenu* topMenu(QWidget* owner, const char* objectName, const QString& caption,
               const QString& hint = {}) {
    auto* menu = new QMenu(caption, owner);
    menu->setObjectName(QLatin1String(objectName));
    menu->menuAction()->setStatusTip(hint);
    return menu;
}

QIcon toolbarImage(const char* name, QStyle::StandardPixmap fallback) {
    const QString path = QStringLiteral(":/toolbar/%1.svg").arg(QLatin1String(name));
    if (QFile::exists(path))
        return LazyIcon({path});
    return QApplication::style()->standardIcon(fallback);
}

}  // namespace

void TCadrellMainForm::createMenus() {
    MenuFile =
        topMenu(this, "MenuFile", QStringLiteral("&File"), QStringLiteral("File related commands"));
    MenuNew =
        menuItem(this, MenuFile, "MenuNew", QStringLiteral("&New"),
                 QStringLiteral("New|Create a new file"), QKeySequence(QStringLiteral("Ctrl+N")));
    MenuOpen = menuItem(this, MenuFile, "MenuOpen", QStringLiteral("&Open"),
                        QStringLiteral("Open|Open an existing file"),
                        QKeySequence(QStringLiteral("Ctrl+O")));
    N1 = MenuFile->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    MenuExit = menuItem(this, MenuFile, "MenuExit", QStringLiteral("E&xit"),
                        QStringLiteral("Exit|Exit the application"));

    MenuView = topMenu(this, "MenuView", QStringLiteral("&View"));
    MenuToolbar = menuItem(this, MenuView, "MenuToolbar", QStringLiteral("&Toolbar"));
    MenuToolbar->setCheckable(true);
    MenuToolbar->setChecked(true);
    MenuView->addSeparator();
    // Radio items: how every document window shows its playlist.
    MenuLines = menuItem(this, MenuView, "MenuLines", QStringLiteral("&Lines"),
                         QStringLiteral("Lines|Show the playlist one line per row"),
                         QKeySequence(QStringLiteral("Ctrl+1")));
    MenuItems = menuItem(this, MenuView, "MenuItems", QStringLiteral("&Items"),
                         QStringLiteral("Items|Show one row per track or channel, with its "
                                        "title, duration and group"),
                         QKeySequence(QStringLiteral("Ctrl+2")));
    for (QAction* item : {MenuLines, MenuItems}) {
        item->setCheckable(true);
        item->setProperty("radio", true);
    }
    MenuLines->setChecked(true);
    MenuView->addSeparator();
    MenuFont = menuItem(this, MenuView, "MenuFont", QStringLiteral("&Font..."));
    MenuOptions = menuItem(this, MenuView, "MenuOptions", QStringLiteral("&Options..."));

    MenuWindow = topMenu(this, "MenuWindow", QStringLiteral("&Window"),
                         QStringLiteral("Window related commands such as Tile and Cascade"));
    MenuCascade = menuItem(this, MenuWindow, "MenuCascade", QStringLiteral("&Cascade"),
                           QStringLiteral("Arrange windows to overlap"));
    MenuTile = menuItem(this, MenuWindow, "MenuTile", QStringLiteral("&Tile"),
                        QStringLiteral("Arrange windows without overlap"));
    MenuMinimize = menuItem(this, MenuWindow, "MenuMinimize", QStringLiteral("&Minimize All"),
                            QStringLiteral("Minimize all windows"));
    // The usual keys for the next and previous document window; kept out of the menu.
    MenuNextWindow = new QAction(this);
    MenuNextWindow->setObjectName(QStringLiteral("MenuNextWindow"));
    MenuNextWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F6));
    MenuPreviousWindow = new QAction(this);
    MenuPreviousWindow->setObjectName(QStringLiteral("MenuPreviousWindow"));
    MenuPreviousWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6));
    addActions({MenuNextWindow, MenuPreviousWindow});
    connect(MenuNextWindow, &QAction::triggered, this,
            [this] { MdiArea->activateNextSubWindow(); });
    connect(MenuPreviousWindow, &QAction::triggered, this,
            [this] { MdiArea->activatePreviousSubWindow(); });
    connect(MenuWindow, &QMenu::aboutToShow, this, [this] { rebuildWindowMenu(); });

    MenuHelp = topMenu(this, "MenuHelp", QStringLiteral("&Help"), QStringLiteral("Help topics"));
    MenuContents = menuItem(this, MenuHelp, "MenuContents", QStringLiteral("&Contents"),
                            QStringLiteral("Open help file"), QKeySequence(Qt::Key_F1));
    MenuVisitHomePage =
        menuItem(this, MenuHelp, "MenuVisitHomePage", QStringLiteral("&Visit Home Page"),
                 QStringLiteral("Visit Tovermark Software on the internet"));
    N2 = MenuHelp->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    MenuAbout = menuItem(this, MenuHelp, "MenuAbout", QStringLiteral("&About..."),
                         QStringLiteral("Show version info"));

    for (QMenu* menu : {MenuFile, MenuView, MenuWindow, MenuHelp}) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            connect(action, &QAction::triggered, this, [this, action] {
                // A checkable item has flipped its mark before it reports the click; the
                // command itself does the flipping.
                if (action->isCheckable())
                    action->setChecked(!action->isChecked());
                Guarded([&] { MenuClick(action); });
            });
        }
    }
}

void TCadrellMainForm::createToolBar() {
    ToolBar1 = new QToolBar(QStringLiteral("Toolbar"), this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setAccessibleName(QStringLiteral("Toolbar"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->setStyleSheet(
        QStringLiteral("QToolBar { border: 0px; } QToolBar::separator { width: 8px; }"));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char* objectName, const char* image, QStyle::StandardPixmap fallback,
                         const QString& hint) {
        auto* action = new QAction(toolbarImage(image, fallback), hint, this);
        action->setObjectName(QLatin1String(objectName));
        action->setToolTip(hint);
        ToolBar1->addAction(action);
        if (QWidget* w = ToolBar1->widgetForAction(action)) {
            w->setFixedSize(23, 22);
            w->setObjectName(QLatin1String(objectName) + QLatin1String("Button"));
            w->setAccessibleName(hint);
        }
        return action;
    };
    auto separator = [this](const char* objectName) {
        ToolBar1->addSeparator()->setObjectName(QLatin1String(objectName));
    };
    tbNew = button("tbNew", "new", QStyle::SP_FileIcon, QStringLiteral("Create a new file"));
    tbOpen = button("tbOpen", "open", QStyle::SP_DialogOpenButton,
                    QStringLiteral("Open an existing file"));
    tbSave =
        button("tbSave", "save", QStyle::SP_DialogSaveButton, QStringLiteral("Save current file"));
    tbPrint = button("tbPrint", "print", QStyle::SP_FileDialogDetailedView,
                     QStringLiteral("Print current file"));
    separator("ToolButton4");
    tbDelete =
        button("tbDelete", "delete", QStyle::SP_TrashIcon, QStringLiteral("Delete selected items"));
    tbCut = button("tbCut", "cut", QStyle::SP_DialogDiscardButton,
                   QStringLiteral("Cut selected items"));
    tbCopy = button("tbCopy", "copy", QStyle::SP_FileDialogContentsView,
                    QStringLiteral("Copy selected items"));
    tbPaste = button("tbPaste", "paste", QStyle::SP_DialogApplyButton,
                     QStringLiteral("Paste cut or copied items"));
    tbUndo = button("tbUndo", "undo", QStyle::SP_ArrowBack, QStringLiteral("Undo"));
    tbRedo = button("tbRedo", "redo", QStyle::SP_ArrowForward, QStringLiteral("Redo"));
    updateUndoButtons();
    separator("ToolButton15");
    tbKillDrive = button("tbKillDrive", "removedrive", QStyle::SP_DriveHDIcon,
                         QStringLiteral("Remove drives from selected items (or all items)"));
    tbKillPath = button("tbKillPath", "removepath", QStyle::SP_DirIcon,
                        QStringLiteral("Remove paths from selected items (or all items)"));
    tbFont = button("tbFont", "font", QStyle::SP_FileDialogInfoView,
                    QStringLiteral("Change display and printer font"));
    separator("ToolButton9");
    tbHelp =
        button("tbHelp", "help", QStyle::SP_DialogHelpButton, QStringLiteral("Open help file"));
    tbWeb = button("tbWeb", "web", QStyle::SP_DriveNetIcon,
                   QStringLiteral("Tovermark Software on the web"));
    if (QWidget* w = ToolBar1->widgetForAction(tbWeb))
        w->setCursor(Qt::PointingHandCursor);
    connect(ToolBar1, &QToolBar::actionTriggered, this,
            [this](QAction* action) { Guarded([&] { ToolBar1Click(action); }); });
}

void TCadrellMainForm::updateMenuBar() {
    // The active document window's File and Edit menus stand in for the frame's File menu.
    QMenuBar* bar = menuBar();
    bar->clear();
    if (TMDIChild* child = ActiveDocumentWindow()) {
        bar->addMenu(child->MenuFile);
        bar->addMenu(child->MenuEdit);
        bar->addMenu(child->MenuPlaylist);
    } else {
        bar->addMenu(MenuFile);
    }
    bar->addMenu(MenuView);
    bar->addMenu(MenuWindow);
    bar->addMenu(MenuHelp);
    UpdateCommandStates();
}

void TCadrellMainForm::updateUndoButtons() {
    if (!tbUndo)
        return;
    TMDIChild* child = ActiveDocumentWindow();
    tbUndo->setEnabled(child && child->MenuUndo->isEnabled());
    tbRedo->setEnabled(child && child->MenuRedo->isEnabled());
}

void TCadrellMainForm::rebuildWindowMenu() {
    for (QAction* item : std::as_const(windowItems_))
        delete item;
    windowItems_.clear();
    const QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    windowItems_.append(MenuWindow->addSeparator());
    QMdiSubWindow* current = MdiArea->currentSubWindow();
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        auto* child = qobject_cast<TMDIChild*>(window->widget());
        QString caption = child ? child->Caption() : window->windowTitle();
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        if (number < 10)
            caption = QStringLiteral("&%1 %2").arg(number).arg(caption);
        ++number;
        QAction* item = MenuWindow->addAction(caption);
        // Only the active window carries a mark; the others show none, not an empty box.
        item->setCheckable(window == current);
        item->setChecked(window == current);
        connect(item, &QAction::triggered, this, [this, window] {
            if (MdiArea->subWindowList().contains(window)) {
                if (window->isMinimized())
                    window->showNormal();
                MdiArea->setActiveSubWindow(window);
            }
        });
        windowItems_.append(item);
    }
}

void TCadrellMainForm::MenuClick(QAction* sender) {
    if (sender == MenuNew) {
        CreateDocumentWindow();
    } else if (sender == MenuOpen) {
        const std::optional<QString> name =
            Prompts::current().openFileName(this, QString::fromLocal8Bit(OpenDialog.InitialDir));
        if (name) {
            OpenDialog.FileName = *name;
            OpenPlaylist(QFile::encodeName(*name));
        }
    } else if (sender == MenuToolbar) {
        MenuToolbar->setChecked(!MenuToolbar->isChecked());
        ToolBar1->setVisible(MenuToolbar->isChecked());
    } else if (sender == MenuLines || sender == MenuItems) {
        setItemView(sender == MenuItems);
    } else if (sender == MenuFont) {
        chooseFont();
    } else if (sender == MenuOptions) {
        TOptionsBox box(this, RememberFont, [this] { MenuClick(MenuContents); });
        Prompts::current().exec(box);
    } else if (sender == MenuExit) {
        close();
    } else if (sender == MenuCascade) {
        CascadeWindows(MdiArea);
    } else if (sender == MenuTile) {
        TileWindows(MdiArea);
    } else if (sender == MenuMinimize) {
        const QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            (*it)->showMinimized();
    } else if (sender == MenuContents) {
        openHelpPage(QUrl::fromLocalFile(HelpFilePath(QCoreApplication::applicationFilePath())));
    } else if (sender == MenuVisitHomePage) {
        openHelpPage(QUrl(QString::fromLatin1(strings::HomePage)));
    } else if (sender == MenuAbout) {
        TAboutBox box(this, [this] { MenuClick(MenuVisitHomePage); });
        Prompts::current().exec(box);
    }
}

void TCadrellMainForm::ToolBar1Click(QAction* sender) {
    if (sender == tbNew)
        MenuClick(MenuNew);
    else if (sender == tbOpen)
        MenuClick(MenuOpen);
    else if (sender == tbFont)
        MenuClick(MenuFont);
    else if (sender == tbHelp)
        MenuClick(MenuContents);
    else if (sender == tbWeb)
        MenuClick(MenuVisitHomePage);
    TMDIChild* child = ActiveDocumentWindow();
    if (!child)
        return;
    if (sender == tbSave)
        child->MenuClick(child->MenuSave);
    else if (sender == tbPrint)
        child->MenuClick(child->MenuPrint);
    else if (sender == tbDelete)
        child->MenuClick(child->MenuDelete);
    else if (sender == tbCut)
        child->MenuClick(child->MenuCut);
    else if (sender == tbCopy)
        child->MenuClick(child->MenuCopy);
    else if (sender == tbPaste)
        child->MenuClick(child->MenuPaste);
    else if (sender == tbUndo)
        child->MenuClick(child->MenuUndo);
    else if (sender == tbRedo)
        child->MenuClick(child->MenuRedo);
    else if (sender == tbKillPath)
        child->MenuClick(child->MenuRemovePaths);
    else if (sender == tbKillDrive)
        child->MenuClick(child->MenuRemoveDrives);
}

void TCadrellMainForm::openHelpPage(const QUrl& page) {
    // Without a browser or a launcher the user learns where the page is, to open it by hand.
    if (!Prompts::current().openUrl(page))
        throw Error(QStringLiteral("Cannot open %1")
                        .arg(page.isLocalFile() ? page.toLocalFile() : page.toString()));
}

void TCadrellMainForm::chooseFont() {
    const std::optional<FontChoice> choice =
        Prompts::current().chooseFont(this, FrameFont, FrameFontColor);
    if (choice) {
        FrameFont = choice->font;
        FrameFontColor = choice->color;
    }
    for (TMDIChild* child : DocumentWindows())
        child->SetDocumentFont(FrameFont, FrameFontColor);
}

}  // namespace cadrell
