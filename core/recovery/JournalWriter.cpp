#include "core/recovery/JournalWriter.h"

#include "core/platform/Background.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <variant>

#include "core/platform/OwnHome.h"

namespace cadrell {

namespace {

struct BeginCmd {
    JournalWriter::Begin begin;
    JournalWriter::Events events;
};
struct AppendCmd {
    std::shared_ptr<const Change> change;
    int64_t timeMs;
};
struct SnapshotCmd {
    JournalWriter::Begin begin;
};
struct DiscardCmd {};
struct RemoveCmd {
    QString path;
    std::shared_ptr<void> keep;
};
using Payload = std::variant<BeginCmd, AppendCmd, SnapshotCmd, DiscardCmd, RemoveCmd>;
struct Command {
    JournalWriter::Id id;
    Payload payload;
};

// One open journal, touched only on the writer's thread.
struct Journal {
    int fd = -1;
    QString path;
    QString folder;
    JournalStart start;
    JournalWriter::Events events;
    qint64 bytes = 0;
    qint64 limit = 0;
    bool dirty = false;
    bool snapshotAsked = false;
    bool dead = false;
};

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        at += n;
    }
    return true;
}

void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Makes the folder (private to this user) or says why it cannot be used.
QString prepareFolder(const QString& folder) {
    const QString refusal = ForeignFolderRefusal(folder);
    if (!refusal.isEmpty())
        return refusal;
    const QFileInfo info(folder);
    QDir().mkpath(info.absolutePath());
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot make %1 (%2)").arg(folder, systemError(errno));
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    return {};
}

QByteArray hashOfFile(const QByteArray& fileName, const std::optional<FileStamp>& loaded) {
    if (!loaded)
        return {};
    const int fd = ::open(fileName.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    bool same = ::fstat(fd, &st) == 0 && StampOf(st) == *loaded;
    std::vector<char> buffer(1 << 20);
    while (same) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            same = false;
        if (n <= 0)
            break;
        hash.addData(QByteArrayView(buffer.data(), n));
    }
    ::close(fd);
    return same ? hash.result() : QByteArray();
}

}  // namespace

qint64 JournalSizeLimit(qint64 savedSize) {
    return 2 * std::max<qint64>(savedSize, 64 * 1024);
}

struct JournalWriter::Impl {
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Command> queue;
    bool busy = false;
    Id nextId = 1;
    std::map<Id, QString> paths;  // under the mutex, for path()
    std::map<Id, Journal> journals;
    uint64_t serial = 0;

    void push(Id id, Payload p) {
        {
            std::lock_guard lock(mutex);
            queue.push_back({id, std::move(p)});
        }
        wake.notify_one();
    }
    void run();
    void handle(Id id, Payload& p, std::set<Id>& touched);
    void fail(Journal& j, int error, const QString& what);
    int createFile(Journal& j, const QString& path, const JournalWriter::Begin& b);
    void setPath(Id id, const QString& path) {
        std::lock_guard lock(mutex);
        if (path.isEmpty())
            paths.erase(id);
        else
            paths[id] = path;
    }
};

void JournalWriter::Impl::fail(Journal& j, int error, const QString& what) {
    if (j.dead)
        return;
    j.dead = true;
    // A journal that stopped part way would bring back an older state without a word.
    if (!j.path.isEmpty())
        ::unlink(QFile::encodeName(j.path).constData());
    if (j.fd >= 0)
        ::close(j.fd);
    j.fd = -1;
    if (j.events.failed) {
        QString text = what;
        if (error)
            text += QStringLiteral(" (%1)").arg(systemError(error));
        j.events.failed(text);
    }
}

// A new file holding the start, its copy of the entries, locked; -1 (errno set) on failure.
int JournalWriter::Impl::createFile(Journal& j, const QString& path,
                                    const JournalWriter::Begin& b) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    QByteArray bytes = JournalPreamble();
    AppendRecord(bytes, RecordType::Start, StartPayload(b.start));
    if (b.start.hasCopy)
        AppendRecord(bytes, RecordType::Entries, EntriesPayload(b.entries));
    if (!writeAll(fd, bytes) || ::fdatasync(fd) != 0) {
        const int e = errno;
        ::unlink(name.constData());
        ::close(fd);
        errno = e;
        return -1;
    }
    j.bytes = bytes.size();
    j.limit = JournalSizeLimit(b.savedSize);
    return fd;
}

void JournalWriter::Impl::handle(Id id, Payload& p, std::set<Id>& touched) {
    if (auto* c = std::get_if<BeginCmd>(&p)) {
        Journal& j = journals[id];
        j.events = std::move(c->events);
        j.folder = c->begin.folder;
        const QString refusal = prepareFolder(j.folder);
        if (!refusal.isEmpty()) {
            fail(j, 0, QStringLiteral("cannot keep a journal in %1: %2").arg(j.folder, refusal));
            return;
        }
        JournalWriter::Begin& b = c->begin;
        if (!b.start.untitled)
            b.start.fileHash = hashOfFile(b.start.fileName, b.loadedStamp);
        j.start = b.start;
        const QString path = QStringLiteral("%1/%2-%3-%4.journal")
                                 .arg(j.folder)
                                 .arg(b.start.pid)
                                 .arg(b.start.createdMs)
                                 .arg(++serial);
        j.path = path;
        j.fd = createFile(j, path, b);
        if (j.fd < 0) {
            j.path.clear();
            fail(j, errno, QStringLiteral("cannot write a journal in %1").arg(j.folder));
            return;
        }
        syncFolder(j.folder);
        setPath(id, path);
        return;
    }
    if (auto* c = std::get_if<RemoveCmd>(&p)) {
        ::unlink(QFile::encodeName(c->path).constData());
        syncFolder(QFileInfo(c->path).absolutePath());
        c->keep.reset();
        return;
    }
    const auto found = journals.find(id);
    if (found == journals.end())
        return;
    Journal& j = found->second;
    if (std::holds_alternative<DiscardCmd>(p)) {
        if (!j.path.isEmpty() && !j.dead)
            ::unlink(QFile::encodeName(j.path).constData());
        if (j.fd >= 0)
            ::close(j.fd);
        journals.erase(found);
        touched.erase(id);
        setPath(id, {});
        return;
    }
    if (j.dead)
        return;
    if (auto* c = std::get_if<AppendCmd>(&p)) {
        QByteArray bytes;
        AppendRecord(bytes, RecordType::Change, ChangePayload(*c->change, c->timeMs));
        if (!writeAll(j.fd, bytes)) {
            fail(j, errno, QStringLiteral("cannot write its journal %1").arg(j.path));
            return;
        }
        j.bytes += bytes.size();
        j.dirty = true;
        touched.insert(id);
        if (j.bytes > j.limit && !j.snapshotAsked && j.events.snapshotWanted) {
            j.snapshotAsked = true;
            j.events.snapshotWanted();
        }
        return;
    }
    if (auto* c = std::get_if<SnapshotCmd>(&p)) {
        // Written beside the journal and renamed over it: a crash leaves one or the other.
        JournalWriter::Begin& b = c->begin;
        b.start.fileHash = j.start.fileHash;
        Journal fresh;
        const QString temporary = j.path + QStringLiteral(".new");
        const int fd = createFile(fresh, temporary, b);
        if (fd < 0 || ::rename(QFile::encodeName(temporary).constData(),
                               QFile::encodeName(j.path).constData()) != 0) {
            const int e = errno;
            if (fd >= 0) {
                ::unlink(QFile::encodeName(temporary).constData());
                ::close(fd);
            }
            fail(j, e, QStringLiteral("cannot rewrite its journal %1").arg(j.path));
            return;
        }
        syncFolder(j.folder);
        ::close(j.fd);
        j.fd = fd;
        j.start = b.start;
        j.bytes = fresh.bytes;
        j.limit = fresh.limit;
        j.dirty = false;
        j.snapshotAsked = false;
        touched.erase(id);
    }
}

void JournalWriter::Impl::run() {
    for (;;) {
        std::deque<Command> batch;
        {
            std::unique_lock lock(mutex);
            busy = false;
            idle.notify_all();
            wake.wait(lock, [this] { return !queue.empty(); });
            batch.swap(queue);
            busy = true;
        }
        // A journal begun and discarded in the same batch (a reload, a save right after the
        // change) is never written at all.
        std::set<Id> discarded;
        for (const Command& c : batch) {
            if (std::holds_alternative<DiscardCmd>(c.payload) && !journals.count(c.id))
                discarded.insert(c.id);
        }
        std::set<Id> touched;
        for (Command& c : batch) {
            if (discarded.count(c.id))
                continue;
            handle(c.id, c.payload, touched);
        }
        for (Id id : touched) {
            const auto found = journals.find(id);
            if (found == journals.end() || found->second.dead || !found->second.dirty)
                continue;
            if (::fdatasync(found->second.fd) != 0)
                fail(found->second, errno,
                     QStringLiteral("cannot write its journal %1").arg(found->second.path));
            found->second.dirty = false;
        }
    }
}

JournalWriter::JournalWriter() : d_(new Impl) {
    Impl* d = d_;
    // Never joined: a journal on a file system that hangs must not hold up the program's end.
    std::thread([d] {
        // Journaling is the user's safety net, not the user's work: the window goes first.
        LowerThisThreadsPriority();
        d->run();
    }).detach();
    // A clean exit deletes the journals of the windows it closed; give that a moment to reach
    // the disk, but no more.
    qAddPostRoutine([] { JournalWriter::instance().waitIdle(2000); });
}

JournalWriter& JournalWriter::instance() {
    // Left alive at exit on purpose: its thread may still be running then.
    static JournalWriter* const writer = new JournalWriter;
    return *writer;
}

JournalWriter::Id JournalWriter::begin(Begin begin, Events events) {
    Id id;
    {
        std::lock_guard lock(d_->mutex);
        id = d_->nextId++;
    }
    d_->push(id, BeginCmd{std::move(begin), std::move(events)});
    return id;
}

void JournalWriter::append(Id id, std::shared_ptr<const Change> change, int64_t timeMs) {
    d_->push(id, AppendCmd{std::move(change), timeMs});
}

void JournalWriter::snapshot(Id id, Begin begin) {
    d_->push(id, SnapshotCmd{std::move(begin)});
}

void JournalWriter::discard(Id id) {
    d_->push(id, DiscardCmd{});
}

void JournalWriter::removeFile(const QString& path, std::shared_ptr<void> keep) {
    d_->push(0, RemoveCmd{path, std::move(keep)});
}

QString JournalWriter::path(Id id) const {
    std::lock_guard lock(d_->mutex);
    const auto found = d_->paths.find(id);
    return found == d_->paths.end() ? QString() : found->second;
}

bool JournalWriter::waitIdle(int timeoutMs) {
    std::unique_lock lock(d_->mutex);
    return d_->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return d_->queue.empty() && !d_->busy; });
}

}  // namespace cadrell
