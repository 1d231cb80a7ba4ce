// q47ctl end to end: each command and each exit code against the simulated board.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

struct CtlRun {
    int code = -1;
    std::string out, err;
};

class Q47ctlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Config c = utilityBoard();
        simulator = std::make_unique<sim::Simulator>(c);
        ASSERT_TRUE(simulator->listen((dir / "board.sock").string()));
    }
    void TearDown() override { simulator->stop(); }

    // Runs q47ctl with args (shell words) against the simulator, without real-time waits.
    CtlRun q47ctl(const std::string& args, const std::string& device = "") {
        const std::string dev = device.empty() ? "sim:" + (dir / "board.sock").string() : device;
        const std::string cmd = "Q47_VIRTUAL_TIME=1 '" + std::string(Q47CTL_PATH) + "' --device '" +
                                dev + "' " + args + " >'" + (dir / "out.txt").string() + "' 2>'" +
                                (dir / "err.txt").string() + "'";
        CtlRun r;
        const int status = std::system(cmd.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(dir / "out.txt");
        r.err = readFile(dir / "err.txt");
        return r;
    }
    TempDir dir;
    std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(Q47ctlTest, StatusPrintsModelFirmwareStateAndError) {
    simulator->setError(9);
    const CtlRun r = q47ctl("status");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Model:    W (wide)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Firmware: Ver 1.00"), std::string::npos);
    EXPECT_NE(r.out.find("State:    1 Ready"), std::string::npos);
    EXPECT_NE(r.out.find("Error:    9 (E6 ERROR)Cannot found page boundary."), std::string::npos);
    EXPECT_EQ(q47ctl("status extra").code, 2);
}

TEST_F(Q47ctlTest, SettingsAreReadAndSetByName) {
    CtlRun r = q47ctl("settings");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("paper=a4\t(A4)"), std::string::npos) << r.out;
    r = q47ctl("settings paper=letter margin=1 print-mode=original");
    EXPECT_EQ(r.code, 0) << r.err;
    simulator->withBoard([](const sim::Board& b) {
        EXPECT_EQ(b.setting(sim::PaperSize), 1);
        EXPECT_EQ(b.setting(sim::BindingMargin), 1);
        EXPECT_EQ(b.setting(sim::PrintImageMode), 0);
        EXPECT_EQ(b.setting(sim::TimeStamp), 1);
    });
    EXPECT_NE(r.out.find("paper=letter\t(Letter)"), std::string::npos);
    r = q47ctl("settings paper=legal");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("paper takes a4 (0) or letter (1)"), std::string::npos) << r.err;
    EXPECT_EQ(q47ctl("settings colour=1").code, 2);
}

TEST_F(Q47ctlTest, ClockIsSetFromTheGivenTimeOrRefused) {
    CtlRun r = q47ctl("clock 2031-07-04 13:45");
    EXPECT_EQ(r.code, 0) << r.err;
    simulator->withBoard([](const sim::Board& b) {
        EXPECT_EQ(b.clock().year, 2031);
        EXPECT_EQ(b.clock().month, 7);
        EXPECT_EQ(b.clock().day, 4);
        EXPECT_EQ(b.clock().hour, 13);
        EXPECT_EQ(b.clock().minute, 45);
    });
    r = q47ctl("clock 2031-13-04 13:45");  // the board refuses month 13
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_EQ(q47ctl("clock tomorrow").code, 2);
    r = q47ctl("clock");
    EXPECT_EQ(r.code, 0) << r.err;
    const ClockValue now = localClockNow();
    simulator->withBoard([&](const sim::Board& b) { EXPECT_EQ(b.clock().year, now.year); });
}

TEST_F(Q47ctlTest, FirmwareStreamsTheFileWithPercentagesWhenNotATerminal) {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "S113" + std::to_string(1000 + i) + "0102030405\r\n";
    writeFile(dir / "Q47_B_2.mot", text);
    const CtlRun r = q47ctl("firmware '" + (dir / "Q47_B_2.mot").string() + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    std::string lf = text;
    for (size_t p; (p = lf.find('\r')) != std::string::npos;) lf.erase(p, 1);
    EXPECT_EQ(simulator->firmwareReceived(), lf);
    EXPECT_NE(r.err.find("\n100%\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no bar redrawing into a file
}

TEST_F(Q47ctlTest, OnATerminalTheFirmwareProgressIsABarRedrawnInPlace) {
    std::string text;
    for (int i = 0; i < 64; ++i) text += "S113" + std::to_string(1000 + i) + "0102030405\n";
    writeFile(dir / "Q47_C_3.mot", text);
    // script(1) gives q47ctl a terminal and copies what it shows to a file.
    const std::string inner = "Q47_VIRTUAL_TIME=1 '" + std::string(Q47CTL_PATH) +
                              "' --device 'sim:" + (dir / "board.sock").string() + "' firmware '" +
                              (dir / "Q47_C_3.mot").string() + "'";
    const std::string cmd =
        "script -qec \"" + inner + "\" /dev/null >'" + (dir / "tty.txt").string() + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile(dir / "tty.txt");
    const std::string shown = readFile(dir / "tty.txt");
    EXPECT_NE(shown.find("\r[##########"), std::string::npos) << shown;
    EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
    EXPECT_EQ(simulator->firmwareReceived(), text);
}

TEST_F(Q47ctlTest, ABadFirmwareFileIsExit5AndNothingIsSent) {
    simulator->clearReceived();
    CtlRun r = q47ctl("firmware '" + (dir / "missing.mot").string() + "'");
    EXPECT_EQ(r.code, 5);
    EXPECT_NE(r.err.find("Unable to open the file:"), std::string::npos);
    writeFile(dir / "empty.mot", "");
    EXPECT_EQ(q47ctl("firmware '" + (dir / "empty.mot").string() + "'").code, 5);
    EXPECT_TRUE(simulator->received().empty());  // refused before the board was opened
    EXPECT_EQ(q47ctl("firmware").code, 2);
}

TEST_F(Q47ctlTest, TestImageIsSavedAsABmpThatImageMagickReads) {
    simulator->injectNext(sim::Injection::TestImage);
    const auto bmp = dir / "pcb.bmp";
    CtlRun r = q47ctl("test-image '" + bmp.string() + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string cmd =
        "identify -format '%w %h' '" + bmp.string() + "' >'" + (dir / "id.txt").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(dir / "id.txt"), "2176 1504");
    EXPECT_TRUE(std::filesystem::exists(dir / "rawdata.bin"));
    // No image within the wait: the link found nothing to take.
    r = q47ctl("--wait 2 test-image '" + (dir / "none.bmp").string() + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.bmp"));
}

TEST_F(Q47ctlTest, AbsentAndBusyBoardsHaveTheirOwnExitCodes) {
    CtlRun r = q47ctl("status", "sim:" + (dir / "nowhere.sock").string());
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("no board"), std::string::npos);
    {
        // Another program holds the board.
        std::string why;
        auto held = openDeviceChannel("sim:" + (dir / "board.sock").string(), &why);
        ASSERT_TRUE(held) << why;
        r = q47ctl("status");
        EXPECT_EQ(r.code, 4);
        EXPECT_NE(r.err.find("in use by another program"), std::string::npos) << r.err;
    }
    // A board that stays busy for the whole wait.
    simulator->setState(board::StateScanMemory);
    r = q47ctl("--wait 3 settings paper=letter");
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("busy (state 3: Scanning and save is in progress...)"), std::string::npos)
        << r.err;
    simulator->withBoard([](const sim::Board& b) { EXPECT_EQ(b.setting(sim::PaperSize), 0); });
}

TEST_F(Q47ctlTest, EveryCommandHasHelpWithTheExitCodes) {
    for (const char* c : {"", "status ", "settings ", "clock ", "firmware ", "test-image "}) {
        const CtlRun r = q47ctl(std::string(c) + "--help");
        EXPECT_EQ(r.code, 0) << c;
        EXPECT_NE(r.out.find("Usage: q47ctl"), std::string::npos) << c;
        EXPECT_NE(r.out.find("4  the board is busy"), std::string::npos) << c;
    }
    EXPECT_EQ(q47ctl("").code, 2);
    EXPECT_EQ(q47ctl("reboot").code, 2);
    EXPECT_EQ(q47ctl("--wait x status").code, 2);
}

}  // namespace
}  // namespace q47::test
