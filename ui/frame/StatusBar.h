#pragma once

#include <QStatusBar>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QMenu;

namespace cadrell {

// The frame's status bar: the active playlist's entry and selection counts and its encoding, the
// result of the last tool, and the progress of long work with a way to cancel it.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Counts of the active playlist; a negative entry count means no playlist is active.
    // The counts as the item view words them.
    void setCountsText(const QString& text);
    void setCounts(qsizetype entries, qsizetype selected);
    // The encoding button shows `name` and opens `menu` (not owned); an empty name hides it.
    void setEncoding(const QString& name, QMenu* menu);
    // Likewise the line ends.
    void setLineEnds(const QString& name, QMenu* menu);
    void showResult(const QString& text);

    void beginProgress(const QString& text, std::function<void()> cancel);
    void setProgress(qint64 done, qint64 total);
    void endProgress();
    bool inProgress() const { return static_cast<bool>(cancel_); }
    void cancelProgress();

private:
    QLabel* counts_ = nullptr;
    QToolButton* encoding_ = nullptr;
    QToolButton* lineEnds_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    std::function<void()> cancel_;
};

}  // namespace cadrell
