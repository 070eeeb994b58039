#pragma once

#include <QByteArray>
#include <QObject>

#include "playlist/EntryList.h"

namespace cadrell {

inline constexpr char kUntitled[] = "(untitled)";

// One playlist: its entries, its file name and whether it has unsaved changes. Changes of the
// entries are announced once per batch: aboutToChange before the first change, changed after the
// last, so a view can rebuild itself exactly once.
class PlaylistDocument : public QObject {
    Q_OBJECT
public:
    explicit PlaylistDocument(QObject* parent = nullptr);

    const EntryList& Entries() const { return entries_; }
    QByteArray FileName;
    bool Modified = false;
    // The last load found a file under FileName but could not read it; cleared by a good load
    // or a save.
    bool UnreadFile = false;

    bool untitled() const { return FileName == kUntitled; }

    void beginUpdate();
    void endUpdate();
    template <class F>
    void edit(F&& change);

signals:
    void aboutToChange();
    void changed();

private:
    friend class UpdateBatch;
    // Write access exists only inside a batch (UpdateBatch, edit), so every change is announced.
    EntryList& mutableEntries();

    EntryList entries_;
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
