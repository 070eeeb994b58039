#include "core/playlist/FindSession.h"

#include <QElapsedTimer>
#include <algorithm>
#include <utility>

namespace cadrell {

namespace {

// Rows searched between two looks at the clock, and the time one slice may take: short enough
// that a key typed meanwhile shows at once.
constexpr qsizetype kRowsPerCheck = 4096;
constexpr qint64 kSliceMs = 20;

}  // namespace

struct FindSession::ReplaceJob {
    std::shared_ptr<const Finder> finder;
    QString with;
    std::vector<int> rows;  // empty: every row
    qsizetype next = 0;
    qsizetype end = 0;
    EntryEdits edits;
    std::vector<int> hits;
    QByteArray text;
};

FindSession::FindSession() = default;
FindSession::~FindSession() = default;

void FindSession::setTextForm(TextForm form) {
    form_ = std::move(form);
}

void FindSession::restart(const FindOptions& options) {
    found_.clear();
    scanned_ = 0;
    finder_ = options.text.isEmpty() ? nullptr : std::make_shared<const Finder>(options, form_);
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

bool FindSession::countSlice(const EntryList& entries) {
    QElapsedTimer clock;
    clock.start();
    while (finder_ && scanned_ < entries.size() && clock.elapsed() < kSliceMs) {
        const qsizetype to = std::min(entries.size(), scanned_ + kRowsPerCheck);
        finder_->findRows(entries, scanned_, to, found_);
        scanned_ = to;
    }
    return isCounted(entries);
}

bool FindSession::isCounted(const EntryList& entries) const {
    return scanned_ >= entries.size();
}

qsizetype FindSession::matchNumber(int row) const {
    const auto at = std::lower_bound(found_.begin(), found_.end(), row);
    if (row >= 0 && at != found_.end() && *at == row)
        return at - found_.begin() + 1;
    return 0;
}

int FindSession::firstIn(const EntryList& entries, qsizetype from, qsizetype to) const {
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, entries.size());
    if (from >= to)
        return -1;
    const auto at = std::lower_bound(found_.begin(), found_.end(), from);
    if (at != found_.end() && *at < to)
        return *at;
    std::vector<int> hits;
    for (qsizetype lo = std::max(from, scanned_); lo < to; lo += kRowsPerCheck) {
        finder_->findRows(entries, lo, std::min(to, lo + kRowsPerCheck), hits);
        if (!hits.empty())
            return hits.front();
    }
    return -1;
}

int FindSession::lastIn(const EntryList& entries, qsizetype from, qsizetype to) const {
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, entries.size());
    if (from >= to)
        return -1;
    std::vector<int> hits;
    for (qsizetype hi = to; hi > std::max(from, scanned_); hi -= kRowsPerCheck) {
        finder_->findRows(entries, std::max({from, scanned_, hi - kRowsPerCheck}), hi, hits);
        if (!hits.empty())
            return hits.back();
    }
    const auto at = std::lower_bound(found_.begin(), found_.end(), to);
    if (at != found_.begin() && *(at - 1) >= from)
        return *(at - 1);
    return -1;
}

int FindSession::nextMatch(const EntryList& entries, int current) const {
    if (!finder_)
        return -1;
    const int row = firstIn(entries, current + 1, entries.size());
    return row >= 0 ? row : firstIn(entries, 0, current + 1);
}

int FindSession::previousMatch(const EntryList& entries, int current) const {
    if (!finder_)
        return -1;
    const int row = lastIn(entries, 0, current);
    return row >= 0 ? row : lastIn(entries, std::max(current, 0), entries.size());
}

bool FindSession::replaceAt(const EntryList& entries, int row, const QString& with,
                            QByteArray& out) const {
    return finder_ && row >= 0 && row < entries.size() &&
           finder_->replaceIn(entries.at(row), with, out);
}

void FindSession::startReplaceAll(const EntryList& entries, std::vector<int> selectedRows,
                                  const QString& with) {
    if (!finder_)
        return;
    job_ = std::make_unique<ReplaceJob>();
    job_->finder = finder_;
    job_->with = with;
    job_->rows = std::move(selectedRows);
    if (job_->rows.size() <= 1)
        job_->rows.clear();
    job_->end = job_->rows.empty() ? entries.size() : static_cast<qsizetype>(job_->rows.size());
}

bool FindSession::replaceSlice(const EntryList& entries) {
    if (!job_)
        return true;
    ReplaceJob& job = *job_;
    auto replaceRow = [&](int r) {
        const QByteArrayView entry = entries.at(r);
        if (job.finder->replaceIn(entry, job.with, job.text) && job.text != entry) {
            job.edits.rows.push_back(r);
            job.edits.texts.append(job.text);
        }
    };
    QElapsedTimer clock;
    clock.start();
    while (job.next < job.end && clock.elapsed() < kSliceMs) {
        const qsizetype to = std::min(job.end, job.next + kRowsPerCheck);
        if (job.rows.empty()) {
            // Only rows with a match are rewritten; the search picks them out at its own speed.
            job.hits.clear();
            job.finder->findRows(entries, job.next, to, job.hits);
            for (int r : job.hits)
                replaceRow(r);
        } else {
            for (qsizetype i = job.next; i < to; ++i)
                if (job.rows[static_cast<size_t>(i)] < entries.size())
                    replaceRow(job.rows[static_cast<size_t>(i)]);
        }
        job.next = to;
    }
    return job.next >= job.end;
}

bool FindSession::isReplacing() const {
    return static_cast<bool>(job_);
}

EntryEdits FindSession::finishReplace() {
    const std::unique_ptr<ReplaceJob> done = std::move(job_);
    return done ? std::move(done->edits) : EntryEdits();
}

void FindSession::stopReplace() {
    job_.reset();
}

}  // namespace cadrell
