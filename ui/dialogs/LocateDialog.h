#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <memory>

#include "core/playlist/Relocate.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace cadrell {

class LocateModel;

// How far a search has come, written by its worker and read by the dialog on a timer, so the
// worker never waits for the window and the window never waits for the worker.
struct LocateProgress {
    enum Stage { Checking, Indexing, Matching };
    std::atomic<int> stage{Checking};
    std::atomic<qint64> done{0}, total{0}, folders{0}, files{0};
};

// Playlist > Locate Missing Files: which folders to look in, what was found for each missing
// entry, and which of the proposals to take. The search runs on a worker over a copy of the
// entries; the document is touched only by the caller, after Apply, with edits().
class LocateDialog : public QDialog {
    Q_OBJECT
public:
    LocateDialog(QWidget* parent, EntryList entries, std::vector<int> rows, QByteArray folder,
                 TextEncoding encoding, QStringList searchFolders);
    ~LocateDialog() override;

    QListWidget* folders = nullptr;
    QCheckBox* subfolders = nullptr;
    QPushButton* searchButton = nullptr;
    QTableView* table = nullptr;
    LocateModel* model = nullptr;
    QListWidget* candidates = nullptr;
    QLabel* counts = nullptr;
    QPushButton* tickAllButton = nullptr;
    QPushButton* untickAllButton = nullptr;
    QPushButton* applyButton = nullptr;

    // Starts (again) with the folders listed; the previous search, if any, is let go.
    void search();
    bool searching() const { return static_cast<bool>(cancel_); }
    const LocateResult& result() const;
    QStringList searchFolders() const;
    // The ticked rows' new entries, as one change.
    EntryEdits edits() const;
    // What a search found, shown in the table; unreadable counts the folders it could not read.
    void showResult(LocateResult result, qsizetype unreadable = 0);
    // Space on the table: the selected rows all ticked, or all unticked when they all were.
    void toggleSelected();
    // Enter on the other candidates: the current one becomes the row's proposal.
    void takeCandidate();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stopSearch();
    void showProgress();
    void showCounts();
    void showCandidates();
    void addFolder();

    EntryList entries_;
    std::vector<int> rows_;
    QByteArray folder_;
    TextEncoding encoding_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::shared_ptr<LocateProgress> progress_;
    QProgressBar* progressBar_ = nullptr;
    QTimer* poll_ = nullptr;
    qsizetype unreadable_ = 0;
};

}  // namespace cadrell
