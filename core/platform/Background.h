#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <thread>
#include <utility>

namespace cadrell {

// Runs `work` on a thread of its own that nothing ever waits for, so a file system that hangs
// holds up neither the interface nor the closing of a window or of the program. `done` then
// gets the result on the main thread, unless `receiver` is gone by then. The result must be
// copyable; `work` must not touch anything the main thread changes.
// Lets the calling thread yield the processor to the interface: work the user did not ask for
// (looking up missing files, listing columns) must not make the window stutter on a machine
// with few cores.
void LowerThisThreadsPriority();

template <class Work, class Done>
void RunDetached(QObject* receiver, Work work, Done done) {
    std::thread([guard = QPointer<QObject>(receiver), work = std::move(work),
                 done = std::move(done)]() mutable {
        auto result = work();
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [guard, done = std::move(done), result = std::move(result)]() mutable {
                if (guard)
                    done(std::move(result));
            },
            Qt::QueuedConnection);
    }).detach();
}

}  // namespace cadrell
