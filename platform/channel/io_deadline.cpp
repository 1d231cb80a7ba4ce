// The timer signal that bounds blocking device I/O.
#include "platform/channel/io_deadline.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

namespace q47::channel {

namespace {

int deadlineSignal() { return SIGRTMIN + 4; }

void ignoreSignal(int) {}

// The handler does nothing; it exists so that the signal interrupts the blocked call
// (no SA_RESTART) instead of ending the process. A handler the host program set up
// already is left alone.
void installHandlerOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (sigaction(deadlineSignal(), nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
            !(old.sa_flags & SA_SIGINFO)) {
            struct sigaction sa {};
            sa.sa_handler = ignoreSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = 0;
            sigaction(deadlineSignal(), &sa, nullptr);
        }
    });
}

int64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

IoDeadline::IoDeadline(int timeoutMs) {
    deadlineNs_ = nowNs() + int64_t(timeoutMs) * 1000000;
    installHandlerOnce();
    sigevent sev{};
    sev.sigev_notify = SIGEV_THREAD_ID;
    sev.sigev_signo = deadlineSignal();
    sev._sigev_un._tid = pid_t(syscall(SYS_gettid));
    if (timer_create(CLOCK_MONOTONIC, &sev, &timer_) != 0) return;
    itimerspec when{};
    when.it_value.tv_sec = timeoutMs / 1000;
    when.it_value.tv_nsec = long(timeoutMs % 1000) * 1000000;
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    when.it_interval.tv_nsec = 5 * 1000000;
    if (timer_settime(timer_, 0, &when, nullptr) != 0) {
        timer_delete(timer_);
        return;
    }
    sigset_t mine;
    sigemptyset(&mine);
    sigaddset(&mine, deadlineSignal());
    pthread_sigmask(SIG_UNBLOCK, &mine, &oldMask_);
    armed_ = true;
}

IoDeadline::~IoDeadline() {
    if (!armed_) return;
    timer_delete(timer_);
    // A signal still pending from the timer must not hit a later call of this thread.
    sigset_t mine;
    sigemptyset(&mine);
    sigaddset(&mine, deadlineSignal());
    pthread_sigmask(SIG_BLOCK, &mine, nullptr);
    timespec zero{};
    while (sigtimedwait(&mine, nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
}

bool IoDeadline::expired() const { return nowNs() >= deadlineNs_; }

}  // namespace q47::channel
