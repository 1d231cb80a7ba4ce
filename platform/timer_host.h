// Window-timer stand-in: core objects start and stop numbered timers and get called back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace q47 {

// A periodic timer per id, as Win32 window timers are: starting an id that runs
// restarts it with the new period; a callback may start or stop any timer. Periods
// under 10 ms run at 10 ms, the shortest a window timer takes.
class TimerHost {
public:
    using Callback = std::function<void(int id)>;
    virtual ~TimerHost() = default;
    virtual void start(int id, int ms) = 0;
    virtual void stop(int id) = 0;
    virtual bool isRunning(int id) const = 0;
    // The one receiver of every timer of this host.
    void setCallback(Callback cb) { callback_ = std::move(cb); }

protected:
    void fire(int id) {
        if (callback_) callback_(id);
    }

private:
    Callback callback_;
};

// Deterministic clock for tests: time moves only when the test advances it, and due
// timers fire in time order (equal times by id, as a message queue would dispatch them).
class VirtualClock : public TimerHost {
public:
    void start(int id, int ms) override;
    void stop(int id) override;
    bool isRunning(int id) const override { return timers_.count(id) != 0; }

    int64_t now() const { return now_; }
    int periodOf(int id) const;  // -1 when not running
    // Moves time forward by ms, firing every timer that falls due on the way.
    void advance(int64_t ms);
    // Moves time to the next due timer and fires it; false when no timer runs.
    bool runNext();
    // Advances until pred() holds or limitMs pass; true when pred() held.
    bool runUntil(const std::function<bool()>& pred, int64_t limitMs);

    // What a blocked thread sees: time passes, nothing fires; due timers wait.
    void elapse(int64_t ms);
    // Fires, once each and in due order, the timers that are due now.
    void fireDue();
    // Due time and id of the timer that fires next.
    std::optional<std::pair<int64_t, int>> nextDue() const;

private:
    void fireAt(int id);
    struct Timer {
        int period;
        int64_t due;
    };
    std::map<int, Timer> timers_;
    int64_t now_ = 0;
};

}  // namespace q47
