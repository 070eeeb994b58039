#include "core/playlist/UndoStack.h"

#include <unistd.h>

#include <algorithm>
#include <unordered_set>

namespace cadrell {

QString UndoStack::undoText() const {
    return canUndo() ? steps_[static_cast<size_t>(index_ - 1)].name : QString();
}

QString UndoStack::redoText() const {
    return canRedo() ? steps_[static_cast<size_t>(index_)].name : QString();
}

void UndoStack::clear() {
    steps_.clear();
    index_ = 0;
    clean_ = 0;
}

qsizetype UndoStack::defaultMemoryBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const qsizetype floor = qsizetype{64} << 20;
    if (pages <= 0 || pageSize <= 0)
        return floor;
    return std::max(floor, static_cast<qsizetype>(pages) * pageSize / 4);
}

void UndoStack::setMemoryBudget(qsizetype bytes) {
    budget_ = bytes;
    trim();
}

qsizetype UndoStack::memoryBytes() const {
    std::unordered_set<const char*> documents;
    entries_.forEachBuffer([&](const char* data, qsizetype) { documents.insert(data); });
    std::unordered_set<const char*> counted;
    qsizetype total = 0;
    for (const Step& s : steps_) {
        total += s.change.recordBytes() + s.name.capacity() * 2;
        s.change.forEachBuffer([&](const char* data, qsizetype capacity) {
            if (!documents.count(data) && counted.insert(data).second)
                total += capacity;
        });
    }
    return total;
}

void UndoStack::push(const QString& name, Change undo) {
    steps_.erase(steps_.begin() + index_, steps_.end());
    if (clean_ > index_)
        clean_ = -1;
    steps_.push_back(Step{name, std::move(undo)});
    ++index_;
    trim();
}

void UndoStack::trim() {
    // The oldest steps go first; the newest step done stays, however large.
    while (index_ > 1 && memoryBytes() > budget_) {
        steps_.pop_front();
        --index_;
        clean_ = clean_ > 0 ? clean_ - 1 : -1;
    }
}

void UndoStack::forgetPrepared() {
    for (Step& step : steps_)
        step.change.forgetPrepared();
}

}  // namespace cadrell
