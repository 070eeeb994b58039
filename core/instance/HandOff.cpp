#include "core/instance/HandOff.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <cstdio>

#include "core/instance/HandOffWire.h"
#include "core/instance/InstanceClient.h"
#include "core/instance/InstanceInternal.h"
#include "core/instance/InstanceLock.h"
#include "core/instance/InstanceNames.h"
#include "core/instance/InstanceServer.h"

namespace cadrell {

using internal::g_current;

HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument,
                                       std::chrono::milliseconds connectLimit) {
    delete g_current.data();

    auto startOnOwn = [](InstanceLock lock, const QString& socketPath) {
        auto* server = new InstanceServer(QCoreApplication::instance());
        g_current = server;
        if (lock.isHeld())
            server->listen(std::move(lock), socketPath);
        return HandOffResult::FirstInstance;
    };

    const QString folder = RuntimeFolder();
    if (folder.isEmpty()) {
        qWarning("Cadrell: no private runtime folder; single-instance is off for this start");
        return startOnOwn({}, {});
    }
    const QString lockPath = folder + QLatin1Char('/') + InstanceLockName();
    const QString socketPath = folder + QLatin1Char('/') + InstanceSocketName();

    // An instance that shuts down or dies while we talk to it ends the connection without an
    // answer; trying again then finds its lock free, or its successor. A few rounds suffice.
    int lostRounds = 0;
    QDeadlineTimer deadline(connectLimit);
    for (;;) {
        InstanceLock lock;
        switch (lock.tryAcquire(lockPath)) {
            case InstanceLock::Result::Acquired:
                return startOnOwn(std::move(lock), socketPath);
            case InstanceLock::Result::Failed:
                qWarning("Cadrell: single-instance is off for this start");
                return startOnOwn({}, {});
            case InstanceLock::Result::HeldElsewhere:
                break;
        }
        if (firstArgument.size() > kMaxHandOffName) {
            std::fprintf(stderr,
                         "cadrell: the playlist name is %lld bytes long; the running Cadrell "
                         "accepts names of at most %lld bytes. Nothing was opened.\n",
                         static_cast<long long>(firstArgument.size()),
                         static_cast<long long>(kMaxHandOffName));
            return HandOffResult::NameTooLong;
        }
        qint64 peer = 0;
        switch (SendHandOff(socketPath, firstArgument, HandOffTimeout(), &peer)) {
            case SendOutcome::Answered:
                return HandOffResult::HandedOver;
            case SendOutcome::Silent:
                // Coming up as a second instance would give the user two programs fighting
                // over the same settings; better to say what is wrong and let them decide.
                std::fprintf(stderr,
                             "cadrell: the running Cadrell (process %lld) is not responding; "
                             "nothing was opened. End that process or try again.\n",
                             static_cast<long long>(peer));
                return HandOffResult::NotResponding;
            case SendOutcome::Lost:
                if (++lostRounds > 5) {
                    qWarning(
                        "Cadrell: the running instance keeps ending the hand-off; starting on "
                        "its own");
                    return startOnOwn({}, {});
                }
                deadline.setRemainingTime(connectLimit);
                QThread::msleep(50);
                break;
            case SendOutcome::Unreachable:
                if (deadline.hasExpired()) {
                    qWarning(
                        "Cadrell: another instance holds %s but does not answer; starting on "
                        "its own",
                        qPrintable(lockPath));
                    return startOnOwn({}, {});
                }
                QThread::msleep(50);
                break;
        }
    }
}

HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument, bool hasArgument) {
    return HandOffToRunningInstance(hasArgument ? firstArgument : QByteArray());
}

}  // namespace cadrell
