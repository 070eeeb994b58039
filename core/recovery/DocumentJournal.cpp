#include "core/recovery/DocumentJournal.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>

#include "core/playlist/Encoding.h"

namespace cadrell {

namespace {

int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Runs `f` on the main thread if the journal still lives then.
template <class F>
void onMainThread(const std::shared_ptr<QPointer<DocumentJournal>>& alive, F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [alive, f = std::move(f)] {
            if (DocumentJournal* journal = *alive)
                f(journal);
        },
        Qt::QueuedConnection);
}

}  // namespace

DocumentJournal::DocumentJournal(PlaylistDocument& doc, QString folder, QObject* parent)
    : QObject(parent),
      doc_(doc),
      folder_(std::move(folder)),
      alive_(std::make_shared<QPointer<DocumentJournal>>(this)) {
    connect(&doc_, &PlaylistDocument::aboutToChange, this, &DocumentJournal::captureBase);
    connect(&doc_, &PlaylistDocument::changeApplied, this, &DocumentJournal::record);
    connect(&doc_, &PlaylistDocument::historyChanged, this, &DocumentJournal::historyMoved);
    connect(&doc_, &PlaylistDocument::entriesReplaced, this, [this] {
        discard();
        base_.reset();
    });
}

DocumentJournal::~DocumentJournal() {
    discard();
}

QString DocumentJournal::path() const {
    return id_ ? JournalWriter::instance().path(id_) : QString();
}

void DocumentJournal::discard() {
    if (id_)
        JournalWriter::instance().discard(id_);
    id_ = 0;
    steps_ = 0;
}

void DocumentJournal::captureBase() {
    if (id_ || off_)
        return;
    // A copy of the entries shares their text: only the records are copied here.
    JournalWriter::Begin b;
    b.folder = folder_;
    b.entries = doc_.Entries();
    b.loadedStamp = doc_.DiskStamp;
    JournalStart& s = b.start;
    s.pid = static_cast<uint32_t>(::getpid());
    s.untitled = doc_.untitled();
    s.fileName = doc_.untitled() ? QByteArray() : doc_.FileName;
    s.fileKnown = !s.untitled && doc_.DiskStamp.has_value();
    if (s.fileKnown) {
        s.fileSize = doc_.DiskStamp->size;
        s.mtimeSec = doc_.DiskStamp->sec;
        s.mtimeNsec = doc_.DiskStamp->nsec;
    }
    s.encoding = doc_.Encoding;
    s.lineEnd = doc_.LineEnds;
    // A large file stays out of the journal; it is recovered from the file itself as long as
    // that has not changed.
    s.hasCopy = !s.fileKnown || s.fileSize <= kJournalCopyLimit;
    if (!s.hasCopy)
        b.entries = EntryList();
    b.savedSize = s.fileKnown ? s.fileSize : doc_.Entries().liveBytes() + 2 * doc_.Entries().size();
    base_ = std::move(b);
}

JournalWriter::Events DocumentJournal::events() {
    JournalWriter::Events e;
    const std::shared_ptr<QPointer<DocumentJournal>> alive = alive_;
    e.failed = [alive](const QString& message) {
        onMainThread(alive, [message](DocumentJournal* journal) {
            if (journal->off_)
                return;
            journal->off_ = true;
            journal->id_ = 0;
            emit journal->failed(message);
        });
    };
    e.snapshotWanted = [alive] {
        onMainThread(alive, [](DocumentJournal* journal) { journal->snapshotWanted(); });
    };
    return e;
}

void DocumentJournal::record(std::shared_ptr<const Change> forward) {
    if (off_)
        return;
    const int64_t now = nowMs();
    if (!id_) {
        if (!base_)
            return;
        base_->start.createdMs = now;
        start_ = base_->start;
        id_ = JournalWriter::instance().begin(std::move(*base_), events());
        base_.reset();
    }
    JournalWriter::instance().append(id_, std::move(forward), now);
    ++steps_;
    lastChangeMs_ = now;
}

void DocumentJournal::historyMoved() {
    // Back where the file stands (saved, undone to it, reloaded): nothing left to recover.
    if (!doc_.Modified())
        discard();
}

void DocumentJournal::snapshotWanted() {
    if (!id_ || off_)
        return;
    JournalWriter::Begin b;
    b.folder = folder_;
    b.entries = doc_.Entries();
    b.start = start_;
    b.start.hasCopy = true;
    b.start.snapshot = true;
    b.start.encoding = doc_.Encoding;
    b.start.lineEnd = doc_.LineEnds;
    b.start.stepsBefore += steps_;
    b.start.lastChangeMs = lastChangeMs_;
    // Near enough for a limit, and no walk over every byte on the interface's thread.
    const qsizetype unit = IsUtf16(doc_.Encoding) ? 2 : 1;
    b.savedSize = unit * (doc_.Entries().liveBytes() + 2 * doc_.Entries().size());
    start_ = b.start;
    steps_ = 0;
    JournalWriter::instance().snapshot(id_, std::move(b));
}

}  // namespace cadrell
