#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/playlist/FindSession.h"

class QAbstractItemView;
class QItemSelectionModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace cadrell {

class PlaylistDocument;

// The find and replace bar under a playlist's list. It searches the rows' text as shown and
// moves the list's current row and selection itself; it never edits the document, but hands
// replacements to applyEdits so the window can make them one undoable step.
//
// Counting and Replace All run in slices from zero timers, so typing stays live on a million rows;
// the search itself, with the rows found, is a FindSession.
class FindBar : public QWidget {
    Q_OBJECT
public:
    FindBar(const PlaylistDocument* doc, QAbstractItemView* view, QWidget* parent = nullptr);
    ~FindBar() override;

    // Show the bar without or with the replace row, the find field focused and its text selected.
    void showFind();
    void showReplace();

    void findNext();
    void findPrevious();
    // Selects every matching row; waits for the count when it is still running.
    void selectAll();
    void replaceCurrent();
    // In the selected rows, or in every row when at most one row is selected.
    void replaceAll();

    // How entries decode for display; restarts the count.
    void setTextForm(TextForm form);

    // Receives the edits of Replace ("Replace") and Replace All ("Replace All") with the name of
    // the step; the bar does nothing else to the document.
    std::function<void(EntryEdits, QString)> applyEdits;

    // What the count shows ("3 of 1,204", "No matches", a regular expression's error), and
    // whether it is final.
    QString countText() const;
    bool isCounting() const;
    bool isReplacing() const;

signals:
    void message(const QString& text);
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    FindOptions options() const;
    void restart();
    void countSlice();
    void showCount();
    void closeBar();
    void followView();
    void documentChanged();
    int currentRow() const;
    void moveTo(int row);
    void selectFound();
    std::vector<int> selectedRows() const;
    void replaceSlice();
    bool reportInvalid();

    const PlaylistDocument* doc_;
    QPointer<QAbstractItemView> view_;
    QPointer<QItemSelectionModel> followed_;

    QLineEdit* findField_;
    QCheckBox* matchCase_;
    QCheckBox* regex_;
    QPushButton* next_;
    QPushButton* previous_;
    QPushButton* selectAll_;
    QLabel* count_;
    QToolButton* close_;
    QWidget* replaceRow_;
    QLineEdit* replaceField_;
    QPushButton* replace_;
    QPushButton* replaceAll_;

    FindSession session_;
    bool stale_ = true;  // the document or the options changed while the bar was hidden
    bool selectAllWhenCounted_ = false;
    QTimer countTimer_;
    QTimer replaceTimer_;
};

}  // namespace cadrell
