// The PCB test image arriving on the link from the simulated board.
#include <gtest/gtest.h>

#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

TEST(TestImageLink, TheBoardsPictureArrivesIsKeptRawAndDecoded) {
    Rig rig;
    rig.start();
    const auto picture = sim::Board::testPicture();
    const auto packet =
        sim::testImagePacket('W', picture, sim::Board::kTestLineCount, sim::Board::kTestLineBytes);
    int64_t shownAt = -1;
    rig.view.onTestImage = [&](TestImage& image) {
        shownAt = rig.clock.now();
        EXPECT_EQ(image.width(), 2176);
        EXPECT_EQ(image.height(), 1504);
    };
    rig.simulator.injectNext(sim::Injection::TestImage);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->testImagesReceived() == 1; }, 600000));
    EXPECT_TRUE(rig.view.saw("test-image"));
    EXPECT_EQ(readFile(rig.dir / "rawdata.bin"), std::string(packet.begin() + 10, packet.end()));
    EXPECT_EQ(rig.dialog->testImage().lines(), picture);
    EXPECT_TRUE(rig.messages().empty());
    // One 1024-byte read per tick.
    EXPECT_GE(shownAt, 0);
    // The link goes on: status polls are answered again afterwards.
    rig.simulator.setState(board::StateScanMemory);
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->lastState() == 3; }, 5000));
}

TEST(TestImageLink, ContinuationReadsAreOnePerTick) {
    Rig rig;
    rig.start();
    const auto packet = sim::testImagePacket(
        'W', sim::Board::testPicture(), sim::Board::kTestLineCount, sim::Board::kTestLineBytes);
    rig.simulator.injectNext(sim::Injection::TestImage);
    ASSERT_TRUE(rig.runUntil([&] { return !rig.dialog->packetStart(); }, 5000));
    const int64_t start = rig.clock.now();
    ASSERT_TRUE(rig.runUntil([&] { return rig.dialog->testImagesReceived() == 1; }, 600000));
    const int64_t reads = int64_t((packet.size() - 1024 + 1023) / 1024);
    EXPECT_EQ(rig.clock.now() - start, reads * 50);
}

}  // namespace
}  // namespace q47::test
