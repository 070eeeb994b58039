#pragma once

#include <QByteArray>

namespace cadrell {

// When CADRELL_EVENT_LOG names a file, the program appends one line per event there
// ("kind<TAB>text"), so tests that run the real program can see what a user would see.
bool EventLogEnabled();
void LogEvent(const QByteArray& kind, const QByteArray& text = {});
// Whether the first painting of a list's rows is logged too ("painted"): only when
// CADRELL_EVENT_LOG_PAINTS is set as well, since tests that read the log expect their own last
// line to be the last.
bool PaintEventsLogged();

}  // namespace cadrell
