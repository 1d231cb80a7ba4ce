// A console application whose source runs on its own thread, ending awkwardly: TWAIN
// clean-up from an exit handler is refused at once instead of hanging, and leaving main
// while the source reads an image waits for its thread instead of racing it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ds_test_support.h"
#include "simulator/simulator.h"

namespace {

using namespace q47::dstest;

struct Finished {
    bool exited = false;  // false: still running when the time was up (then killed)
    int status = -1;
    std::string err;
};

class ExitHost : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir(dir.file("home").c_str(), 0700);
        q47::sim::Config config;
        config.linePixels = 2000;  // 8 MB: the image takes a while to read
        config.scanMs = 200;
        sim = std::make_unique<q47::sim::Simulator>(config);
        ASSERT_TRUE(sim->listen(dir.file("board.sock")));
    }

    pid_t start(const std::string& mode) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, 2);
            setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
            setenv("Q47_DEVICE", ("sim:" + dir.file("board.sock")).c_str(), 1);
            setenv("Q47_HOME", dir.file("home").c_str(), 1);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("QT_QPA_PLATFORM");
            // The source's thread stays parked at exit with its Qt objects, by design:
            // what is looked for here is memory used after it was freed, not leaks.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            execl(DS_EXIT_HOST, DS_EXIT_HOST, mode.c_str(), dir.file("board.sock").c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    Finished wait(pid_t pid, int seconds) {
        Finished f;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid, &f.status, WNOHANG) == pid) {
                f.exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!f.exited) {
            kill(pid, SIGKILL);
            waitpid(pid, &f.status, 0);
        }
        std::ifstream in(dir.file("stderr"));
        std::stringstream s;
        s << in.rdbuf();
        f.err = s.str();
        return f;
    }

    TempDir dir;
    std::unique_ptr<q47::sim::Simulator> sim;
};

TEST_F(ExitHost, TwainCleanUpFromAnExitHandlerIsRefusedAtOnce) {
    const Finished f = wait(start("atexit"), 60);
    ASSERT_TRUE(f.exited) << "the exit handler's DS_Entry call hung";
    ASSERT_TRUE(WIFEXITED(f.status)) << f.err;
    EXPECT_EQ(WEXITSTATUS(f.status), 0) << f.err;
    EXPECT_EQ(f.err.find("AddressSanitizer"), std::string::npos) << f.err;
}

TEST_F(ExitHost, LeavingMainWhileTheSourceReadsAnImageWaitsForItsThread) {
    const pid_t pid = start("in-image");
    // Once the board is asked for its image, the source's thread is inside its image loop.
    bool asked = false;
    for (int i = 0; i < 3000 && !asked; ++i) {
        for (const auto& r : sim->received())
            if (r.size() >= 5 && r[4] == q47::board::ImageTransfer) asked = true;
        if (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(asked);
    std::ofstream(dir.file("board.sock") + ".reading") << "now";
    const Finished f = wait(pid, 60);
    ASSERT_TRUE(f.exited) << "exit hung";
    ASSERT_TRUE(WIFEXITED(f.status)) << f.err;
    EXPECT_EQ(WEXITSTATUS(f.status), 0) << f.err;
    EXPECT_EQ(f.err.find("AddressSanitizer"), std::string::npos) << f.err;
}

}  // namespace
