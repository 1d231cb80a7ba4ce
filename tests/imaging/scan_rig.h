// A world for scans through the real chain: a temporary folder, the board simulator on a
// socket in it, the data source found through TWAIN_DS_DIR, and the sheet it should give.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "platform/dib.h"
#include "simulator/simulator.h"
#include "twain_source/image_buffer.h"

namespace scanrig {

constexpr int kScanLines = 4096;  // the sheet's width after the source turns it upright
constexpr int kLinePixels = 600;  // its height

inline q47::sim::Config boardConfig() {
    q47::sim::Config config;
    config.scanLines = kScanLines;
    config.linePixels = kLinePixels;
    config.colourLamp = true;
    config.scanMs = 200;
    return config;
}

// The sheet as RGB rows from the top, after the board's 3-3-2 colour quantisation.
inline std::vector<uint8_t> expectedSheet() {
    const std::vector<uint8_t> lines = q47::sim::Board(boardConfig()).imageData(true);
    uint8_t palette[1024];
    q47::twain_source::fillPalette(palette, true);
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(kScanLines) * kLinePixels * 3);
    for (int t = 0; t < kLinePixels; ++t)
        for (int x = 0; x < kScanLines; ++x) {
            // Scan line x is column x of the sheet, read from its bottom to its top.
            const uint8_t* q = palette + 4 * lines[size_t(x) * kLinePixels + (kLinePixels - 1 - t)];
            rgb.insert(rgb.end(), {q[2], q[1], q[0]});
        }
    return rgb;
}

// An engine image as RGB rows from the top (any depth q47::dib reads); empty on failure.
inline std::vector<uint8_t> imageRgb(uint32_t handle, int* width = nullptr, int* height = nullptr) {
    uint32_t size = 0;
    const auto* bytes = static_cast<const uint8_t*>(Ikdllprocs::IKLockImage(handle, &size));
    if (!bytes) return {};
    std::vector<uint8_t> rgb;
    q47::dib::View v;
    if (q47::dib::parse(bytes, size, &v) && (v.header->biBitCount == 8 || v.header->biBitCount == 24)) {
        if (width) *width = v.width;
        if (height) *height = v.height;
        for (int y = 0; y < v.height; ++y) {
            const uint8_t* row = v.rowFromTop(y);
            for (int x = 0; x < v.width; ++x) {
                if (v.header->biBitCount == 8) {
                    const q47::dib::RgbQuad& q = v.palette[row[x]];
                    rgb.insert(rgb.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
                } else {
                    rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
                }
            }
        }
    }
    Ikdllprocs::IKUnlockImage(handle);
    return rgb;
}

// The temporary world; the environment is set before the source is first loaded.
class World {
public:
    World() {
        std::string pattern = (std::filesystem::temp_directory_path() / "q47scan-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        std::filesystem::create_directories(dir + "/home");
        std::filesystem::create_directories(dir + "/runtime");
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir + "/board.sock").c_str(), 1);
        setenv("Q47_HOME", (dir + "/home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
        board = std::make_unique<q47::sim::Simulator>(boardConfig());
        std::string error;
        if (!board->listen(dir + "/board.sock", &error)) throw std::runtime_error(error);
    }
    ~World() {
        board.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::unique_ptr<q47::sim::Simulator> board;
};

}  // namespace scanrig
