// Stand-in for "process pending window messages" in the loops that wait for the board.
#pragma once

#include <cstdint>

namespace q47 {

class VirtualClock;

class Pump {
public:
    virtual ~Pump() = default;
    // Dispatches whatever is pending (window events, due timers).
    virtual void processEvents() = 0;
    // Waits ms milliseconds without dispatching.
    virtual void sleepMs(int ms) = 0;
};

// Test pump: dispatching fires due timers of the virtual clock and sleeping moves it on.
class VirtualPump : public Pump {
public:
    explicit VirtualPump(VirtualClock& clock) : clock_(clock) {}
    void processEvents() override;
    void sleepMs(int ms) override;
    int64_t sleptMs() const { return slept_; }

private:
    VirtualClock& clock_;
    int64_t slept_ = 0;
};

}  // namespace q47
