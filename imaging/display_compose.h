// Display composition: the picture the display control shows, built row by row from the
// base image (or its fill colour) and the raster layers, in 32-bit words 0xAARRGGBB that
// a QImage of Format_RGB32 takes as they are. Plain C++ without Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/display_geometry.h"
#include "platform/dib.h"

namespace q47::disp {

// A layer converted once, when its image or transparent colour is set: opaque pixels carry
// alpha 0xFF, pixels of the transparent colour alpha 0, and each row lists its runs of
// opaque pixels, so painting copies runs and never looks at a see-through pixel.
struct LayerPixels {
    int width = 0, height = 0;
    bool hasTransparent = false;    // at least one pixel is see-through
    std::vector<uint32_t> pixels;   // rows from the top
    std::vector<int32_t> runs;      // [begin, end) column pairs of opaque pixels
    std::vector<uint32_t> rowRuns;  // row y's runs are pairs rowRuns[y] .. rowRuns[y + 1] - 1
};
// Converts a 1/4/8/24/32-bit DIB; with `transparent` the colour (r, g, b) becomes
// see-through (a colour component above 255 matches nothing). False for any other depth.
bool BuildLayerPixels(const q47::dib::View& dib, bool transparent, int r, int g, int b,
                      LayerPixels* out);

// The base of the picture: an image mapped through the geometry, an already reduced copy
// (one copy pixel per screen pixel, `offsetX/Y` copy pixels scrolled out of view), or the
// fill colour when `image` is null.
struct BaseSource {
    const q47::dib::View* image = nullptr;
    bool screenSized = false;
    int offsetX = 0, offsetY = 0;
    uint32_t fill = 0xFFFFFFFF;
};
struct ComposeLayer {
    const LayerPixels* pixels = nullptr;
    int startX = 0, startY = 0;  // corner in base-image pixels
};

// Composes the drawn rectangle of `g` (g.drawnWidth x g.drawnHeight) into `out`, rows
// `strideWords` apart: the base, then the layers in the order given, each clipped to the
// visible part of the image.
void Compose(const DispGeometry& g, const BaseSource& base, const ComposeLayer* layers,
             int layerCount, uint32_t* out, size_t strideWords);

}  // namespace q47::disp
