// Real-time timer loop, message keeping and the progress display of q47ctl.
#include "tools/q47ctl/terminal.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace q47::ctl {

TimerLoop::TimerLoop() {
    const char* v = std::getenv("Q47_VIRTUAL_TIME");
    sleeps_ = !(v && std::strcmp(v, "1") == 0);
}

bool TimerLoop::runUntil(const std::function<bool()>& done, int64_t limitMs) {
    const int64_t end = clock_.now() + limitMs;
    while (!done()) {
        const auto next = clock_.nextDue();
        if (!next || next->first > end) return false;
        if (sleeps_ && next->first > clock_.now())
            std::this_thread::sleep_for(std::chrono::milliseconds(next->first - clock_.now()));
        clock_.runNext();
    }
    return true;
}

void TerminalView::setProgressVisible(bool visible) {
    if (visible) {
        shown_ = true;
        tty_ = ::isatty(fileno(stderr));
        return;
    }
    if (drawn_ && tty_) std::fputc('\n', stderr);
    drawn_ = false;
    hidden_ = shown_;  // hidden again after an update began: the board restarts
}

void TerminalView::showProgress(int percent, const std::string&) {
    if (!showProgress_ || percent == percent_) return;
    percent_ = percent;
    if (tty_) {
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", kWidth - filled, "", percent);
        drawn_ = true;
    } else {
        std::fprintf(stderr, "%d%%\n", percent);
    }
    std::fflush(stderr);
}

}  // namespace q47::ctl
