#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/platform/FileStamp.h"
#include "core/recovery/JournalFormat.h"

namespace cadrell {

// $XDG_STATE_HOME/cadrell/recovery (an absolute XDG_STATE_HOME only), else
// ~/.local/state/cadrell/recovery.
QString RecoveryFolder();

// A journal left by a process that is gone, and this process's claim on it (the same flock its
// writer held), so no other start takes it while it is offered here.
struct FoundJournal {
    QString path;
    std::shared_ptr<void> claim;
    JournalContents::State state = JournalContents::State::NotAJournal;
    JournalStart start;
    int64_t steps = 0;
    int64_t lastChangeMs = 0;
    // How its changes can be brought back.
    enum class Way {
        AsFile,      // the file is as the journal started from it: reopened under its name
        AsUntitled,  // from the journal's own copy: a new playlist, or its file has changed
        Impossible   // kept as it is; `why` says why
    };
    Way way = Way::Impossible;
    QString why;
    // The playlist as the dialog lists it.
    QString displayName() const;
};

// Every journal in the folder whose process is gone, read and judged (a worker's job: it reads
// and hashes files). Journals of a process that is alive are left alone.
std::vector<FoundJournal> FindOrphanedJournals(const QString& folder);

// A journal's changes applied to what they started from.
struct RecoveredPlaylist {
    QString error;  // empty when recovered
    bool untitled = true;
    QByteArray fileName;
    // For a playlist reopened under its name: the file as it is on disk.
    EntryList diskEntries;
    TextEncoding diskEncoding = TextEncoding::Utf8;
    LineEnd diskLineEnd = LineEnd::CrLf;
    std::optional<FileStamp> diskStamp;
    // What was on screen.
    EntryList entries;
    TextEncoding encoding = TextEncoding::Utf8;
    LineEnd lineEnd = LineEnd::CrLf;
    qsizetype steps = 0;
    bool stoppedEarly = false;
};
RecoveredPlaylist RecoverJournal(const FoundJournal& journal);

}  // namespace cadrell
