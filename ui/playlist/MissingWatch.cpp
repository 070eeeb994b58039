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
    connect(document_, &PlaylistDocument::changed, this, [this] { delay_.start(); });
}

MissingWatch::~MissingWatch() {
    if (cancel_)
        *cancel_ = true;
}

void MissingWatch::recheckAll() {
    if (cancel_)
        *cancel_ = true;
    state_.reset();
    running_ = false;
    emit marksChanged();
    delay_.start();
}

void MissingWatch::start() {
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    again_ = false;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    RunDetached(
        this,
        [entries = document_->Entries(), folder = folder_(), from = state_, cancel = cancel_] {
            LowerThisThreadsPriority();
            return UpdateMissingMarks(entries, folder, from, *cancel);
        },
        [this, cancel = cancel_](std::shared_ptr<const MissingMarkState> next) {
            if (cancel != cancel_)
                return;  // a recheck began meanwhile; its own lookup answers
            running_ = false;
            if (next) {
                state_ = std::move(next);
                emit marksChanged();
            }
            if (again_)
                start();
        });
}

}  // namespace cadrell
