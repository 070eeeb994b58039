#include "ui/frame/Main.h"

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

#include "core/instance/InstanceServer.h"
#include "core/platform/Error.h"
#include "core/platform/EventLog.h"
#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/options.h"
#include "ui/frame/StatusBar.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/Prompts.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

TCadrellMainForm* CadrellMainForm = nullptr;

void FileDialogState::setInitialDir(const QByteArray& folder) {
    InitialDir = NormaliseStartFolder(folder);
}

namespace {

QAction* menuItem(QObject* owner, QMenu* menu, const char* objectName, const QString& caption,
                  const QString& hint = {}, const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(shortcut);
    // The long part of a "short|long" hint; the frame has no status line to show it in.
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
        return QIcon(path);
    return QApplication::style()->standardIcon(fallback);
}

}  // namespace

TCadrellMainForm::TCadrellMainForm(const QByteArray& argument, bool hasArgument)
    : argument_(argument), hasArgument_(hasArgument) {
    CadrellMainForm = this;
    setObjectName(QStringLiteral("CadrellMainForm"));
    setAccessibleName(QStringLiteral("Cadrell"));
    if (QFile::exists(QStringLiteral(":/cadrell.svg")))
        setWindowIcon(QIcon(QStringLiteral(":/cadrell.svg")));

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setAccessibleName(QStringLiteral("Documents"));
    MdiArea->setBackground(palette().brush(QPalette::Dark));
    MdiArea->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    setCentralWidget(MdiArea);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, [this] {
        updateMenuBar();
        updateUndoButtons();
    });

    EmptyHint = new QLabel(QStringLiteral("Open a playlist (Ctrl+O) or drop .m3u files here"),
                           MdiArea->viewport());
    EmptyHint->setObjectName(QStringLiteral("EmptyHint"));
    EmptyHint->setAccessibleName(EmptyHint->text());
    EmptyHint->setAlignment(Qt::AlignCenter);
    EmptyHint->setWordWrap(true);
    EmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette hintColours = EmptyHint->palette();
    hintColours.setColor(QPalette::WindowText, palette().color(QPalette::Light));
    EmptyHint->setPalette(hintColours);
    MdiArea->viewport()->installEventFilter(this);

    StatusBar1 = new StatusBar(this);
    setStatusBar(StatusBar1);

    FrameFont = QFont(QStringLiteral("MS Sans Serif"));
    FrameFont.setPixelSize(11);
    SystemImageList1 = new TSystemImageList(this);
    SystemImageList1->setObjectName(QStringLiteral("SystemImageList1"));

    createMenus();
    createToolBar();
    updateMenuBar();
    resize(760, 540);
    FormCreate();
}

TCadrellMainForm::~TCadrellMainForm() {
    // Windows destroyed with the frame must not rebuild a menu bar that is going away.
    disconnect(MdiArea, nullptr, this, nullptr);
    FormDestroy();
    if (CadrellMainForm == this)
        CadrellMainForm = nullptr;
}

void TCadrellMainForm::FormCreate() {
    SystemImageList1->SetImageSize(isSmall);
    EntryClipboard.clear();
    setWindowTitle(QString::fromLatin1(strings::ProductName));
    setAcceptDrops(true);
    LoadSettings();
}

void TCadrellMainForm::FormDestroy() {
    SaveSettings();
    EntryClipboard.clear();
    if (InstanceServer* server = InstanceServer::current())
        server->release();
}

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

void TCadrellMainForm::UpdateCommandStates() {
    TMDIChild* active = ActiveDocumentWindow();
    const bool document = active != nullptr;
    for (QAction* button : {tbSave, tbPrint, tbDelete, tbCut, tbCopy, tbKillDrive, tbKillPath})
        button->setEnabled(document);
    const bool pasteable = !EntryClipboard.empty();
    tbPaste->setEnabled(document && pasteable);
    const QList<TMDIChild*> children = DocumentWindows();
    for (TMDIChild* child : children) {
        child->MenuPaste->setEnabled(pasteable);
        // The active window's selection in the active colour; the others' look inactive.
        child->ListView1->setShownActive(child == active);
    }
    const bool windows = !MdiArea->subWindowList().isEmpty();
    for (QAction* item : {MenuCascade, MenuTile, MenuMinimize})
        item->setEnabled(windows);
    EmptyHint->setVisible(!windows);
    updateUndoButtons();
    UpdateStatus();
}

void TCadrellMainForm::UpdateStatus() {
    TMDIChild* active = ActiveDocumentWindow();
    if (!active) {
        StatusBar1->setCounts(-1, 0);
        StatusBar1->setEncoding(QString(), nullptr);
        return;
    }
    StatusBar1->setCounts(active->Document.Entries().size(), active->ListView1->selectedCount());
    StatusBar1->setEncoding(EncodingName(active->Document.Encoding), active->MenuEncoding);
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

QList<TMDIChild*> TCadrellMainForm::DocumentWindows() const {
    QList<TMDIChild*> children;
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* child = qobject_cast<TMDIChild*>(window->widget()))
            children.append(child);
    }
    return children;
}

TMDIChild* TCadrellMainForm::ActiveDocumentWindow() const {
    // The current window stays current while a dialog of the program has the focus.
    QMdiSubWindow* window = MdiArea->currentSubWindow();
    if (!window || !MdiArea->subWindowList().contains(window))
        return nullptr;
    return qobject_cast<TMDIChild*>(window->widget());
}

TMDIChild* TCadrellMainForm::CreateDocumentWindow() {
    auto* child = new TMDIChild;
    connect(child->MenuUndo, &QAction::changed, this, [this] { updateUndoButtons(); });
    connect(child->MenuRedo, &QAction::changed, this, [this] { updateUndoButtons(); });
    QMdiSubWindow* window = MdiArea->addSubWindow(child);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(windowIcon());
    window->setAcceptDrops(true);
    window->installEventFilter(child);
    // The window's own system menu would close it with Ctrl+W too; Close is Ctrl+F4 here.
    if (QMenu* system = window->systemMenu()) {
        for (QAction* action : system->actions())
            action->setShortcut(QKeySequence());
    }
    // New windows get a useful share of the frame, cascading from the top-left corner.
    const QSize area = MdiArea->viewport()->size();
    window->resize(std::max(420, area.width() * 3 / 4), std::max(280, area.height() * 3 / 4));
    const int step = static_cast<int>(MdiArea->subWindowList().size() - 1) % 8 * 24;
    window->move(step, step);
    child->show();
    MdiArea->setActiveSubWindow(window);
    updateMenuBar();
    return child;
}

void TCadrellMainForm::OpenPlaylist(const QByteArray& fileName) {
    OpenDialog.setInitialDir(fileName.first(LastDelimiter(fileName) + 1));
    TMDIChild* child = CreateDocumentWindow();
    child->Document.FileName = fileName;
    struct Logged {
        const QByteArray& name;
        ~Logged() { LogEvent("opened", name); }
    } logged{fileName};
    child->LoadDocument();
}

void TCadrellMainForm::HandOff(const QByteArray& name) {
    LogEvent("handoff", name);
    if (isMinimized())
        showNormal();
    // A dialog the user is working in stays in front and untouched: activating the frame under
    // it would make the dialog take its return as coming back from another window. The name
    // waits until no dialog is open.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        LogEvent("front");
        pendingHandOffs_.append(name);
        waitForModal(modal);
        return;
    }
    openHandedOver(name);
}

void TCadrellMainForm::openHandedOver(const QByteArray& name) {
    raise();
    activateWindow();
    LogEvent("front");
    if (!name.isEmpty())
        Guarded([&] { OpenPlaylist(name); });
    LogEvent("windows", QByteArray::number(DocumentWindows().size()));
}

void TCadrellMainForm::waitForModal(QWidget* modal) {
    if (watchedModal_ == modal)
        return;
    if (watchedModal_)
        watchedModal_->removeEventFilter(this);
    watchedModal_ = modal;
    modal->installEventFilter(this);
}

bool TCadrellMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MdiArea->viewport() && event->type() == QEvent::Resize)
        EmptyHint->setGeometry(MdiArea->viewport()->rect().adjusted(16, 16, -16, -16));
    if (watched == watchedModal_ && event->type() == QEvent::Hide) {
        watchedModal_->removeEventFilter(this);
        watchedModal_ = nullptr;
        // After the dialog's own loop has ended: another dialog may be open still (an error box
        // over the Options dialog), and the names wait for that one too.
        QTimer::singleShot(0, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                waitForModal(modal);
                return;
            }
            const QList<QByteArray> names = std::exchange(pendingHandOffs_, {});
            for (const QByteArray& name : names)
                openHandedOver(name);
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

QString TCadrellMainForm::HelpFilePath(const QString& programPath) {
    const QString beside =
        QFile::decodeName(ReplaceExtension(QFile::encodeName(programPath), ".htm"));
    // An installed program keeps its page in the documentation folder of its own prefix.
    const QString installed =
        QDir::cleanPath(QFileInfo(programPath).absolutePath() +
                        QStringLiteral("/../share/doc/cadrell/") + QFileInfo(beside).fileName());
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
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
    } else if (sender == MenuFont) {
        chooseFont();
    } else if (sender == MenuOptions) {
        TOptionsBox box(this, RememberFont, [this] { MenuClick(MenuContents); });
        Prompts::current().exec(box);
    } else if (sender == MenuExit) {
        close();
    } else if (sender == MenuCascade) {
        cascadeWindows();
    } else if (sender == MenuTile) {
        tileWindows();
    } else if (sender == MenuMinimize) {
        const QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            (*it)->showMinimized();
    } else if (sender == MenuContents) {
        openHelpPage(QUrl::fromLocalFile(HelpFilePath(QCoreApplication::applicationFilePath())));
    } else if (sender == MenuVisitHomePage) {
        openHelpPage(QUrl(QString::fromLatin1(strings::HomePage)));
    } else if (sender == MenuAbout) {
        TAboutBox box(this);
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

void TCadrellMainForm::cascadeWindows() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized() && window->isVisible())
            windows.append(window);
    }
    if (windows.isEmpty())
        return;
    // Each window two thirds of the area, each one title bar lower and further right than the
    // one before, starting again at the corner where the next would leave the area.
    const QRect area = MdiArea->viewport()->rect();
    const QSize size(std::max(area.width() * 2 / 3, 200), std::max(area.height() * 2 / 3, 150));
    QStyleOptionTitleBar option;
    option.initFrom(windows.first());
    const int step = std::max(8, windows.first()->style()->pixelMetric(QStyle::PM_TitleBarHeight,
                                                                       &option, windows.first()));
    const int fit = std::max(
        1,
        std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step) + 1);
    int k = 0;
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized())
            window->showNormal();
        const int offset = (k++ % fit) * step;
        window->setGeometry(QRect(QPoint(offset, offset), size));
        window->raise();
    }
    MdiArea->setActiveSubWindow(windows.last());
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

void TCadrellMainForm::tileWindows() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::StackingOrder)) {
        if (!window->isMinimized() && window->isVisible())
            windows.append(window);
    }
    if (windows.isEmpty())
        return;
    // A few windows lie one above another at full width; more make a grid.
    if (windows.size() > 3) {
        MdiArea->tileSubWindows();
        return;
    }
    QRect area = MdiArea->viewport()->rect();
    // Minimised windows keep their row along the bottom edge.
    if (MdiArea->subWindowList().size() > windows.size())
        area.setBottom(area.bottom() - MdiArea->fontMetrics().height() * 2 - 8);
    const int height = area.height() / static_cast<int>(windows.size());
    int top = 0;
    std::reverse(windows.begin(), windows.end());
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized())
            window->showNormal();
        window->setGeometry(0, top, area.width(), height);
        top += height;
    }
}

void TCadrellMainForm::FormActivate() {
    // The command-line playlist opens once, when the frame is first shown.
    if (hasArgument_)
        OpenPlaylist(argument_);
}

void TCadrellMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    QTimer::singleShot(0, this, [this] {
        Guarded([this] { FormActivate(); });
        emit firstShown();
    });
}

void TCadrellMainForm::closeEvent(QCloseEvent* event) {
    // A close that arrives while the questions of another are open (a session ending while the
    // user answers) would ask them all again from inside the first; the first one decides.
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{closing_};
    // Most recently active first; the first window that refuses keeps everything open.
    QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    std::reverse(windows.begin(), windows.end());
    for (QMdiSubWindow* window : windows) {
        auto* child = qobject_cast<TMDIChild*>(window->widget());
        // The window asked about is the one in front, so the user sees what the question means.
        if (child && child->Document.Modified) {
            if (window->isMinimized())
                window->showNormal();
            MdiArea->setActiveSubWindow(window);
        }
        if (child && !child->FormCloseQuery()) {
            event->ignore();
            return;
        }
    }
    // A playlist handed over while a dialog was open (the user answering these very questions)
    // has been promised to the later start: the program stays to open it.
    if (!pendingHandOffs_.isEmpty()) {
        event->ignore();
        return;
    }
    for (QMdiSubWindow* window : windows) {
        if (auto* child = qobject_cast<TMDIChild*>(window->widget()))
            child->setCloseApproved(true);
    }
    event->accept();
}

void TCadrellMainForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    rememberNormalFrame();
}

void TCadrellMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    rememberNormalFrame();
}

void TCadrellMainForm::rememberNormalFrame() {
    if (!isVisible() ||
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    normalFrameOffset_ = geometry().topLeft() - frameGeometry().topLeft();
    normalFrameOffsetKnown_ = true;
}

QPoint TCadrellMainForm::NormalFrameOffset() const {
    if (normalFrameOffsetKnown_)
        return normalFrameOffset_;
    return geometry().topLeft() - frameGeometry().topLeft();
}

bool TCadrellMainForm::event(QEvent* event) {
    // The main window keeps drag events for its dock layout; files from the desktop are ours.
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            TPlaylistListView::AcceptFileDrag(static_cast<QDragMoveEvent*>(event));
            return true;
        case QEvent::Drop:
            dropEvent(static_cast<QDropEvent*>(event));
            return true;
        default:
            return QMainWindow::event(event);
    }
}

void TCadrellMainForm::dropEvent(QDropEvent* event) {
    QList<QByteArray> names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            names.append(LocalFileBytes(url));
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Guarded([&] { FilesDropped(names); });
}

void TCadrellMainForm::FilesDropped(const QList<QByteArray>& names) {
    // Only the exact lower-case extensions open; an error on one file ends the drop and the
    // names after it are not opened.
    for (const QByteArray& name : names) {
        const QByteArray extension = Extension(name);
        if (extension == ".m3u" || extension == ".m3u8")
            OpenPlaylist(name);
    }
}

}  // namespace cadrell
