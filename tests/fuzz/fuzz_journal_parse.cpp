// Any bytes given to the journal reader, as a whole journal and as one change record: no crash,
// and whatever it accepts replays onto its entries only as far as each change fits them.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "core/playlist/EntryList.h"
#include "core/recovery/ChangeRecord.h"
#include "core/recovery/JournalFormat.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    cadrell::JournalContents journal = cadrell::ParseJournal(bytes);
    check(journal.ignoredBytes >= 0 && journal.ignoredBytes <= bytes.size());
    if (journal.state == cadrell::JournalContents::State::Ok) {
        const qsizetype steps = qsizetype(journal.steps.size());
        cadrell::ReplayResult r = cadrell::Replay(
            journal.copy ? *journal.copy : cadrell::EntryList(), journal.start.encoding,
            journal.start.lineEnd, std::move(journal.steps));
        check(r.applied <= steps);
        check(r.stoppedEarly == (r.applied < steps));
    }
    // The same bytes as one change, on a small list: accepted or refused, never half applied.
    if (std::optional<cadrell::Change> change = cadrell::ChangeRecord::deserialize(bytes)) {
        QByteArray again;
        cadrell::ChangeRecord::serialize(*change, again);
        check(cadrell::ChangeRecord::deserialize(again).has_value());
        cadrell::EntryList entries;
        for (const char* e : {"a", "bb", "ccc", "dddd", "eeeee"})
            entries.append(e);
        const std::vector<QByteArray> before = entries.toVector();
        try {
            cadrell::Change inverse = std::move(*change).apply(entries);
            std::move(inverse).apply(entries);
            check(entries.toVector() == before);
        } catch (const std::exception&) {
            check(entries.toVector() == before);
        }
    }
    return 0;
}
