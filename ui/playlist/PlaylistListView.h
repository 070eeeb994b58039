#pragma once

#include <QByteArray>
#include <QListView>
#include <QPersistentModelIndex>
#include <QPoint>
#include <vector>

class QDrag;
class QHeaderView;
class QDragMoveEvent;
class QMimeData;

namespace cadrell {

class ItemModel;
class TSystemImageList;

// The list of a document window. It reports what the user does with the mouse as signals; the
// window turns them into entry commands.
//
// Rows are dragged by themselves: a press without Shift or Ctrl on a row that is selected once
// the press is handled, moved past the desktop's drag distance. During any drag of rows over the
// list one row may carry the drop highlight (drawn as a frame, apart from the selection), and the
// list remembers the highlighted row when the drag leaves over a row; the drop goes before the
// highlighted row, else before the remembered one, else to the end.
class PlaylistListView : public QListView {
    Q_OBJECT
public:
    explicit PlaylistListView(QWidget* parent = nullptr);
    ~PlaylistListView() override;

    // The selected rows, ascending.
    std::vector<int> selectedPositions() const;
    // How many rows are selected, counted by ranges (cheap for a million selected rows).
    qsizetype selectedCount() const;
    // Selects exactly these rows (ascending) and makes focusRow current and visible (-1: leaves
    // the current row). Many scattered rows are kept as runs of the list's own instead of in the
    // selection model, whose every range holds two persistent indexes that a reset of the rows
    // must visit; the first click or key that changes the selection makes it an ordinary one
    // again (Ctrl+click and Ctrl+Space toggle a row within the runs).
    void selectRows(const std::vector<int>& rows, int focusRow);
    bool isRowSelected(int row) const;
    // Whether the selection is held as runs now.
    bool holdsRuns() const { return !runs_.empty(); }
    void selectAll() override;
    void clearSelection();

    // The names in a drop from the file manager, in the drop's order: a local file as its full
    // path in the file system's bytes, any other address as its encoded text. Never shortened.
    static std::vector<QByteArray> NamesFromMimeData(const QMimeData* mime);
    // Accepts a drag of files or addresses from the desktop, always as a copy.
    static bool AcceptFileDrag(QDragMoveEvent* event);
    // The format of a drag of rows; its data names the list the drag started from.
    static constexpr char kRowsMimeType[] = "application/x-cadrell-playlist-rows";
    // The data a drag of rows from `source` carries (the caller owns it).
    static QMimeData* RowsMimeData(const PlaylistListView& source);

    // Row sizes and the icon size follow the image list (its Change() included).
    void setImageList(TSystemImageList* images);

    // The drop-target state, as rows (-1: none).
    int dropHighlightRow() const { return highlight_.isValid() ? highlight_.row() : -1; }
    int rememberedDropTarget() const { return remembered_.isValid() ? remembered_.row() : -1; }
    // The row a drop goes before: the highlighted one, else the remembered one, else -1.
    int dropTarget() const;

    // Whether the selection is drawn in the active colours: only the list of the active document
    // window is, although every list of the frame sits in the active top-level window.
    void setShownActive(bool active);
    bool shownActive() const { return shownActive_; }

    // The item view: rows drawn in the header's columns, the header above them and scrolled
    // sideways with them. Null: one line per row, as wide as the list.
    void setColumns(QHeaderView* header, const ItemModel* items);
    QHeaderView* columnHeader() const { return header_; }
    // The row under the last drop of files or addresses (-1: none).
    int namesDropRow() const { return namesDropRow_; }

    void setModel(QAbstractItemModel* model) override;
    void reset() override;
    // Every row's text changed at once (the models say so instead of a reset when the number of
    // rows stayed): as after a reset, nothing stays selected or current.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

signals:
    // The selection held as runs changed (the selection model reports its own changes).
    void runsChanged();
    // A drag of selected rows begins here (the window copies them to the entry clipboard).
    void dragStarted();
    // Rows dragged from `source` (this or another document's list) were released here over
    // `target` (-1: no drop target).
    void entriesDropped(cadrell::PlaylistListView* source, int target);
    // Files or addresses dropped from the desktop, as entry texts, in the drop's order.
    void namesDropped(const std::vector<QByteArray>& names);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

    // Carries the drag out until the button is released or the drag is cancelled; the drop
    // handlers run meanwhile. Tests replace it, since QDrag::exec cannot be driven offscreen.
    virtual Qt::DropAction runDrag(QDrag& drag);

private:
    void fitGrid();
    class RowDelegate;

    void ListView1StartDrag();
    // The drop-target tracking for a drag of rows at `pos` (viewport coordinates).
    void ListView1DragOver(QPoint pos, bool leaving);
    void setHighlight(const QModelIndex& row);
    void forgetDropTarget();
    static void forgetDropTargetEverywhere();

    static PlaylistListView* rowsSource(const QMimeData* mime);
    Qt::DropAction rowsAction(const PlaylistListView* source) const;

    QPersistentModelIndex highlight_;
    QPersistentModelIndex remembered_;
    quint64 id_;

    // A press that may become a drag.
    bool dragArmed_ = false;
    bool clickDeferred_ = false;
    bool dragRan_ = false;
    QPoint pressPos_;
    QPersistentModelIndex pressRow_;

    void placeHeader();
    void clearRuns();
    void toggleInRuns(int row);
    // A press that acts on the runs instead of the selection model; true when it was taken.
    bool pressOnRuns(QMouseEvent* event, const QModelIndex& row);

    std::vector<std::pair<int, int>> runs_;  // first and last row of each, ascending
    bool settingRows_ = false;

    TSystemImageList* images_ = nullptr;
    QHeaderView* header_ = nullptr;
    const ItemModel* items_ = nullptr;
    int namesDropRow_ = -1;
    bool shownActive_ = true;
    bool rowPainted_ = false;  // since the last paint event began
    bool rowsPaintedLogged_ = false;
};

}  // namespace cadrell
