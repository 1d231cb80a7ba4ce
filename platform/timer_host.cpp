// The virtual clock: periodic timers fired in time order as tests move time on.
#include "platform/timer_host.h"

#include <algorithm>

namespace q47 {

namespace {
// Window timers never run faster than this; a shorter period gets this one.
constexpr int kMinimumPeriodMs = 10;
}  // namespace

void VirtualClock::start(int id, int ms) {
    const int period = std::max(ms, kMinimumPeriodMs);
    timers_[id] = Timer{period, now_ + period};
}

void VirtualClock::stop(int id) { timers_.erase(id); }

int VirtualClock::periodOf(int id) const {
    const auto it = timers_.find(id);
    return it == timers_.end() ? -1 : it->second.period;
}

std::optional<std::pair<int64_t, int>> VirtualClock::nextDue() const {
    std::optional<std::pair<int64_t, int>> best;
    for (const auto& [id, t] : timers_)
        if (!best || t.due < best->first) best = std::make_pair(t.due, id);  // map order: ties by id
    return best;
}

// The timer is moved to its next due time before its callback runs, so the callback
// sees it running and may stop or restart it. Periods that passed unseen collapse
// into this one call, as pending timer messages do.
void VirtualClock::fireAt(int id) {
    Timer& t = timers_.at(id);
    if (t.due <= now_) t.due += ((now_ - t.due) / t.period + 1) * t.period;
    fire(id);
}

void VirtualClock::advance(int64_t ms) {
    const int64_t target = now_ + std::max<int64_t>(ms, 0);
    while (true) {
        const auto next = nextDue();
        if (!next || next->first > target) break;
        // A callback may itself move time on; time never runs backwards.
        now_ = std::max(now_, next->first);
        fireAt(next->second);
    }
    now_ = std::max(now_, target);
}

bool VirtualClock::runNext() {
    const auto next = nextDue();
    if (!next) return false;
    now_ = std::max(now_, next->first);
    fireAt(next->second);
    return true;
}

bool VirtualClock::runUntil(const std::function<bool()>& pred, int64_t limitMs) {
    const int64_t deadline = now_ + std::max<int64_t>(limitMs, 0);
    while (!pred()) {
        const auto next = nextDue();
        if (!next || next->first > deadline) {
            now_ = std::max(now_, deadline);
            return pred();
        }
        runNext();
    }
    return true;
}

void VirtualClock::elapse(int64_t ms) { now_ += std::max<int64_t>(ms, 0); }

void VirtualClock::fireDue() {
    // Each timer due now fires once; one started or restarted by a callback here is
    // due later and waits for the next dispatch.
    std::vector<std::pair<int64_t, int>> due;
    for (const auto& [id, t] : timers_)
        if (t.due <= now_) due.emplace_back(t.due, id);
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        const auto it = timers_.find(id);
        if (it == timers_.end() || it->second.due != when) continue;  // stopped or restarted
        fireAt(id);
    }
}

}  // namespace q47
