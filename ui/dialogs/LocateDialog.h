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
class QTableWidget;

namespace cadrell {

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
    QTableWidget* table = nullptr;
    QListWidget* candidates = nullptr;
    QLabel* counts = nullptr;
    QPushButton* applyButton = nullptr;

    // Starts (again) with the folders listed; the previous search, if any, is let go.
    void search();
    bool searching() const { return static_cast<bool>(cancel_); }
    const LocateResult& result() const { return result_; }
    QStringList searchFolders() const;
    // The ticked rows' new entries, as one change.
    EntryEdits edits() const;

protected:
    void reject() override;

private:
    void showResult(LocateResult result);
    void showCandidates();
    void takeCandidate();
    void addFolder();

    EntryList entries_;
    std::vector<int> rows_;
    QByteArray folder_;
    TextEncoding encoding_;
    LocateResult result_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    QProgressBar* progress_ = nullptr;
    bool filling_ = false;
};

}  // namespace cadrell
