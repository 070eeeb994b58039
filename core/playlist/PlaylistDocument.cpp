#include "core/playlist/PlaylistDocument.h"

#include <QMetaMethod>
#include <algorithm>

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
    emit entriesReplaced();
    if (history_.count() > 0) {
        history_.clear();
        history_.setClean();
        emit historyChanged();
    }
    return entries_;
}

Change PlaylistDocument::applied(Change change) {
    beginUpdate();
    struct End {
        PlaylistDocument& doc;
        ~End() { doc.endUpdate(); }
    } end{*this};
    if (!announced_) {
        announced_ = true;
        emit aboutToChange();
    }
    const std::optional<TextEncoding> encoding = change.encoding();
    const std::optional<LineEnd> lineEnd = change.lineEnd();
    static const QMetaMethod told = QMetaMethod::fromSignal(&PlaylistDocument::changeApplied);
    std::shared_ptr<Change> forward;
    if (isSignalConnected(told)) {
        forward = std::make_shared<Change>(change);
        // Its listeners want what the change is; what was worked out ahead stays with the one
        // applied, which may take it over only while no copy shares it.
        forward->forgetPrepared();
    }
    Change inverse = std::move(change).apply(entries_);
    // Text that only the history still needs is the history's to keep or let go.
    entries_.dropUnusedBuffers();
    if (encoding) {
        inverse.setEncoding(Encoding);
        Encoding = *encoding;
    }
    if (lineEnd) {
        inverse.setLineEnd(LineEnds);
        LineEnds = *lineEnd;
    }
    if (forward)
        emit changeApplied(std::move(forward));
    return inverse;
}

void PlaylistDocument::historyMoved() {
    modified_ = !history_.isClean();
    emit historyChanged();
}

bool PlaylistDocument::perform(Change change, const QString& name) {
    change.dropUnchanged(entries_);
    if (change.encoding() == Encoding)
        change.setEncoding(std::nullopt);
    if (change.lineEnd() == LineEnds)
        change.setLineEnd(std::nullopt);
    if (change.isEmpty())
        return false;
    Change undo = applied(std::move(change));
    history_.forgetPrepared();
    history_.push(name, std::move(undo));
    historyMoved();
    return true;
}

ChangedRows PlaylistDocument::step(Change& change) {
    ChangedRows rows;
    rows.rows = change.shownRows();
    const bool removal = change.kind() == Change::Kind::Remove;
    const int first = change.positions().empty() ? -1 : change.positions().front();
    Change taken = std::move(change);
    history_.forgetPrepared();
    change = applied(std::move(taken));
    if (!rows.rows.empty())
        rows.focus = rows.rows.front();
    else if (removal && first >= 0 && !entries_.empty())
        rows.focus = static_cast<int>(std::min<qsizetype>(first, entries_.size() - 1));
    return rows;
}

ChangedRows PlaylistDocument::undo() {
    if (!history_.canUndo())
        return {};
    ChangedRows rows = step(history_.undoChange());
    history_.undone();
    historyMoved();
    return rows;
}

ChangedRows PlaylistDocument::redo() {
    if (!history_.canRedo())
        return {};
    ChangedRows rows = step(history_.redoChange());
    history_.redone();
    historyMoved();
    return rows;
}

void PlaylistDocument::markClean() {
    history_.setClean();
    historyMoved();
}

}  // namespace cadrell
