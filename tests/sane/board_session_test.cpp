// BoardSession on the virtual clock against the simulator: scans in both modes, board
// errors and busy states, a board held elsewhere or missing, cancel and STOP at the board.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "platform/channel/backends.h"
#include "platform/dib.h"
#include "platform/pump.h"
#include "platform/timer_host.h"
#include "sane/board_session.h"
#include "sane/frame_rows.h"
#include "tests/sane/sane_test_support.h"

namespace q47::test {
namespace {

using sane::BoardSession;
using sane::Outcome;

class SessionTest : public ::testing::Test {
protected:
    explicit SessionTest(sim::Config config = smallBoard()) : simulator(config) {
        socket = (dir / "board.sock").string();
        EXPECT_TRUE(simulator.listen(socket));
    }
    ~SessionTest() override { simulator.stop(); }

    // A session whose every step also runs `watch` (the test's hand on the board).
    std::unique_ptr<BoardSession> session(std::string device = "") {
        sane::SessionClock c{clock, pump, [this](const std::function<bool()>& pred, int64_t ms) {
                                 return clock.runUntil(
                                     [&] {
                                         if (watch) watch();
                                         return pred();
                                     },
                                     ms);
                             }};
        return std::make_unique<BoardSession>(c, device.empty() ? "sim:" + socket : device,
                                              twain_source::SettingsFile(dir / "Q47Tw.ini"),
                                              &cancel);
    }
    uint8_t boardState() {
        return simulator.withBoard([](const sim::Board& b) { return b.state(); });
    }
    int keyCount(uint8_t key) {
        int n = 0;
        for (const auto& r : simulator.received())
            n += r.size() == 6 && r[4] == board::PanelKey && r[5] == key;
        return n;
    }
    // Frame rows of a received DIB, top first.
    static std::vector<uint8_t> frame(const std::vector<uint8_t>& bytes, bool colour) {
        dib::View v;
        EXPECT_TRUE(dib::parse(bytes.data(), bytes.size(), &v));
        std::vector<uint8_t> out(sane::frameRowBytes(v, colour) * size_t(v.height));
        for (int y = 0; y < v.height; ++y)
            sane::frameRow(v, y, colour, out.data() + sane::frameRowBytes(v, colour) * size_t(y));
        return out;
    }
    std::vector<uint8_t> sheet(bool colour) {
        return simulator.withBoard([&](const sim::Board& b) { return b.imageData(colour); });
    }

    TempDir dir;
    sim::Simulator simulator;
    std::string socket;
    VirtualClock clock;
    VirtualPump pump{clock};
    std::atomic<bool> cancel{false};
    std::function<void()> watch;
};

TEST_F(SessionTest, OpenReadsModelFirmwareAndSheetSize) {
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    EXPECT_EQ(s->identity().modelLetter, 'W');
    EXPECT_EQ(s->identity().modelName, "Q-47W");
    EXPECT_EQ(s->identity().firmwareVersion, "Ver 2.10");
    EXPECT_EQ(s->identity().scanLines, 100);
    EXPECT_EQ(s->identity().linePixels, 48);
}

TEST_F(SessionTest, ColourScanPressesColourAndDeliversTheSheetUpright) {
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(keyCount(board::KeyColor), 1);
    EXPECT_EQ(frame(dibBytes, true), expectedFrame(sheet(true), 100, 48, true));
}

TEST_F(SessionTest, GreyScanWithTheLampLitPressesColourToDarkenIt) {
    simulator.setLamps(true, false);
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    ASSERT_TRUE(s->scan(false, &dibBytes).ok());
    EXPECT_EQ(keyCount(board::KeyColor), 1);
    EXPECT_FALSE(simulator.withBoard([](const sim::Board& b) { return b.colourLamp(); }));
    const std::vector<uint8_t> grey = frame(dibBytes, false);
    EXPECT_EQ(grey, expectedFrame(sheet(false), 100, 48, false));
    // Grey and colour sheets differ, so the comparison above can tell the modes apart.
    EXPECT_NE(grey, expectedFrame(sheet(true), 100, 48, false));
}

TEST_F(SessionTest, LampAlreadyRightIsNotPressed) {
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    ASSERT_TRUE(s->scan(false, &dibBytes).ok());
    EXPECT_EQ(keyCount(board::KeyColor), 0);
}

TEST_F(SessionTest, BoardErrorDuringTheScanEndsItWithTheErrorText) {
    simulator.setScanPolls(50);
    watch = [&] {
        if (boardState() == board::StateScanPC) simulator.setError(1);
    };
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    EXPECT_EQ(r.outcome, Outcome::BoardError);
    EXPECT_EQ(r.message, "(E1 ERROR)Printer error.");
    EXPECT_TRUE(dibBytes.empty());
    // The scan is stopped; the board keeps showing its error.
    EXPECT_EQ(keyCount(board::KeyStop), 1);
    EXPECT_EQ(boardState(), board::StateStandby);
}

TEST_F(SessionTest, PageBoundaryErrorIsAJam) {
    simulator.setError(9);
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    EXPECT_EQ(r.outcome, Outcome::Jammed);
    EXPECT_EQ(r.message, "(E6 ERROR)Cannot found page boundary.");
}

TEST_F(SessionTest, BusyBoardIsNotStarted) {
    simulator.setState(board::StatePrint);
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    EXPECT_EQ(r.outcome, Outcome::Busy);
    EXPECT_EQ(r.message, "Print is in progress...");
    for (const auto& req : simulator.received()) EXPECT_NE(req[4], board::PcScan);
}

TEST_F(SessionTest, BoardHeldByAnotherProgramIsBusy) {
    std::string why;
    auto other = channel::openSim(socket, 1000, &why);
    ASSERT_TRUE(other) << why;
    auto s = session();
    const sane::Result r = s->open();
    EXPECT_EQ(r.outcome, Outcome::Busy);
    EXPECT_NE(r.message.find("USB could not be opened !"), std::string::npos);
    EXPECT_NE(r.message.find("in use"), std::string::npos);
}

TEST_F(SessionTest, MissingBoardIsNoBoard) {
    auto s = session("sim:" + (dir / "nothing.sock").string());
    const sane::Result r = s->open();
    EXPECT_EQ(r.outcome, Outcome::NoBoard);
    EXPECT_NE(r.message.find("USB could not be opened !"), std::string::npos);
}

TEST_F(SessionTest, CancelWhileScanningPressesStopAndTheNextScanWorks) {
    simulator.setScanPolls(50);
    watch = [&] {
        if (boardState() == board::StateScanPC) cancel = true;
    };
    {
        auto s = session();
        ASSERT_TRUE(s->open().ok());
        std::vector<uint8_t> dibBytes;
        EXPECT_EQ(s->scan(true, &dibBytes).outcome, Outcome::Cancelled);
        EXPECT_EQ(keyCount(board::KeyStop), 1);
        EXPECT_EQ(boardState(), board::StateStandby);
    }
    watch = nullptr;
    cancel = false;
    simulator.setScanPolls(1);
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    ASSERT_TRUE(s->scan(true, &dibBytes).ok());
    EXPECT_EQ(frame(dibBytes, true), expectedFrame(sheet(true), 100, 48, true));
}

TEST_F(SessionTest, StopPressedAtTheBoardCancels) {
    simulator.setScanPolls(50);
    // Once the PC has polled the running scan, the board's own STOP ends it.
    watch = [&] {
        if (boardState() == board::StateScanPC &&
            simulator.withBoard([](const sim::Board& b) { return b.progress(); }) > 0)
            simulator.setState(board::StateStandby);
    };
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    EXPECT_EQ(s->scan(true, &dibBytes).outcome, Outcome::Cancelled);
}

TEST_F(SessionTest, BoardThatDoesNotStartTheScanIsAnIoError) {
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    // The board answers PCSCAN with a refusal and stays in standby.
    watch = [&] {
        for (const auto& r : simulator.received())
            if (r[4] == board::PcScan) simulator.setState(board::StateStandby);
    };
    simulator.setScanPolls(50);
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    EXPECT_EQ(r.outcome, Outcome::IoError);
    EXPECT_NE(r.message.find("did not start"), std::string::npos);
}

TEST_F(SessionTest, PulledCableDuringTheScanIsAnIoError) {
    simulator.setScanPolls(50);
    watch = [&] {
        if (boardState() == board::StateScanPC && simulator.clientConnected()) simulator.unplug(60000);
    };
    auto s = session();
    ASSERT_TRUE(s->open().ok());
    std::vector<uint8_t> dibBytes;
    const sane::Result r = s->scan(true, &dibBytes);
    EXPECT_EQ(r.outcome, Outcome::IoError);
    EXPECT_FALSE(r.message.empty());
}

}  // namespace
}  // namespace q47::test
