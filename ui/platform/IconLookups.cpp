#include "ui/platform/IconLookups.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace cadrell {

struct IconLookups::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> keys;  // newest at the back
    Probe probe;
    IconLookups* owner = nullptr;  // null once the owner is gone: the worker then ends
};

IconLookups::IconLookups(Recorder recorder, QObject* parent)
    : QObject(parent), recorder_(std::move(recorder)), queue_(std::make_shared<Queue>()) {
    queue_->owner = this;
}

IconLookups::~IconLookups() {
    // Never joined: the worker may sit in a system call on a dead mount for as long as it likes.
    std::lock_guard lock(queue_->mutex);
    queue_->owner = nullptr;
    queue_->keys.clear();
    queue_->wake.notify_all();
}

void IconLookups::setProbe(Probe probe) {
    std::lock_guard lock(queue_->mutex);
    queue_->probe = std::move(probe);
}

void IconLookups::request(const QByteArray& path, Depth depth) {
    const QByteArray key = char(depth) + path;
    if (waiting_.contains(key))
        return;
    waiting_.insert(key);
    {
        std::lock_guard lock(queue_->mutex);
        queue_->keys.push_back(key);
        while (qsizetype(queue_->keys.size()) > kMaxWaiting) {
            waiting_.remove(queue_->keys.front());
            queue_->keys.pop_front();
        }
    }
    queue_->wake.notify_one();
    if (!workerStarted_) {
        workerStarted_ = true;
        std::thread(work, queue_).detach();
    }
}

void IconLookups::work(std::shared_ptr<Queue> queue) {
    for (;;) {
        QByteArray key;
        Probe probe;
        {
            std::unique_lock lock(queue->mutex);
            queue->wake.wait(lock, [&] { return !queue->owner || !queue->keys.empty(); });
            if (!queue->owner)
                return;
            key = std::move(queue->keys.back());
            queue->keys.pop_back();
            probe = queue->probe ? queue->probe : Probe(ProbeDisk);
        }
        const ObjectProbe result = probe(key.sliced(1), Depth(key[0]));
        std::lock_guard lock(queue->mutex);
        IconLookups* owner = queue->owner;
        if (!owner)
            return;
        // Posted while the owner is sure to exist; Qt drops the call if it goes before the call
        // is delivered.
        QMetaObject::invokeMethod(
            owner, [owner, key, result] { owner->deliver(key, result); }, Qt::QueuedConnection);
    }
}

void IconLookups::deliver(const QByteArray& key, const ObjectProbe& result) {
    waiting_.remove(key);
    if (recorder_)
        recorder_(key.sliced(1), Depth(key[0]), result);
    emit answered();
}

ObjectProbe IconLookups::ProbeDisk(const QByteArray& path, Depth depth) {
    ObjectProbe probe;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return probe;
    if (S_ISDIR(st.st_mode)) {
        probe.state = ObjectProbe::Folder;
        return probe;
    }
    // Opening a pipe or a device could wait forever, and their content says nothing anyway.
    const char* special = S_ISCHR(st.st_mode)    ? "inode/chardevice"
                          : S_ISBLK(st.st_mode)  ? "inode/blockdevice"
                          : S_ISFIFO(st.st_mode) ? "inode/fifo"
                          : S_ISSOCK(st.st_mode) ? "inode/socket"
                                                 : nullptr;
    if (special) {
        probe.state = ObjectProbe::Special;
        probe.type = QLatin1String(special);
        return probe;
    }
    probe.state = ObjectProbe::File;
    if (depth == Depth::Kind)
        return probe;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        probe.state = ObjectProbe::Unreadable;
        return probe;
    }
    probe.head.resize(kHeadBytes);
    qsizetype done = 0;
    while (done < kHeadBytes) {
        const ssize_t n = ::read(fd, probe.head.data() + done, size_t(kHeadBytes - done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    probe.head.truncate(done);
    return probe;
}

}  // namespace cadrell
