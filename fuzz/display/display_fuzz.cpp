// Fuzzes the display control's Qt-free part with any caller values: client size, mode,
// scale, origin, centre, frame, layer positions, and a layer DIB taken from the input
// bytes. Nothing may read or write outside its buffers, and every composed pixel must
// be opaque.
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/display_compose.h"
#include "imaging/display_geometry.h"
#include "platform/dib.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <typename T>
    T take() {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace q47::disp;
    Reader r{data, size};
    DispInput in;
    in.clientWidth = r.take<uint8_t>() + 1;
    in.clientHeight = r.take<uint8_t>() + 1;
    in.rulers = r.take<uint8_t>() & 1;
    in.border = r.take<uint8_t>() & 1;
    in.appearance = static_cast<TVIkAppearance>(r.take<uint8_t>() % 3);
    in.mode = static_cast<TVIkDispMode>(r.take<uint8_t>() % 4);
    in.imageWidth = r.take<uint8_t>() % 80 + 1;
    in.imageHeight = r.take<uint8_t>() % 80 + 1;
    in.dispScale = r.take<double>();
    if (!(in.dispScale > 0)) in.dispScale = 1.0;  // the control ignores such values
    in.startX = r.take<int32_t>();
    in.startY = r.take<int32_t>();
    in.centerX = r.take<int32_t>();
    in.centerY = r.take<int32_t>();
    const bool bars = r.take<uint8_t>() & 1;
    const DispGeometry g = ComputeGeometryWithBars(in, bars, 16);

    // The base: a 24-bit picture of the image size.
    std::vector<uint8_t> baseBytes = q47::dib::make(in.imageWidth, in.imageHeight, 24);
    q47::dib::View base;
    if (!q47::dib::parse(baseBytes.data(), baseBytes.size(), &base)) return 0;

    // Up to three layers: a DIB from the rest of the input when it parses, else small
    // generated ones; positions anywhere.
    LayerPixels px[3];
    ComposeLayer layers[3];
    int count = 0;
    const int32_t positions[6] = {r.take<int32_t>(), r.take<int32_t>(), r.take<int32_t>(),
                                  r.take<int32_t>(), r.take<int32_t>(), r.take<int32_t>()};
    const uint8_t key[3] = {r.take<uint8_t>(), r.take<uint8_t>(), r.take<uint8_t>()};
    q47::dib::View fromInput;
    std::vector<uint8_t> generated = q47::dib::make(1 + key[0] % 40, 1 + key[1] % 40, 8, 256);
    for (size_t i = 0; i < generated.size(); ++i)
        generated[i] ^= static_cast<uint8_t>(i * 31 + key[2]);
    std::memcpy(generated.data(), q47::dib::make(1 + key[0] % 40, 1 + key[1] % 40, 8, 256).data(),
                40);
    const bool parsed = q47::dib::parse(r.p, r.n, &fromInput);
    q47::dib::View gen;
    const bool genOk = q47::dib::parse(generated.data(), generated.size(), &gen);
    for (int i = 0; i < 3; ++i) {
        const q47::dib::View* v = (i == 0 && parsed) ? &fromInput : genOk ? &gen : nullptr;
        if (!v || !BuildLayerPixels(*v, i != 2, key[0], key[1], key[2], &px[count])) continue;
        layers[count] = {&px[count], positions[2 * i], positions[2 * i + 1]};
        ++count;
    }

    if (g.drawn) {
        std::vector<uint32_t> out(size_t(g.drawnWidth) * g.drawnHeight);
        BaseSource b;
        b.image = (size & 1) ? &base : nullptr;
        Compose(g, b, layers, count, out.data(), g.drawnWidth);
        for (uint32_t v : out)
            if ((v >> 24) != 0xFF) __builtin_trap();
        for (int x = g.OriginX; x < g.OriginX + g.drawnWidth; ++x) {
            const int X = g.clientToImageX(x);
            if (X < g.ALeft || X > g.ARight || g.clientToImageX(g.imageToClientX(X)) != X)
                __builtin_trap();
        }
    }
    LayerBox boxes[3];
    for (int i = 0; i < count; ++i)
        boxes[i] = {true, layers[i].startX, layers[i].startY, px[i].width, px[i].height};
    (void)HitTestLayers(boxes, count, in.startX, in.startY);
    int sx = in.startX, sy = in.startY;
    ScrollOrigin(static_cast<TVIkScrollDir>(key[0] % 8), in.centerX, in.centerY, &sx, &sy);
    (void)ScrollBarOrigin(static_cast<TScrollCode>(key[1] % 9), sx, in.centerX, in.centerY,
                          in.imageWidth, sy);
    WheelAccumulator w;
    (void)w.feed(in.startX % 100000, key[2] % 10);
    return 0;
}
