// Forward mapping of the screen picture onto a quadrilateral.
#include "capture/warp.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace q47::capture {

namespace {

// trunc(d * k / n) for k = 0, 1, 2, ... without a division per step: the quotient and
// remainder of |d| * k are carried along, the sign applied afterwards (C++ division
// truncates toward zero, so the result for a negative d is the negated one for |d|).
class Stepper {
public:
    Stepper(int64_t d, int64_t n) : neg_(d < 0), step_q_(std::llabs(d) / n), step_r_(std::llabs(d) % n), n_(n) {}
    int64_t value() const { return neg_ ? -q_ : q_; }
    void next() {
        q_ += step_q_;
        r_ += step_r_;
        if (r_ >= n_) ++q_, r_ -= n_;
    }

private:
    bool neg_;
    int64_t step_q_, step_r_, n_;
    int64_t q_ = 0, r_ = 0;
};

}  // namespace

Quad WarpTargetCorners(const Quad& rel, const Box& box, int32_t W, int32_t H) {
    auto scale = [&](Point p) {
        const int32_t x = box.width > 0 ? static_cast<int32_t>(std::lround(static_cast<double>(p.x) * W / box.width)) : 0;
        const int32_t y =
            box.height > 0 ? static_cast<int32_t>(std::lround(static_cast<double>(p.y) * H / box.height)) : 0;
        return Point{2 * x, 2 * y};
    };
    return Quad{scale(rel.topLeft), scale(rel.topRight), scale(rel.bottomRight), scale(rel.bottomLeft)};
}

Size WarpTargetSize(int32_t W, int32_t H) { return Size{2 * W, 2 * H}; }

void WarpForward(const RgbView& src, const Quad& q, const RgbPlane& dst, const WarpStep& step) {
    const int W = src.width, H = src.height;
    if (W <= 0 || H <= 0 || dst.width <= 0 || dst.height <= 0) return;
    const int every = H / 10 + 1;
    const int64_t dw = dst.width, dh = dst.height;
    // lowest[x]: the lowest target row written so far in column x (-1: none yet). Two
    // neighbouring source rows land two target rows apart, each written twice; where the
    // rounding of a slanted row puts them three apart, the row between would stay white,
    // so it takes the colour written below it (a seam of at most two rows is closed).
    std::vector<int64_t> lowest(static_cast<size_t>(dw), -1);
    auto plot = [&](int64_t x, int64_t y, const uint8_t* c) {
        if (x < 0 || x >= dw) return;
        const int64_t below = lowest[static_cast<size_t>(x)];
        const int64_t from = (below >= 0 && y - below - 1 >= 1 && y - below - 1 <= 2) ? below + 1 : y;
        for (int64_t r = std::max<int64_t>(from, 0); r <= y + 1 && r < dh; ++r) {
            uint8_t* d = dst.row(static_cast<int>(r)) + 3 * x;
            d[0] = c[0], d[1] = c[1], d[2] = c[2];
        }
        if (y + 1 > below) lowest[static_cast<size_t>(x)] = y + 1;
    };
    Stepper lx(q.bottomLeft.x - q.topLeft.x, H), ly(q.bottomLeft.y - q.topLeft.y, H);
    Stepper rx(q.bottomRight.x - q.topRight.x, H), ry(q.bottomRight.y - q.topRight.y, H);
    for (int j = 0; j < H; ++j, lx.next(), ly.next(), rx.next(), ry.next()) {
        const int64_t Lx = q.topLeft.x + lx.value(), Ly = q.topLeft.y + ly.value();
        const int64_t Rx = q.topRight.x + rx.value(), Ry = q.topRight.y + ry.value();
        const uint8_t* s = src.row(j);
        Stepper px(Rx - Lx, W), py(Ry - Ly, W);
        int64_t prevX = 0, prevY = 0;
        for (int k = 0; k < W; ++k, px.next(), py.next()) {
            const int64_t x = Lx + px.value(), y = Ly + py.value();
            // A step of more than one column: the previous colour also fills the column
            // after the previous pixel, at the previous pixel's two rows.
            if (k > 0 && x - prevX > 1) plot(prevX + 1, prevY, s + 3 * (k - 1));
            plot(x, y, s + 3 * k);
            prevX = x, prevY = y;
        }
        if (step && (j + 1) % every == 0) step();
    }
}

}  // namespace q47::capture
