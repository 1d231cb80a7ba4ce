// An X server of the test's own with two monitors side by side (LEFT primary, RIGHT the
// projector), and the QApplication on it. Skips when Xvfb or xrandr is missing.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/common/xvfb_server.h"

namespace q47::test {

// Runs a command to its end; its exit status.
inline int RunCommand(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class TwoMonitorXvfb : public ::testing::Environment {
public:
    void SetUp() override {
        if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xrandr", X_OK) != 0) {
            skipReason = "Xvfb or xrandr is not installed (Debian packages xvfb, x11-xserver-utils)";
            return;
        }
        // -noreset (in startXvfb): the monitors set below must outlive the last client.
        const std::string display = q47::test::startXvfb("2560x1024x24", &pid_, &skipReason);
        if (display.empty()) return;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (RunCommand("xrandr --setmonitor '*LEFT' 1280/338x1024/270+0+0 screen >/dev/null 2>&1") != 0 ||
            RunCommand("xrandr --setmonitor RIGHT 1280/338x1024/270+1280+0 none >/dev/null 2>&1") != 0)
            return void(skipReason = "xrandr could not set the monitors");
        // Qt keeps file dialog history in the user's QtProject.conf; a folder another
        // program visited last (one under /proc, say) must not be where our dialogs start.
        std::string config = (std::filesystem::temp_directory_path() / "q47-qtconfig-XXXXXX").string();
        if (::mkdtemp(config.data())) {
            config_ = config;
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        }
        static int argc = 1;
        static char name[] = "slatewise_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        app_->setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        app_.reset();
        std::error_code ec;
        if (!config_.empty()) std::filesystem::remove_all(config_, ec);
        q47::test::stopXvfb(pid_);
    }
    static inline std::string skipReason;

private:
    std::unique_ptr<QApplication> app_;
    pid_t pid_ = -1;
    std::string config_;
};

}  // namespace q47::test
