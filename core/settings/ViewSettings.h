#pragma once

#include <QByteArray>

namespace cadrell {

class Registry;

// How document windows show a playlist, kept beside the frame's other settings. Read on its own,
// so a settings file from before these values existed, or with one of them damaged, still loads
// everything else; a value missing or of the wrong type gives the default.
struct ViewSettings {
    bool items = false;      // the item view rather than lines
    QByteArray itemColumns;  // the item view's columns: name, width, shown, in their order
};

ViewSettings LoadViewSettings(Registry& store);
ViewSettings LoadViewSettings();
// Quiet on failure, leaving the file as it was.
void SaveViewSettings(const ViewSettings& settings, Registry& store);
void SaveViewSettings(const ViewSettings& settings);

}  // namespace cadrell
