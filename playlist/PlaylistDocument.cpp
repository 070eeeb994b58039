#include "playlist/PlaylistDocument.h"

namespace cadrell {

PlaylistDocument::PlaylistDocument(QObject* parent) : QObject(parent), FileName(kUntitled) {}

void PlaylistDocument::beginUpdate() {
    ++batch_;
}

void PlaylistDocument::endUpdate() {
    if (--batch_ == 0 && announced_) {
        announced_ = false;
        emit changed();
    }
}

EntryList& PlaylistDocument::mutableEntries() {
    if (!announced_) {
        announced_ = true;
        emit aboutToChange();
    }
    return entries_;
}

}  // namespace cadrell
