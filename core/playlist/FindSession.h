#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "core/playlist/EntryList.h"
#include "core/playlist/Finder.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// What Next and Previous answer while rows that could change the answer are not counted yet.
constexpr int kNotCountedYet = -2;

// Where Next and Previous go from `current` (-1: before the first row), given the matching rows
// among the first `scanned` of `total` rows: the first match after it, else the first from the
// top; the last match before it, else the last from the bottom. -1 when nothing matches.
int NextFound(const std::vector<int>& found, qsizetype scanned, qsizetype total, int current);
int PreviousFound(const std::vector<int>& found, qsizetype scanned, qsizetype total, int current);

// One search over a playlist's entries as the find bar runs it: what is looked for, the rows
// found so far, and a replace under way.
//
// A pattern can take a minute on a single entry, and nothing can interrupt it there, so the
// count and the replacing run on threads of their own over a snapshot of the entries (the
// records are copied, the text is shared). A job that is no longer wanted is told to stop and
// forgotten, never waited for: it stops at its next row, or, stuck in a pattern, when the
// pattern gives up, and whatever it found then goes nowhere. The session hears from its jobs
// through its own thread's event loop.
class FindSession : public QObject {
    Q_OBJECT
public:
    explicit FindSession(QObject* parent = nullptr);
    ~FindSession() override;

    // How entries decode for display; the next restart searches with it.
    void setTextForm(TextForm form);
    // Drops the count and looks for `options`. A replace under way goes on with the search it
    // started with.
    void restart(const FindOptions& options);

    // There is a text to look for; valid: one that is no regular expression failing to compile,
    // which errorString() explains.
    bool hasSearch() const;
    bool isValid() const;
    QString errorString() const;

    // Counts the matching rows of `entries` as they are now; countProgress() as rows are found
    // and when the count ends.
    void startCount(const EntryList& entries);
    void stopCount();
    bool isCounting() const;
    // Every row of the entries last counted is counted.
    bool isCounted() const;
    // The matching rows among those counted, ascending.
    const std::vector<int>& found() const { return found_; }
    // The place of `row` among the rows found, from 1; 0 when it is not one of them.
    qsizetype matchNumber(int row) const;

    // The row Next and Previous go to from `current`, -1 when nothing matches, or kNotCountedYet
    // until the count has got far enough to tell.
    int nextMatch(int current) const;
    int previousMatch(int current) const;

    // Replace All in the selected rows (ascending), or in every row when at most one is selected.
    void startReplaceAll(const EntryList& entries, std::vector<int> selectedRows,
                         const QString& with);
    // Replaces in the row `row` alone.
    void startReplaceAt(const EntryList& entries, int row, const QString& with);
    // A replace is started and not yet finished or stopped; done: its result is here.
    bool isReplacing() const;
    bool isReplaceDone() const;
    // Ends the replace and hands over the rows whose text changed, with their new texts;
    // `matched` tells whether any row held a match at all.
    EntryEdits finishReplace(bool* matched = nullptr);
    void stopReplace();

signals:
    void countProgress();
    void replaceProgress(qint64 done, qint64 total);
    void replaceFinished();

private:
    struct Channel;
    struct CountJob;
    struct ReplaceJob;

    void takeCount(const std::shared_ptr<CountJob>& job);
    void takeReplace(const std::shared_ptr<ReplaceJob>& job);
    void startReplace(const EntryList& entries, std::vector<int> rows, const QString& with);

    TextForm form_;
    // What restart() was given, for the search each thread makes for itself.
    FindOptions options_;
    TextForm searchForm_;
    std::unique_ptr<const Finder> finder_;  // null while the find text is empty
    std::shared_ptr<Channel> channel_;
    std::shared_ptr<CountJob> count_;
    std::vector<int> found_;  // the matching rows among [0, scanned_)
    qsizetype scanned_ = 0;
    qsizetype total_ = 0;
    bool counted_ = false;
    std::shared_ptr<ReplaceJob> replace_;
    bool replaceDone_ = false;
};

}  // namespace cadrell
