#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "core/playlist/MissingMarks.h"

namespace cadrell {

class PlaylistDocument;

// Marks the entries of a window's playlist whose files are missing: looked up on a worker after a
// load and, a moment after each change, for the entries the change brought in. The window never
// waits for it, and a closed window leaves a stuck lookup behind without waiting either.
class MissingWatch : public QObject {
    Q_OBJECT
public:
    MissingWatch(PlaylistDocument* document, std::function<QByteArray()> folder,
                 QObject* parent = nullptr);
    ~MissingWatch() override;

    bool isMissing(QByteArrayView entry) const { return state_ && IsMarkedMissing(*state_, entry); }
    // Every entry looked up again (after the playlist was read from disk).
    void recheckAll();
    bool busy() const { return running_; }

signals:
    void marksChanged();

private:
    void start();

    PlaylistDocument* document_;
    std::function<QByteArray()> folder_;
    std::shared_ptr<const MissingMarkState> state_;
    QTimer delay_;
    bool running_ = false;
    bool again_ = false;
    std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace cadrell
