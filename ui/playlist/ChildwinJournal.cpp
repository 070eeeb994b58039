#include "ui/playlist/ChildwinJournal.h"

#include "core/platform/PathParts.h"
#include "core/recovery/DocumentJournal.h"
#include "core/recovery/Recovery.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/Childwin.h"

namespace cadrell {

void AttachJournal(TMDIChild& child) {
    auto* journal = new DocumentJournal(child.Document, RecoveryFolder(), &child);
    QObject::connect(journal, &DocumentJournal::failed, &child, [&child](const QString& why) {
        // Said once a session: the same folder fails the same way for every playlist.
        static bool told = false;
        const QString name = child.Document.untitled()
                                 ? QStringLiteral("(untitled)")
                                 : QString::fromLocal8Bit(DisplayPath(child.Document.FileName));
        child.setStatusMessage(QStringLiteral("Changes to %1 are not kept for recovery").arg(name));
        if (told)
            return;
        told = true;
        Prompts::current().showError(
            &child, QStringLiteral("Changes to %1 are not kept for recovery after a crash: %2.\n"
                                   "Editing goes on; save to keep your changes")
                        .arg(name, why));
    });
}

void DiscardJournal(TMDIChild& child) {
    if (auto* journal = child.findChild<DocumentJournal*>(QString(), Qt::FindDirectChildrenOnly))
        journal->discard();
}

}  // namespace cadrell
