#include "ui/playlist/Childwin.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QVBoxLayout>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/platform/Strings.h"
#include "core/playlist/Editing.h"
#include "core/playlist/PathTools.h"
#include "core/playlist/PlaylistFile.h"
#include "core/playlist/Reorder.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/ChildwinJournal.h"
#include "ui/playlist/DocumentHost.h"
#include "ui/playlist/EntryEditor.h"
#include "ui/playlist/FileChangedBar.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/ItemModel.h"
#include "ui/playlist/MissingWatch.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"
#include "ui/playlist/PlaylistTools.h"
#include "ui/playlist/Print.h"

namespace cadrell {

TMDIChild::TMDIChild(DocumentHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("MDIChild"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);

    ListView1 = new PlaylistListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Playlist entries"));
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setUniformItemSizes(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setTextElideMode(Qt::ElideNone);
    ListView1->setImageList(host_.imageList());
    model_ = new PlaylistModel(&Document, host_.imageList(), this);
    ListView1->setModel(model_);
    missing_ = new MissingWatch(
        &Document, [this] { return tools_->folder(); }, this);
    model_->setMissingWatch(missing_);
    connect(missing_, &MissingWatch::marksChanged, ListView1->viewport(),
            qOverload<>(&QWidget::update));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListView1);
    setFocusProxy(ListView1);

    createMenus();

    connect(&Document, &PlaylistDocument::historyChanged, this, [this] {
        updateUndoItems();
        UpdateModifiedMark();
        updateEncodingItems();
        updateLineEndItems();
        host_.refreshStatus(this);
    });
    // What a tool said about the rows no longer holds once they change.
    connect(&Document, &PlaylistDocument::changed, this, [this] { statusMessage_.clear(); });
    followSelection();
    connect(ListView1, &PlaylistListView::runsChanged, this, [this] {
        if (!showingChanges_)
            selectionFromHistory_ = false;
        host_.refreshStatus(this);
    });
    updateUndoItems();

    connect(ListView1, &PlaylistListView::dragStarted, this, [this] {
        ListView1StartDrag();
        afterCommand();
    });
    connect(ListView1, &PlaylistListView::entriesDropped, this,
            [this](PlaylistListView* source, int target) {
                Guarded([&] { ListView1DragDrop(source, target); });
                afterCommand();
            });
    connect(ListView1, &PlaylistListView::namesDropped, this,
            [this](const std::vector<QByteArray>& names) {
                Guarded([&] { ShellDrop(names); });
                afterCommand();
            });

    createPlaylistMenu();

    SetDocumentFont(host_.documentFont(), host_.documentFontColor());
    if (host_.itemView())
        setItemView(true);
    editing::CopiedPositions().Clear();
    setTitle(kUntitled);
    AttachJournal(*this);
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
    setWindowModified(Document.Modified());
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

void TMDIChild::afterCommand() {
    UpdateModifiedMark();
    host_.refreshCommandStates();
}

void TMDIChild::SetDocumentFont(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    ListView1->setFont(font);
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Text, color);
    ListView1->setPalette(palette);
}

void TMDIChild::ImportDocument(const EntryList& entries, const QByteArray& fromFile) {
    Document.edit([&](EntryList& list) { list = entries; });
    Document.FileName = kUntitled;
    Document.Encoding = TextEncoding::Utf8;
    Document.markClean();
    importedFrom_ = fromFile;
    setTitle(kUntitled);
}

void TMDIChild::LoadDocument() {
    LoadPlaylist(Document);
    setTitle(DisplayPath(Document.FileName));
    missing_->recheckAll();
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
    // Someone else's changes are overwritten only when the user says so.
    if (!choose && ChangedOnDisk(Document) &&
        !Prompts::current().askYesNo(this, QStringLiteral("Confirm Save"),
                                     formatText("%s has been changed by another program since it "
                                                "was opened. Save anyway?",
                                                DisplayPath(Document.FileName))))
        return false;
    SavePlaylist(Document);
    setTitle(Document.FileName);
    changedBar_->documentSaved();
    return true;
}

bool TMDIChild::ChooseSaveName() {
    FileDialogState& dialog = host_.saveDialogState();
    // A playlist with a name starts in its own folder with its name offered; Save As has
    // forgotten the name by now, the title still shows it.
    QString folder = QString::fromLocal8Bit(dialog.InitialDir);
    QString offered = dialog.FileName;
    if (!shownName_.isEmpty() && shownName_ != kUntitled && LastDelimiter(shownName_) >= 0) {
        folder = QString::fromLocal8Bit(DirectoryPart(shownName_));
        offered = QString::fromLocal8Bit(FileNamePart(shownName_));
    } else if (!importedFrom_.isEmpty()) {
        // A playlist read from PLS or XSPF is offered beside that file, as M3U.
        const QFileInfo from(QFile::decodeName(importedFrom_));
        folder = from.absolutePath();
        offered = from.completeBaseName() + QStringLiteral(".m3u");
    }
    for (;;) {
        const std::optional<QString> chosen =
            Prompts::current().saveFileName(this, folder, offered);
        if (!chosen)
            return false;
        dialog.FileName = *chosen;
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
        offerRelativeRewrite(saveAsFrom_);
        // A .m3u8 file is UTF-8 by definition.
        if (IsUtf8PlaylistName(full) && Document.Encoding != TextEncoding::Utf8Bom)
            editing::ConvertEncoding(Document, TextEncoding::Utf8);
        return true;
    }
}

void TMDIChild::PrintDocument() {
    cadrell::PrintDocument(this, Document.FileName, Document.Entries(), font_, color_,
                           Document.Encoding);
}

bool TMDIChild::FormCloseQuery() {
    if (!Document.Modified())
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
    DiscardJournal(*this);
    editing::CopiedPositions().Clear();
    // While the frame can still hear it: a replace under way gives back the status bar.
    if (findBar_)
        findBar_->stop();
}

void TMDIChild::DeleteEntries() {
    const std::vector<int> selected = selectedLines();
    editing::DeleteEntries(Document, selected);
    if (!selected.empty())
        keepKeyboardAt(selected.front());
}

void TMDIChild::CutEntries() {
    const std::vector<int> selected = selectedLines();
    editing::CutEntries(Document, selected, host_.entryClipboard(), editing::CopiedPositions());
    host_.entryClipboardEncoding() = Document.Encoding;
    host_.entryClipboardFolder() = tools_->folder();
    if (!selected.empty())
        keepKeyboardAt(selected.front());
}

void TMDIChild::keepKeyboardAt(int line) {
    const int rows = ListView1->model()->rowCount();
    const int row = rowOfLine(line);
    if (rows == 0 || row < 0)
        return;
    const QModelIndex index = ListView1->model()->index(std::min(row, rows - 1), 0);
    ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    ListView1->scrollTo(index);
}

void TMDIChild::MoveEntries(int step) {
    const std::optional<std::vector<int>> moved =
        itemView_ ? editing::MoveItems(Document, itemModel_->table(),
                                       ListView1->selectedPositions(), step)
                  : editing::MoveEntries(Document, ListView1->selectedPositions(), step);
    if (!moved)
        return;
    // The selection goes with the rows, and so does the keyboard.
    selectRows(*moved, step < 0 ? moved->front() : moved->back());
}

void TMDIChild::CopyEntries() {
    editing::CopyEntries(Document, selectedLines(), host_.entryClipboard(),
                         editing::CopiedPositions());
    host_.entryClipboardEncoding() = Document.Encoding;
    host_.entryClipboardFolder() = tools_->folder();
}

void TMDIChild::PasteEntries() {
    if (const std::optional<EntryList> entries = ClipboardHeldHere())
        editing::PasteEntries(
            Document, itemView_ ? insertionLines() : ListView1->selectedPositions(), *entries);
}

std::optional<EntryList> TMDIChild::ClipboardHeldHere() {
    std::optional<EntryList> entries =
        HeldHere(host_.entryClipboard(), host_.entryClipboardEncoding());
    // A relative entry copied as written into a playlist in another folder would name a file
    // that is not there.
    if (entries)
        entries = RebasedEntries(*entries, host_.entryClipboardFolder(), tools_->folder());
    return entries;
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
    editing::ConvertEncoding(Document, TextEncoding::Utf8);
    return ConvertEntries(entries, from, Document.Encoding);
}

namespace {

QString changedCount(qsizetype n) {
    if (n == 0)
        return QStringLiteral("No entries changed");
    return n == 1 ? QStringLiteral("1 entry changed")
                  : QStringLiteral("%1 entries changed").arg(strings::FormatCount(n));
}

}  // namespace

void TMDIChild::RemovePaths() {
    setStatusMessage(changedCount(editing::RemovePaths(Document, toolRows())));
}

void TMDIChild::RemoveDrives() {
    setStatusMessage(changedCount(editing::RemoveDrives(Document, toolRows())));
}

void TMDIChild::setStatusMessage(const QString& text) {
    statusMessage_ = text;
    host_.refreshStatus(this);
}

std::vector<int> TMDIChild::toolRows() const {
    return selectionFromHistory_ ? std::vector<int>() : selectedLines();
}

void TMDIChild::UndoStep() {
    showChangedRows(Document.undo());
}

void TMDIChild::RedoStep() {
    showChangedRows(Document.redo());
}

// The user sees what came back: the changed rows selected, the first of them in view.
void TMDIChild::showChangedRows(const ChangedRows& changed) {
    // Shown so the user sees what came back, but not taken as a choice of rows for the next tool.
    selectLines(changed.rows, changed.focus, true);
    selectionFromHistory_ = !changed.rows.empty();
}

void TMDIChild::ListView1StartDrag() {
    CopyEntries();
}

void TMDIChild::ListView1DragDrop(PlaylistListView* source, int target) {
    if (itemView_)
        target = itemModel_->table().insertionLine(target);
    if (source == ListView1)
        editing::DropWithin(Document, editing::CopiedPositions(), target);
    else if (const std::optional<EntryList> entries = ClipboardHeldHere())
        editing::DropFromOther(Document, target, *entries);
}

void TMDIChild::ShellDrop(const std::vector<QByteArray>& names) {
    editing::RequireOneLineNames(names);
    // File names are the file system's bytes, which are UTF-8 here.
    EntryList dropped;
    for (const QByteArray& name : names)
        dropped.append(name);
    const std::optional<EntryList> entries = HeldHere(dropped, TextEncoding::Utf8);
    if (!entries)
        return;
    if (itemView_ && ListView1->namesDropRow() >= 0) {
        // Dropped on an item: the new items go before it.
        editing::DropFromOther(
            Document, itemModel_->table().insertionLine(ListView1->namesDropRow()), *entries);
        return;
    }
    editing::AppendNames(Document, entries->toVector());
}

// Files from the file manager may be dropped anywhere in the window, not only on its list.
// Always as a copy: a file manager that proposes a move would delete the user's files.
void TMDIChild::dragEnterEvent(QDragEnterEvent* event) {
    PlaylistListView::AcceptFileDrag(event);
}

void TMDIChild::dragMoveEvent(QDragMoveEvent* event) {
    PlaylistListView::AcceptFileDrag(event);
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
    if (watched == subWindow()) {
        switch (event->type()) {
            case QEvent::WindowActivate:
                changedBar_->check();
                break;
            // The MDI area marks the window it activates with this state rather than sending
            // it an activation.
            case QEvent::WindowStateChange:
                if (!(static_cast<QWindowStateChangeEvent*>(event)->oldState() &
                      Qt::WindowActive) &&
                    (subWindow()->windowState() & Qt::WindowActive))
                    changedBar_->check();
                break;
            case QEvent::DragEnter:
            case QEvent::DragMove:
                PlaylistListView::AcceptFileDrag(static_cast<QDragMoveEvent*>(event));
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

void TMDIChild::changeEvent(QEvent* event) {
    // The frame coming back from another program activates the window that was active in it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        const QMdiSubWindow* sub = subWindow();
        if (!sub || !sub->mdiArea() || sub->mdiArea()->activeSubWindow() == sub)
            changedBar_->check();
    }
    QWidget::changeEvent(event);
}

void TMDIChild::dropEvent(QDropEvent* event) {
    const std::vector<QByteArray> names = PlaylistListView::NamesFromMimeData(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!names.empty())
        Guarded([&] { ShellDrop(names); });
}

}  // namespace cadrell
