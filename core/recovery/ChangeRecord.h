#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

#include "core/playlist/Change.h"

namespace cadrell {

// A Change as compact bytes, for the recovery journal: positions as gaps between ascending
// numbers, texts with their lengths, a permutation as its runs. What is read back is checked
// only for its own shape (ascending positions, counts that fit the bytes); whether it fits a
// list is for Change::apply to say, which refuses before it touches an entry.
class ChangeRecord {
public:
    static void serialize(const Change& change, QByteArray& out);
    // Nothing when the bytes are not a whole change.
    static std::optional<Change> deserialize(QByteArrayView bytes);
};

}  // namespace cadrell
