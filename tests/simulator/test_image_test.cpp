// The PCB test image: its packet and run-length stream decode back to the board's picture.
#include <gtest/gtest.h>

#include "board_test_util.h"

namespace q47::test {
namespace {

// Decodes the run-length blocks as the utility does: one position running through all
// lines, a block's unfinished line filled white, decoding ends after lineCount lines.
// Fails (returns false) on a stream that ends early or overruns its line.
bool decode(const uint8_t* p, size_t n, size_t lineCount, size_t lineBytes, std::vector<uint8_t>* out) {
    out->assign(lineCount * lineBytes, 0);
    size_t pos = 0, at = 0;
    const size_t total = out->size();
    while (pos < total) {
        if (at + 2 > n) return false;
        const size_t count = size_t(p[at]) << 8 | p[at + 1];
        at += 2;
        const size_t end = at + count;
        if (end > n) return false;
        auto put = [&](uint8_t v) {
            if (pos >= total) return false;
            (*out)[pos++] = v;
            return true;
        };
        while (at < end) {
            const uint8_t c = p[at++];
            if (c < 0x80) {
                for (int i = 0; i <= c; ++i)
                    if (at >= end || !put(p[at++])) return false;
            } else {
                uint8_t value = 0;
                if (c & 0x40) {
                    if (at >= end) return false;
                    value = p[at++];
                }
                for (int i = 0; i < 33 - (c & 0x1F); ++i)
                    if (!put(value)) return false;
                if (!(c & 0x20)) {
                    if (at >= end || !put(p[at++])) return false;
                }
            }
        }
        if (pos % lineBytes) pos += lineBytes - pos % lineBytes;  // rest of the line white
    }
    return true;
}

TEST(TestImage, ThePacketCarriesItsHeaderAndArrivesInFullTransfers) {
    sim::Config c;
    c.modelLetter = 'W';
    sim::Board b(c);
    b.injectNext(sim::Injection::TestImage);
    const sim::Transfers t = ask(b, board::Status);
    ASSERT_GT(t.size(), 1u);
    for (size_t i = 0; i + 1 < t.size(); ++i) EXPECT_EQ(t[i].size(), 4096u);
    const std::vector<uint8_t> packet = joined(t);
    const uint32_t length = board::le32(packet.data());
    EXPECT_GT(length, 1020u);
    EXPECT_EQ(packet.size(), 4u + length);
    EXPECT_EQ(packet[5], 'W');
    EXPECT_EQ(packet[6] << 8 | packet[7], sim::Board::kTestLineCount);
    EXPECT_EQ(packet[8] << 8 | packet[9], sim::Board::kTestLineBytes);

    std::vector<uint8_t> picture;
    ASSERT_TRUE(decode(packet.data() + 10, packet.size() - 10, sim::Board::kTestLineCount,
                       sim::Board::kTestLineBytes, &picture));
    EXPECT_EQ(picture, sim::Board::testPicture());
    // The coding pays: the picture is mostly white.
    EXPECT_LT(packet.size(), picture.size() / 4);
}

TEST(TestImage, EveryCodeFormRoundTrips) {
    const uint16_t lines = 6, bytes = 300;
    std::vector<uint8_t> pic(size_t(lines) * bytes, 0);
    auto line = [&](int j) { return pic.data() + size_t(j) * bytes; };
    // 0: all white. 1: a long black run (more than 33), then one lone byte.
    std::fill(line(1), line(1) + 70, 0xFF);
    line(1)[70] = 0x5A;
    // 2: a literal longer than 128 bytes.
    for (int i = 0; i < 200; ++i) line(2)[i] = uint8_t(i * 7 + 1 + (i % 2));
    // 3: white runs between dots, ending with dots in the last byte.
    line(3)[40] = 0x80, line(3)[41] = 0x80, line(3)[299] = 0x01;
    // 4: runs of two, alternating with single bytes.
    for (int i = 0; i + 3 <= 300; i += 3) line(4)[i] = line(4)[i + 1] = 0x33, line(4)[i + 2] = 0x44;
    // 5: a whole line of one value.
    std::fill(line(5), line(5) + bytes, 0xAA);

    const std::vector<uint8_t> coded = sim::encodeTestImage(pic, lines, bytes);
    std::vector<uint8_t> back;
    ASSERT_TRUE(decode(coded.data(), coded.size(), lines, bytes, &back));
    EXPECT_EQ(back, pic);
}

}  // namespace
}  // namespace q47::test
