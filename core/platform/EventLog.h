#pragma once

#include <QByteArray>

namespace cadrell {

// When CADRELL_EVENT_LOG names a file, the program appends one line per event there
// ("kind<TAB>text"), so tests that run the real program can see what a user would see.
bool EventLogEnabled();
void LogEvent(const QByteArray& kind, const QByteArray& text = {});

}  // namespace cadrell
