#include "core/platform/EventLog.h"

#include <QFile>

namespace cadrell {

bool EventLogEnabled() {
    return qEnvironmentVariableIsSet("CADRELL_EVENT_LOG");
}

bool PaintEventsLogged() {
    static const bool logged =
        EventLogEnabled() && qEnvironmentVariableIsSet("CADRELL_EVENT_LOG_PAINTS");
    return logged;
}

void LogEvent(const QByteArray& kind, const QByteArray& text) {
    if (!EventLogEnabled())
        return;
    QFile log(qEnvironmentVariable("CADRELL_EVENT_LOG"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QByteArray line = kind;
    if (!text.isNull())
        line += '\t' + QByteArray(text).replace('\n', "\\n");
    log.write(line + '\n');
}

}  // namespace cadrell
