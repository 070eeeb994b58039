#pragma once

namespace cadrell {

class TCadrellMainForm;

// Looks for the journals of playlists a program that ended without saving left behind (on a
// worker) and offers them in the Recover Unsaved Changes dialog.
void OfferRecovery(TCadrellMainForm& frame);

}  // namespace cadrell
