#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

#include "core/instance/HandOffWire.h"

namespace cadrell {

// One attempt to hand a name to the instance listening at socketPath. Answered: the instance
// has handled it. Unreachable: nothing accepted the connection. Lost: connected, but the
// connection ended before the answer (the instance died or shut down meanwhile). Silent: the
// instance said nothing for `silence` (it is hung); a busy instance keeps the wait going.
// A peer that is another user is treated as unreachable. peer, when given, receives the
// running instance's process id.
enum class SendOutcome { Answered, Unreachable, Lost, Silent };
SendOutcome SendHandOff(const QString& socketPath, const QByteArray& name,
                        std::chrono::milliseconds silence = HandOffTimeout(),
                        qint64* peer = nullptr);

}  // namespace cadrell
