// Display composition without a display: layer conversion with the transparent colour,
// every base depth, layer order, clipping and the fill colour.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/display_compose.h"

namespace q47::disp {
namespace {

// A packed DIB filled by a colour function, in any depth; palette images get the
// colours c(0..n) as their table and pixel index (x + y) % n.
struct TestDib {
    std::vector<uint8_t> bytes;
    dib::View view;
};

uint32_t rgb(int r, int g, int b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

TestDib make24(int w, int h, uint32_t (*colour)(int x, int y)) {
    TestDib d;
    d.bytes = dib::make(w, h, 24);
    dib::View v;
    dib::parse(d.bytes.data(), d.bytes.size(), &v);
    for (int y = 0; y < h; ++y) {
        auto* row = const_cast<uint8_t*>(v.rowFromTop(y));
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            row[3 * x] = c & 0xFF;
            row[3 * x + 1] = (c >> 8) & 0xFF;
            row[3 * x + 2] = (c >> 16) & 0xFF;
        }
    }
    EXPECT_TRUE(dib::parse(d.bytes.data(), d.bytes.size(), &d.view));
    return d;
}

TestDib makeIndexed(int w, int h, int bits, const std::vector<uint32_t>& table) {
    TestDib d;
    d.bytes = dib::make(w, h, bits, 1 << bits);
    auto* pal = reinterpret_cast<dib::RgbQuad*>(d.bytes.data() + 40);
    for (size_t i = 0; i < table.size(); ++i)
        pal[i] = {uint8_t(table[i] & 0xFF), uint8_t((table[i] >> 8) & 0xFF),
                  uint8_t((table[i] >> 16) & 0xFF), 0};
    dib::View v;
    dib::parse(d.bytes.data(), d.bytes.size(), &v);
    const int n = static_cast<int>(table.size());
    for (int y = 0; y < h; ++y) {
        auto* row = const_cast<uint8_t*>(v.rowFromTop(y));
        for (int x = 0; x < w; ++x) {
            const int idx = (x + y) % n;
            if (bits == 8) row[x] = uint8_t(idx);
            if (bits == 4) row[x >> 1] |= uint8_t(idx << ((x & 1) ? 0 : 4));
            if (bits == 1) row[x >> 3] |= uint8_t(idx << (7 - (x & 7)));
        }
    }
    EXPECT_TRUE(dib::parse(d.bytes.data(), d.bytes.size(), &d.view));
    return d;
}

DispGeometry geometry(int cw, int ch, TVIkDispMode mode, int w, int h) {
    DispInput in;
    in.clientWidth = cw;
    in.clientHeight = ch;
    in.mode = mode;
    in.imageWidth = w;
    in.imageHeight = h;
    return ComputeGeometry(in);
}

std::vector<uint32_t> compose(const DispGeometry& g, const BaseSource& base,
                              std::vector<ComposeLayer> layers) {
    std::vector<uint32_t> out(size_t(g.drawnWidth) * g.drawnHeight, 0xDEADBEEF);
    Compose(g, base, layers.data(), int(layers.size()), out.data(), g.drawnWidth);
    return out;
}

uint32_t gradient(int x, int y) {
    return rgb(x * 7 % 256, y * 5 % 256, (x + y) % 256);
}

TEST(DisplayCompose, BaseOfEveryDepthShowsItsColoursAtOneToOne) {
    const std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    for (int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const std::vector<uint32_t> t(table.begin(), table.begin() + (bits == 1 ? 2 : 5));
        const TestDib d = makeIndexed(13, 5, bits, t);
        const DispGeometry g = geometry(13, 5, vikScale, 13, 5);
        BaseSource base;
        base.image = &d.view;
        const auto out = compose(g, base, {});
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(out[y * 13 + x], 0xFF000000u | t[(x + y) % t.size()]) << x << "," << y;
    }
    const TestDib d = make24(13, 5, gradient);
    BaseSource base;
    base.image = &d.view;
    const auto out = compose(geometry(13, 5, vikScale, 13, 5), base, {});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x) ASSERT_EQ(out[y * 13 + x], gradient(x, y));
}

TEST(DisplayCompose, StretchedPixelsAreTheOnesTheMouseReports) {
    const TestDib d = make24(10, 7, gradient);
    const DispGeometry g = geometry(23, 16, vikStretch, 10, 7);
    BaseSource base;
    base.image = &d.view;
    const auto out = compose(g, base, {});
    for (int y = 0; y < g.drawnHeight; ++y)
        for (int x = 0; x < g.drawnWidth; ++x)
            ASSERT_EQ(out[y * g.drawnWidth + x],
                      gradient(g.clientToImageX(x), g.clientToImageY(y)));
}

TEST(DisplayCompose, LayersInIndexOrderWithTheTransparentColourSeeThrough) {
    const DispGeometry g = geometry(20, 10, vikScale, 20, 10);
    BaseSource base;
    base.fill = rgb(1, 2, 3);
    const TestDib red = make24(6, 4, [](int, int) { return rgb(255, 0, 0); });
    // White except a blue cross: white is the see-through colour.
    const TestDib cross = make24(
        6, 6, [](int x, int y) { return x == 2 || y == 2 ? rgb(0, 0, 255) : rgb(255, 255, 255); });
    LayerPixels l0, l1;
    ASSERT_TRUE(BuildLayerPixels(red.view, false, 0, 0, 0, &l0));
    ASSERT_TRUE(BuildLayerPixels(cross.view, true, 255, 255, 255, &l1));
    EXPECT_FALSE(l0.hasTransparent);
    EXPECT_TRUE(l1.hasTransparent);
    const auto out = compose(g, base, {{&l0, 2, 1}, {&l1, 4, 2}});
    auto at = [&](int x, int y) { return out[y * 20 + x]; };
    EXPECT_EQ(at(0, 0), rgb(1, 2, 3));    // fill
    EXPECT_EQ(at(2, 1), rgb(255, 0, 0));  // layer 0 alone
    EXPECT_EQ(at(4, 2), rgb(255, 0, 0));  // layer 1 white here: layer 0 shows through
    EXPECT_EQ(at(6, 2), rgb(0, 0, 255));  // layer 1's cross over layer 0
    EXPECT_EQ(at(6, 7), rgb(0, 0, 255));  // the cross below layer 0: over the fill
    EXPECT_EQ(at(8, 6), rgb(1, 2, 3));    // layer 1 white, nothing under it but the fill
    EXPECT_EQ(at(9, 3), rgb(1, 2, 3));    // layer 1 white, beside layer 0: the fill

    // The same layers in the other order: the opaque one covers the cross.
    const auto swapped = compose(g, base, {{&l1, 4, 2}, {&l0, 2, 1}});
    EXPECT_EQ(swapped[2 * 20 + 6], rgb(255, 0, 0));
}

TEST(DisplayCompose, TransparencyOffOrAnUnmatchableColourKeepsEveryPixel) {
    const TestDib white = make24(3, 3, [](int, int) { return rgb(255, 255, 255); });
    LayerPixels p;
    ASSERT_TRUE(BuildLayerPixels(white.view, false, 255, 255, 255, &p));
    EXPECT_FALSE(p.hasTransparent);
    ASSERT_TRUE(BuildLayerPixels(white.view, true, 256, 255, 255, &p));
    EXPECT_FALSE(p.hasTransparent);
    ASSERT_TRUE(BuildLayerPixels(white.view, true, 255, 255, 255, &p));
    EXPECT_TRUE(p.hasTransparent);
}

TEST(DisplayCompose, PaletteLayersMatchTheTransparentColourThroughTheirTable) {
    const TestDib d = makeIndexed(8, 1, 8, {0xFFFFFF, 0x00FF00});
    LayerPixels p;
    ASSERT_TRUE(BuildLayerPixels(d.view, true, 255, 255, 255, &p));
    EXPECT_EQ(p.pixels[0] >> 24, 0u);  // index 0, white
    EXPECT_EQ(p.pixels[1], rgb(0, 255, 0));
}

TEST(DisplayCompose, LayerPartlyOutsideTheImageIsClipped) {
    const DispGeometry g = geometry(10, 10, vikScale, 10, 10);
    BaseSource base;
    base.fill = rgb(0, 0, 0);
    const TestDib green = make24(6, 6, [](int x, int y) { return rgb(x * 10, 200, y * 10); });
    LayerPixels l;
    ASSERT_TRUE(BuildLayerPixels(green.view, false, 0, 0, 0, &l));
    // Hanging off the right and bottom, and off the left and top.
    auto out = compose(g, base, {{&l, 7, 8}});
    EXPECT_EQ(out[8 * 10 + 7], rgb(0, 200, 0));
    EXPECT_EQ(out[9 * 10 + 9], rgb(20, 200, 10));
    EXPECT_EQ(out[7 * 10 + 9], rgb(0, 0, 0));
    out = compose(g, base, {{&l, -4, -3}});
    EXPECT_EQ(out[0], rgb(40, 200, 30));
    EXPECT_EQ(out[2 * 10 + 1], rgb(50, 200, 50));
    EXPECT_EQ(out[3 * 10 + 0], rgb(0, 0, 0));
    EXPECT_EQ(out[0 * 10 + 2], rgb(0, 0, 0));
    // Entirely outside: nothing.
    out = compose(g, base, {{&l, 10, 0}, {&l, 0, -6}});
    for (uint32_t px : out) ASSERT_EQ(px, rgb(0, 0, 0));
}

TEST(DisplayCompose, ScrolledViewShowsTheVisiblePartOfBaseAndLayers) {
    DispInput in;
    in.clientWidth = 5;
    in.clientHeight = 4;
    in.mode = vikActualSize;
    in.imageWidth = 40;
    in.imageHeight = 30;
    in.startX = 10;
    in.startY = 20;
    const DispGeometry g = ComputeGeometry(in);
    const TestDib d = make24(40, 30, gradient);
    const TestDib layer = make24(3, 3, [](int, int) { return rgb(9, 9, 9); });
    LayerPixels l;
    ASSERT_TRUE(BuildLayerPixels(layer.view, false, 0, 0, 0, &l));
    BaseSource base;
    base.image = &d.view;
    const auto out = compose(g, base, {{&l, 13, 22}});
    EXPECT_EQ(out[0], gradient(10, 20));
    EXPECT_EQ(out[1 * 5 + 2], gradient(12, 21));
    EXPECT_EQ(out[2 * 5 + 3], rgb(9, 9, 9));
    EXPECT_EQ(out[3 * 5 + 4], rgb(9, 9, 9));
}

TEST(DisplayCompose, ScreenSizedBaseIsTakenPixelForPixel) {
    // A reduced copy (here 4 x 3) stands for a 40 x 30 image drawn at 4 x 3.
    const TestDib copy = make24(4, 3, gradient);
    const DispGeometry g = geometry(4, 3, vikStretch, 40, 30);
    BaseSource base;
    base.image = &copy.view;
    base.screenSized = true;
    const auto out = compose(g, base, {});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) ASSERT_EQ(out[y * 4 + x], gradient(x, y));
}

// The picture pixel by pixel as the rules say: the base pixel the mouse reports there,
// then every layer in order whose own pixel there is not see-through.
std::vector<uint32_t> reference(const DispGeometry& g, const TestDib& base,
                                const std::vector<ComposeLayer>& layers) {
    std::vector<uint32_t> out(size_t(g.drawnWidth) * g.drawnHeight);
    for (int y = 0; y < g.drawnHeight; ++y)
        for (int x = 0; x < g.drawnWidth; ++x) {
            const int X = g.clientToImageX(g.OriginX + x), Y = g.clientToImageY(g.OriginY + y);
            const uint8_t* p = base.view.rowFromTop(Y) + 3 * X;
            uint32_t c = rgb(p[2], p[1], p[0]);
            for (const ComposeLayer& l : layers) {
                const int lx = X - l.startX, ly = Y - l.startY;
                if (lx < 0 || ly < 0 || lx >= l.pixels->width || ly >= l.pixels->height) continue;
                const uint32_t v = l.pixels->pixels[size_t(ly) * l.pixels->width + lx];
                if (v >> 24) c = v;
            }
            out[size_t(y) * g.drawnWidth + x] = c;
        }
    return out;
}

TEST(DisplayCompose, MatchesThePixelByPixelRuleForRandomLayouts) {
    std::mt19937 rnd(47);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rnd); };
    const TestDib base = make24(61, 43, gradient);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        DispInput in;
        in.clientWidth = pick(2, 140);
        in.clientHeight = pick(2, 100);
        in.mode = round % 3 == 0 ? vikScale : round % 3 == 1 ? vikStretch : vikActualSize;
        in.imageWidth = 61;
        in.imageHeight = 43;
        in.dispScale = 0.3 + pick(0, 30) / 10.0;
        in.startX = pick(0, 60);
        in.startY = pick(0, 42);
        const DispGeometry g = ComputeGeometry(in);
        ASSERT_TRUE(g.drawn);
        // Layers: some solid, some with scattered and edge-touching see-through pixels.
        std::vector<TestDib> dibs;
        std::vector<LayerPixels> pixels(4);
        std::vector<ComposeLayer> layers;
        for (int i = 0; i < 4; ++i) {
            const int w = pick(1, 40), h = pick(1, 30), seed = pick(0, 1000);
            dibs.push_back(make24(
                w, h,
                (seed % 2)
                    ? +[](int x,
                          int y) { return (x * 3 + y) % 4 ? rgb(255, 255, 255) : rgb(x, y, 7); }
                    : +[](int x, int y) { return rgb(x, y, 99); }));
            ASSERT_TRUE(BuildLayerPixels(dibs.back().view, true, 255, 255, 255, &pixels[i]));
            layers.push_back({&pixels[i], pick(-20, 60), pick(-20, 42)});
        }
        ASSERT_EQ(compose(g, {&base.view}, layers), reference(g, base, layers));
    }
}

TEST(DisplayCompose, ASolidLayerHidesTheBaseOnlyUnderItself) {
    const TestDib base = make24(30, 10, gradient);
    const TestDib solid = make24(10, 4, [](int, int) { return rgb(7, 7, 7); });
    LayerPixels l;
    ASSERT_TRUE(BuildLayerPixels(solid.view, true, 255, 255, 255, &l));  // no white: solid
    EXPECT_FALSE(l.hasTransparent);
    BaseSource b;
    b.image = &base.view;
    const auto out = compose(geometry(30, 10, vikScale, 30, 10), b, {{&l, 10, 3}});
    EXPECT_EQ(out[4 * 30 + 9], gradient(9, 4));
    EXPECT_EQ(out[4 * 30 + 10], rgb(7, 7, 7));
    EXPECT_EQ(out[4 * 30 + 19], rgb(7, 7, 7));
    EXPECT_EQ(out[4 * 30 + 20], gradient(20, 4));
    EXPECT_EQ(out[2 * 30 + 15], gradient(15, 2));
}

TEST(DisplayCompose, RefusesDepthsItCannotDraw) {
    std::vector<uint8_t> bytes = dib::make(4, 4, 16);
    dib::View v;
    ASSERT_TRUE(dib::parse(bytes.data(), bytes.size(), &v));
    LayerPixels p;
    EXPECT_FALSE(BuildLayerPixels(v, false, 0, 0, 0, &p));
}

}  // namespace
}  // namespace q47::disp
