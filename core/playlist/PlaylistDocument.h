#pragma once

#include <QByteArray>
#include <QObject>

#include "core/platform/FileStamp.h"
#include "core/playlist/Change.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/UndoStack.h"

namespace cadrell {

inline constexpr char kUntitled[] = "(untitled)";

// The rows an Undo or Redo changed: to select, and the one to scroll to (-1: none).
struct ChangedRows {
    std::vector<int> rows;
    int focus = -1;
};

// One playlist: its entries, its file name and whether it has unsaved changes. Changes of the
// entries are announced once per batch: aboutToChange before the first change, changed after the
// last, so a view can rebuild itself exactly once.
//
// Every command changes the entries through perform(), which keeps the way back in the history;
// Modified then says whether the history stands away from the state last loaded or saved.
class PlaylistDocument : public QObject {
    Q_OBJECT
public:
    explicit PlaylistDocument(QObject* parent = nullptr);

    const EntryList& Entries() const { return entries_; }
    QByteArray FileName;
    // Whether the history stands away from the state last loaded or saved; only the document
    // itself moves it.
    bool Modified() const { return modified_; }
    // Found when the file is read; a new playlist is UTF-8.
    TextEncoding Encoding = TextEncoding::Utf8;
    // Found when the file is read; a new playlist ends its lines with CR LF.
    LineEnd LineEnds = LineEnd::CrLf;
    // The last load found a file under FileName but could not read it; cleared by a good load
    // or a save.
    bool UnreadFile = false;
    // The file as last loaded or saved, to tell when another program has changed it since.
    std::optional<FileStamp> DiskStamp;

    bool untitled() const { return FileName == kUntitled; }

    // Applies the change as one undoable step called `name`; false (and nothing set) when it
    // changes nothing.
    bool perform(Change change, const QString& name);
    ChangedRows undo();
    ChangedRows redo();
    const UndoStack& history() const { return history_; }
    UndoStack& history() { return history_; }
    // The entries as they are now are the ones on disk (after a load or a save).
    void markClean();

    void beginUpdate();
    void endUpdate();
    template <class F>
    void edit(F&& change);

signals:
    void aboutToChange();
    void changed();
    // A step was added, undone or redone, or the clean state moved.
    void historyChanged();
    // Each change as it was applied to the entries (a step, an undo, a redo), after the entries
    // took it; sent only while someone listens, since it costs a copy of the change. The copy
    // is shared, so a listener may keep it without copying it again.
    void changeApplied(std::shared_ptr<const cadrell::Change> forward);
    // The entries were replaced outside the history (a load), so no change leads to them.
    void entriesReplaced();

private:
    friend class UpdateBatch;
    // Write access exists only inside a batch (UpdateBatch, edit), so every change is announced.
    // Such an edit is not a step: it replaces the whole playlist (a load) and ends the history.
    EntryList& mutableEntries();
    Change applied(Change change);
    // Applies a step's change and puts the way back in its place.
    ChangedRows step(Change& change);
    void historyMoved();

    EntryList entries_;
    UndoStack history_{entries_};
    bool modified_ = false;
    int batch_ = 0;
    bool announced_ = false;
};

// A batch that ends however the scope is left, so a failure in the middle still refreshes the
// view.
class UpdateBatch {
public:
    explicit UpdateBatch(PlaylistDocument& doc) : doc_(doc) { doc_.beginUpdate(); }
    ~UpdateBatch() { doc_.endUpdate(); }
    EntryList& entries() { return doc_.mutableEntries(); }
    UpdateBatch(const UpdateBatch&) = delete;
    UpdateBatch& operator=(const UpdateBatch&) = delete;

private:
    PlaylistDocument& doc_;
};

template <class F>
void PlaylistDocument::edit(F&& change) {
    UpdateBatch batch(*this);
    change(batch.entries());
}

}  // namespace cadrell
