// The test pump: dispatch fires the virtual clock's due timers, sleep moves it on.
#include "platform/pump.h"

#include "platform/timer_host.h"

namespace q47 {

void VirtualPump::processEvents() { clock_.fireDue(); }

// A sleeping thread dispatches nothing: time passes and timers only fall due; they
// fire at the next processEvents.
void VirtualPump::sleepMs(int ms) {
    if (ms <= 0) return;
    clock_.elapse(ms);
    slept_ += ms;
}

}  // namespace q47
