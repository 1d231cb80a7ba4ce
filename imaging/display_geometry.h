// Display geometry: where the display control (TVIkDisp) draws an image in each display
// mode, how client points and image pixels convert, which layer a point hits, and the
// scroll and wheel arithmetic. Plain C++ without Qt, so every rule is tested headless.
#pragma once

#include <cstdint>
#include <optional>

enum TVIkDispMode { vikClear = 0, vikScale, vikStretch, vikActualSize };
enum TVIkAppearance { vikFlat = 0, vikLowered, vikRaised };
enum TVIkUnit { vikNone = 0, vikPixel, vikmm, vikInch };
enum TVIkMouseWheel { vikDisable = 0, vikVertical, vikHorizontal };
enum TVIkScrollDir {
    vikScrollUp = 0,
    vikScrollDown,
    vikScrollLeft,
    vikScrollRight,
    vikScrollUpLeft,
    vikScrollUpRight,
    vikScrollDownLeft,
    vikScrollDownRight
};
enum TVIkBlinkSpeed { vikSlow = 0, vikMedium, vikFast };
// The scroll-bar requests a bar or the wheel sends (the window system's codes, in order).
enum TScrollCode {
    scLineUp = 0,
    scLineDown,
    scPageUp,
    scPageDown,
    scPosition,
    scTrack,
    scTop,
    scBottom,
    scEndScroll
};

namespace q47::disp {

// Width of the ruler band at the top and left when rulers are on.
constexpr int kRulerBand = 20;

// What the geometry depends on: the client size (scroll bars already taken off by the
// caller that shows them), the frame, the mode and the image.
struct DispInput {
    int clientWidth = 0, clientHeight = 0;
    bool rulers = false;
    bool border = false;
    TVIkAppearance appearance = vikFlat;
    TVIkDispMode mode = vikClear;
    int imageWidth = 0, imageHeight = 0;
    double dispScale = 1.0;
    int startX = 0, startY = 0;
    int centerX = 0, centerY = 0;  // > 0: centre the view on this image point
};

struct ScrollBarState {
    bool visible = false;
    int max = 0;   // range 0..max (image width or height - 1)
    int page = 0;  // visible image pixels
    int pos = 0;   // view origin
};

// Where the image lands. Client coordinates are the widget's pixels; image coordinates
// are the image's pixels. Screen pixel (OriginX + r, OriginY + s) inside the drawn
// rectangle shows image pixel (left + r * W / fullWidth, top + s * H / fullHeight) in
// integer arithmetic, so drawing, clicks and conversions agree on every pixel.
struct DispGeometry {
    bool drawn = false;  // false: the area is too small (or no image): nothing is drawn
    // The image area inside border and rulers, inclusive.
    int areaLeft = 0, areaTop = 0, areaRight = -1, areaBottom = -1;
    int OriginX = 0, OriginY = 0;         // client position of the drawn image's top-left
    int drawnWidth = 0, drawnHeight = 0;  // drawn rectangle on screen (clipped to the area)
    int fullWidth = 0, fullHeight = 0;    // the whole image at this scale
    int imageWidth = 0, imageHeight = 0;
    int ALeft = 0, ATop = 0, ARight = -1, ABottom = -1;  // visible image pixels, inclusive
    int visibleWidth = 0, visibleHeight = 0;             // image pixels the area holds
    ScrollBarState hbar, vbar;                           // meaningful in vikActualSize only

    int areaWidth() const { return areaRight - areaLeft + 1; }
    int areaHeight() const { return areaBottom - areaTop + 1; }
    double ScaleWidth() const { return imageWidth > 0 ? double(fullWidth) / imageWidth : 1.0; }
    double ScaleHeight() const { return imageHeight > 0 ? double(fullHeight) / imageHeight : 1.0; }
    // True when the client point lies on the drawn image (edges included).
    bool contains(int x, int y) const {
        return drawn && x >= OriginX && y >= OriginY && x < OriginX + drawnWidth &&
               y < OriginY + drawnHeight;
    }
    // Image pixel shown at a client point (meaningful where contains() holds).
    int clientToImageX(int x) const;
    int clientToImageY(int y) const;
    // The first client pixel that shows an image pixel (may lie outside the area when
    // that pixel is scrolled out of view).
    int imageToClientX(int X) const;
    int imageToClientY(int Y) const;
};

// The image area of a client rectangle: inclusive right and bottom, the ruler band, the
// border inset (1 flat, 2 otherwise).
void ComputeArea(const DispInput& in, DispGeometry* g);
// The whole geometry for one drawing; `drawn` is false for vikClear, no image, or an area
// under 2 pixels in either direction.
DispGeometry ComputeGeometry(const DispInput& in);
// Scroll bars in vikActualSize: a bar shows when the image at this scale is larger than
// the area; each shown bar takes `barThickness` client pixels, which may call for the
// other bar. Answers the geometry on the remaining client area with both bars' states.
DispGeometry ComputeGeometryWithBars(DispInput in, bool scrollBar, int barThickness);

// Zoom onto an image rectangle: the centre and scale to draw with, or nothing when the
// rectangle is refused (outside the image or empty).
struct ZoomTarget {
    int centerX, centerY;
    double scale;
};
std::optional<ZoomTarget> ComputeZoom(int imageWidth, int imageHeight, int areaWidth,
                                      int areaHeight, int left, int top, int right, int bottom);

// The view origin after ScrollImage(direction); clamping happens in the next geometry.
void ScrollOrigin(TVIkScrollDir dir, int scrollWidth, int scrollHeight, int* startX, int* startY);
// The view origin along one bar after a scroll-bar request: lines by `step`, pages by
// `page`, thumb to `thumb`, top and bottom to 0 and `max`.
int ScrollBarOrigin(TScrollCode code, int origin, int step, int page, int max, int thumb);

// A layer as the hit test sees it: its corner in image pixels and its size.
struct LayerBox {
    bool active = false;  // shown and holding an image
    int startX = 0, startY = 0, width = 0, height = 0;
};
struct LayerHit {
    int index;
    int x, y;  // the point relative to the layer's corner
};
// The topmost active layer whose rectangle [startX, startX + width] x [startY, startY +
// height] (edges included) holds the image point.
std::optional<LayerHit> HitTestLayers(const LayerBox* layers, int count, int X, int Y);

// Wheel deltas add up until a whole step (120 / wheel lines) is reached.
class WheelAccumulator {
public:
    // Adds a delta; answers the whole steps it completes (positive = up), 0 when the
    // wheel-lines setting is 0 (no wheel handling).
    int feed(int delta, int wheelLines);
    int pending() const { return accumulated_; }

private:
    int accumulated_ = 0;
};

}  // namespace q47::disp
