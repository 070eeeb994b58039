#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/platform/FileStamp.h"
#include "core/playlist/Change.h"
#include "core/playlist/EntryList.h"
#include "core/recovery/JournalFormat.h"

namespace cadrell {

// The one thread that writes every recovery journal of this process. The interface only queues
// work here (a copy of a change shares its text, so queuing costs no copy of the entries); the
// thread serialises, appends and syncs each batch as soon as it wakes, so a change is on disk
// well within two seconds. Each journal file is held with an exclusive flock while it is
// written, which tells a later start that its process is still alive.
//
// Nothing ever waits for this thread except a clean exit, and that for a bounded time: a file
// system that hangs keeps the journal's last changes, not the program.
class JournalWriter {
public:
    using Id = uint64_t;
    // Called on the writer's thread.
    struct Events {
        std::function<void(const QString& message)> failed;
        std::function<void()> snapshotWanted;
    };
    struct Begin {
        QString folder;
        JournalStart start;
        // The entries the changes apply to, written when the start says it holds a copy.
        EntryList entries;
        // The file's stamp when it was loaded or saved, to hash only the very same bytes.
        std::optional<FileStamp> loadedStamp;
        // What the document would save as; the journal is rewritten past twice this.
        qint64 savedSize = 0;
    };

    static JournalWriter& instance();

    Id begin(Begin begin, Events events);
    void append(Id id, std::shared_ptr<const Change> change, int64_t timeMs);
    // Rewrites the journal as a fresh start holding these entries (atomically replaced).
    void snapshot(Id id, Begin begin);
    // Closes the journal and deletes its file.
    void discard(Id id);
    // Deletes another journal (one recovered from), after everything queued before it; `keep`
    // (its lock) is let go once the file is gone.
    void removeFile(const QString& path, std::shared_ptr<void> keep = {});
    // The journal's file name once it exists ("" before and after).
    QString path(Id id) const;
    // Waits up to `timeoutMs` for the queue to be written; false if it was not.
    bool waitIdle(int timeoutMs);

    struct Impl;

private:
    JournalWriter();
    Impl* d_;
};

// A journal's size limit for a document of `savedSize` bytes.
qint64 JournalSizeLimit(qint64 savedSize);

}  // namespace cadrell
