// q47uty started twice: the second start hands over to the first window and ends at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

// Starts q47uty offscreen with its settings in dir; the pid.
pid_t startUtility(const TempDir& dir, const std::string& device) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("Q47_HOME", dir.path().c_str(), 1);
        ::setenv("Q47_DEVICE", device.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(Q47UTY_PATH, "q47uty", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits up to ms for pid to end; its exit status, or -1 while it still runs.
int waitFor(pid_t pid, int ms) {
    for (int waited = 0; waited <= ms; waited += 20) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

TEST(SingleInstance, ASecondStartEndsAndLeavesTheFirstRunning) {
    TempDir dir;
    sim::Simulator simulator(utilityBoard());
    ASSERT_TRUE(simulator.listen((dir / "board.sock").string()));
    const std::string device = "sim:" + (dir / "board.sock").string();
    const pid_t first = startUtility(dir, device);
    // The first has the board once its queries arrive; by then it listens for others.
    for (int i = 0; i < 500 && simulator.received().size() < 8; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(simulator.received().size(), 8u);
    EXPECT_TRUE(std::filesystem::exists(dir / "Q47_USB.Log"));

    const pid_t second = startUtility(dir, device);
    EXPECT_EQ(waitFor(second, 10000), 0);
    EXPECT_EQ(waitFor(first, 300), -1);  // the first is still there
    ::kill(first, SIGTERM);
    ::waitpid(first, nullptr, 0);
}

}  // namespace
}  // namespace q47::test
