#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QWidget>
#include <optional>

#include "core/playlist/PlaylistDocument.h"

class QAction;
class QMenu;
class QMdiSubWindow;

namespace cadrell {

class DocumentHost;
class EntryEditor;
class FileChangedBar;
class FindBar;
class ItemHeader;
class ItemModel;
class MissingWatch;
class PlaylistModel;
class PlaylistTools;
class PlaylistListView;

// A document window: one playlist, shown one entry per row.
class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(DocumentHost& host, QWidget* parent = nullptr);
    ~TMDIChild() override;

    PlaylistDocument Document;
    PlaylistListView* ListView1 = nullptr;

    // The document menu; merged into the frame's menu bar while this window is active.
    QMenu* MenuFile = nullptr;
    QAction* MenuNew = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuClose = nullptr;
    QAction* MenuSave = nullptr;
    QAction* MenuSaveAs = nullptr;
    // Export As (M3U, PLS, XSPF), Print Preview and Export as PDF leave the document as it is.
    QAction* MenuExportAs = nullptr;
    QAction* MenuExportWithFiles = nullptr;
    // File > Encoding: converts the playlist, as one step, to the encoding chosen.
    QMenu* MenuEncoding = nullptr;
    QList<QAction*> EncodingItems;
    // File > Line Ends: the line ends the next save writes, changed as one step.
    QMenu* MenuLineEnds = nullptr;
    QList<QAction*> LineEndItems;
    QAction* N1 = nullptr;
    QAction* MenuPrint = nullptr;
    QAction* MenuPrintPreview = nullptr;
    QAction* MenuExportPdf = nullptr;
    QAction* N2 = nullptr;
    QAction* MenuExit = nullptr;
    QMenu* MenuEdit = nullptr;
    QAction* MenuUndo = nullptr;
    QAction* MenuRedo = nullptr;
    QAction* MenuDelete = nullptr;
    QAction* MenuCut = nullptr;
    QAction* MenuCopy = nullptr;
    QAction* MenuPaste = nullptr;
    QAction* N3 = nullptr;
    QAction* MenuRemovePaths = nullptr;
    QAction* MenuRemoveDrives = nullptr;
    QAction* N4 = nullptr;
    QAction* MenuMoveUp = nullptr;
    QAction* MenuMoveDown = nullptr;
    QAction* N5 = nullptr;
    QAction* MenuSelectAll = nullptr;

    // The Playlist menu, merged after Edit: finding, sorting, tidying and typing entries. Its
    // tools live in tools(), the find bar under the list, the typing in editor().
    QMenu* MenuPlaylist = nullptr;
    QAction* MenuFind = nullptr;
    QAction* MenuReplace = nullptr;
    QAction* MenuFindNext = nullptr;
    QAction* MenuFindPrevious = nullptr;
    QMenu* MenuSort = nullptr;
    QAction* MenuSortPath = nullptr;
    QAction* MenuSortFileName = nullptr;
    QAction* MenuSortTitle = nullptr;
    QMenu* MenuSortColumn = nullptr;
    QAction* MenuReverse = nullptr;
    QAction* MenuShuffle = nullptr;
    QAction* MenuRemoveDuplicates = nullptr;
    QAction* MenuSelectMissing = nullptr;
    QAction* MenuLocateMissing = nullptr;
    QAction* MenuMakeRelative = nullptr;
    QAction* MenuMakeAbsolute = nullptr;
    // Paths from another system: separators, file addresses, letter case.
    QAction* MenuForwardSlashes = nullptr;
    QAction* MenuBackslashes = nullptr;
    QAction* MenuDecodeAddresses = nullptr;
    QAction* MenuFixCase = nullptr;
    QAction* MenuEditEntry = nullptr;
    QAction* MenuInsertEntry = nullptr;
    // The row menu (right click, the Menu key, Shift+F10).
    QMenu* popupMenu() const { return popupMenu_; }
    // Made when first asked for: most windows never show it.
    FindBar* findBar() const;
    // Shown above the find bar when another program has changed the file.
    FileChangedBar* fileChangedBar() const { return changedBar_; }
    PlaylistTools* tools() const { return tools_; }
    EntryEditor* editor() const { return editor_; }

    void MenuClick(QAction* sender);

    void LoadDocument();
    // A PLS or XSPF playlist read into this window as a new untitled playlist.
    void ImportDocument(const EntryList& entries, const QByteArray& fromFile);
    bool SaveDocument();
    bool ChooseSaveName();
    void PrintDocument();
    // The close prompt; true when the window may close.
    bool FormCloseQuery();

    void DeleteEntries();
    void CutEntries();
    void CopyEntries();
    void PasteEntries();
    void RemovePaths();
    void RemoveDrives();
    // Entries from a playlist in another encoding as this one holds them. When this one cannot,
    // asks to convert it to UTF-8 first; nothing when the user says no.
    std::optional<EntryList> HeldHere(const EntryList& entries, TextEncoding from);
    // The entry clipboard as this playlist holds it: in its encoding, relative entries rewritten
    // for its folder.
    std::optional<EntryList> ClipboardHeldHere();
    void UndoStep();
    void RedoStep();
    void MoveEntries(int step);
    // Opens the row menu at `pos` in the list's viewport, or at the current row for the keys.
    void ShowPopupMenu(QPoint pos, bool fromKeyboard);

    // The title as the title bar and the Window menu show it: "*" after the name while modified.
    QString Caption() const;
    // Shows whether the document has unsaved changes; runs after every command.
    void UpdateModifiedMark();

    void SetDocumentFont(const QFont& font, const QColor& color);
    QFont DocumentFont() const { return font_; }
    QColor DocumentFontColor() const { return color_; }

    // The last tool's result for this window: shown while the window is active, gone once the
    // playlist changes or the window closes.
    QString statusMessage() const { return statusMessage_; }
    void setStatusMessage(const QString& text);
    // The rows a tool works on: the selection, unless Undo or Redo made it and the user has not
    // changed it since (then none, which means all).
    std::vector<int> toolRows() const;

    // Lines (one row per line) or Items (one row per item, in columns); the frame sets it for
    // every window alike. Commands work on whole items in the item view.
    bool itemView() const { return itemView_; }
    void setItemView(bool items);
    ItemModel* itemModel() const { return itemModel_; }
    ItemHeader* itemHeader() const { return itemHeader_; }
    // The entries whose files are missing, marked in both views.
    MissingWatch* missingWatch() const { return missing_; }
    // The lines the selected rows hold (in the item view, every line of the selected items).
    std::vector<int> selectedLines() const;
    // Selects the rows that show these lines and brings the row of line `focus` into view (-1:
    // none); a selection that Undo or Redo made is marked as such.
    void selectLines(const std::vector<int>& lines, int focus, bool fromHistory = false);
    // The row that shows a line in the current view.
    int rowOfLine(int line) const;
    // "2,059 items, 1 selected, 3 h 12 min" for the status bar in the item view.
    QString itemCountsText() const;
    // A click on a column header: the items sorted by it, one step; again reverses.
    void sortByColumn(int column);
    // Types into a cell of the current item (F2, a double click); -1: the current column.
    void editCell(int column);
    void insertItem();

    QMdiSubWindow* subWindow() const;
    DocumentHost& host() const { return host_; }
    // Set by the closing frame once every window has agreed, so none is asked twice.
    void setCloseApproved(bool approved) { closeApproved_ = approved; }

protected:
    // Files dropped on the window's title bar or border are the window's too; activating the
    // window looks whether its file changed on disk.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setTitle(const QByteArray& text);
    void FormClose();
    void ListView1StartDrag();
    void ListView1DragDrop(PlaylistListView* source, int target);
    void ShellDrop(const std::vector<QByteArray>& names);
    void updateUndoItems();
    void showChangedRows(const ChangedRows& changed);
    void afterCommand();
    void updateEncodingItems();
    void updateLineEndItems();
    // After Save As chose a name in another folder: offers to rewrite the relative entries so
    // they still name the same files.
    void offerRelativeRewrite(const QByteArray& oldName);
    // After lines are removed: the row of the line that followed the first of them is current,
    // unselected.
    void keepKeyboardAt(int line);
    void createMenus();
    void createPlaylistMenu();
    void createFindBar();
    // The Playlist menu's part of MenuClick; false for an item of another menu.
    bool PlaylistMenuClick(QAction* sender);

    DocumentHost& host_;
    QMenu* popupMenu_ = nullptr;
    FindBar* findBar_ = nullptr;
    FileChangedBar* changedBar_ = nullptr;
    PlaylistTools* tools_ = nullptr;
    EntryEditor* editor_ = nullptr;
    PlaylistModel* model_ = nullptr;
    QFont font_;
    QColor color_;
    bool closeApproved_ = false;
    QByteArray shownName_;  // the name the title shows
    QString statusMessage_;
    QByteArray importedFrom_;  // the PLS or XSPF file an untitled playlist was read from
    QByteArray saveAsFrom_;    // the name Save As started from, while it asks for the new one
    void selectRows(const std::vector<int>& rows, int focusRow);
    void followSelection();
    // The line a paste or an insertion in the item view goes before (-1: at the end).
    std::vector<int> insertionLines() const;
    void lookForAttributes();
    void startAttributeLook(quint64 look);
    void fillColumnSortMenu();
    // The find bar reads the item view's rows as items and offers its columns to look in.
    void followItemView(FindBar* bar);

    MissingWatch* missing_ = nullptr;
    ItemModel* itemModel_ = nullptr;
    ItemHeader* itemHeader_ = nullptr;
    bool itemView_ = false;
    int sortedColumn_ = -1;
    bool sortedDescending_ = false;
    bool keepSortIndicator_ = false;
    int editColumn_ = 1;
    quint64 attributeLook_ = 0;
    bool selectionFromHistory_ = false;
    bool showingChanges_ = false;
};

}  // namespace cadrell
