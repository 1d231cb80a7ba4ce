// Position detection: mask, cleaning, run filtering, candidates and the corner search.
//
// Every pass works on one byte per pixel (0 or 1) in three planes of width * height
// bytes that one run allocates and frees. Row passes skip whole stretches with memchr;
// column passes stream the rows from top to bottom with one small counter per column,
// so the planes are read once, in order, and the counters stay in the first-level cache.
// The mask remembers which rows hold a 1: a sheet is mostly paper, and the cleaning and
// run filtering only visit rows with marks or writing (and the rows a vertical gap
// filling reaches), with the same result as the whole-plane steps below.
#include "capture/mark_detection.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace q47::capture {

namespace {

constexpr int kThreshold = 192;
constexpr int kRunMin = 10, kRunMax = 40;

inline size_t at(int x, int y, int width) {
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

// Column of the next byte equal to value in row[from, end), or end. Short distances (the
// strokes and gaps of handwriting) are looked at directly, long ones with memchr.
inline int nextByte(const uint8_t* row, int from, int end, uint8_t value) {
    const int near = std::min(end, from + 16);
    for (; from < near; ++from)
        if (row[from] == value) return from;
    if (from >= end) return end;
    const void* p = std::memchr(row + from, value, static_cast<size_t>(end - from));
    return p ? static_cast<int>(static_cast<const uint8_t*>(p) - row) : end;
}

}  // namespace

MarkDetection& TheMarkDetection() {
    static MarkDetection record;
    return record;
}

bool MarkDetection::found() const {
    for (int32_t v : MarkCorners)
        if (v != 0) return true;
    return false;
}

namespace mark_steps {

namespace {

// One mask row. Channels equal to the threshold satisfy neither test, so every
// comparison is strict. Bytes are blue, green, red.
template <int Colour>
__attribute__((always_inline)) inline uint8_t maskRow(const uint8_t* p, uint8_t* m, int w) {
    uint8_t any = 0;
    for (int x = 0; x < w; ++x) {
        const uint8_t b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
        uint8_t v;
        if constexpr (Colour == MarkRed) v = (r > kThreshold) & (g < kThreshold) & (b < kThreshold);
        else if constexpr (Colour == MarkGreen) v = (r < kThreshold) & (g > kThreshold) & (b < kThreshold);
        else if constexpr (Colour == MarkBlue) v = (r < kThreshold) & (g < kThreshold) & (b > kThreshold);
        else if constexpr (Colour == MarkBlack) v = (r < kThreshold) & (g < kThreshold) & (b < kThreshold);
        else v = (r < kThreshold) | (g < kThreshold) | (b < kThreshold);
        m[x] = v;
        any |= v;
    }
    return any;
}

template <typename Row>
void maskRows(const RgbView& sheet, uint8_t* mask, uint8_t* rowAny, Row row) {
    for (int y = 0; y < sheet.height; ++y) {
        const uint8_t any = row(sheet.row(y), mask + at(0, y, sheet.width), sheet.width);
        if (rowAny) rowAny[y] = any;
    }
}

#define Q47_MASK_ROWS(colour)                                                                                   \
    maskRows(sheet, mask, rowAny, [](const uint8_t* p, uint8_t* m, int w) { return maskRow<colour>(p, m, w); })

void buildMaskPlain(const RgbView& sheet, int colour, uint8_t* mask, uint8_t* rowAny) {
    switch (colour) {
    case MarkRed: Q47_MASK_ROWS(MarkRed); break;
    case MarkGreen: Q47_MASK_ROWS(MarkGreen); break;
    case MarkBlue: Q47_MASK_ROWS(MarkBlue); break;
    case MarkBlack: Q47_MASK_ROWS(MarkBlack); break;
    default: Q47_MASK_ROWS(MarkNone); break;
    }
}

// The same loops compiled for AVX2, where the three interleaved channels are taken apart
// with byte shuffles; chosen at run time.
__attribute__((target("avx2"))) void buildMaskAvx2(const RgbView& sheet, int colour, uint8_t* mask,
                                                   uint8_t* rowAny) {
    switch (colour) {
    case MarkRed: Q47_MASK_ROWS(MarkRed); break;
    case MarkGreen: Q47_MASK_ROWS(MarkGreen); break;
    case MarkBlue: Q47_MASK_ROWS(MarkBlue); break;
    case MarkBlack: Q47_MASK_ROWS(MarkBlack); break;
    default: Q47_MASK_ROWS(MarkNone); break;
    }
}
#undef Q47_MASK_ROWS

}  // namespace

void BuildMask(const RgbView& sheet, int colour, uint8_t* mask, uint8_t* rowAny) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) buildMaskAvx2(sheet, colour, mask, rowAny);
    else buildMaskPlain(sheet, colour, mask, rowAny);
}

void FillGaps(const uint8_t* mask, int width, int height, int limit, uint8_t* h, uint8_t* v) {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::memcpy(h, mask, n);
    std::memcpy(v, mask, n);

    // Rows. The scan covers columns 0 to width - 2, so the 1-byte that ends a gap must lie
    // in that range: a gap closed only by a 1 in the last column stays open. A gap that
    // begins at column 0 has no 1-byte before it and is never filled.
    const int end = width - 1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* m = mask + at(0, y, width);
        uint8_t* out = h + at(0, y, width);
        int x = 0;
        for (;;) {
            const int zero = nextByte(m, x, end, 0);
            if (zero >= end) break;
            const int one = nextByte(m, zero, end, 1);
            if (one >= end) break;
            if (zero > 0 && one - zero <= limit) std::memset(out + zero, 1, static_cast<size_t>(one - zero));
            x = one;
        }
    }

    // Columns, all rows (a gap may be closed by a 1 in the last row). gap[x] counts the
    // 0-bytes since the last 1 in column x; 255 means "no 1 yet" (a gap from row 0 is
    // never filled) and also stands for any gap longer than the limit.
    std::vector<uint8_t> gap(static_cast<size_t>(width), 255);
    uint8_t* g = gap.data();
    const uint8_t lim = static_cast<uint8_t>(limit);
    for (int y = 0; y < height; ++y) {
        const uint8_t* m = mask + at(0, y, width);
        uint8_t closes = 0;
        for (int x = 0; x < width; ++x) closes |= m[x] & (static_cast<uint8_t>(g[x] - 1) < lim);
        if (closes) {
            for (int x = 0; x < width; ++x) {
                if (m[x] && static_cast<uint8_t>(g[x] - 1) < lim)
                    for (int r = y - g[x]; r < y; ++r) v[at(x, r, width)] = 1;
            }
        }
        for (int x = 0; x < width; ++x)
            g[x] = m[x] ? 0 : static_cast<uint8_t>(g[x] + (g[x] != 255));
    }
}

void CleanColour(uint8_t* mask, int width, int height, uint8_t* h, uint8_t* v) {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    FillGaps(mask, width, height, 45, h, v);
    for (size_t i = 0; i < n; ++i) mask[i] = h[i] & v[i];
    FillGaps(mask, width, height, 5, h, v);
    for (size_t i = 0; i < n; ++i) mask[i] = h[i] | v[i];
}

void CleanPlain(uint8_t* mask, int width, int height, uint8_t* h, uint8_t* v) {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    FillGaps(mask, width, height, 45, h, v);
    // The horizontal plane is walked as one line: a run of 1s that reaches the end of a
    // row goes on in the next row, so clearing goes on there too.
    size_t i = 0;
    while (i < n) {
        const void* p = std::memchr(h + i, 1, n - i);
        if (!p) break;
        i = static_cast<size_t>(static_cast<const uint8_t*>(p) - h);
        bool clearing = false;
        for (; i < n && h[i]; ++i) {
            clearing = clearing || !v[i];
            if (clearing) h[i] = 0;
        }
    }
    for (size_t k = 0; k < n; ++k) mask[k] = h[k] & v[k];
}

namespace {

// Horizontal gap filling of one row, as FillGaps does it: gaps of `from` closed by 1s
// (the closing 1 in columns up to width - 2, never a gap from column 0) are set to 1 in
// `to`.
void fillRow(const uint8_t* from, uint8_t* to, int width, int limit) {
    const int end = width - 1;
    int x = 0;
    for (;;) {
        const int zero = nextByte(from, x, end, 0);
        if (zero >= end) break;
        const int one = nextByte(from, zero, end, 1);
        if (one >= end) break;
        if (zero > 0 && one - zero <= limit) std::memset(to + zero, 1, static_cast<size_t>(one - zero));
        x = one;
    }
}

// Vertical gap filling over the listed rows (ascending) of `from`: a gap of 1 to `limit`
// rows below a 1 and closed by a 1 is set to 1 in `to` at the rows `write` allows (null:
// all); rows that receive a 1 are marked in `filled` (when given). A gap from row 0 has
// no 1 above it and stays.
__attribute__((target_clones("avx2", "default"))) void fillColumns(const uint8_t* from, uint8_t* to, int width, const std::vector<int>& rows, int limit,
                 const uint8_t* write, uint8_t* filled) {
    // last[x]: row of the last 1 in column x; far above the picture while there is none,
    // so that no gap from row 0 ever counts as closed.
    constexpr int32_t kNone = -(1 << 30);
    std::vector<int32_t> lastRows(static_cast<size_t>(width), kNone);
    int32_t* last = lastRows.data();
    const uint32_t lim = static_cast<uint32_t>(limit);
    for (int y : rows) {
        const uint8_t* m = from + at(0, y, width);
        // A 1 closes a gap of 1 to limit rows: y - last - 1 in [1, limit], that is
        // y - last - 2 < limit as an unsigned number. Tested for the whole row at once.
        uint32_t closes = 0;
        for (int x = 0; x < width; ++x) closes |= m[x] & (static_cast<uint32_t>(y - last[x] - 2) < lim);
        if (closes) {
            for (int x = 0; x < width; ++x) {
                if (!m[x] || static_cast<uint32_t>(y - last[x] - 2) >= lim) continue;
                for (int r = last[x] + 1; r < y; ++r) {
                    if (write && !write[r]) continue;
                    to[at(x, r, width)] = 1;
                    if (filled) filled[r] = 1;
                }
            }
        }
        // Branch-free (m is 0 or 1) so the row is updated in vector registers.
        for (int x = 0; x < width; ++x) last[x] += (y - last[x]) & -static_cast<int32_t>(m[x]);
    }
}

std::vector<int> rowsWith(const uint8_t* rowAny, int height) {
    std::vector<int> rows;
    for (int y = 0; y < height; ++y)
        if (rowAny[y]) rows.push_back(y);
    return rows;
}

bool anyOne(const uint8_t* row, int width) { return std::memchr(row, 1, static_cast<size_t>(width)) != nullptr; }

}  // namespace

void CleanRows(uint8_t* mask, int width, int height, int colour, uint8_t* h, uint8_t* v, uint8_t* rowAny) {
    const size_t w = static_cast<size_t>(width);
    // A row without a 1 gets no horizontal filling, so it is 0 after any AND with the
    // horizontal plane: both cleanings' first step only changes rows that hold a 1.
    std::vector<int> rows = rowsWith(rowAny, height);
    for (int y : rows) {
        std::memcpy(h + at(0, y, width), mask + at(0, y, width), w);
        std::memcpy(v + at(0, y, width), mask + at(0, y, width), w);
        fillRow(mask + at(0, y, width), h + at(0, y, width), width, 45);
    }
    fillColumns(mask, v, width, rows, 45, rowAny, nullptr);

    if (colour == MarkNone) {
        // Plain cleaning: the horizontal plane walked as one line; a run of 1s that reaches
        // the end of a row goes on in the next row only when that row is listed too (an
        // unlisted row's horizontal plane is all 0).
        bool clearing = false;
        int previous = -2;
        for (int y : rows) {
            if (y != previous + 1) clearing = false;
            previous = y;
            uint8_t* hr = h + at(0, y, width);
            const uint8_t* vr = v + at(0, y, width);
            uint8_t* m = mask + at(0, y, width);
            int x = 0;
            if (clearing) {
                x = nextByte(hr, 0, width, 0);
                std::fill(hr, hr + x, uint8_t{0});
                clearing = x == width;
            }
            while (x < width) {
                // One run of 1s at a time: from its first pixel without a vertical 1 to
                // its end it is cleared.
                const int start = nextByte(hr, x, width, 1);
                if (start >= width) break;
                const int end = nextByte(hr, start, width, 0);
                const int from = nextByte(vr, start, end, 0);
                std::memset(hr + from, 0, static_cast<size_t>(end - from));
                clearing = from < end && end == width;
                x = end;
            }
            for (int k = 0; k < width; ++k) m[k] = hr[k] & vr[k];
            rowAny[y] = anyOne(m, width);
        }
        return;
    }

    // Colour cleaning, first step: mask := horizontal AND vertical on the listed rows.
    for (int y : rows) {
        uint8_t* m = mask + at(0, y, width);
        const uint8_t *hr = h + at(0, y, width), *vr = v + at(0, y, width);
        for (int k = 0; k < width; ++k) m[k] = hr[k] & vr[k];
        rowAny[y] = anyOne(m, width);
    }
    // Second step: mask := horizontal OR vertical filling of that mask with limit 5. The
    // OR is written into the mask directly, reading a copy of it (in h) so that no filling
    // sees another one; vertical filling may reach rows without a 1, which join the list.
    rows = rowsWith(rowAny, height);
    for (int y : rows) std::memcpy(h + at(0, y, width), mask + at(0, y, width), w);
    for (int y : rows) fillRow(h + at(0, y, width), mask + at(0, y, width), width, 5);
    fillColumns(h, mask, width, rows, 5, nullptr, rowAny);
}

namespace {

// Run lengths fit 16 bits on every sheet shorter than 65536 rows, which halves the work
// of the column pass; taller pictures count in 32 bits.
template <typename Count>
void filterRuns(uint8_t* mask, int width, int height, uint8_t* rowAny) {
    // Column pass. run[x]: length of the run of 1s in column x that reaches the row above.
    // A run is judged at the 0-byte that ends it; clearing "the 0-byte just before it"
    // changes nothing (it is 0 already, or the run starts in row 0 and there is none), so
    // the run's own bytes are cleared. A pixel of the middle band is cleared before its
    // column is looked at, so it ends (and judges) a run coming down from band 1. Runs
    // that reach the last row have no 0-byte after them and stay.
    // Rows without a 1 are skipped, except the first one after a row with 1s, where the
    // runs above end and are judged.
    const int bandRows = height / 5 + 1;
    std::vector<Count> runs(static_cast<size_t>(width), 0);
    Count* run = runs.data();
    bool active = false;  // some run[x] is not 0
    for (int y = 0; y < height; ++y) {
        uint8_t* m = mask + at(0, y, width);
        const bool middle = y / bandRows == 2;
        bool any = !rowAny || rowAny[y];
        if (middle && any) {
            std::memset(m, 0, static_cast<size_t>(width));
            if (rowAny) rowAny[y] = 0;
            any = false;
        }
        if (!any && !active && rowAny) continue;
        uint8_t bad = 0;
        for (int x = 0; x < width; ++x)
            bad |= (m[x] == 0) & (run[x] != 0) & (static_cast<Count>(run[x] - kRunMin) > Count(kRunMax - kRunMin));
        if (bad) {
            for (int x = 0; x < width; ++x) {
                const uint32_t r = run[x];
                if (m[x] == 0 && r != 0 && (r < kRunMin || r > kRunMax))
                    for (int k = y - static_cast<int>(r); k < y; ++k) mask[at(x, k, width)] = 0;
            }
        }
        if (any) {
            for (int x = 0; x < width; ++x)
                run[x] = static_cast<Count>((run[x] + 1) & (Count(0) - static_cast<Count>(m[x] != 0)));
        } else {
            std::fill(run, run + width, Count(0));
        }
        active = any;
    }

    // Row pass: the same over each row's columns; runs reaching the last column stay.
    for (int y = 0; y < height; ++y) {
        if (rowAny && !rowAny[y]) continue;
        uint8_t* m = mask + at(0, y, width);
        int x = 0;
        for (;;) {
            const int one = nextByte(m, x, width, 1);
            if (one >= width) break;
            const int zero = nextByte(m, one, width, 0);
            if (zero >= width) break;
            const int len = zero - one;
            if (len < kRunMin || len > kRunMax) std::memset(m + one, 0, static_cast<size_t>(len));
            x = zero;
        }
    }
}

}  // namespace

void FilterRuns(uint8_t* mask, int width, int height, uint8_t* rowAny) {
    if (height < 65536) filterRuns<uint16_t>(mask, width, height, rowAny);
    else filterRuns<uint32_t>(mask, width, height, rowAny);
}

void CollectCandidates(const uint8_t* mask, int width, int height, MarkDetection& record, const uint8_t* rowAny) {
    MarkCandidate* slots = record.candidates;
    for (int y = 0; y < height; ++y) {
        if (rowAny && !rowAny[y]) continue;
        const uint8_t* m = mask + at(0, y, width);
        int x = 0;
        for (;;) {
            const int one = nextByte(m, x, width, 1);
            if (one >= width) break;
            const int zero = nextByte(m, one, width, 0);
            if (zero >= width) break;  // no 0-byte after it: not bounded, not offered
            x = zero;
            // A run starting in column 0 has no 0-byte before it and is not offered either.
            if (one == 0) continue;
            // The run's span is given by its two bounding 0-bytes; its length counts its
            // 1-bytes.
            const int32_t left = one - 1, right = zero, len = zero - one;
            for (int i = 0; i < MarkDetection::kSlots; ++i) {
                MarkCandidate& s = slots[i];
                if (s.isFree()) {
                    if (len >= kRunMin && len <= kRunMax) s = MarkCandidate{left, right, y, y, len};
                    break;
                }
                // "Inside a span" includes its end columns.
                const bool overlaps = (left >= s.left && left <= s.right) ||
                                      (right >= s.left && right <= s.right) ||
                                      (s.left >= left && s.left <= right);
                if (s.bottom == y - 1 && overlaps) {
                    s.left = std::min(s.left, left);
                    s.right = std::max(s.right, right);
                    s.bottom = y;
                    s.longestRun = std::max(s.longestRun, len);
                    break;
                }
            }
        }
    }
    for (MarkCandidate& s : record.candidates) {
        if (s.isFree()) continue;
        const int32_t height = s.bottom - s.top;
        const bool keep = s.longestRun >= kRunMin && s.longestRun <= kRunMax && height >= kRunMin &&
                          height <= kRunMax && s.longestRun * 100 / height >= 60 &&
                          s.longestRun * 100 / height <= 140;
        if (!keep) s = MarkCandidate{};
    }
}

void ChooseCorners(MarkDetection& record) {
    int32_t* c = record.MarkCorners;
    std::fill(c, c + 8, 0);
    int used[MarkDetection::kSlots];
    int count = 0;
    for (int i = 0; i < MarkDetection::kSlots; ++i)
        if (!record.candidates[i].isFree()) used[count++] = i;

    const MarkCandidate* k = record.candidates;
    int sets = 0;
    long long bestScore = 0;
    int best[4] = {-1, -1, -1, -1};
    // Nested in the order top left, top right, bottom right, bottom left; each pair
    // relation is tested as soon as both of its marks are chosen.
    for (int a = 0; a < count; ++a) {
        const MarkCandidate& tl = k[used[a]];
        for (int b = 0; b < count; ++b) {
            const MarkCandidate& tr = k[used[b]];
            if (!(tr.left - tl.left >= 800 && std::abs(tr.top - tl.top) <= 120)) continue;
            for (int d = 0; d < count; ++d) {
                const MarkCandidate& br = k[used[d]];
                if (!(br.top - tr.top >= 600 && std::abs(br.left - tr.left) <= 160)) continue;
                for (int e = 0; e < count; ++e) {
                    const MarkCandidate& bl = k[used[e]];
                    if (!(br.left - bl.left >= 800 && std::abs(bl.top - br.top) <= 120)) continue;
                    if (!(bl.top - tl.top >= 600 && std::abs(tl.left - bl.left) <= 160)) continue;
                    if (sets == 100) return;  // too many sets to trust any of them
                    ++sets;
                    const long long ratio = static_cast<long long>(bl.top - tl.top) * 100 / (tr.right - tl.left);
                    const int weight = (ratio > 65 && ratio <= 85) ? 10
                                       : ((ratio > 50 && ratio <= 65) || (ratio > 85 && ratio <= 100)) ? 12
                                                                                                      : 20;
                    const long long score =
                        static_cast<long long>(weight) *
                        (std::abs(static_cast<long long>(tl.top) - tr.top) +
                         std::abs(static_cast<long long>(tr.left) - br.left) +
                         std::abs(static_cast<long long>(bl.top) - br.top) +
                         std::abs(static_cast<long long>(tl.left) - bl.left));
                    if (best[0] < 0 || score < bestScore) {
                        bestScore = score;
                        best[0] = used[a], best[1] = used[b], best[2] = used[d], best[3] = used[e];
                    }
                }
            }
        }
    }
    if (best[0] < 0) return;
    const MarkCandidate &tl = k[best[0]], &tr = k[best[1]], &br = k[best[2]], &bl = k[best[3]];
    // The outer corners of the four marks.
    c[XTopLeft] = tl.left, c[YTopLeft] = tl.top;
    c[XTopRight] = tr.right, c[YTopRight] = tr.top;
    c[XBottomRight] = br.right, c[YBottomRight] = br.bottom;
    c[XBottomLeft] = bl.left, c[YBottomLeft] = bl.bottom;

    // Squaring: a shape within 2 % of a rectangle becomes one.
    const int32_t dx = (c[XTopRight] - c[XTopLeft]) * 2 / 100;
    const int32_t dy = (c[YBottomLeft] - c[YTopLeft]) * 2 / 100;
    if (std::abs(c[XTopLeft] - c[XBottomLeft]) < dx && std::abs(c[XTopRight] - c[XBottomRight]) < dx &&
        std::abs(c[YTopLeft] - c[YTopRight]) < dy && std::abs(c[YBottomRight] - c[YBottomLeft]) < dy) {
        c[YTopRight] = c[YTopLeft];
        c[XBottomRight] = c[XTopRight];
        c[YBottomLeft] = c[YBottomRight];
        c[XTopLeft] = c[XBottomLeft];
    }

    // Widening: the marker rings sit 2.2 % inside the picture's top and bottom edges; this
    // moves the corners out to the picture's edges. The order matters: the bottom corners
    // use the top corners already moved.
    auto rnd = [](double v) { return static_cast<int32_t>(std::lround(v)); };
    constexpr double f = 0.022;
    c[XTopLeft] = rnd(c[XTopLeft] - (c[XBottomLeft] - c[XTopLeft]) * f);
    c[YTopLeft] = rnd(c[YTopLeft] - (c[YBottomLeft] - c[YTopLeft]) * f);
    c[XTopRight] = rnd(c[XTopRight] - (c[XBottomRight] - c[XTopRight]) * f);
    c[YTopRight] = rnd(c[YTopRight] - (c[YBottomRight] - c[YTopRight]) * f);
    c[XBottomRight] = rnd(c[XBottomRight] + (c[XBottomRight] - c[XTopRight]) * f);
    c[YBottomRight] = rnd(c[YBottomRight] + (c[YBottomRight] - c[YTopRight]) * f);
    c[XBottomLeft] = rnd(c[XBottomLeft] + (c[XBottomLeft] - c[XTopLeft]) * f);
    c[YBottomLeft] = rnd(c[YBottomLeft] + (c[YBottomLeft] - c[YTopLeft]) * f);
}

}  // namespace mark_steps

int DetectMarks(const RgbView& sheet, int colour, MarkDetection& record) {
    using namespace mark_steps;
    std::fill(std::begin(record.MarkCorners), std::end(record.MarkCorners), 0);
    for (MarkCandidate& s : record.candidates) s = MarkCandidate{};
    record.imageWidth = sheet.width;
    record.imageHeight = sheet.height;
    record.bitCount = 24;
    if (colour < MarkNone || colour > MarkBlack || !sheet.top || sheet.width <= 0 || sheet.height <= 0)
        return -1;
    const size_t n = static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height);
    // The three planes live for this run only and are freed on every path, a failed
    // allocation included. They are not cleared first: the mask is written whole, and the
    // two work planes are read only in rows the cleaning wrote.
    std::unique_ptr<uint8_t[]> mask, h, v;
    std::vector<uint8_t> rowAny;
    try {
        mask.reset(new uint8_t[n]);
        h.reset(new uint8_t[n]);
        v.reset(new uint8_t[n]);
        rowAny.resize(static_cast<size_t>(sheet.height));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const int w = sheet.width, ht = sheet.height;
    BuildMask(sheet, colour, mask.get(), rowAny.data());
    CleanRows(mask.get(), w, ht, colour, h.get(), v.get(), rowAny.data());
    FilterRuns(mask.get(), w, ht, rowAny.data());
    CollectCandidates(mask.get(), w, ht, record, rowAny.data());
    ChooseCorners(record);
    return 0;
}

}  // namespace q47::capture
