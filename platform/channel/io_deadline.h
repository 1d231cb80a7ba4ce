// A time limit for one blocking read() or write() on a device node.
//
// The kernel module's node cannot be polled: a read blocks inside its bulk transfer
// until the board answers. A per-thread timer signal interrupts the call (EINTR) once
// the time is up, and keeps repeating every few milliseconds so that a signal that
// lands just before the call entered the kernel cannot leave it blocked.
#pragma once

#include <signal.h>
#include <time.h>

#include <cstdint>

namespace q47::channel {

class IoDeadline {
public:
    explicit IoDeadline(int timeoutMs);
    ~IoDeadline();
    IoDeadline(const IoDeadline&) = delete;
    IoDeadline& operator=(const IoDeadline&) = delete;
    // True once the time is up: an EINTR after this is the time-out.
    bool expired() const;
    // False when no timer could be set (the call then blocks as the node does).
    bool armed() const { return armed_; }

private:
    int64_t deadlineNs_ = 0;
    bool armed_ = false;
    timer_t timer_{};
    sigset_t oldMask_{};
};

}  // namespace q47::channel
