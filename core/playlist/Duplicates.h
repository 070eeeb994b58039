#pragma once

#include <vector>

#include "core/playlist/EntryList.h"

namespace cadrell {

// The rows of every item whose media entry names the same thing as an earlier one, ascending.
std::vector<int> DuplicateRows(const EntryList& entries);

}  // namespace cadrell
