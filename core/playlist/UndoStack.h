#pragma once

#include <QString>
#include <deque>

#include "core/playlist/Change.h"

namespace cadrell {

// The undo history of one document: unlimited in steps, bounded in memory.
//
// Each step holds the one change it needs next: while it can be undone, the inverse of what the
// command did; once undone, the change that redoes it (the inverse of the undo, worked out as the
// undo is applied). So a step keeps only the removed slices and positions, the old slice starts
// or the permutation, never a copy of the list, and never two versions of itself.
//
// Memory budget: a quarter of the machine's physical memory per document (at least 64 MiB),
// counted as the steps' records plus every text buffer that only the history still holds (text
// the document holds as well costs the history nothing). Past it the oldest steps are dropped;
// the newest step is always kept, however large.
class UndoStack {
public:
    explicit UndoStack(const EntryList& entries) : entries_(entries) {}

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < static_cast<int>(steps_.size()); }
    // The names of the steps an Undo and a Redo would take (empty when there is none).
    QString undoText() const;
    QString redoText() const;
    // The steps done (what Undo can take back), and all steps kept.
    int index() const { return index_; }
    int count() const { return static_cast<int>(steps_.size()); }

    // The state last loaded or saved; -1 once no Undo or Redo can reach it.
    int cleanIndex() const { return clean_; }
    bool isClean() const { return clean_ == index_; }
    void setClean() { clean_ = index_; }
    void clear();

    qsizetype memoryBytes() const;
    qsizetype memoryBudget() const { return budget_; }
    void setMemoryBudget(qsizetype bytes);
    static qsizetype defaultMemoryBudget();

    // For the document: a new step (drops every redo step), and the change to apply for an undo
    // or redo, whose inverse then takes its place.
    void push(const QString& name, Change undo);
    // Work done ahead for a step costs a copy of the list: only the step about to be taken keeps
    // it, so the others let theirs go.
    void forgetPrepared();
    Change& undoChange() { return steps_[static_cast<size_t>(index_ - 1)].change; }
    Change& redoChange() { return steps_[static_cast<size_t>(index_)].change; }
    void undone() { --index_; }
    void redone() { ++index_; }

private:
    struct Step {
        QString name;
        Change change;
    };
    void trim();

    const EntryList& entries_;
    std::deque<Step> steps_;
    int index_ = 0;
    int clean_ = 0;
    qsizetype budget_ = defaultMemoryBudget();
};

}  // namespace cadrell
