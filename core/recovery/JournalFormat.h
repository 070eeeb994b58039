#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/playlist/Change.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

// A recovery journal file: an 8-byte mark and a 4-byte format version, then records. Each record
// is its payload's length (4 bytes), a type byte, the payload and a CRC-32 of type and payload,
// so a record cut short by a crash or damaged on disk is seen as such and nothing after it is
// trusted. The first record says what the document started from; a copy of those entries may
// follow; then one record per change as it was applied (an Undo is the change it applied).
inline constexpr char kJournalMark[] = "CDRLJRNL";
inline constexpr uint32_t kJournalVersion = 1;
inline constexpr qsizetype kJournalPreamble = 12;
// Up to this size a playlist's file is copied into its journal, so its changes can be recovered
// even when the file itself has changed since.
inline constexpr qint64 kJournalCopyLimit = 64LL << 20;

enum class RecordType : uint8_t { Start = 1, Entries = 2, Change = 3 };

// What a journal's changes apply to.
struct JournalStart {
    uint32_t pid = 0;
    int64_t createdMs = 0;
    bool untitled = true;
    QByteArray fileName;
    // The file as it was loaded or last saved; known only for a file that was there.
    bool fileKnown = false;
    int64_t fileSize = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    // SHA-256 of the file's bytes; empty when they could not be read as they were loaded.
    QByteArray fileHash;
    TextEncoding encoding = TextEncoding::Utf8;
    LineEnd lineEnd = LineEnd::CrLf;
    // The entries below follow; a snapshot's entries are the document's later state, not the
    // file's.
    bool hasCopy = false;
    bool snapshot = false;
    // Steps already folded into a snapshot, and when the last of them was made.
    int64_t stepsBefore = 0;
    int64_t lastChangeMs = 0;
};

QByteArray JournalPreamble(uint32_t version = kJournalVersion);
// One framed record.
void AppendRecord(QByteArray& out, RecordType type, QByteArrayView payload);
QByteArray StartPayload(const JournalStart& start);
QByteArray EntriesPayload(const EntryList& entries);
// A change with the time it was made (milliseconds since the epoch).
QByteArray ChangePayload(const Change& change, int64_t timeMs);

// A journal as read back: every whole, valid record up to the first that is not.
struct JournalContents {
    enum class State { Ok, NotAJournal, NewerVersion, NoStart };
    State state = State::NotAJournal;
    uint32_t version = 0;
    JournalStart start;
    std::optional<EntryList> copy;
    struct Step {
        Change change;
        int64_t timeMs = 0;
    };
    std::vector<Step> steps;
    // Bytes after the last good record (a cut or damaged tail), left unread.
    qsizetype ignoredBytes = 0;
    int64_t lastChangeMs() const {
        return steps.empty() ? start.lastChangeMs : steps.back().timeMs;
    }
    int64_t stepCount() const { return start.stepsBefore + int64_t(steps.size()); }
};
JournalContents ParseJournal(QByteArrayView bytes);

// The entries, encoding and line ends a journal's changes lead to from `base`. Stops at the
// first change that does not fit (that change and all after it are left out).
struct ReplayResult {
    EntryList entries;
    TextEncoding encoding = TextEncoding::Utf8;
    LineEnd lineEnd = LineEnd::CrLf;
    qsizetype applied = 0;
    bool stoppedEarly = false;
};
ReplayResult Replay(EntryList base, TextEncoding encoding, LineEnd lineEnd,
                    std::vector<JournalContents::Step> steps);

}  // namespace cadrell
