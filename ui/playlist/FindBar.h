#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "core/playlist/Finder.h"

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
// Counting runs in slices from a zero timer, so typing stays live on a million rows; the rows
// found are kept, which makes Next and Previous instant once the count is done (before that they
// search the part not yet counted directly).
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
    struct ReplaceJob;

    FindOptions options() const;
    void restart();
    void countSlice();
    void showCount();
    void closeBar();
    void followView();
    void documentChanged();
    // The first or last match in [from, to), or -1: rows counted come from the rows found, the
    // rest are searched directly.
    int firstIn(qsizetype from, qsizetype to) const;
    int lastIn(qsizetype from, qsizetype to) const;
    int currentRow() const;
    void moveTo(int row);
    void selectFound();
    std::vector<int> selectedRows() const;
    void replaceSlice();
    bool reportInvalid();

    const PlaylistDocument* doc_;
    QPointer<QAbstractItemView> view_;
    QPointer<QItemSelectionModel> followed_;
    TextForm form_;

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

    std::shared_ptr<const Finder> finder_;  // null while the find text is empty
    std::vector<int> found_;                // the matching rows among [0, scanned_)
    qsizetype scanned_ = 0;
    bool stale_ = true;  // the document or the options changed while the bar was hidden
    bool selectAllWhenCounted_ = false;
    QTimer countTimer_;

    std::unique_ptr<ReplaceJob> job_;
    QTimer replaceTimer_;
};

}  // namespace cadrell
