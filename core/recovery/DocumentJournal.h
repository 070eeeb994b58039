#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

#include "core/playlist/PlaylistDocument.h"
#include "core/recovery/JournalWriter.h"

namespace cadrell {

// Keeps a recovery journal of one document while it has unsaved changes: begun by the first
// change away from the state last loaded or saved (which it starts from), ended (its file
// deleted) when the document is back at that state, saved, reloaded or closed.
//
// A failure to write turns recovery off for this document only; `failed` says why, once.
class DocumentJournal : public QObject {
    Q_OBJECT
public:
    explicit DocumentJournal(PlaylistDocument& doc, QString folder, QObject* parent = nullptr);
    // The document is closed: its changes were saved or given up.
    ~DocumentJournal() override;

    // Ends the journal and deletes its file.
    void discard();
    bool recording() const { return id_ != 0; }
    bool off() const { return off_; }
    // The journal's file once the writer has made it.
    QString path() const;

signals:
    void failed(const QString& message);

private:
    void captureBase();
    void record(std::shared_ptr<const Change> forward);
    void historyMoved();
    void snapshotWanted();
    JournalWriter::Events events();

    PlaylistDocument& doc_;
    QString folder_;
    JournalWriter::Id id_ = 0;
    // What the next journal starts from, taken before the first change away from it.
    std::optional<JournalWriter::Begin> base_;
    JournalStart start_;
    int64_t steps_ = 0;
    int64_t lastChangeMs_ = 0;
    bool off_ = false;
    // Lets the writer's thread reach this object only while it lives.
    std::shared_ptr<QPointer<DocumentJournal>> alive_;
};

}  // namespace cadrell
