// An X server of a test's own: Xvfb on a display it picks itself (-displayfd), so tests
// running side by side never fight over a display number.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace q47::test {

// Starts Xvfb with one screen of the given geometry ("WxHxDEPTH"); on success *pid is the
// server and the answer is its display (":N"); on failure the answer is empty and *why
// says what went wrong.
inline std::string startXvfb(const char* screen, pid_t* pid, std::string* why) {
    *pid = -1;
    if (::access("/usr/bin/Xvfb", X_OK) != 0) {
        *why = "Xvfb is not installed (Debian package xvfb)";
        return {};
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        *why = "no pipe for Xvfb";
        return {};
    }
    *pid = ::fork();
    if (*pid == 0) {
        ::close(fds[0]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 2);
        const std::string fd = std::to_string(fds[1]);
        ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string display;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    ::close(fds[0]);
    if (display.empty()) {
        *why = "Xvfb did not start";
        return {};
    }
    return ":" + display;
}

inline void stopXvfb(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace q47::test
