#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

namespace cadrell {

// What the disk says about one path, as far as its icon cares.
struct ObjectProbe {
    enum State {
        Missing,     // nothing there (or the name cannot be looked at)
        Folder,      //
        File,        // a regular file; `head` holds its first bytes
        Unreadable,  // a regular file that cannot be opened
        Special,     // a device, pipe or socket; `type` is its MIME type
    };
    State state = Missing;
    QByteArray head;
    QString type;
};

// Looks paths up on the disk on a thread of its own and reports each answer on the thread that
// made this object. A mount that no longer answers holds up only that thread: nothing ever waits
// for it, not even the end of the program, and its answers simply come late or never.
class IconLookups : public QObject {
    Q_OBJECT
public:
    // How much a request needs: what the object is, or its first bytes as well.
    enum class Depth : char { Kind = 'k', Content = 'c' };
    using Probe = std::function<ObjectProbe(const QByteArray& path, Depth depth)>;
    // Where answers go first, before answered() tells everyone else.
    using Recorder = std::function<void(const QByteArray& path, Depth depth, const ObjectProbe&)>;

    // The bytes of a file the content rules look at.
    static constexpr qsizetype kHeadBytes = 16384;
    // Requests waiting beyond this many are dropped, oldest first: rows painted long ago.
    static constexpr qsizetype kMaxWaiting = 4096;

    explicit IconLookups(Recorder recorder, QObject* parent = nullptr);
    ~IconLookups() override;

    // Asks for a path (absolute, in the file system's bytes) unless it is asked already. The
    // most recent requests are answered first, so the rows on screen come before those scrolled
    // past.
    void request(const QByteArray& path, Depth depth);

    // The disk itself: stat, and for Content the first kHeadBytes of a regular file. Runs on the
    // worker.
    static ObjectProbe ProbeDisk(const QByteArray& path, Depth depth);
    // Replaces the disk for tests; an empty function puts the disk back. Requests already taken
    // by the worker finish with the probe they started with.
    void setProbe(Probe probe);

signals:
    // An answer has been recorded.
    void answered();

private:
    struct Queue;
    static void work(std::shared_ptr<Queue> queue);
    void deliver(const QByteArray& key, const ObjectProbe& result);

    Recorder recorder_;
    std::shared_ptr<Queue> queue_;
    QSet<QByteArray> waiting_;  // keys (depth, then path) requested and not answered yet
    bool workerStarted_ = false;
};

}  // namespace cadrell
