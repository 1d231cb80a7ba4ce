// The firmware update against the simulated board: blocks, sub-codes, progress, the end.
#include <gtest/gtest.h>

#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

std::string srecords(int n, const std::string& end = "\n") {
    std::string s = "S00F000068656C6C6F202020202000003C" + end;
    for (int i = 1; i < n - 1; ++i) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "S113%04X0102030405060708090A0B0C0D0E0F%02X", i * 16,
                      (i * 7) & 0xFF);
        s += buf + end;
    }
    return s + "S9030000FC" + end;
}

// The firmware packets the board received: sub-code and text.
std::vector<std::pair<int, std::string>> firmwarePackets(const Rig& rig) {
    std::vector<std::pair<int, std::string>> out;
    for (const auto& r : rig.simulator.received())
        if (r.size() >= 7 && r[4] == FirmwareUpdate)
            out.emplace_back(r[5], std::string(r.begin() + 6, r.end() - 1));
    return out;
}

class FirmwareUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override { rig.start(); }
    // Runs the update of a file with the given bytes to the board's restart.
    void update(const std::string& text, const std::string& name = "Q47_A_1.mot") {
        writeFile(rig.dir / name, text);
        rig.dialog->setFirmwarePath((rig.dir / name).string());
        EXPECT_TRUE(rig.view.controls.update);
        rig.simulator.clearReceived();
        ASSERT_TRUE(rig.dialog->startFirmwareUpdate());
        EXPECT_TRUE(rig.view.progressVisible);
        ASSERT_TRUE(rig.runUntil([&] { return !rig.view.progressVisible; }, 600000));
    }
    Rig rig;
};

TEST_F(FirmwareUpdateTest, FortyLinesGoOutAsSixteenSixteenAndEightTheLastWithSubCode2) {
    const std::string text = srecords(40);
    update(text);
    const auto packets = firmwarePackets(rig);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[0], std::make_pair(0, (rig.dir / "Q47_A_1.mot").string()));
    auto lines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
    EXPECT_EQ(packets[1].first, 1);
    EXPECT_EQ(lines(packets[1].second), 16);
    EXPECT_EQ(packets[2].first, 1);
    EXPECT_EQ(lines(packets[2].second), 16);
    EXPECT_EQ(packets[3].first, 2);
    EXPECT_EQ(lines(packets[3].second), 8);
    EXPECT_EQ(rig.simulator.firmwareReceived(), text);
    EXPECT_EQ(rig.view.percents.back(), 100);
    EXPECT_EQ(rig.view.progressText, "Firmware update is in progress... 100% Completed.");
    EXPECT_EQ(rig.view.cancelCaption, "Close");
    // The board's restart ends the update without a message; only Cancel stays enabled.
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_TRUE(rig.view.saw("progress:hidden"));
    EXPECT_TRUE(rig.view.controls.cancel);
    EXPECT_FALSE(rig.view.controls.ok || rig.view.controls.update || rig.view.controls.fileName ||
                 rig.view.controls.timeStamp || rig.view.controls.apply);
    EXPECT_TRUE(rig.dialog->updating());
    // No status polls while updating (one queued before the start may still go out).
    auto codes = rig.requestCodes();
    auto first = std::find(codes.begin(), codes.end(), int(FirmwareUpdate));
    EXPECT_LE(first - codes.begin(), 1);
    for (auto it = first; it != codes.end(); ++it) EXPECT_EQ(*it, FirmwareUpdate);
}

TEST_F(FirmwareUpdateTest, CrLfLinesAreSentWithLfOnly) {
    update(srecords(20, "\r\n"));
    EXPECT_EQ(rig.simulator.firmwareReceived(), srecords(20, "\n"));
}

TEST_F(FirmwareUpdateTest, FiveThousandLinesStreamIntactOneBlockPerTick) {
    const std::string text = srecords(5000);
    update(text);
    EXPECT_EQ(rig.simulator.firmwareReceived(), text);
    const auto packets = firmwarePackets(rig);
    EXPECT_EQ(packets.size(), 1u + (5000 + 15) / 16);
    EXPECT_EQ(packets.back().first, 2);
    for (size_t i = 1; i + 1 < packets.size(); ++i) EXPECT_EQ(packets[i].first, 1);
    EXPECT_EQ(rig.view.percents.back(), 100);
    for (size_t i = 1; i < rig.view.percents.size(); ++i)
        EXPECT_GE(rig.view.percents[i], rig.view.percents[i - 1]);
    // Each acknowledgement queues one block and shows its progress: never two in one tick.
    ASSERT_EQ(rig.view.progressAt.size(), rig.view.percents.size());
    EXPECT_EQ(rig.view.progressAt.size(), 2 + packets.size() - 1);  // start (twice), then per block
    for (size_t i = 3; i < rig.view.progressAt.size(); ++i)
        EXPECT_GE(rig.view.progressAt[i] - rig.view.progressAt[i - 1], 50) << i;
    EXPECT_GE(rig.clock.now(), int64_t(packets.size()) * 50);
}

TEST_F(FirmwareUpdateTest, AMissingFileGivesTheFileOpenMessageAndTheLinkGoesOn) {
    rig.dialog->setFirmwarePath("no-such-Q47_X_1.mot");
    rig.simulator.clearReceived();
    EXPECT_FALSE(rig.dialog->startFirmwareUpdate());
    EXPECT_EQ(rig.messages(),
              std::vector<std::string>{"Unable to open the file:no-such-Q47_X_1.mot"});
    EXPECT_FALSE(rig.dialog->updating());
    EXPECT_EQ(rig.clock.periodOf(kLinkTimer), 50);
    EXPECT_FALSE(rig.view.controls.fileName);
    rig.clock.advance(2000);
    EXPECT_FALSE(rig.requestCodes().empty());  // polling resumed
    EXPECT_TRUE(firmwarePackets(rig).empty());
}

TEST_F(FirmwareUpdateTest, AnEmptyFileIsRefusedLikeAMissingOne) {
    writeFile(rig.dir / "empty.mot", "");
    rig.dialog->setFirmwarePath((rig.dir / "empty.mot").string());
    EXPECT_FALSE(rig.dialog->startFirmwareUpdate());
    EXPECT_EQ(rig.messages().size(), 1u);
    EXPECT_EQ(rig.messages()[0].rfind("Unable to open the file:", 0), 0u);
}

TEST_F(FirmwareUpdateTest, UpdateFollowsTheFileNameBox) {
    EXPECT_FALSE(rig.view.controls.update);
    rig.dialog->setFirmwarePath("x.mot");
    EXPECT_TRUE(rig.view.controls.update);
    rig.dialog->setFirmwarePath("");
    EXPECT_FALSE(rig.view.controls.update);
}

}  // namespace
}  // namespace q47::test
