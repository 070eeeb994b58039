#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/playlist/MissingMarks.h"

namespace cadrell {

class PlaylistDocument;

// Marks the entries of a window's playlist whose files are missing: looked up on a worker after a
// load and, a moment after each change, for the lines the change brought in. The window never
// waits for it, and a closed window leaves a stuck lookup behind without waiting either.
class MissingWatch : public QObject {
    Q_OBJECT
public:
    MissingWatch(PlaylistDocument* document, std::function<QByteArray()> folder,
                 QObject* parent = nullptr);
    ~MissingWatch() override;

    bool isMissing(qsizetype line) const { return marks_.isMissing(line); }
    // Every entry looked up again (after the playlist was read from disk).
    void recheckAll();
    bool busy() const { return running_; }

signals:
    void marksChanged();

private:
    void start();
    void answered(MissingMarks answers, bool cancelled);

    PlaylistDocument* document_;
    std::function<QByteArray()> folder_;
    MissingMarks marks_;
    QByteArray folderLooked_;
    bool replaced_ = false;  // the entries were replaced outside the history
    QTimer delay_;
    bool running_ = false;
    // What happened to the lines while a lookup ran: its answers follow the same changes.
    std::vector<std::shared_ptr<const Change>> sinceLookup_;
    bool lostTrack_ = false;
    std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace cadrell
