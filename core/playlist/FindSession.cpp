#include "core/playlist/FindSession.h"

#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

namespace cadrell {

namespace {

// How often a job says how far it got while it finds nothing new: often enough for a count that
// moves, rarely enough to leave the interface thread alone.
constexpr qint64 kReportMs = 50;

// Rows searched between two looks at the stop flag: as many as take a few milliseconds, which
// for a pattern that takes long on every entry is one.
class Pace {
public:
    qsizetype rows() {
        clock_.start();
        return rows_;
    }
    void stepDone() {
        const qint64 ms = clock_.elapsed();
        if (ms < 2)
            rows_ = std::min<qsizetype>(rows_ * 2, 65536);
        else if (ms > 10)
            rows_ = std::max<qsizetype>(rows_ / 2, 1);
    }

private:
    qsizetype rows_ = 64;
    QElapsedTimer clock_;
};

constexpr qsizetype kUnknown = std::numeric_limits<qsizetype>::max();

}  // namespace

int NextFound(const std::vector<int>& found, qsizetype scanned, qsizetype total, int current) {
    // Every row before the first match after `current` is counted, so it is the next one.
    const auto after = std::upper_bound(found.begin(), found.end(), current);
    if (after != found.end())
        return *after;
    if (scanned < total)
        return kNotCountedYet;
    return found.empty() ? -1 : found.front();
}

int PreviousFound(const std::vector<int>& found, qsizetype scanned, qsizetype total, int current) {
    if (scanned < std::min<qsizetype>(std::max(current, 0), total))
        return kNotCountedYet;
    const auto before = std::lower_bound(found.begin(), found.end(), current);
    if (before != found.begin())
        return *(before - 1);
    // From the bottom: the whole list must be counted.
    if (scanned < total)
        return kNotCountedYet;
    return found.empty() ? -1 : found.back();
}

// The way back from the threads: a job reaches its session through this while the session is
// there, and not a moment after.
struct FindSession::Channel {
    std::mutex mutex;
    FindSession* session = nullptr;

    // Has the session's thread run `take(session)`, unless the session is gone by then.
    // `posted` keeps one report on its way at a time; the session clears it as it reads the job.
    template <class Take>
    void report(std::atomic<bool>& posted, const Take& take) {
        if (posted.exchange(true))
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        if (session)
            QMetaObject::invokeMethod(
                session, [s = session, take] { take(s); }, Qt::QueuedConnection);
    }
};

struct FindSession::CountJob {
    std::atomic<bool> stop{false};
    std::atomic<bool> posted{false};
    std::mutex mutex;
    std::vector<int> found;  // rows found since the session last took them
    qsizetype scanned = 0;
    bool done = false;
};

struct FindSession::ReplaceJob {
    std::atomic<bool> stop{false};
    std::atomic<bool> posted{false};
    std::atomic<qsizetype> done{0};
    qsizetype total = 0;
    std::atomic<bool> finished{false};
    // The thread's until `finished`, then the session's.
    EntryEdits edits;
    bool matched = false;
};

namespace {

// What the threads run; templates only because the jobs are the session's own types.
template <class Job, class Report>
void countRows(Job& job, const EntryList& entries, const Finder& finder, const Report& report) {
    Pace pace;
    QElapsedTimer sinceReport;
    sinceReport.start();
    std::vector<int> rows;
    for (qsizetype from = 0; from < entries.size() && !job.stop;) {
        const qsizetype to = std::min(entries.size(), from + pace.rows());
        rows.clear();
        finder.findRows(entries, from, to, rows);
        pace.stepDone();
        from = to;
        {
            const std::lock_guard<std::mutex> lock(job.mutex);
            job.found.insert(job.found.end(), rows.begin(), rows.end());
            job.scanned = to;
        }
        // A row found may be what a Next waits for.
        if (!rows.empty() || sinceReport.elapsed() >= kReportMs) {
            report();
            sinceReport.restart();
        }
    }
    if (job.stop)
        return;
    {
        const std::lock_guard<std::mutex> lock(job.mutex);
        job.done = true;
    }
    report();
}

template <class Job, class Report>
void replaceRows(Job& job, const EntryList& entries, const Finder& finder, const QString& with,
                 const std::vector<int>& rows, const Report& report) {
    QByteArray text;
    auto replaceRow = [&](int r) {
        const QByteArrayView entry = entries.at(r);
        if (!finder.replaceIn(entry, with, text))
            return;
        job.matched = true;
        if (text != entry) {
            job.edits.rows.push_back(r);
            job.edits.texts.append(text);
        }
    };
    Pace pace;
    QElapsedTimer sinceReport;
    sinceReport.start();
    std::vector<int> hits;
    for (qsizetype next = 0; next < job.total && !job.stop;) {
        const qsizetype to = std::min(job.total, next + pace.rows());
        if (rows.empty()) {
            // Only rows with a match are rewritten; the search picks them out at its own speed.
            hits.clear();
            finder.findRows(entries, next, to, hits);
            for (int r : hits)
                replaceRow(r);
        } else {
            for (qsizetype i = next; i < to; ++i) {
                const int r = rows[static_cast<size_t>(i)];
                if (r >= 0 && r < entries.size())
                    replaceRow(r);
            }
        }
        pace.stepDone();
        next = to;
        job.done = next;
        if (sinceReport.elapsed() >= kReportMs) {
            report();
            sinceReport.restart();
        }
    }
    if (job.stop)
        return;
    job.finished = true;
    report();
}

}  // namespace

FindSession::FindSession(QObject* parent) : QObject(parent), channel_(std::make_shared<Channel>()) {
    channel_->session = this;
}

FindSession::~FindSession() {
    {
        const std::lock_guard<std::mutex> lock(channel_->mutex);
        channel_->session = nullptr;
    }
    stopCount();
    stopReplace();
}

void FindSession::setTextForm(TextForm form) {
    form_ = std::move(form);
}

void FindSession::restart(const FindOptions& options) {
    stopCount();
    found_.clear();
    scanned_ = 0;
    total_ = kUnknown;
    counted_ = false;
    options_ = options;
    searchForm_ = form_;
    finder_ = options.text.isEmpty() ? nullptr : std::make_unique<const Finder>(options, form_);
}

bool FindSession::hasSearch() const {
    return static_cast<bool>(finder_);
}

bool FindSession::isValid() const {
    return finder_ && finder_->isValid();
}

QString FindSession::errorString() const {
    return finder_ ? finder_->errorString() : QString();
}

void FindSession::startCount(const EntryList& entries) {
    stopCount();
    found_.clear();
    scanned_ = 0;
    total_ = entries.size();
    counted_ = false;
    if (!isValid())
        return;
    auto job = std::make_shared<CountJob>();
    count_ = job;
    // Each thread has a search of its own, so nothing of a pattern is shared between threads.
    auto finder = std::make_unique<const Finder>(options_, searchForm_);
    std::thread([job, channel = channel_, entries, finder = std::move(finder)] {
        countRows(*job, entries, *finder, [&] {
            channel->report(job->posted, [job](FindSession* s) { s->takeCount(job); });
        });
    }).detach();
}

void FindSession::takeCount(const std::shared_ptr<CountJob>& job) {
    // Cleared before reading, so whatever the thread adds from now on is reported again.
    job->posted.exchange(false);
    if (job != count_)
        return;
    std::vector<int> rows;
    bool done = false;
    {
        const std::lock_guard<std::mutex> lock(job->mutex);
        rows.swap(job->found);
        scanned_ = job->scanned;
        done = job->done;
    }
    found_.insert(found_.end(), rows.begin(), rows.end());
    if (done) {
        counted_ = true;
        count_.reset();
    }
    emit countProgress();
}

void FindSession::stopCount() {
    if (count_)
        count_->stop = true;
    count_.reset();
}

bool FindSession::isCounting() const {
    return static_cast<bool>(count_);
}

bool FindSession::isCounted() const {
    return counted_;
}

qsizetype FindSession::matchNumber(int row) const {
    const auto at = std::lower_bound(found_.begin(), found_.end(), row);
    if (row >= 0 && at != found_.end() && *at == row)
        return at - found_.begin() + 1;
    return 0;
}

int FindSession::nextMatch(int current) const {
    return finder_ ? NextFound(found_, scanned_, total_, current) : -1;
}

int FindSession::previousMatch(int current) const {
    return finder_ ? PreviousFound(found_, scanned_, total_, current) : -1;
}

void FindSession::startReplaceAll(const EntryList& entries, std::vector<int> selectedRows,
                                  const QString& with) {
    if (selectedRows.size() <= 1)
        selectedRows.clear();
    startReplace(entries, std::move(selectedRows), with);
}

void FindSession::startReplaceAt(const EntryList& entries, int row, const QString& with) {
    startReplace(entries, {row}, with);
}

void FindSession::startReplace(const EntryList& entries, std::vector<int> rows,
                               const QString& with) {
    stopReplace();
    if (!isValid())
        return;
    auto job = std::make_shared<ReplaceJob>();
    job->total = rows.empty() ? entries.size() : static_cast<qsizetype>(rows.size());
    replace_ = job;
    auto finder = std::make_unique<const Finder>(options_, searchForm_);
    std::thread([job, channel = channel_, entries, finder = std::move(finder), with,
                 rows = std::move(rows)] {
        replaceRows(*job, entries, *finder, with, rows, [&] {
            channel->report(job->posted, [job](FindSession* s) { s->takeReplace(job); });
        });
    }).detach();
}

void FindSession::takeReplace(const std::shared_ptr<ReplaceJob>& job) {
    job->posted.exchange(false);
    if (job != replace_ || replaceDone_)
        return;
    if (job->finished) {
        replaceDone_ = true;
        emit replaceFinished();
    } else {
        emit replaceProgress(job->done, job->total);
    }
}

bool FindSession::isReplacing() const {
    return static_cast<bool>(replace_);
}

bool FindSession::isReplaceDone() const {
    return replaceDone_;
}

EntryEdits FindSession::finishReplace(bool* matched) {
    EntryEdits edits;
    if (matched)
        *matched = false;
    if (replace_ && replaceDone_) {
        edits = std::move(replace_->edits);
        if (matched)
            *matched = replace_->matched;
    }
    stopReplace();
    return edits;
}

void FindSession::stopReplace() {
    if (replace_)
        replace_->stop = true;
    replace_.reset();
    replaceDone_ = false;
}

}  // namespace cadrell
