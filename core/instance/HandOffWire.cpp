#include "core/instance/HandOffWire.h"

#include <QString>
#include <QtEndian>

namespace cadrell {

std::chrono::milliseconds HandOffTimeout() {
    bool ok = false;
    const qlonglong ms = qEnvironmentVariable("CADRELL_HANDOFF_TIMEOUT_MS").toLongLong(&ok);
    return std::chrono::milliseconds(ok && ms > 0 ? ms : 30000);
}

QByteArray EncodeHandOff(const QByteArray& name) {
    Q_ASSERT(name.size() <= kMaxHandOffName);
    QByteArray message(kHandOffRequestMagic, 4);
    message.resize(kHandOffHeaderSize);
    qToBigEndian(quint32(name.size()), message.data() + 4);
    return message + name;
}

}  // namespace cadrell
