#include "core/recovery/Recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistFile.h"

namespace cadrell {

namespace {

struct Claim {
    int fd;
    ~Claim() { ::close(fd); }
};

// The journal's bytes, with this process's lock on it; nothing when its writer is alive.
std::optional<QByteArray> claimAndRead(const QString& path, std::shared_ptr<void>& claim) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    std::shared_ptr<Claim> held(new Claim{fd});
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    claim = std::move(held);
    return bytes;
}

// Whether the file is the very one the journal started from.
bool fileMatches(const JournalStart& start) {
    if (!start.fileKnown || start.fileHash.isEmpty())
        return false;
    try {
        FileStamp stamp;
        const QByteArray bytes = ReadWholeFile(start.fileName, &stamp);
        return bytes.size() == start.fileSize &&
               QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) == start.fileHash;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

QString RecoveryFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/cadrell/recovery");
}

QString FoundJournal::displayName() const {
    if (start.untitled)
        return QStringLiteral("(untitled)");
    return QString::fromLocal8Bit(start.fileName);
}

std::vector<FoundJournal> FindOrphanedJournals(const QString& folder) {
    std::vector<FoundJournal> found;
    const QDir dir(folder);
    // A snapshot cut short by a crash: the journal it was to replace is still whole.
    for (const QString& name : dir.entryList({QStringLiteral("*.journal.new")}, QDir::Files)) {
        std::shared_ptr<void> claim;
        if (claimAndRead(dir.filePath(name), claim))
            QFile::remove(dir.filePath(name));
    }
    const QStringList names =
        dir.entryList({QStringLiteral("*.journal")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        FoundJournal j;
        j.path = dir.filePath(name);
        const std::optional<QByteArray> bytes = claimAndRead(j.path, j.claim);
        if (!bytes)
            continue;
        JournalContents contents = ParseJournal(*bytes);
        j.state = contents.state;
        switch (contents.state) {
            case JournalContents::State::NewerVersion:
                j.why =
                    QStringLiteral(
                        "It was written by a newer version of Cadrell (journal format %1) and is "
                        "kept for it.")
                        .arg(contents.version);
                found.push_back(std::move(j));
                continue;
            case JournalContents::State::NotAJournal:
            case JournalContents::State::NoStart:
                j.why = QStringLiteral("It is damaged: not even its start can be read.");
                found.push_back(std::move(j));
                continue;
            case JournalContents::State::Ok:
                break;
        }
        j.start = contents.start;
        j.steps = contents.stepCount();
        j.lastChangeMs = contents.lastChangeMs();
        const bool copy = contents.copy.has_value();
        if (j.start.untitled) {
            j.way = copy ? FoundJournal::Way::AsUntitled : FoundJournal::Way::Impossible;
            if (!copy)
                j.why = QStringLiteral("Its copy of the playlist is damaged.");
        } else if (fileMatches(j.start) && (copy || !j.start.snapshot)) {
            j.way = FoundJournal::Way::AsFile;
        } else if (copy) {
            j.way = FoundJournal::Way::AsUntitled;
            j.why = QStringLiteral(
                "The file has changed since; the changes are recovered into an untitled "
                "playlist from the journal's own copy.");
        } else {
            j.way = FoundJournal::Way::Impossible;
            j.why = j.start.fileSize > kJournalCopyLimit
                        ? QStringLiteral(
                              "It cannot be recovered: the file has changed since, and at more "
                              "than 64 MB it was too large to copy into the journal. The "
                              "journal is kept.")
                        : QStringLiteral(
                              "It cannot be recovered: the file has changed since and the "
                              "journal's copy of it is damaged. The journal is kept.");
        }
        found.push_back(std::move(j));
    }
    return found;
}

RecoveredPlaylist RecoverJournal(const FoundJournal& journal) {
    RecoveredPlaylist out;
    if (journal.way == FoundJournal::Way::Impossible) {
        out.error = journal.why;
        return out;
    }
    QFile file(journal.path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("Cannot open the journal %1").arg(journal.path);
        return out;
    }
    JournalContents contents = ParseJournal(file.readAll());
    if (contents.state != JournalContents::State::Ok) {
        out.error = QStringLiteral("The journal %1 can no longer be read").arg(journal.path);
        return out;
    }
    EntryList base;
    TextEncoding encoding = contents.start.encoding;
    LineEnd lineEnd = contents.start.lineEnd;
    if (journal.way == FoundJournal::Way::AsFile) {
        try {
            PlaylistText text = ReadPlaylist(contents.start.fileName);
            out.untitled = false;
            out.fileName = contents.start.fileName;
            out.diskEntries = text.entries;
            out.diskEncoding = text.encoding;
            out.diskLineEnd = text.lineEnd;
            out.diskStamp = text.stamp;
            base = contents.copy ? *contents.copy : std::move(text.entries);
        } catch (const Error& e) {
            out.error = e.text();
            return out;
        }
    } else if (contents.copy) {
        base = std::move(*contents.copy);
    } else {
        out.error = journal.why;
        return out;
    }
    ReplayResult r = Replay(std::move(base), encoding, lineEnd, std::move(contents.steps));
    out.entries = std::move(r.entries);
    out.encoding = r.encoding;
    out.lineEnd = r.lineEnd;
    out.steps = r.applied;
    out.stoppedEarly = r.stoppedEarly;
    return out;
}

}  // namespace cadrell
