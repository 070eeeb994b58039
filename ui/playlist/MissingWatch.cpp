#include "ui/playlist/MissingWatch.h"

#include "core/platform/Background.h"
#include "core/playlist/PlaylistDocument.h"

namespace cadrell {

MissingWatch::MissingWatch(PlaylistDocument* document, std::function<QByteArray()> folder,
                           QObject* parent)
    : QObject(parent), document_(document), folder_(std::move(folder)) {
    // Changes often come in bursts (typing, repeated moves): one lookup after they settle.
    delay_.setSingleShot(true);
    delay_.setInterval(400);
    connect(&delay_, &QTimer::timeout, this, &MissingWatch::start);
    connect(document_, &PlaylistDocument::changeApplied, this,
            [this](std::shared_ptr<const Change> change) {
                if (!marks_.follow(*change))
                    replaced_ = true;
                if (running_)
                    sinceLookup_.push_back(std::move(change));
            });
    connect(document_, &PlaylistDocument::entriesReplaced, this, [this] {
        replaced_ = true;
        lostTrack_ = running_;
    });
    connect(document_, &PlaylistDocument::changed, this, [this] {
        if (replaced_ || marks_.size() != document_->Entries().size()) {
            marks_.forgetAll(document_->Entries().size());
            replaced_ = false;
            emit marksChanged();
        }
        delay_.start();
    });
    marks_.forgetAll(document_->Entries().size());
}

MissingWatch::~MissingWatch() {
    if (cancel_)
        *cancel_ = true;
}

void MissingWatch::recheckAll() {
    // A lookup that already answered may have its answer waiting in the event queue: a new
    // token tells it apart, so the old list's answers never land on the lines read now.
    if (cancel_)
        *cancel_ = true;
    cancel_.reset();
    marks_.forgetAll(document_->Entries().size());
    running_ = false;
    sinceLookup_.clear();
    lostTrack_ = false;
    emit marksChanged();
    delay_.start();
}

void MissingWatch::start() {
    if (running_) {
        return;  // it goes on with what is left once it answers
    }
    const EntryList& entries = document_->Entries();
    if (marks_.size() != entries.size())
        marks_.forgetAll(entries.size());
    const QByteArray folder = folder_();
    if (folder != folderLooked_) {
        // Relative entries name other files from another folder.
        marks_.forgetAll(entries.size());
        folderLooked_ = folder;
    }
    // In parts, from the top: the first rows are marked soon, and neither the copy of the
    // names to look up nor following the changes made meanwhile ever holds the window long.
    constexpr size_t kPart = size_t(1) << 17;
    std::vector<int> lines = marks_.linesToLookUp(entries, kPart);
    if (lines.empty())
        return;
    running_ = true;
    lostTrack_ = false;
    sinceLookup_.clear();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    // Only the records of the lines looked up are copied; their text is shared.
    RunDetached(
        this,
        [texts = entries.slices(lines), lines = std::move(lines), count = entries.size(), folder,
         cancel = cancel_] {
            LowerThisThreadsPriority();
            bool cancelled = false;
            MissingMarks answers = LookUpMissing(texts, lines, count, folder, *cancel, cancelled);
            return std::make_pair(std::move(answers), cancelled);
        },
        [this, cancel = cancel_](std::pair<MissingMarks, bool> result) {
            if (cancel != cancel_)
                return;  // a recheck began meanwhile; its own lookup answers
            answered(std::move(result.first), result.second);
        });
}

void MissingWatch::answered(MissingMarks answers, bool cancelled) {
    running_ = false;
    // Each change followed costs a pass over every line: after a few, looking the part up again
    // is cheaper for the window.
    constexpr size_t kMostFollowed = 3;
    bool fits = !cancelled && !lostTrack_ && sinceLookup_.size() <= kMostFollowed;
    for (const std::shared_ptr<const Change>& change : sinceLookup_)
        fits = fits && answers.follow(*change);
    sinceLookup_.clear();
    if (fits && answers.size() == marks_.size() && marks_.merge(answers))
        emit marksChanged();
    // What is left: the next part, or this one again.
    start();
}

}  // namespace cadrell
