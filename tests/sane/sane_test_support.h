// Helpers of the SANE tests: a temporary folder, a simulated board on a socket in it, and
// the frame a board's sheet must give, computed from the scan lines it sent.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "simulator/simulator.h"

namespace q47::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "q47sane-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A small board: narrow sheet, a scan that lasts `polls` status polls.
inline sim::Config smallBoard(int polls = 1) {
    sim::Config c;
    c.modelLetter = 'W';
    c.modelName = "Q-47W";
    c.firmware = "Ver 2.10";
    c.scanLines = 100;
    c.linePixels = 48;
    c.scanPolls = polls;
    return c;
}

// The frame rows, top first, that the board's scan lines (W lines of H pixels) must give:
// column x of row y is pixel H - 1 - y of scan line x; columns past W up to the next
// multiple of 32 are white. Colour expands 3-3-2 indices to RGB.
inline std::vector<uint8_t> expectedFrame(const std::vector<uint8_t>& lines, uint32_t W,
                                          uint32_t H, bool colour) {
    static const uint8_t L8[8] = {0x00, 0x20, 0x40, 0x60, 0x9F, 0xBF, 0xDF, 0xFF};
    static const uint8_t L4[4] = {0x00, 0x40, 0xBF, 0xFF};
    const uint32_t width = (W + 31) / 32 * 32;
    std::vector<uint8_t> out;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t v = x < W ? lines[size_t(x) * H + (H - 1 - y)] : 0xFF;
            if (!colour) {
                out.push_back(v);
            } else {
                out.push_back(L8[(v >> 5) & 7]);
                out.push_back(L8[(v >> 2) & 7]);
                out.push_back(L4[v & 3]);
            }
        }
    return out;
}

}  // namespace q47::test
