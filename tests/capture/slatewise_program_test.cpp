// The slatewise program as a user starts it: --help, the first start's language file, and a
// second start that shows MsgExecuted and ends with 0 while the first keeps running.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "capture/settings.h"

namespace q47::capture {
namespace {

namespace fs = std::filesystem;

struct Started {
    pid_t pid = -1;
    fs::path err;
};

// slatewise off screen with its settings in home; standard error goes to a file.
Started Start(const fs::path& home, const std::string& tag, const char* arg = nullptr) {
    Started s;
    s.err = home / (tag + ".err");
    s.pid = ::fork();
    if (s.pid == 0) {
        ::setenv("Q47_HOME", home.c_str(), 1);
        ::setenv("Q47_DATA_DIR", Q47_SOURCE_DIR "/capture", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::freopen(s.err.c_str(), "w", stderr);
        ::freopen((home / (tag + ".out")).c_str(), "w", stdout);
        ::execl(SLATEWISE_PATH, "slatewise", arg, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return s;
}

// Exit status once pid ends within ms, or -1 while it still runs.
int WaitFor(pid_t pid, int ms) {
    for (int waited = 0; waited <= ms; waited += 20) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

std::string Read(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Home {
    fs::path dir = fs::temp_directory_path() / ("q47_swprog_" + std::to_string(::getpid()));
    Home() { fs::create_directories(dir); }
    ~Home() { fs::remove_all(dir); }
};

TEST(SlatewiseProgram, HelpDescribesTheOptionsAndEndsWithZero) {
    Home home;
    const Started s = Start(home.dir, "help", "--help");
    EXPECT_EQ(WaitFor(s.pid, 20000), 0);
    EXPECT_NE(Read(home.dir / "help.out").find("--language"), std::string::npos);
    EXPECT_FALSE(fs::exists(home.dir / "SlateWise.ini"));  // nothing started
}

TEST(SlatewiseProgram, ASecondStartShowsMsgExecutedAndEndsWhileTheFirstRuns) {
    Home home;
    const Started first = Start(home.dir, "first");
    // The first start listens before it takes the English language file as its settings.
    for (int i = 0; i < 1000 && !fs::exists(home.dir / "SlateWise.ini"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(home.dir / "SlateWise.ini"));
    const AppSettings english = ReadSettings(home.dir / "SlateWise.ini");
    EXPECT_EQ(english.Language, "ENGLISH");

    const Started second = Start(home.dir, "second");
    EXPECT_EQ(WaitFor(second.pid, 20000), 0);
    EXPECT_NE(Read(second.err).find(english.MsgExecuted), std::string::npos) << Read(second.err);
    EXPECT_EQ(WaitFor(first.pid, 300), -1);  // the first is left alone
    // Ending the session ends the first cleanly, with 0 (and no leak report).
    ::kill(first.pid, SIGTERM);
    EXPECT_EQ(WaitFor(first.pid, 20000), 0) << Read(first.err);
}

}  // namespace
}  // namespace q47::capture
