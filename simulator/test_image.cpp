// The PCB test image the board sends the utility: a one-bit picture in run-length blocks.
#include <algorithm>

#include "board/packet.h"
#include "simulator/board.h"

namespace q47::sim {

namespace {

constexpr uint8_t kTestImageReplyCode = 0x50;
constexpr size_t kMaxRepeat = 33, kMaxLiteral = 128;

// Length of the run of equal bytes starting at i, at most kMaxRepeat.
size_t runAt(const uint8_t* p, size_t i, size_t n) {
    size_t len = 1;
    while (i + len < n && len < kMaxRepeat && p[i + len] == p[i]) ++len;
    return len;
}

// Codes for n bytes of one line: repeat runs of 2..33 equal bytes (white ones without a
// value byte), a repeat followed by one lone byte in the run's trailing-byte form, and
// literal runs of up to 128 bytes for the rest.
void encodeLine(const uint8_t* p, size_t n, std::vector<uint8_t>* out) {
    size_t i = 0;
    while (i < n) {
        size_t run = runAt(p, i, n);
        if (run >= 2) {
            uint8_t c = uint8_t(0x80 | (kMaxRepeat - run));
            if (p[i] != 0) c |= 0x40;
            // A single byte after the run that does not start a run of its own rides
            // along as the trailing byte.
            const size_t after = i + run;
            const bool trailing = after < n && (after + 1 >= n || runAt(p, after, n) < 2);
            if (!trailing) c |= 0x20;
            out->push_back(c);
            if (p[i] != 0) out->push_back(p[i]);
            if (trailing) out->push_back(p[after]);
            i = after + (trailing ? 1 : 0);
            continue;
        }
        size_t start = i;
        while (i < n && i - start < kMaxLiteral && (i + 1 >= n || runAt(p, i, n) < 2)) ++i;
        out->push_back(uint8_t(i - start - 1));
        out->insert(out->end(), p + start, p + i);
    }
}

}  // namespace

std::vector<uint8_t> encodeTestImage(const std::vector<uint8_t>& lines, uint16_t lineCount,
                                     uint16_t lineBytes) {
    std::vector<uint8_t> out, codes;
    for (size_t line = 0; line < lineCount; ++line) {
        const uint8_t* p = lines.data() + line * lineBytes;
        size_t n = lineBytes;
        while (n > 0 && p[n - 1] == 0) --n;  // the rest of a block's line is white anyway
        codes.clear();
        if (n == 0)
            codes.push_back(0x80 | 0x20 | 31);  // two white bytes: a block must move on a line
        else
            encodeLine(p, n, &codes);
        out.push_back(uint8_t(codes.size() >> 8));
        out.push_back(uint8_t(codes.size()));
        out.insert(out.end(), codes.begin(), codes.end());
    }
    return out;
}

std::vector<uint8_t> testImagePacket(char modelLetter, const std::vector<uint8_t>& lines,
                                     uint16_t lineCount, uint16_t lineBytes) {
    const std::vector<uint8_t> coded = encodeTestImage(lines, lineCount, lineBytes);
    std::vector<uint8_t> packet(10 + coded.size());
    board::putLe32(packet.data(), uint32_t(6 + coded.size()));
    packet[4] = kTestImageReplyCode;
    packet[5] = uint8_t(modelLetter);
    packet[6] = uint8_t(lineCount >> 8), packet[7] = uint8_t(lineCount);
    packet[8] = uint8_t(lineBytes >> 8), packet[9] = uint8_t(lineBytes);
    std::copy(coded.begin(), coded.end(), packet.begin() + 10);
    return packet;
}

// A frame, a diagonal, a checkerboard patch, bars of growing width and a few lone dots:
// enough variety that every code form appears in the coded stream.
std::vector<uint8_t> Board::testPicture() {
    const size_t lines = kTestLineCount, bytes = kTestLineBytes, dots = bytes * 8;
    std::vector<uint8_t> pic(lines * bytes, 0);
    auto set = [&](size_t j, size_t r) { pic[j * bytes + r / 8] |= uint8_t(0x80 >> (r % 8)); };
    for (size_t j = 0; j < lines; ++j) {
        for (size_t r = 0; r < dots; ++r) {
            const bool frame = j < 4 || j >= lines - 4 || r < 4 || r >= dots - 4;
            const long diag = long(r) - long(j * dots / lines);
            const bool diagonal = diag >= -2 && diag <= 2;
            const bool checker = j >= 200 && j < 600 && r >= 200 && r < 600 && ((j / 16 + r / 16) % 2);
            const bool bar = j >= 1200 && j < 1800 && r >= 900 && r < 900 + (j - 1200) / 2 &&
                             (j / 20) % 2 == 0;
            const bool lone = j % 97 == 5 && r % 131 == 7;
            if (frame || diagonal || checker || bar || lone) set(j, r);
        }
    }
    return pic;
}

}  // namespace q47::sim
