#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_set>

#include "core/platform/Error.h"
#include "core/platform/Fd.h"
#include "core/playlist/Export.h"
#include "core/playlist/ExportCopy.h"
#include "core/playlist/ExportNames.h"
#include "core/playlist/PlaylistFile.h"

namespace cadrell {

namespace {

QString shown(const QByteArray& path) {
    return QFile::decodeName(path);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.first(slash);
}

struct ByteHash {
    size_t operator()(const QByteArray& b) const { return qHash(b); }
};

// The file system would not take this one name (a file where a folder should be, a character
// it does not allow, a name too long): the other files may still go.
bool refusedName(int error) {
    return error == ENOTDIR || error == EINVAL || error == ENAMETOOLONG || error == EILSEQ;
}

// What a copy ended in, when it did not end well.
struct Outcome {
    enum Kind { Copied, Skip, Stop, Cancelled } kind = Copied;
    QString text;  // why, for Skip and Stop
};

// Copies reach the disk a few at a time (see SyncFileSystem); Cancel waits for at most so much.
constexpr size_t kBatchFiles = 256;
constexpr qint64 kBatchBytes = qint64(64) << 20;

enum class State { Pending, There, Skipped, Copied, Alias };

class Runner {
public:
    Runner(const ExportPlan& plan, const ExportOptions& options, const ExportProgress& progress,
           const std::atomic<bool>& cancel)
        : plan_(plan), options_(options), progress_(progress), cancel_(cancel) {
        root_ = options.targetFolder;
        while (root_.size() > 1 && root_.endsWith('/'))
            root_.chop(1);
        const size_t n = plan.files.size();
        state_.assign(n, State::Pending);
        target_.resize(n);
        why_.resize(n);
        stat_.resize(n);
        aliasOf_.assign(n, -1);
        taken_.insert(NameKey(plan.playlistName, plan.fatNames));
        for (const ExportFile& f : plan.files) {
            taken_.insert(NameKey(f.target, plan.fatNames));
            for (qsizetype s = f.target.indexOf('/'); s >= 0; s = f.target.indexOf('/', s + 1))
                taken_.insert(NameKey(f.target.first(s), plan.fatNames));
        }
    }

    ExportReport run();

private:
    bool cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    void report() {
        if (progress_)
            progress_(filesDone_, files_, bytesDone_, std::max(bytes_, bytesDone_));
    }
    void skipFile(size_t i, const QString& why) {
        state_[i] = State::Skipped;
        why_[i] = why;
    }
    QString full(const QByteArray& rel) const { return shown(root_ + '/' + rel); }
    bool sameTime(const struct stat& a, const struct stat& b) const {
        // FAT keeps times to two seconds; the others at least to the second.
        const auto diff = a.st_mtim.tv_sec - b.st_mtim.tv_sec;
        return plan_.fatNames ? diff >= -2 && diff <= 2 : diff == 0;
    }
    bool look(size_t i);
    bool resolve(size_t i);
    QString targetError(int error, const QByteArray& rel) const;
    int makeFolders(const QByteArray& rel) const { return makeFolders(rel, root_); }
    int makeFolders(const QByteArray& rel, const QByteArray& base) const;
    Outcome copy(size_t i);
    void settle();
    QString tooLarge() const {
        return QStringLiteral("too large for the file system of %1").arg(shown(root_));
    }
    void writePlaylist();
    void listSkipped();

    const ExportPlan& plan_;
    const ExportOptions& options_;
    const ExportProgress& progress_;
    const std::atomic<bool>& cancel_;
    QByteArray root_;
    std::vector<State> state_;
    std::vector<QByteArray> target_;
    std::vector<QString> why_;
    std::vector<struct stat> stat_;
    std::vector<int> aliasOf_;
    std::unordered_set<QByteArray, ByteHash> taken_;  // name keys of every target planned or chosen
    // Copies made but not yet on the disk and in place.
    struct Pending {
        size_t file;
        std::unique_ptr<TempFile> temp;
        qint64 bytes;
    };
    std::vector<Pending> pending_;
    qint64 pendingBytes_ = 0;
    qint64 files_ = 0, filesDone_ = 0, bytes_ = 0, bytesDone_ = 0;
    ExportReport report_;
};

// What the source is; false when it is left out.
bool Runner::look(size_t i) {
    const QByteArray& source = plan_.files[i].source;
    struct stat& st = stat_[i];
    // stat, not open: opening a FIFO could wait for a writer.
    if (::stat(source.constData(), &st) != 0) {
        const int error = errno;
        skipFile(i, error == ENOENT || error == ENOTDIR ? QStringLiteral("the file is missing")
                                                        : systemText(error));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        skipFile(i, NotAFileWhy(st.st_mode));
        return false;
    }
    return true;
}

// Finds the name the copy goes under: the planned one, or the first free one after it. A file
// there already with the source's size and time is the copy of an earlier export; anything else
// there is kept, and the copy takes the next name.
bool Runner::resolve(size_t i) {
    const QByteArray& planned = plan_.files[i].target;
    const qsizetype slash = planned.lastIndexOf('/');
    const QByteArray prefix = slash < 0 ? QByteArray() : planned.first(slash + 1);
    const QByteArray name = planned.sliced(slash + 1);
    for (qsizetype copy = 1;; ++copy) {
        const QByteArray rel = copy == 1 ? planned : prefix + NameWithCopyNumber(name, copy);
        if (copy > 1 && !taken_.insert(NameKey(rel, plan_.fatNames)).second)
            continue;
        struct stat there;
        if (::lstat((root_ + '/' + rel).constData(), &there) != 0) {
            target_[i] = rel;
            return true;
        }
        if (there.st_dev == stat_[i].st_dev && there.st_ino == stat_[i].st_ino) {
            skipFile(i, QStringLiteral("it would be copied onto itself (%1)").arg(full(rel)));
            return false;
        }
        if (S_ISREG(there.st_mode) && there.st_size == stat_[i].st_size &&
            sameTime(there, stat_[i])) {
            target_[i] = rel;
            state_[i] = State::There;
            return false;
        }
    }
}

QString Runner::targetError(int error, const QByteArray& rel) const {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("Not enough space on %1: the export stopped at %2")
                .arg(shown(root_), full(rel));
        case EROFS:
            return QStringLiteral("Cannot export to %1: the file system is read-only")
                .arg(shown(root_));
        default:
            return QStringLiteral("Cannot write %1: %2").arg(full(rel), systemText(error));
    }
}

// Makes the folders down to the one `rel` (below `base`) lies in; 0 or the error.
int Runner::makeFolders(const QByteArray& rel, const QByteArray& base) const {
    for (qsizetype s = rel.indexOf('/'); s >= 0; s = rel.indexOf('/', s + 1)) {
        const QByteArray path = base + '/' + rel.first(s);
        if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

Outcome Runner::copy(size_t i) {
    const QByteArray& source = plan_.files[i].source;
    // Non-blocking, so a FIFO put in the file's place since it was looked at does not hang us.
    Fd from(::open(source.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat before;
    if (from.get() < 0) {
        const int error = errno;
        return {Outcome::Skip, error == ENOENT || error == ENOTDIR
                                   ? QStringLiteral("the file is missing")
                                   : systemText(error)};
    }
    if (::fstat(from.get(), &before) != 0)
        return {Outcome::Skip, systemText(errno)};
    if (!S_ISREG(before.st_mode))
        return {Outcome::Skip, NotAFileWhy(before.st_mode)};
    ::fcntl(from.get(), F_SETFL, 0);
    stat_[i] = before;

    if (const int error = makeFolders(target_[i]))
        return {error == EEXIST || refusedName(error) ? Outcome::Skip : Outcome::Stop,
                QStringLiteral("Cannot create folder %1: %2")
                    .arg(full(target_[i].first(target_[i].lastIndexOf('/'))), systemText(error))};
    auto temp = std::make_unique<TempFile>();
    auto copied = [this](qint64 n) {
        bytesDone_ += n;
        report();
    };
    const CopyResult result =
        CopyToTemp(from.get(), before, folderOf(root_ + '/' + target_[i]), *temp, copied, cancel_);
    switch (result.kind) {
        case CopyResult::Done:
            break;
        case CopyResult::Unreadable:
            return {Outcome::Skip,
                    QStringLiteral("cannot be read: %1").arg(systemText(result.error))};
        case CopyResult::Unwritable:
            return {refusedName(result.error) ? Outcome::Skip : Outcome::Stop,
                    targetError(result.error, target_[i])};
        case CopyResult::TooLarge:
            return {Outcome::Skip, tooLarge()};
        case CopyResult::Changed:
            return {Outcome::Skip, QStringLiteral("the file changed while it was copied")};
        case CopyResult::Cancelled:
            return {Outcome::Cancelled, {}};
    }
    pendingBytes_ += result.bytes;
    pending_.push_back(Pending{i, std::move(temp), result.bytes});
    if (pending_.size() >= kBatchFiles || pendingBytes_ >= kBatchBytes)
        settle();
    return {};
}

// Puts the finished copies in their places once they are on the disk, so that after a crash or
// a stick pulled out a name never stands for less than the whole file. A failure here stops the
// export as well, but the copies finished before it still get their places.
void Runner::settle() {
    if (pending_.empty())
        return;
    QString stop;
    if (const int error = SyncFileSystem(root_)) {
        // Which of the copies did not reach the disk is not known: none of them is kept.
        stop = targetError(error, target_[pending_.front().file]);
        for (const Pending& p : pending_)
            skipFile(p.file, QStringLiteral("not written: %1").arg(systemText(error)));
    }
    for (Pending& p : pending_) {
        const size_t i = p.file;
        while (stop.isEmpty()) {
            const int error = RenameNoReplace(p.temp->path, root_ + '/' + target_[i]);
            if (error == 0) {
                p.temp->kept = true;
                state_[i] = State::Copied;
                report_.bytesCopied += p.bytes;
                break;
            }
            if (refusedName(error)) {
                skipFile(i, targetError(error, target_[i]));
                break;
            }
            if (error != EEXIST)
                stop = targetError(error, target_[i]);
            // Something took the name since it was chosen: the copy takes the next one.
            else if (!resolve(i))
                break;
        }
    }
    pending_.clear();
    pendingBytes_ = 0;
    if (report_.error.isEmpty())
        report_.error = stop;
}

void Runner::writePlaylist() {
    EntryList out;
    for (qsizetype l = 0; l < plan_.leadLines; ++l)
        out.append(plan_.lines.at(l));
    for (const ExportItem& item : plan_.items) {
        if (item.action == ExportItem::Action::Skip)
            continue;
        size_t file = 0;
        if (item.action == ExportItem::Action::Copy) {
            file = static_cast<size_t>(item.file);
            if (aliasOf_[file] >= 0)
                file = static_cast<size_t>(aliasOf_[file]);
            if (state_[file] != State::Copied && state_[file] != State::There)
                continue;
        }
        const qsizetype end = item.firstLine + item.lineCount;
        const bool copy = item.action == ExportItem::Action::Copy;
        for (qsizetype l = item.firstLine; l < end - (copy ? 1 : 0); ++l)
            out.append(plan_.lines.at(l));
        if (copy)
            out.append(ExportEntryText(target_[file], options_.encoding));
    }
    const QByteArray path = root_ + '/' + plan_.playlistName;
    try {
        WritePlaylist(path, out, options_.encoding, options_.lineEnd);
        report_.playlistPath = path;
    } catch (const Error& e) {
        report_.error = e.text();
    }
}

// The reasons, in the order of the items they concern.
void Runner::listSkipped() {
    std::vector<char> listed(plan_.files.size(), 0);
    for (const ExportItem& item : plan_.items) {
        if (item.action == ExportItem::Action::Skip) {
            report_.skippedWhy.append(item.why);
        } else if (item.action == ExportItem::Action::Copy) {
            const size_t f = static_cast<size_t>(item.file);
            if (state_[f] != State::Skipped || listed[f])
                continue;
            listed[f] = 1;
            report_.skippedWhy.append(shown(plan_.files[f].source) + QStringLiteral(": ") +
                                      why_[f]);
        }
    }
    report_.skipped = report_.skippedWhy.size();
}

ExportReport Runner::run() {
    const FreeSpace space = options_.freeSpace ? options_.freeSpace(root_) : FreeSpaceOf(root_);
    if (space.readOnly) {
        report_.error = targetError(EROFS, {});
        return report_;
    }
    // First what is there to copy and what is there already, so that the space it needs is
    // known before anything is copied.
    std::map<std::pair<dev_t, ino_t>, size_t> seen;
    qint64 needed = 0;
    const qint64 block = std::max<qint64>(space.blockSize, 1);
    for (size_t i = 0; i < plan_.files.size(); ++i) {
        if (cancelled()) {
            report_.cancelled = true;
            return report_;
        }
        if (!look(i))
            continue;
        // One file under two names (a link) is copied once.
        const auto [at, added] = seen.try_emplace({stat_[i].st_dev, stat_[i].st_ino}, i);
        if (!added) {
            aliasOf_[i] = static_cast<int>(at->second);
            state_[i] = State::Alias;
            continue;
        }
        if (!resolve(i))
            continue;
        ++files_;
        bytes_ += stat_[i].st_size;
        needed += (stat_[i].st_size + block - 1) / block * block;
    }
    needed += (plan_.lines.liveBytes() * 2 + plan_.lines.size() * 4 + block - 1) / block * block;
    if (space.bytes >= 0 && needed > space.bytes) {
        QString neededText, freeText;
        FormatSizes(needed, space.bytes, neededText, freeText);
        report_.error = QStringLiteral("Not enough space on %1: %2 needed, %3 free")
                            .arg(shown(root_), neededText, freeText);
        listSkipped();
        return report_;
    }
    if (const int error = makeFolders(root_.sliced(1) + '/', QByteArray())) {
        report_.error = error == EROFS ? targetError(error, {})
                                       : QStringLiteral("Cannot create folder %1: %2")
                                             .arg(shown(root_), systemText(error));
        listSkipped();
        return report_;
    }
    report();
    for (size_t i = 0; i < plan_.files.size() && report_.error.isEmpty(); ++i) {
        if (state_[i] != State::Pending)
            continue;
        const Outcome outcome = copy(i);
        switch (outcome.kind) {
            case Outcome::Copied:
                break;
            case Outcome::Skip:
                skipFile(i, outcome.text);
                break;
            case Outcome::Stop:
                report_.error = outcome.text;
                break;
            case Outcome::Cancelled:
                report_.cancelled = true;
                break;
        }
        if (report_.cancelled)
            break;
        ++filesDone_;
        report();
    }
    settle();
    // An alias shares the fate of the file it names.
    for (size_t i = 0; i < plan_.files.size(); ++i) {
        if (state_[i] == State::Copied)
            ++report_.copied;
        if (aliasOf_[i] >= 0 && state_[static_cast<size_t>(aliasOf_[i])] == State::Skipped)
            skipFile(i, why_[static_cast<size_t>(aliasOf_[i])]);
    }
    report_.alreadyThere = 0;
    for (const State s : state_)
        report_.alreadyThere += s == State::There;
    // The playlist comes last, so that it never names a file that is not there; an export that
    // was cancelled or stopped writes none.
    if (!report_.cancelled && report_.error.isEmpty())
        writePlaylist();
    listSkipped();
    return report_;
}

}  // namespace

ExportReport RunExport(const ExportPlan& plan, const ExportOptions& options,
                       const ExportProgress& progress, const std::atomic<bool>& cancel) {
    return Runner(plan, options, progress, cancel).run();
}

}  // namespace cadrell
