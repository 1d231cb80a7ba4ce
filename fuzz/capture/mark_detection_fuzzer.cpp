// libFuzzer target for position detection: random pictures (raw pixels, or marks drawn on
// a sheet large enough for the corner search) in every colour, upright or bottom-up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/mark_detection.h"

using namespace q47::capture;

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    int word() {
        const int low = byte();
        return low | (byte() << 8);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const int colour = in.byte() % 6;  // 5 is no colour at all: must be refused
    const uint8_t mode = in.byte();
    const bool drawn = mode & 1, bottomUp = mode & 2;
    int w, h;
    if (drawn) {
        w = 1 + in.word() % 1000;
        h = 1 + in.word() % 800;
    } else {
        w = 1 + in.word() % 256;
        h = 1 + in.word() % 256;
    }
    // Exactly the picture's bytes, so any read outside them is caught.
    const size_t stride = static_cast<size_t>(w) * 3;
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(h), 255);
    if (drawn) {
        // Rectangles: x, y, width, height, colour index.
        const uint8_t palette[5][3] = {{40, 30, 230}, {30, 220, 20}, {230, 40, 30}, {20, 20, 20}, {250, 250, 250}};
        while (in.n >= 7) {
            const int x = in.word() % w, y = in.word() % h, rw = 1 + in.byte() % 60, rh = 1 + in.byte() % 60;
            const uint8_t* c = palette[in.byte() % 5];
            for (int j = y; j < y + rh && j < h; ++j)
                for (int i = x; i < x + rw && i < w; ++i) std::memcpy(&pixels[j * stride + 3 * i], c, 3);
        }
    } else {
        for (size_t i = 0; i < pixels.size() && in.n; ++i) pixels[i] = in.byte();
    }
    const RgbView view = bottomUp ? RgbView{pixels.data() + stride * (h - 1), -static_cast<ptrdiff_t>(stride), w, h}
                                  : RgbView{pixels.data(), static_cast<ptrdiff_t>(stride), w, h};
    MarkDetection record;
    const int result = DetectMarks(view, colour, record);
    if (colour == 5 && result != -1) __builtin_trap();
    if (result == -1 && record.found()) __builtin_trap();
    for (int32_t v : record.MarkCorners)
        if (v < -w - h || v > 2 * (w + h)) __builtin_trap();  // corners stay near the picture

    // The row-sparse cleaning and run filtering DetectMarks uses must give what the
    // whole-plane steps give.
    if (!drawn && colour <= MarkBlack) {
        const size_t n = static_cast<size_t>(w) * h;
        std::vector<uint8_t> want(n), got(n), h1(n), v1(n), h2(n), v2(n), rowAny(h);
        mark_steps::BuildMask(view, colour, want.data());
        mark_steps::BuildMask(view, colour, got.data(), rowAny.data());
        if (got != want) __builtin_trap();
        if (colour == MarkNone) mark_steps::CleanPlain(want.data(), w, h, h1.data(), v1.data());
        else mark_steps::CleanColour(want.data(), w, h, h1.data(), v1.data());
        mark_steps::CleanRows(got.data(), w, h, colour, h2.data(), v2.data(), rowAny.data());
        if (got != want) __builtin_trap();
        mark_steps::FilterRuns(want.data(), w, h);
        mark_steps::FilterRuns(got.data(), w, h, rowAny.data());
        if (got != want) __builtin_trap();
    }
    return 0;
}
