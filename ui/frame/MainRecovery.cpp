#include "ui/frame/MainRecovery.h"

#include <memory>

#include "core/platform/Background.h"
#include "core/platform/EventLog.h"
#include "core/playlist/Change.h"
#include "core/recovery/JournalWriter.h"
#include "core/recovery/Recovery.h"
#include "ui/dialogs/RecoverDialog.h"
#include "ui/frame/Main.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"

namespace cadrell {

namespace {

using Found = std::shared_ptr<std::vector<FoundJournal>>;

void openRecovered(TCadrellMainForm& frame, const FoundJournal& journal,
                   const RecoveredPlaylist& r) {
    if (!r.error.isEmpty()) {
        Prompts::current().showError(
            &frame,
            QStringLiteral("%1 cannot be recovered: %2").arg(journal.displayName(), r.error));
        return;
    }
    TMDIChild* child = frame.CreateDocumentWindow();
    if (r.untitled) {
        child->ImportDocument(EntryList(), QByteArray());
    } else {
        child->Document.FileName = r.fileName;
        child->LoadDocument();
    }
    // One step away from the file (or from nothing), so Undo shows what the changes were and
    // the window counts as modified until it is saved.
    Change change = Change::reset(r.entries);
    change.setEncoding(r.encoding);
    change.setLineEnd(r.lineEnd);
    child->Document.perform(std::move(change), QStringLiteral("Recover"));
    child->UpdateModifiedMark();
    if (r.stoppedEarly)
        child->setStatusMessage(
            QStringLiteral("Recovered %1 steps; the rest of the journal was damaged").arg(r.steps));
    LogEvent("recovered", journal.path.toLocal8Bit());
    // Only after the window's own journal has been queued: a crash in between leaves one of
    // them on disk, never neither.
    JournalWriter::instance().removeFile(journal.path, journal.claim);
}

void act(TCadrellMainForm& frame, const Found& found, const QString& folder) {
    RecoverDialog dialog(*found, folder, &frame);
    LogEvent("recoverdialog", QByteArray::number(qsizetype(found->size())));
    Prompts::current().exec(dialog);
    const RecoverDialog::Choice choice = dialog.choice();
    if (choice == RecoverDialog::Choice::Later)
        return;
    for (int row : dialog.chosen()) {
        const FoundJournal& journal = (*found)[size_t(row)];
        if (choice == RecoverDialog::Choice::Discard) {
            if (journal.state != JournalContents::State::NewerVersion)
                JournalWriter::instance().removeFile(journal.path, journal.claim);
            continue;
        }
        if (journal.way == FoundJournal::Way::Impossible) {
            Prompts::current().showError(&frame, QStringLiteral("%1 cannot be recovered. %2")
                                                     .arg(journal.displayName(), journal.why));
            continue;
        }
        // Read and replayed on a worker: a journal of a large playlist takes a while.
        TCadrellMainForm* f = &frame;
        RunDetached(
            &frame,
            [journal] { return std::make_shared<RecoveredPlaylist>(RecoverJournal(journal)); },
            [f, journal](const std::shared_ptr<RecoveredPlaylist>& r) {
                Guarded([&] { openRecovered(*f, journal, *r); });
            });
    }
}

}  // namespace

void OfferRecovery(TCadrellMainForm& frame) {
    const QString folder = RecoveryFolder();
    TCadrellMainForm* f = &frame;
    RunDetached(
        &frame,
        [folder] {
            return std::make_shared<std::vector<FoundJournal>>(FindOrphanedJournals(folder));
        },
        [f, folder](const Found& found) {
            if (found->empty())
                return;
            Guarded([&] { act(*f, found, folder); });
        });
}

}  // namespace cadrell
