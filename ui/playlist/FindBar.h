#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "core/playlist/FindSession.h"

class QAbstractItemView;
class QItemSelectionModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace cadrell {

class DocumentHost;
class PlaylistListView;
class PlaylistDocument;

// The find and replace bar under a playlist's list. It searches the rows' text as shown and
// moves the list's current row and selection itself; it never edits the document, but hands
// replacements to applyEdits so the window can make them one undoable step.
//
// The search itself, with the rows found, is a FindSession: counting and replacing run on threads
// of their own, so typing stays live on a million rows and under a pattern that takes a minute
// an entry. Next and Previous go by the count: pressed before it has got far enough, they wait
// for it and then move.
class FindBar : public QWidget {
    Q_OBJECT
public:
    FindBar(const PlaylistDocument* doc, PlaylistListView* view, QWidget* parent = nullptr);
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
    // How the view's rows stand for lines; without it, row i shows line i. The item view's row is
    // an item, and finding in it matches any of its lines.
    struct RowMap {
        std::function<std::vector<int>(const std::vector<int>&)> rowsOfLines;  // ascending
        std::function<std::vector<int>(const std::vector<int>&)> linesOfRows;  // ascending
    };
    void setRowMap(RowMap map) { map_ = std::move(map); }
    // The item view's "Look in" choice (All, Title, Group, Path and the attribute columns),
    // shown only there.
    void setLookInChoices(const std::vector<QByteArray>& attributes, bool shown);

    // Where Replace All shows its progress and Cancel; without one it shows none.
    void setHost(DocumentHost* host);

    // Stops what the bar was asked to do (a Next or Previous waiting for the count, Select All,
    // a replace) and says so; stop() says nothing. A hidden bar stops counting too.
    void cancel();
    void stop();

    // Receives the edits of Replace ("Replace") and Replace All ("Replace All") with the name of
    // the step; the bar does nothing else to the document.
    std::function<void(EntryEdits, QString)> applyEdits;

    // What the count shows ("3 of 1,204", "No matches", a regular expression's error), and
    // whether it is final.
    QString countText() const;
    bool isCounting() const;
    bool isReplacing() const;
    // A Next, Previous or Select All is waiting for the count.
    bool isFinding() const;

signals:
    void message(const QString& text);
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A Next or Previous waiting for the count: from the current row when taken or from a row
    // given, and where to go when nothing matches (-1: say so).
    static constexpr int kCurrentRow = -2;
    struct Step {
        bool forward = true;
        int from = kCurrentRow;
        int otherwise = -1;
    };

    void showWith(bool replaceRow);
    FindOptions options() const;
    void restart();
    void countNow();
    void countProgress();
    void takeSteps();
    void showCount();
    void closeBar();
    void followView();
    void documentChanged();
    // The line the current row stands for: a search forward goes on after its last line, one
    // backward before its first, and a replace works on the first of its lines that matches.
    int currentRow(bool forward = true) const;
    int currentMatchLine() const;
    std::vector<int> rowsOfLines(const std::vector<int>& lines) const;
    std::vector<int> linesOfRows(const std::vector<int>& rows) const;
    void moveTo(int row);
    void selectFound();
    std::vector<int> selectedRows() const;
    void replaceFinished();
    void stopReplacing();
    bool reportInvalid();

    const PlaylistDocument* doc_;
    QPointer<PlaylistListView> view_;
    QPointer<QItemSelectionModel> followed_;

    QLineEdit* findField_;
    QCheckBox* matchCase_;
    QCheckBox* regex_;
    QLabel* lookInLabel_;
    QComboBox* lookIn_;
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
    DocumentHost* host_ = nullptr;
    bool stale_ = true;  // no count runs for the document as it is: the bar was hidden
    bool selectAllWhenCounted_ = false;
    std::deque<Step> steps_;
    bool replacingAll_ = false;
    RowMap map_;
    int replacedRow_ = -1;        // where Replace works
    bool progressShown_ = false;  // Replace All shows its progress in the host
};

}  // namespace cadrell
