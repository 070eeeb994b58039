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
#include <QScreen>
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
#include "core/playlist/PlaylistFormats.h"
#include "ui/dialogs/About.h"
#include "ui/dialogs/options.h"
#include "ui/frame/MainRecovery.h"
#include "ui/frame/StatusBar.h"
#include "ui/platform/FileIcons.h"
#include "ui/platform/LazyIcon.h"
#include "ui/platform/Prompts.h"
#include "ui/platform/SystemImageList.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

namespace cadrell {

TCadrellMainForm* CadrellMainForm = nullptr;

void FileDialogState::setInitialDir(const QByteArray& folder) {
    InitialDir = NormaliseStartFolder(folder);
}

TCadrellMainForm::TCadrellMainForm(const QByteArray& argument, bool hasArgument)
    : argument_(argument), hasArgument_(hasArgument) {
    CadrellMainForm = this;
    setObjectName(QStringLiteral("CadrellMainForm"));
    setAccessibleName(QStringLiteral("Cadrell"));
    if (QFile::exists(QStringLiteral(":/cadrell.svg")))
        setWindowIcon(LazyIcon({QStringLiteral(":/cadrell.svg")}));

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setAccessibleName(QStringLiteral("Documents"));
    MdiArea->setBackground(palette().brush(QPalette::Dark));
    MdiArea->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    setCentralWidget(MdiArea);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, [this] {
        updateMenuBar();
        updateUndoButtons();
        UpdateStatus();
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

    statusBar_ = new StatusBar(this);
    setStatusBar(statusBar_);

    // Until the user picks one (and has it remembered), playlists read in the desktop's font.
    FrameFont = QApplication::font();
    SystemImageList1 = new TSystemImageList(this);
    SystemImageList1->setObjectName(QStringLiteral("SystemImageList1"));

    createMenus();
    createToolBar();
    updateMenuBar();
    placeForFirstStart();
    FormCreate();
}

TCadrellMainForm::~TCadrellMainForm() {
    // Windows destroyed with the frame must not rebuild a menu bar that is going away.
    disconnect(MdiArea, nullptr, this, nullptr);
    FormDestroy();
    // The document windows go while the frame is still whole: once this body ends, the frame
    // is no longer their host, and a window closing later (an entry being typed ends, its row
    // goes) would call into what is left of it.
    destroying_ = true;
    MdiArea->viewport()->removeEventFilter(this);
    QMdiArea* area = MdiArea;
    MdiArea = nullptr;
    delete area;
    if (CadrellMainForm == this)
        CadrellMainForm = nullptr;
}

void TCadrellMainForm::placeForFirstStart() {
    // A stored placement, read next, replaces this one.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        resize(760, 540);
        return;
    }
    const QRect available = screen->availableGeometry();
    const QSize size(available.width() * 2 / 3, available.height() * 2 / 3);
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));
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

void TCadrellMainForm::UpdateCommandStates() {
    if (destroying_)
        return;
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
    if (destroying_)
        return;
    TMDIChild* active = ActiveDocumentWindow();
    if (!active) {
        statusBar_->setCounts(-1, 0);
        statusBar_->setEncoding(QString(), nullptr);
        statusBar_->setLineEnds(QString(), nullptr);
        if (!statusBar_->inProgress())
            statusBar_->clearMessage();
        return;
    }
    if (active->itemView())
        statusBar_->setCountsText(active->itemCountsText());
    else
        statusBar_->setCounts(active->Document.Entries().size(),
                              active->ListView1->selectedCount());
    statusBar_->setEncoding(EncodingName(active->Document.Encoding), active->MenuEncoding);
    statusBar_->setLineEnds(LineEndName(active->Document.LineEnds), active->MenuLineEnds);
    // Each window's last result is its own: another window's never stands beside this one.
    if (!statusBar_->inProgress() && statusBar_->currentMessage() != active->statusMessage())
        statusBar_->showMessage(active->statusMessage());
}

void TCadrellMainForm::setItemView(bool items) {
    view_.items = items;
    MenuLines->setChecked(!items);
    MenuItems->setChecked(items);
    for (QMdiSubWindow* window : MdiArea->subWindowList())
        if (auto* child = qobject_cast<TMDIChild*>(window->widget()))
            child->setItemView(items);
    SaveViewSettings(view_);
    UpdateStatus();
}

void TCadrellMainForm::refreshStatus(const QWidget* window) {
    if (destroying_)
        return;
    if (window && window == ActiveDocumentWindow())
        UpdateStatus();
}

bool TCadrellMainForm::progressShown() const {
    return statusBar_->inProgress();
}

void TCadrellMainForm::beginProgress(const QString& text, std::function<void()> cancel) {
    statusBar_->beginProgress(text, std::move(cancel));
}

void TCadrellMainForm::setProgress(qint64 done, qint64 total) {
    statusBar_->setProgress(done, total);
}

void TCadrellMainForm::endProgress() {
    statusBar_->endProgress();
}

QList<TMDIChild*> TCadrellMainForm::DocumentWindows() const {
    QList<TMDIChild*> children;
    if (!MdiArea)
        return children;
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* child = qobject_cast<TMDIChild*>(window->widget()))
            children.append(child);
    }
    return children;
}

TMDIChild* TCadrellMainForm::ActiveDocumentWindow() const {
    if (!MdiArea)
        return nullptr;
    // The current window stays current while a dialog of the program has the focus.
    QMdiSubWindow* window = MdiArea->currentSubWindow();
    if (!window || !MdiArea->subWindowList().contains(window))
        return nullptr;
    return qobject_cast<TMDIChild*>(window->widget());
}

TMDIChild* TCadrellMainForm::CreateDocumentWindow() {
    auto* child = new TMDIChild(*this);
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
    if (FormatOfName(fileName) != PlaylistFormat::M3u) {
        // Read whole before a window opens: a malformed file opens nothing half-read.
        const EntryList entries = ReadPlaylistAsM3u(fileName);
        LogEvent("opened", fileName);
        CreateDocumentWindow()->ImportDocument(entries, fileName);
        return;
    }
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
    if (destroying_)
        return QMainWindow::eventFilter(watched, event);
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
        OfferRecovery(*this);
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
        if (child && child->Document.Modified()) {
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
            PlaylistListView::AcceptFileDrag(static_cast<QDragMoveEvent*>(event));
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
        if (extension == ".m3u" || extension == ".m3u8" || extension == ".pls" ||
            extension == ".xspf")
            OpenPlaylist(name);
    }
}

}  // namespace cadrell
