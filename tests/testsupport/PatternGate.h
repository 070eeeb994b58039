#pragma once

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/playlist/Tools.h"

namespace testsupport {

// Stands in for a pattern that takes as long as a test likes: every entry a search decodes on a
// worker waits until the gate opens. Pattern work that reaches it on the interface thread is
// counted and let through at once, so a test sees that it happened instead of hanging on it.
class PatternGate {
public:
    // A UTF-8 text form whose every decode passes the gate (also for plain text).
    static cadrell::TextForm form(const std::shared_ptr<PatternGate>& gate) {
        cadrell::TextForm form;
        form.utf8 = false;
        form.asciiCompatible = false;
        form.decode = [gate](QByteArrayView entry) {
            gate->pass();
            return QString::fromUtf8(entry);
        };
        return form;
    }

    void open() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    // Searches held at the gate now, and pattern work done on the interface thread so far.
    int waiting() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }
    int onInterfaceThread() const { return onInterfaceThread_; }

private:
    void pass() {
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            ++onInterfaceThread_;
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        // Bounded, so a test that fails never leaves a thread waiting for good.
        opened_.wait_for(lock, std::chrono::minutes(2), [this] { return open_; });
        --waiting_;
    }

    mutable std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
    int waiting_ = 0;
    std::atomic<int> onInterfaceThread_{0};
};

}  // namespace testsupport
