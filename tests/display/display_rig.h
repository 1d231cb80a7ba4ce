// Display control tests: engine images made from pixel functions, and the widget's picture.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/display_widget.h"
#include "platform/dib.h"

namespace q47::test {

inline QRgb rgbOf(TColor c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Engine images the test owns and frees at the end (the control frees none of them).
class EngineImages {
public:
    EngineImages() { InitializeIK(); }
    ~EngineImages() {
        for (IKHANDLE h : handles_) Ikdllprocs::IKFreeMemory(h);
        TerminateIK();
    }
    // A 24-bit image whose pixel (x, y) is colour(x, y) (a QRgb).
    IKHANDLE make24(int w, int h, const std::function<QRgb(int, int)>& colour) {
        std::vector<uint8_t> dib = dib::make(w, h, 24);
        const size_t stride = dib::rowStride(w, 24);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = dib.data() + 40 + stride * size_t(h - 1 - y);
            for (int x = 0; x < w; ++x) {
                const QRgb c = colour(x, y);
                row[3 * x] = uint8_t(qBlue(c));
                row[3 * x + 1] = uint8_t(qGreen(c));
                row[3 * x + 2] = uint8_t(qRed(c));
            }
        }
        return adopt(dib);
    }
    IKHANDLE solid(int w, int h, QRgb c) {
        return make24(w, h, [c](int, int) { return c; });
    }
    // A 1-bit image (index 0 black, 1 white) whose pixel is white where white(x, y).
    IKHANDLE make1(int w, int h, const std::function<bool(int, int)>& white) {
        std::vector<uint8_t> dib = dib::make(w, h, 1, 2);
        auto* pal = reinterpret_cast<dib::RgbQuad*>(dib.data() + 40);
        pal[0] = {0, 0, 0, 0};
        pal[1] = {255, 255, 255, 0};
        const size_t stride = dib::rowStride(w, 1);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = dib.data() + 48 + stride * size_t(h - 1 - y);
            for (int x = 0; x < w; ++x)
                if (white(x, y)) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
        return adopt(dib);
    }
    IKHANDLE adopt(const std::vector<uint8_t>& dib) {
        const IKHANDLE h = Ikdllprocs::IKImportDib(dib.data(), uint32_t(dib.size()));
        EXPECT_NE(h, 0u);
        handles_.push_back(h);
        return h;
    }
    // Frees one image now (as an owner would while the control still shows it).
    void free(IKHANDLE h) {
        Ikdllprocs::IKFreeMemory(h);
        std::erase(handles_, h);
    }

private:
    std::vector<IKHANDLE> handles_;
};

// The control's picture as the screen would get it.
inline QImage picture(TVIkDisp& disp) {
    return disp.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace q47::test
