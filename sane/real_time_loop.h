// Event loop of one board session in real time: window-timer semantics on the steady clock.
//
// The data source's core runs on timers and a pump; inside a host with a window system
// the window's message loop provides both. The SANE backend has no such loop, so this
// one stands in for it on whichever thread drives the board (the scan thread, or the
// caller's thread while probing a device). wake() may be called from any thread and
// from a signal handler: it interrupts a wait so that the driver sees a cancel at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/pump.h"
#include "platform/timer_host.h"

namespace q47::sane {

class RealTimeLoop : public TimerHost, public Pump {
public:
    RealTimeLoop();
    ~RealTimeLoop() override;
    RealTimeLoop(const RealTimeLoop&) = delete;
    RealTimeLoop& operator=(const RealTimeLoop&) = delete;

    // TimerHost
    void start(int id, int ms) override;
    void stop(int id) override;
    bool isRunning(int id) const override { return timers_.count(id) != 0; }
    // Pump: fires each due timer once; sleeping returns early when woken.
    void processEvents() override;
    void sleepMs(int ms) override;

    // Fires timers as they fall due until pred() holds (checked after every timer) or
    // limitMs pass; true when pred() held.
    bool runUntil(const std::function<bool()>& pred, int64_t limitMs);
    // Async-signal-safe: ends the current wait early (pred is checked again).
    void wake();

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        int period;
        Clock::time_point due;
    };
    void fire(int id);
    void waitUntil(Clock::time_point until);
    void drainWake();

    std::map<int, Timer> timers_;
    int wakeFds_[2] = {-1, -1};
};

}  // namespace q47::sane
