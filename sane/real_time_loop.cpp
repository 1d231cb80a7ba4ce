// The steady-clock timer host and pump of a SANE board session.
#include "sane/real_time_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace q47::sane {

namespace {
// Window timers never run faster than this; a shorter period gets this one.
constexpr int kMinimumPeriodMs = 10;
}  // namespace

RealTimeLoop::RealTimeLoop() {
    if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds_[0] = wakeFds_[1] = -1;
}

RealTimeLoop::~RealTimeLoop() {
    for (int fd : wakeFds_)
        if (fd >= 0) close(fd);
}

void RealTimeLoop::start(int id, int ms) {
    const int period = std::max(ms, kMinimumPeriodMs);
    timers_[id] = Timer{period, Clock::now() + std::chrono::milliseconds(period)};
}

void RealTimeLoop::stop(int id) { timers_.erase(id); }

void RealTimeLoop::fire(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // Rescheduled before the callback, which may restart or stop the timer itself.
    it->second.due = Clock::now() + std::chrono::milliseconds(it->second.period);
    TimerHost::fire(id);
}

void RealTimeLoop::processEvents() {
    const auto now = Clock::now();
    std::vector<std::pair<Clock::time_point, int>> due;
    for (const auto& [id, t] : timers_)
        if (t.due <= now) due.emplace_back(t.due, id);
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        // A callback before this one may have stopped or restarted the timer.
        auto it = timers_.find(id);
        if (it != timers_.end() && it->second.due <= now) fire(id);
    }
    drainWake();
}

void RealTimeLoop::sleepMs(int ms) {
    if (ms > 0) waitUntil(Clock::now() + std::chrono::milliseconds(ms));
}

void RealTimeLoop::waitUntil(Clock::time_point until) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return;
        pollfd pf{wakeFds_[0], POLLIN, 0};
        const int r = poll(&pf, wakeFds_[0] >= 0 ? 1 : 0, int(left.count()));
        if (r > 0) return;  // woken: the caller looks at its condition again
        if (r < 0 && errno != EINTR) return;
    }
}

void RealTimeLoop::wake() {
    if (wakeFds_[1] < 0) return;
    const char b = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] ssize_t n = write(wakeFds_[1], &b, 1);
}

void RealTimeLoop::drainWake() {
    if (wakeFds_[0] < 0) return;
    char buf[64];
    while (read(wakeFds_[0], buf, sizeof buf) > 0) {
    }
}

bool RealTimeLoop::runUntil(const std::function<bool()>& pred, int64_t limitMs) {
    const auto limit = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (pred()) return true;
        const auto now = Clock::now();
        if (now >= limit) return false;
        // The earliest due timer, fired alone so that pred sees every step.
        int next = -1;
        Clock::time_point at = limit;
        for (const auto& [id, t] : timers_)
            if (t.due < at) at = t.due, next = id;
        if (next >= 0 && at <= now) {
            fire(next);
            continue;
        }
        waitUntil(at);
        drainWake();
    }
}

}  // namespace q47::sane
