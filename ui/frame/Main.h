#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/settings/ViewSettings.h"
#include "ui/playlist/DocumentHost.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace cadrell {

class StatusBar;
class TMDIChild;
class TSystemImageList;

// The frame: the one main window holding every document window.
class TCadrellMainForm : public QMainWindow, public DocumentHost {
    Q_OBJECT
public:
    // `argument` is the first command-line argument (unused when hasArgument is false).
    TCadrellMainForm(const QByteArray& argument, bool hasArgument);
    ~TCadrellMainForm() override;

    QMdiArea* MdiArea = nullptr;

    QMenu* MenuFile = nullptr;
    QAction* MenuNew = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* N1 = nullptr;
    QAction* MenuExit = nullptr;
    QMenu* MenuView = nullptr;
    QAction* MenuToolbar = nullptr;
    QAction* MenuLines = nullptr;
    QAction* MenuItems = nullptr;
    QAction* MenuFont = nullptr;
    QAction* MenuOptions = nullptr;
    QMenu* MenuWindow = nullptr;
    QAction* MenuCascade = nullptr;
    QAction* MenuTile = nullptr;
    QAction* MenuMinimize = nullptr;
    QAction* MenuNextWindow = nullptr;      // Ctrl+F6, besides the area's own Ctrl+Tab
    QAction* MenuPreviousWindow = nullptr;  // Ctrl+Shift+F6
    QMenu* MenuHelp = nullptr;
    QAction* MenuContents = nullptr;
    QAction* MenuVisitHomePage = nullptr;
    QAction* N2 = nullptr;
    QAction* MenuAbout = nullptr;

    QToolBar* ToolBar1 = nullptr;
    QAction* tbNew = nullptr;
    QAction* tbOpen = nullptr;
    QAction* tbSave = nullptr;
    QAction* tbPrint = nullptr;
    QAction* tbDelete = nullptr;
    QAction* tbCut = nullptr;
    QAction* tbCopy = nullptr;
    QAction* tbPaste = nullptr;
    QAction* tbUndo = nullptr;
    QAction* tbRedo = nullptr;
    QAction* tbKillDrive = nullptr;
    QAction* tbKillPath = nullptr;
    QAction* tbFont = nullptr;
    QAction* tbHelp = nullptr;
    QAction* tbWeb = nullptr;
    // The active playlist's counts and encoding, tools' results and the progress of long work.
    StatusBar* frameStatusBar() const { return statusBar_; }

    // Shown in the empty area while no document window is open.
    QLabel* EmptyHint = nullptr;

    FileDialogState OpenDialog;
    FileDialogState SaveDialog1;
    TSystemImageList* SystemImageList1 = nullptr;
    QFont FrameFont;
    QColor FrameFontColor = Qt::black;
    EntryList EntryClipboard;
    // The encoding of the playlist the entry clipboard was filled from.
    TextEncoding EntryClipboardEncoding = TextEncoding::Utf8;
    bool RememberFont = false;

    void MenuClick(QAction* sender);
    void ToolBar1Click(QAction* sender);

    TMDIChild* CreateDocumentWindow();
    void OpenPlaylist(const QByteArray& fileName);

    // The document windows in creation order, and the active one (or none).
    QList<TMDIChild*> DocumentWindows() const;
    TMDIChild* ActiveDocumentWindow() const;

    // The help page beside the program: its path with the extension replaced by ".htm".
    static QString HelpFilePath(const QString& programPath);

    void LoadSettings();
    void SaveSettings();
    // How far the inside of the frame lay from its outer corner when it was last normal.
    QPoint NormalFrameOffset() const;

    // Enables the commands that have something to act on: the document commands while a document
    // window is open, Paste while the entry clipboard holds entries, the arrangement commands
    // while there are windows to arrange; shows the empty-area hint while there are none.
    void UpdateCommandStates();
    // The status bar's counts and encoding for the active document window.
    void UpdateStatus();

    // Files dropped on the frame outside every document window.
    void FilesDropped(const QList<QByteArray>& names);

    // No menu of the main window's own: its toolbar toggle would bypass View > Toolbar.
    QMenu* createPopupMenu() override { return nullptr; }

    // Opens a name handed over by a later start of the program.
    void HandOff(const QByteArray& name);

    // What the document windows ask of the frame.
    EntryList& entryClipboard() override { return EntryClipboard; }
    TextEncoding& entryClipboardEncoding() override { return EntryClipboardEncoding; }
    QByteArray& entryClipboardFolder() override { return entryClipboardFolder_; }
    FileDialogState& saveDialogState() override { return SaveDialog1; }
    TSystemImageList* imageList() const override { return SystemImageList1; }
    QFont documentFont() const override { return FrameFont; }
    QColor documentFontColor() const override { return FrameFontColor; }
    bool progressShown() const override;
    void beginProgress(const QString& text, std::function<void()> cancel) override;
    void setProgress(qint64 done, qint64 total) override;
    void endProgress() override;
    void refreshCommandStates() override { UpdateCommandStates(); }
    void refreshStatus(const QWidget* window) override;
    void newDocument() override { MenuClick(MenuNew); }
    void openDocument() override { MenuClick(MenuOpen); }
    void exitProgram() override { MenuClick(MenuExit); }
    bool itemView() const override { return view_.items; }
    QByteArray itemColumnState() const override { return view_.itemColumns; }
    void setItemColumnState(const QByteArray& state) override { view_.itemColumns = state; }
    // Every document window shows items (or lines) from now on, and so do new ones.
    void setItemView(bool items);

signals:
    // The frame has been shown for the first time.
    void firstShown();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    // Two thirds of the screen, in its middle: where a frame without stored settings opens.
    void placeForFirstStart();
    void FormActivate();
    void FormDestroy();
    void createMenus();
    void createToolBar();
    void updateMenuBar();
    void updateUndoButtons();
    void rebuildWindowMenu();
    void openHelpPage(const QUrl& page);
    void chooseFont();
    void rememberNormalFrame();
    void waitForModal(QWidget* modal);
    void openHandedOver(const QByteArray& name);

    StatusBar* statusBar_ = nullptr;
    QByteArray entryClipboardFolder_;
    QByteArray argument_;
    bool hasArgument_ = false;
    bool shown_ = false;
    bool closing_ = false;
    bool destroying_ = false;
    ViewSettings view_;
    QList<QAction*> windowItems_;
    QPoint normalFrameOffset_;
    QList<QByteArray> pendingHandOffs_;  // names handed over while a dialog was open
    QPointer<QWidget> watchedModal_;
    bool normalFrameOffsetKnown_ = false;
};

// The one frame of the program.
extern TCadrellMainForm* CadrellMainForm;

}  // namespace cadrell
