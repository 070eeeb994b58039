#include "playlist/Childwin.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>

#include "app/Main.h"
#include "platform/Error.h"
#include "platform/Prompts.h"
#include "playlist/Editing.h"
#include "playlist/PathParts.h"
#include "playlist/PlaylistFile.h"
#include "playlist/PlaylistListView.h"
#include "playlist/PlaylistModel.h"
#include "playlist/Print.h"

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

TMDIChild::TMDIChild(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MDIChild"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);

    ListView1 = new TPlaylistListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Playlist entries"));
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setUniformItemSizes(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setTextElideMode(Qt::ElideNone);
    if (CadrellMainForm)
        ListView1->setImageList(CadrellMainForm->SystemImageList1);
    model_ = new PlaylistModel(&Document,
                               CadrellMainForm ? CadrellMainForm->SystemImageList1 : nullptr, this);
    ListView1->setModel(model_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListView1);
    setFocusProxy(ListView1);

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
    N1 = addSeparator(this, MenuFile, "N1");
    MenuPrint = addItem(this, MenuFile, "MenuPrint", QStringLiteral("&Print"),
                        QKeySequence(QStringLiteral("Ctrl+P")));
    N2 = addSeparator(this, MenuFile, "N2");
    MenuExit = addItem(this, MenuFile, "MenuExit", QStringLiteral("E&xit"));

    MenuEdit = new QMenu(QStringLiteral("&Edit"), this);
    MenuEdit->setObjectName(QStringLiteral("MenuEdit"));
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

    // One handler for every item, whether chosen from the menu or by its shortcut.
    for (QMenu* menu : {MenuFile, MenuEdit}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                connect(action, &QAction::triggered, this,
                        [this, action] { Guarded([&] { MenuClick(action); }); });
        }
    }

    connect(ListView1, &TPlaylistListView::dragStarted, this, [this] { ListView1StartDrag(); });
    connect(ListView1, &TPlaylistListView::entriesDropped, this,
            [this](TPlaylistListView* source, int target) {
                Guarded([&] { ListView1DragDrop(source, target); });
            });
    connect(ListView1, &TPlaylistListView::namesDropped, this,
            [this](const std::vector<QByteArray>& names) { Guarded([&] { ShellDrop(names); }); });

    if (CadrellMainForm)
        SetDocumentFont(CadrellMainForm->FrameFont, CadrellMainForm->FrameFontColor);
    CopiedPositions().Clear();
    setTitle(kUntitled);
}

TMDIChild::~TMDIChild() = default;

QMdiSubWindow* TMDIChild::subWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void TMDIChild::setTitle(const QByteArray& text) {
    // "[*]" would be taken as the modified marker; a title shows the name as it is.
    QString title = QString::fromLocal8Bit(text);
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title);
}

void TMDIChild::SetDocumentFont(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    ListView1->setFont(font);
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Text, color);
    ListView1->setPalette(palette);
}

void TMDIChild::MenuClick(QAction* sender) {
    if (sender == MenuNew) {
        CadrellMainForm->MenuClick(CadrellMainForm->MenuNew);
    } else if (sender == MenuOpen) {
        CadrellMainForm->MenuClick(CadrellMainForm->MenuOpen);
    } else if (sender == MenuClose) {
        if (QMdiSubWindow* sub = subWindow())
            sub->close();
        else
            close();
    } else if (sender == MenuSave) {
        SaveDocument();
    } else if (sender == MenuSaveAs) {
        Document.FileName = kUntitled;
        SaveDocument();
    } else if (sender == MenuPrint) {
        PrintDocument();
    } else if (sender == MenuExit) {
        CadrellMainForm->MenuClick(CadrellMainForm->MenuExit);
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
    }
}

void TMDIChild::LoadDocument() {
    LoadPlaylist(Document);
    setTitle(DisplayPath(Document.FileName));
}

bool TMDIChild::SaveDocument() {
    // A playlist that is there but could not be read is replaced only when the user says so;
    // otherwise the Save dialog offers another name.
    const bool choose = Document.untitled() ||
                        (Document.UnreadFile &&
                         !Prompts::current().askYesNo(
                             this, QStringLiteral("Confirm Save"),
                             formatText("%s could not be read. Replace it?", Document.FileName)));
    if (choose && !ChooseSaveName())
        return false;
    SavePlaylist(Document);
    setTitle(Document.FileName);
    return true;
}

bool TMDIChild::ChooseSaveName() {
    TCadrellMainForm* frame = CadrellMainForm;
    for (;;) {
        const std::optional<QString> chosen = Prompts::current().saveFileName(
            this, QString::fromLocal8Bit(frame->SaveDialog1.InitialDir),
            frame->SaveDialog1.FileName);
        if (!chosen)
            return false;
        frame->SaveDialog1.FileName = *chosen;
        const QByteArray name = QFile::encodeName(*chosen);
        const QByteArray full = WithPlaylistExtension(name);
        // The dialog asked about the name as typed; a name that only exists once ".m3u" is
        // appended would otherwise be overwritten without a word.
        if (full != name && QFileInfo::exists(QFile::decodeName(full)) &&
            !Prompts::current().askYesNo(
                this, QStringLiteral("Confirm Save As"),
                QStringLiteral("%1 already exists.\nDo you want to replace it?")
                    .arg(QString::fromLocal8Bit(full))))
            continue;
        Document.FileName = full;
        return true;
    }
}

void TMDIChild::PrintDocument() {
    cadrell::PrintDocument(this, Document.FileName, Document.Entries(), font_, color_);
}

bool TMDIChild::FormCloseQuery() {
    if (!Document.Modified)
        return true;
    const QString text = Document.untitled()
                             ? QStringLiteral("Save '(untitled)'?")
                             : QStringLiteral("Save '%1'?")
                                   .arg(QString::fromLocal8Bit(DisplayPath(Document.FileName)));
    switch (Prompts::current().askYesNoCancel(this, QStringLiteral("Closing file..."), text)) {
        case Prompts::Answer::Yes: {
            bool saved = false;
            Guarded([&] { saved = SaveDocument(); });
            return saved;
        }
        case Prompts::Answer::No:
            return true;
        case Prompts::Answer::Cancel:
            break;
    }
    return false;
}

void TMDIChild::closeEvent(QCloseEvent* event) {
    if (!closeApproved_ && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMDIChild::FormClose() {
    CopiedPositions().Clear();
}

void TMDIChild::DeleteEntries() {
    cadrell::DeleteEntries(Document, ListView1->selectedPositions());
}

void TMDIChild::CutEntries() {
    cadrell::CutEntries(Document, ListView1->selectedPositions(), CadrellMainForm->EntryClipboard,
                        CopiedPositions());
}

void TMDIChild::CopyEntries() {
    cadrell::CopyEntries(Document, ListView1->selectedPositions(), CadrellMainForm->EntryClipboard,
                         CopiedPositions());
}

void TMDIChild::PasteEntries() {
    cadrell::PasteEntries(Document, ListView1->selectedPositions(),
                          CadrellMainForm->EntryClipboard);
}

void TMDIChild::RemovePaths() {
    cadrell::RemovePaths(Document, ListView1->selectedPositions());
}

void TMDIChild::RemoveDrives() {
    cadrell::RemoveDrives(Document, ListView1->selectedPositions());
}

void TMDIChild::ListView1StartDrag() {
    CopyEntries();
}

void TMDIChild::ListView1DragDrop(TPlaylistListView* source, int target) {
    if (source == ListView1)
        DropWithin(Document, CopiedPositions(), target);
    else
        DropFromOther(Document, target, CadrellMainForm->EntryClipboard);
}

void TMDIChild::ShellDrop(const std::vector<QByteArray>& names) {
    AppendNames(Document, names);
}

// Files from the file manager may be dropped anywhere in the window, not only on its list.
// Always as a copy: a file manager that proposes a move would delete the user's files.
void TMDIChild::dragEnterEvent(QDragEnterEvent* event) {
    TPlaylistListView::AcceptFileDrag(event);
}

void TMDIChild::dragMoveEvent(QDragMoveEvent* event) {
    TPlaylistListView::AcceptFileDrag(event);
}

void TMDIChild::dropEvent(QDropEvent* event) {
    const std::vector<QByteArray> names = TPlaylistListView::NamesFromMimeData(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!names.empty())
        Guarded([&] { ShellDrop(names); });
}

}  // namespace cadrell
