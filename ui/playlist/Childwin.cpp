#include "ui/playlist/Childwin.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "core/platform/Error.h"
#include "ui/platform/Prompts.h"
#include "core/playlist/Editing.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/FindBar.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistFile.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"
#include "ui/playlist/PlaylistTools.h"
#include "ui/playlist/Print.h"
#include "core/playlist/Reorder.h"

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
    N1 = addSeparator(this, MenuFile, "N1");
    MenuPrint = addItem(this, MenuFile, "MenuPrint", QStringLiteral("&Print"),
                        QKeySequence(QStringLiteral("Ctrl+P")));
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
    N6 = addSeparator(this, MenuEdit, "N6");
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
    for (QMenu* menu : {MenuFile, MenuEncoding, MenuEdit}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                connect(action, &QAction::triggered, this,
                        [this, action] { Guarded([&] { MenuClick(action); }); });
        }
    }

    connect(&Document, &PlaylistDocument::historyChanged, this, [this] {
        updateUndoItems();
        UpdateModifiedMark();
        updateEncodingItems();
        if (CadrellMainForm && CadrellMainForm->ActiveDocumentWindow() == this)
            CadrellMainForm->UpdateStatus();
    });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (CadrellMainForm && CadrellMainForm->ActiveDocumentWindow() == this)
            CadrellMainForm->UpdateStatus();
    });
    updateUndoItems();

    // The Edit menu's commands on the rows.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setAccessibleName(QStringLiteral("Entry commands"));
    for (QAction* item : {MenuCut, MenuCopy, MenuPaste, MenuDelete, static_cast<QAction*>(nullptr),
                          MenuRemovePaths, MenuRemoveDrives}) {
        if (item)
            PopupMenu1->addAction(item);
        else
            PopupMenu1->addSeparator();
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

    connect(ListView1, &TPlaylistListView::dragStarted, this, [this] {
        ListView1StartDrag();
        afterCommand();
    });
    connect(ListView1, &TPlaylistListView::entriesDropped, this,
            [this](TPlaylistListView* source, int target) {
                Guarded([&] { ListView1DragDrop(source, target); });
                afterCommand();
            });
    connect(ListView1, &TPlaylistListView::namesDropped, this,
            [this](const std::vector<QByteArray>& names) {
                Guarded([&] { ShellDrop(names); });
                afterCommand();
            });

    createPlaylistMenu();

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
    shownName_ = text;
    // The name as it is ("[*]" in it doubled, which reads as itself), then the modified mark.
    QString title = QString::fromLocal8Bit(text);
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title + QLatin1String("[*]"));
    UpdateModifiedMark();
}

void TMDIChild::UpdateModifiedMark() {
    setWindowModified(Document.Modified);
}

QString TMDIChild::Caption() const {
    // The title bar's reading of the title: a lone "[*]" is the mark, "[*][*]" a literal "[*]".
    const QString title = windowTitle();
    const QLatin1String mark("[*]");
    QString caption;
    qsizetype i = 0;
    while (i < title.size()) {
        if (!title.mid(i).startsWith(mark)) {
            caption += title[i++];
            continue;
        }
        int run = 0;
        while (title.mid(i).startsWith(mark)) {
            ++run;
            i += mark.size();
        }
        caption += QString(mark).repeated(run / 2);
        if (run % 2 && isWindowModified())
            caption += QLatin1Char('*');
    }
    return caption;
}

void TMDIChild::updateEncodingItems() {
    // A UTF-16 file found without a mark has no item of its own: choosing one writes the mark.
    for (QAction* item : std::as_const(EncodingItems))
        item->setChecked(static_cast<TextEncoding>(item->data().toInt()) == Document.Encoding);
}

void TMDIChild::afterCommand() {
    UpdateModifiedMark();
    if (CadrellMainForm)
        CadrellMainForm->UpdateCommandStates();
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
    // Also when the command fails half-way: what it did shows.
    struct After {
        TMDIChild* window;
        ~After() { window->afterCommand(); }
    } after{this};
    // What is being typed is kept before any command acts on the rows; Undo takes back the
    // typing itself.
    if (Editor && Editor->isEditing()) {
        if (sender == MenuUndo) {
            Editor->cancel();
            return;
        }
        Editor->commit();
    }
    if (PlaylistMenuClick(sender))
        return;
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
    } else if (EncodingItems.contains(sender)) {
        ConvertEncoding(Document, static_cast<TextEncoding>(sender->data().toInt()));
        updateEncodingItems();
    } else if (sender == MenuSelectAll) {
        ListView1->selectAll();
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
    // A playlist with a name starts in its own folder with its name offered; Save As has
    // forgotten the name by now, the title still shows it.
    QString folder = QString::fromLocal8Bit(frame->SaveDialog1.InitialDir);
    QString offered = frame->SaveDialog1.FileName;
    if (!shownName_.isEmpty() && shownName_ != kUntitled && LastDelimiter(shownName_) >= 0) {
        folder = QString::fromLocal8Bit(DirectoryPart(shownName_));
        offered = QString::fromLocal8Bit(FileNamePart(shownName_));
    }
    for (;;) {
        const std::optional<QString> chosen =
            Prompts::current().saveFileName(this, folder, offered);
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
        // A .m3u8 file is UTF-8 by definition.
        if (IsUtf8PlaylistName(full) && Document.Encoding != TextEncoding::Utf8Bom)
            ConvertEncoding(Document, TextEncoding::Utf8);
        return true;
    }
}

void TMDIChild::PrintDocument() {
    cadrell::PrintDocument(this, Document.FileName, Document.Entries(), font_, color_,
                           Document.Encoding);
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
    const std::vector<int> selected = ListView1->selectedPositions();
    cadrell::DeleteEntries(Document, selected);
    if (!selected.empty())
        keepKeyboardAt(selected.front());
}

void TMDIChild::CutEntries() {
    const std::vector<int> selected = ListView1->selectedPositions();
    cadrell::CutEntries(Document, selected, CadrellMainForm->EntryClipboard, CopiedPositions());
    CadrellMainForm->EntryClipboardEncoding = Document.Encoding;
    if (!selected.empty())
        keepKeyboardAt(selected.front());
}

void TMDIChild::keepKeyboardAt(int row) {
    const int rows = ListView1->model()->rowCount();
    if (rows == 0)
        return;
    const QModelIndex index = ListView1->model()->index(std::min(row, rows - 1), 0);
    ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    ListView1->scrollTo(index);
}

void TMDIChild::MoveEntries(int step) {
    const std::optional<std::vector<int>> moved =
        cadrell::MoveEntries(Document, ListView1->selectedPositions(), step);
    if (!moved)
        return;
    // The selection goes with the rows, and so does the keyboard.
    QItemSelection selection;
    const QAbstractItemModel* model = ListView1->model();
    for (int row : *moved)
        selection.select(model->index(row, 0), model->index(row, 0));
    ListView1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    const int current = step < 0 ? moved->front() : moved->back();
    ListView1->selectionModel()->setCurrentIndex(model->index(current, 0),
                                                 QItemSelectionModel::NoUpdate);
    ListView1->scrollTo(model->index(current, 0));
}

void TMDIChild::ShowPopupMenu(QPoint pos, bool fromKeyboard) {
    QWidget* viewport = ListView1->viewport();
    if (fromKeyboard) {
        const QRect row = ListView1->visualRect(ListView1->currentIndex());
        pos = row.isValid() && viewport->rect().intersects(row) ? row.bottomLeft() + QPoint(8, 0)
                                                                : QPoint(8, 8);
    }
    PopupMenu1->popup(viewport->mapToGlobal(pos));
}

void TMDIChild::CopyEntries() {
    cadrell::CopyEntries(Document, ListView1->selectedPositions(), CadrellMainForm->EntryClipboard,
                         CopiedPositions());
    CadrellMainForm->EntryClipboardEncoding = Document.Encoding;
}

void TMDIChild::PasteEntries() {
    const std::optional<EntryList> entries =
        HeldHere(CadrellMainForm->EntryClipboard, CadrellMainForm->EntryClipboardEncoding);
    if (entries)
        cadrell::PasteEntries(Document, ListView1->selectedPositions(), *entries);
}

std::optional<EntryList> TMDIChild::HeldHere(const EntryList& entries, TextEncoding from) {
    // UTF-16 is written from the entries' UTF-8: bytes that are none (a name that is not UTF-8,
    // an entry of a .m3u8 file with Latin bytes) could never be saved there.
    if (IsUtf16(Document.Encoding) && FirstUnconvertible(entries, from, Document.Encoding) >= 0)
        throw Error(QStringLiteral("%1 is written in %2, which cannot hold entries that are not "
                                   "valid text")
                        .arg(QString::fromLocal8Bit(DisplayPath(Document.FileName)),
                             EncodingName(Document.Encoding)));
    if (std::optional<EntryList> converted = ConvertEntries(entries, from, Document.Encoding))
        return converted;
    // Never a silent "?": the user chooses between a playlist that can hold the text and none
    // of it.
    if (!Prompts::current().askYesNo(
            this, QStringLiteral("Cadrell"),
            QStringLiteral("%1 is written in %2, which cannot hold some of these characters. "
                           "Convert it to UTF-8?")
                .arg(QString::fromLocal8Bit(DisplayPath(Document.FileName)),
                     EncodingName(Document.Encoding))))
        return std::nullopt;
    ConvertEncoding(Document, TextEncoding::Utf8);
    return ConvertEntries(entries, from, Document.Encoding);
}

void TMDIChild::RemovePaths() {
    cadrell::RemovePaths(Document, ListView1->selectedPositions());
}

void TMDIChild::RemoveDrives() {
    cadrell::RemoveDrives(Document, ListView1->selectedPositions());
}

void TMDIChild::UndoStep() {
    showChangedRows(Document.undo());
}

void TMDIChild::RedoStep() {
    showChangedRows(Document.redo());
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

// The user sees what came back: the changed rows selected, the first of them in view.
void TMDIChild::showChangedRows(const ChangedRows& changed) {
    QAbstractItemModel* model = ListView1->model();
    QItemSelection selection;
    for (size_t k = 0; k < changed.rows.size();) {
        size_t end = k + 1;
        while (end < changed.rows.size() && changed.rows[end] == changed.rows[end - 1] + 1)
            ++end;
        selection.append(QItemSelectionRange(model->index(changed.rows[k], 0),
                                             model->index(changed.rows[end - 1], 0)));
        k = end;
    }
    ListView1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (changed.focus < 0)
        return;
    const QModelIndex focus = model->index(changed.focus, 0);
    ListView1->selectionModel()->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
    ListView1->scrollTo(focus);
}

void TMDIChild::ListView1StartDrag() {
    CopyEntries();
}

void TMDIChild::ListView1DragDrop(TPlaylistListView* source, int target) {
    if (source == ListView1)
        DropWithin(Document, CopiedPositions(), target);
    else if (const std::optional<EntryList> entries =
                 HeldHere(CadrellMainForm->EntryClipboard, CadrellMainForm->EntryClipboardEncoding))
        DropFromOther(Document, target, *entries);
}

void TMDIChild::ShellDrop(const std::vector<QByteArray>& names) {
    // File names are the file system's bytes, which are UTF-8 here.
    EntryList dropped;
    for (const QByteArray& name : names)
        dropped.append(name);
    const std::optional<EntryList> entries = HeldHere(dropped, TextEncoding::Utf8);
    if (!entries)
        return;
    AppendNames(Document, entries->toVector());
}

// Files from the file manager may be dropped anywhere in the window, not only on its list.
// Always as a copy: a file manager that proposes a move would delete the user's files.
void TMDIChild::dragEnterEvent(QDragEnterEvent* event) {
    TPlaylistListView::AcceptFileDrag(event);
}

void TMDIChild::dragMoveEvent(QDragMoveEvent* event) {
    TPlaylistListView::AcceptFileDrag(event);
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
    if (watched == subWindow()) {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
                TPlaylistListView::AcceptFileDrag(static_cast<QDragMoveEvent*>(event));
                return true;
            case QEvent::Drop:
                dropEvent(static_cast<QDropEvent*>(event));
                return true;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMDIChild::dropEvent(QDropEvent* event) {
    const std::vector<QByteArray> names = TPlaylistListView::NamesFromMimeData(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!names.empty())
        Guarded([&] { ShellDrop(names); });
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
    N7 = addSeparator(this, MenuPlaylist, "N7");
    MenuSort = new QMenu(QStringLiteral("&Sort"), this);
    MenuSort->setObjectName(QStringLiteral("MenuSort"));
    MenuPlaylist->addMenu(MenuSort);
    MenuSortPath = addItem(this, MenuSort, "MenuSortPath", QStringLiteral("By &Path"));
    MenuSortFileName = addItem(this, MenuSort, "MenuSortFileName", QStringLiteral("By &File Name"));
    MenuSortTitle = addItem(this, MenuSort, "MenuSortTitle", QStringLiteral("By &Title"));
    MenuReverse = addItem(this, MenuSort, "MenuReverse", QStringLiteral("&Reverse Order"));
    MenuShuffle = addItem(this, MenuSort, "MenuShuffle", QStringLiteral("&Shuffle"));
    MenuRemoveDuplicates =
        addItem(this, MenuPlaylist, "MenuRemoveDuplicates", QStringLiteral("Remove &Duplicates"));
    MenuSelectMissing =
        addItem(this, MenuPlaylist, "MenuSelectMissing", QStringLiteral("Select &Missing Files"));
    N8 = addSeparator(this, MenuPlaylist, "N8");
    MenuMakeRelative =
        addItem(this, MenuPlaylist, "MenuMakeRelative", QStringLiteral("Make Paths &Relative"));
    MenuMakeAbsolute =
        addItem(this, MenuPlaylist, "MenuMakeAbsolute", QStringLiteral("Make Paths &Absolute"));
    N9 = addSeparator(this, MenuPlaylist, "N9");
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

    Tools = new PlaylistTools(this);
    Editor = new EntryEditor(&Document, ListView1, model_, this);

    FindBar1 = new FindBar(&Document, ListView1, this);
    FindBar1->setObjectName(QStringLiteral("FindBar1"));
    static_cast<QVBoxLayout*>(layout())->addWidget(FindBar1);
    // F3 and Shift+F3 belong to the menu for the whole window; the bar's own copies of them
    // would make the keys ambiguous while the bar has the focus.
    for (QShortcut* key : FindBar1->findChildren<QShortcut*>()) {
        if (key->key() == MenuFindNext->shortcut() || key->key() == MenuFindPrevious->shortcut())
            key->setEnabled(false);
    }
    // Set when a replacement holds a character the playlist's encoding cannot; such replacements
    // are refused rather than written with stand-ins.
    auto unheld = std::make_shared<std::atomic<bool>>(false);
    auto encoding = std::make_shared<TextEncoding>(Document.Encoding);
    FindBar1->setTextForm(PlaylistTools::textForm(Document.Encoding, unheld));
    connect(&Document, &PlaylistDocument::historyChanged, FindBar1, [this, unheld, encoding] {
        // A replace stopped by this change leaves nothing behind for the next one.
        unheld->store(false);
        if (*encoding == Document.Encoding)
            return;
        *encoding = Document.Encoding;
        FindBar1->setTextForm(PlaylistTools::textForm(Document.Encoding, unheld));
    });
    FindBar1->applyEdits = [this, unheld](EntryEdits edits, const QString& name) {
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
    connect(FindBar1, &FindBar::message, this, [](const QString& text) {
        if (CadrellMainForm)
            CadrellMainForm->StatusBar1->showResult(text);
    });
    connect(FindBar1, &FindBar::closed, this, [this] { ListView1->setFocus(); });

    // Esc in the list stops a tool at work.
    auto* cancelKey = new QAction(this);
    cancelKey->setObjectName(QStringLiteral("CancelTool"));
    cancelKey->setShortcut(QKeySequence(Qt::Key_Escape));
    cancelKey->setShortcutContext(Qt::WidgetShortcut);
    ListView1->addAction(cancelKey);
    connect(cancelKey, &QAction::triggered, Tools, &PlaylistTools::cancel);

    PopupMenu1->addSeparator();
    PopupMenu1->addAction(MenuEditEntry);
    PopupMenu1->addAction(MenuFind);
    PopupMenu1->addMenu(MenuSort);
}

bool TMDIChild::PlaylistMenuClick(QAction* sender) {
    if (sender == MenuFind) {
        FindBar1->showFind();
    } else if (sender == MenuReplace) {
        FindBar1->showReplace();
    } else if (sender == MenuFindNext || sender == MenuFindPrevious) {
        // Nothing asked yet: the key opens the bar to ask.
        if (FindBar1->countText().isEmpty())
            FindBar1->showFind();
        else if (sender == MenuFindNext)
            FindBar1->findNext();
        else
            FindBar1->findPrevious();
    } else if (sender == MenuSortPath) {
        Tools->sort(SortKey::Path);
    } else if (sender == MenuSortFileName) {
        Tools->sort(SortKey::FileName);
    } else if (sender == MenuSortTitle) {
        Tools->sort(SortKey::Title);
    } else if (sender == MenuReverse) {
        Tools->reverse();
    } else if (sender == MenuShuffle) {
        Tools->shuffle();
    } else if (sender == MenuRemoveDuplicates) {
        Tools->removeDuplicates();
    } else if (sender == MenuSelectMissing) {
        Tools->selectMissingFiles();
    } else if (sender == MenuMakeRelative) {
        Tools->makeRelative();
    } else if (sender == MenuMakeAbsolute) {
        Tools->makeAbsolute();
    } else if (sender == MenuEditEntry) {
        Editor->editCurrent();
    } else if (sender == MenuInsertEntry) {
        Editor->insertEntry();
    } else {
        return false;
    }
    return true;
}

}  // namespace cadrell
