// Synthetic pictures and small helpers shared by the imaging engine tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/dib_image.h"

namespace q47::ik::testing {

// A 24-bit picture whose pixels differ in every channel: B = x*7+y, G = x*3+y*5, R = x^y.
inline DibImage gradient24(int w, int h) {
    DibImage img = DibImage::create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 7 + y), p[1] = static_cast<uint8_t>(x * 3 + y * 5),
            p[2] = static_cast<uint8_t>(x ^ y);
        }
    return img;
}

// A palette picture of the given depth with a colourful table and a pattern of indices.
inline DibImage pattern(int w, int h, int bits) {
    DibImage img = DibImage::create(w, h, bits);
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i)
        img.palette()[i] = RgbQuad{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                                   static_cast<uint8_t>(i * 5 + 3), 0};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = (x / 3 + y * 2) % n;
            uint8_t* r = img.row(y);
            if (bits == 8) r[x] = static_cast<uint8_t>(v);
            else if (bits == 4) r[x / 2] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
            else r[x / 8] |= static_cast<uint8_t>(v << (7 - x % 8));
        }
    return img;
}

// The colour of pixel (x, y) of any picture as 0xRRGGBB.
inline uint32_t colourAt(const DibImage& img, int x, int y) {
    const uint8_t* r = img.row(y);
    if (img.bitCount() == 24) return (r[3 * x + 2] << 16) | (r[3 * x + 1] << 8) | r[3 * x];
    int i;
    if (img.bitCount() == 8) i = r[x];
    else if (img.bitCount() == 4) i = (x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4;
    else i = (r[x / 8] >> (7 - x % 8)) & 1;
    const RgbQuad& c = img.palette()[i];
    return (c.rgbRed << 16) | (c.rgbGreen << 8) | c.rgbBlue;
}

// A fresh folder under the test temp dir.
inline std::string tempDir(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("q47_imaging_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Output of a shell command (stdout), or empty when it failed to run.
inline std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

inline bool haveImageMagick() { return run("command -v identify >/dev/null 2>&1 && command -v convert >/dev/null 2>&1 && echo yes") == "yes\n"; }

#define REQUIRE_IMAGEMAGICK() \
    if (!::q47::ik::testing::haveImageMagick()) GTEST_SKIP() << "ImageMagick (identify, convert) is not installed"

}  // namespace q47::ik::testing
