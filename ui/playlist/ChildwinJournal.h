#pragma once

namespace cadrell {

class TMDIChild;

// Gives the window's document a recovery journal in the user's recovery folder.
void AttachJournal(TMDIChild& child);
// The window closes with its changes saved or given up: its journal goes.
void DiscardJournal(TMDIChild& child);

}  // namespace cadrell
