#pragma once

#include <QString>

namespace cadrell {

// An exclusive, non-blocking flock on a file. The kernel drops it when the process dies, so a
// crashed instance never blocks the next start. The descriptor is close-on-exec: a program we
// start (a browser for the help page) must not inherit the lock and outlive us with it. A lock
// file that is not a regular file of this user's own is refused (Failed).
class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result tryAcquire(const QString& path);
    bool isHeld() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

}  // namespace cadrell
