#pragma once

#include <QByteArray>
#include <chrono>

namespace cadrell {

// One running instance per user and version. The first start holds an exclusive flock on
// "Cadrell v.<version> mutex" and listens on the local socket "Cadrell v.<version> message",
// both in the per-user runtime folder. A later start sends its first argument there and waits
// until the running instance has handled it.

enum class HandOffResult {
    FirstInstance,  // go on starting; InstanceServer::current() holds the lock and listens
    HandedOver,     // another instance has handled the name: end with exit code 0
    NameTooLong,    // over kMaxHandOffName; a message is on stderr: end with exit code 2
    NotResponding,  // the running instance is hung; a message is on stderr: exit code 3
};

// Called once at the program entry, after the QApplication is constructed (the server needs
// its event dispatcher) and before the frame exists. The name is the first command-line
// argument as bytes, through AbsoluteName and otherwise unchanged; empty when there is none.
// connectLimit bounds how long a start that finds the lock held tries to connect before it
// comes up as an instance of its own; once connected, HandOffTimeout bounds each silence.
HandOffResult HandOffToRunningInstance(
    const QByteArray& firstArgument,
    std::chrono::milliseconds connectLimit = std::chrono::milliseconds(5000));
HandOffResult HandOffToRunningInstance(const QByteArray& firstArgument, bool hasArgument);

}  // namespace cadrell
