// The simulated board's side of the maintenance utility: settings, clock, firmware update.
#include <gtest/gtest.h>

#include <string>

#include "board_test_util.h"

namespace q47::test {
namespace {

using B = std::vector<uint8_t>;

TEST(BoardSettings, QueriesAnswerTheValueAndSetsAreAcknowledged) {
    sim::Board b(sim::Config{});
    // Power-on values are the utility's Reset defaults.
    const std::pair<uint8_t, uint8_t> defaults[] = {{6, 1}, {17, 1}, {18, 0}, {19, 0}, {20, 1}};
    for (auto [code, value] : defaults) EXPECT_EQ(askOne(b, code), (B{2, 0, 0, 0, code, value}));
    EXPECT_EQ(askOne(b, sim::PaperSize, {1}), (B{1, 0, 0, 0, 0}));
    EXPECT_EQ(askOne(b, sim::PaperSize), (B{2, 0, 0, 0, 18, 1}));
    EXPECT_EQ(askOne(b, sim::TimeStamp, {0}), (B{1, 0, 0, 0, 0}));
    EXPECT_EQ(b.setting(sim::TimeStamp), 0);
}

TEST(BoardSettings, AValueOtherThan0Or1IsRefusedAndChangesNothing) {
    sim::Board b(sim::Config{});
    EXPECT_EQ(askOne(b, sim::BindingMargin, {2})[4], 0xFF);
    EXPECT_EQ(askOne(b, sim::BindingMargin, {1, 1})[4], 0xFF);
    EXPECT_EQ(b.setting(sim::BindingMargin), 0);
}

TEST(BoardClock, SetIsAcknowledgedAndTheQueryReturnsIt) {
    sim::Board b(sim::Config{});
    EXPECT_EQ(askOne(b, sim::BoardClock, {0xE8, 0x07, 12, 31, 23, 59}), (B{1, 0, 0, 0, 0}));
    EXPECT_EQ(askOne(b, sim::BoardClock), (B{7, 0, 0, 0, 5, 0xE8, 0x07, 12, 31, 23, 59}));
    EXPECT_EQ(b.clock().year, 2024);
}

TEST(BoardClock, AnImpossibleDateIsRefused) {
    sim::Board b(sim::Config{});
    askOne(b, sim::BoardClock, {0xE8, 0x07, 6, 1, 8, 30});
    EXPECT_EQ(askOne(b, sim::BoardClock, {0xE8, 0x07, 13, 1, 8, 30})[4], 0xFF);
    EXPECT_EQ(askOne(b, sim::BoardClock, {0xE8, 0x07, 6, 1, 24, 0})[4], 0xFF);
    EXPECT_EQ(b.clock().month, 6);
}

// A firmware file of 40 S-record lines, as the utility would read it.
std::vector<std::string> firmwareLines() {
    std::vector<std::string> lines;
    lines.push_back("S00F000068656C6C6F202020202000003C");
    for (int i = 1; i < 39; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "S1130%03X0102030405060708090A0B0C0D0E0F%02X", i * 16, (i * 7) & 0xFF);
        lines.push_back(buf);
    }
    lines.push_back("S9030000FC");
    return lines;
}

// The utility's command 22: sub-code, text, 0.
B firmwarePacket(uint8_t sub, const std::string& text) {
    B params = {sub};
    params.insert(params.end(), text.begin(), text.end());
    params.push_back(0);
    return request(sim::FirmwareUpdate, params);
}

TEST(BoardFirmware, AFortyLineFileArrivesIntactAndTheBoardRestarts) {
    sim::Config c;
    c.restartMs = 1500;
    sim::Board b(c);
    const auto lines = firmwareLines();
    std::string file;
    for (const auto& l : lines) file += l + "\n";

    B p = firmwarePacket(0, "Q47_W_0210.mot");
    EXPECT_EQ(b.handle(p.data(), p.size()), (sim::Transfers{{1, 0, 0, 0, 0}}));
    // Blocks of 16, 16 and 8 lines; the last one carries sub-code 2.
    for (size_t first = 0; first < lines.size(); first += 16) {
        std::string block;
        for (size_t i = first; i < std::min(lines.size(), first + 16); ++i) block += lines[i] + "\n";
        const bool last = first + 16 >= lines.size();
        p = firmwarePacket(last ? 2 : 1, block);
        const sim::Transfers reply = b.handle(p.data(), p.size());
        if (last) {
            EXPECT_TRUE(reply.empty()) << "the board restarts instead of answering";
        } else {
            EXPECT_EQ(reply, (sim::Transfers{{1, 0, 0, 0, 0}}));
            EXPECT_EQ(b.takeRestart(), 0);
        }
    }
    EXPECT_EQ(b.firmwareFileName(), "Q47_W_0210.mot");
    EXPECT_EQ(b.firmwareReceived(), file);
    EXPECT_EQ(b.takeRestart(), 1500);
    EXPECT_EQ(b.takeRestart(), 0);
}

TEST(BoardFirmware, BlocksWithoutAStartPacketAreRefused) {
    sim::Board b(sim::Config{});
    const B p = firmwarePacket(1, "S9030000FC\n");
    EXPECT_EQ(b.handle(p.data(), p.size())[0][4], 0xFF);
    const B bad = firmwarePacket(7, "");
    EXPECT_EQ(b.handle(bad.data(), bad.size())[0][4], 0xFF);
    EXPECT_TRUE(b.firmwareReceived().empty());
}

}  // namespace
}  // namespace q47::test
