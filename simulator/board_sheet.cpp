// The sheet the simulated board scans: loaded from PNG or BMP, or drawn, and turned into
// scan lines (column x of the sheet, bottom to top) of grey levels or 3-3-2 indices.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dib.h"
#include "simulator/board.h"

namespace q47::sim {

namespace {

// Nearest of the PC palette's levels (L8 for red and green, L4 for blue), so that the
// PC's palette shows each colour as close as it can.
struct LevelTables {
    uint8_t r8[256], b4[256];
    LevelTables() {
        const int l8[8] = {0x00, 0x20, 0x40, 0x60, 0x9F, 0xBF, 0xDF, 0xFF};
        const int l4[4] = {0x00, 0x40, 0xBF, 0xFF};
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int i = 1; i < 8; ++i)
                if (std::abs(l8[i] - v) < std::abs(l8[best] - v)) best = i;
            r8[v] = uint8_t(best);
            best = 0;
            for (int i = 1; i < 4; ++i)
                if (std::abs(l4[i] - v) < std::abs(l4[best] - v)) best = i;
            b4[v] = uint8_t(best);
        }
    }
};
const LevelTables& levels() {
    static const LevelTables t;
    return t;
}

bool readPng(const std::string& path, int* w, int* h, std::vector<uint8_t>* rgb,
             std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        if (error) *error = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr)) {
        if (error) *error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    *w = int(image.width);
    *h = int(image.height);
    return true;
}

bool readBmp(const std::string& path, int* w, int* h, std::vector<uint8_t>* rgb,
             std::string* error) {
    std::vector<uint8_t> packed;
    dib::View v;
    if (!dib::readBmpFile(path, &packed, error)) return false;
    if (!dib::parse(packed.data(), packed.size(), &v)) {
        if (error) *error = path + ": not a usable bitmap";
        return false;
    }
    const int bits = v.header->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        if (error) *error = path + ": " + std::to_string(bits) + "-bit bitmaps are not read";
        return false;
    }
    *w = v.width;
    *h = v.height;
    rgb->assign(size_t(v.width) * v.height * 3, 0);
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* src = v.rowFromTop(y);
        uint8_t* dst = rgb->data() + size_t(y) * v.width * 3;
        for (int x = 0; x < v.width; ++x, dst += 3) {
            if (bits >= 24) {
                const uint8_t* p = src + size_t(x) * (bits / 8);
                dst[0] = p[2], dst[1] = p[1], dst[2] = p[0];
                continue;
            }
            size_t index = bits == 8   ? src[x]
                           : bits == 4 ? (src[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F
                                       : (src[x / 8] >> (7 - x % 8)) & 1;
            if (index < v.paletteCount) {
                const dib::RgbQuad& q = v.palette[index];
                dst[0] = q.rgbRed, dst[1] = q.rgbGreen, dst[2] = q.rgbBlue;
            }
        }
    }
    return true;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(uint8_t(s[s.size() - tail.size() + i])) != tail[i]) return false;
    return true;
}

// 5 x 7 glyphs of the letters the default sheet writes; rows top first, bit 4 leftmost.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
};

struct Canvas {
    int w, h;
    std::vector<uint8_t>& rgb;
    void dot(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
        p[0] = r, p[1] = g, p[2] = b;
    }
    void box(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) dot(x, y, r, g, b);
    }
    void disc(int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = -radius; y <= radius; ++y)
            for (int x = -radius; x <= radius; ++x)
                if (x * x + y * y <= radius * radius) dot(cx + x, cy + y, r, g, b);
    }
    // A stroke of the given thickness from (x0, y0) to (x1, y1).
    void stroke(int x0, int y0, int x1, int y1, int thick, uint8_t r, uint8_t g, uint8_t b) {
        int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= steps; ++i) {
            int x = x0 + (steps ? (x1 - x0) * i / steps : 0);
            int y = y0 + (steps ? (y1 - y0) * i / steps : 0);
            box(x - thick / 2, y - thick / 2, x + thick - thick / 2, y + thick - thick / 2, r, g, b);
        }
    }
    void text(int x, int y, int scale, const char* s, uint8_t r, uint8_t g, uint8_t b) {
        for (; *s; ++s, x += 6 * scale) {
            for (const Glyph& gl : kGlyphs) {
                if (gl.c != *s) continue;
                for (int row = 0; row < 7; ++row)
                    for (int col = 0; col < 5; ++col)
                        if (gl.rows[row] & (0x10 >> col))
                            box(x + col * scale, y + row * scale, x + (col + 1) * scale,
                                y + (row + 1) * scale, r, g, b);
            }
        }
    }
};

}  // namespace

// The default sheet, drawn at the board's geometry (W x H sheet pixels): marker-pen
// strokes and text, and four filled red marks 60 pixels across, 2000 apart horizontally
// and 1500 vertically (30, 1000 and 750 in the half-size picture), centred on the
// sheet; on a smaller sheet the spacing shrinks in proportion.
void Board::drawDefaultSheet() {
    sheet_.width = config_.scanLines;
    sheet_.height = config_.linePixels;
    sheet_.rgb.assign(size_t(sheet_.width) * sheet_.height * 3, 0xFF);
    Canvas c{sheet_.width, sheet_.height, sheet_.rgb};
    const int w = c.w, h = c.h;
    const int dx = std::min(2000, w * 2000 / 2100), dy = std::min(1500, h * 1500 / 1600);
    const int left = (w - dx) / 2, top = (h - dy) / 2;
    for (int i = 0; i < 4; ++i) c.disc(left + (i % 2) * dx, top + (i / 2) * dy, 30, 0xF0, 0x10, 0x10);

    c.text(w / 5, h / 5, std::max(1, h / 150), "Q-47 TEST SHEET", 0, 0, 0);
    c.text(w / 5, h / 5 + h / 12, std::max(1, h / 250), "SIMULATED BOARD", 0x10, 0x30, 0xC0);
    const int t = std::max(2, h / 200);
    c.stroke(w / 4, h * 2 / 3, w / 2, h / 2, t, 0, 0, 0);
    c.stroke(w / 2, h / 2, w * 3 / 4, h * 2 / 3, t, 0, 0, 0);
    c.stroke(w * 3 / 10, h * 3 / 4, w * 7 / 10, h * 3 / 4, t, 0x10, 0x30, 0xC0);
    c.stroke(w * 3 / 5, h * 2 / 5, w * 7 / 10, h / 3, t, 0x10, 0x90, 0x20);
    defaultSheet_ = true;
}

bool Board::setSheet(const std::string& path, std::string* error) {
    if (path.empty()) {
        drawDefaultSheet();
    } else {
        Sheet s;
        const bool ok = endsWithNoCase(path, ".bmp") ? readBmp(path, &s.width, &s.height, &s.rgb, error)
                                                     : readPng(path, &s.width, &s.height, &s.rgb, error);
        if (!ok) return false;
        if (s.width <= 0 || s.height <= 0) {
            if (error) *error = path + ": empty picture";
            return false;
        }
        sheet_ = std::move(s);
        defaultSheet_ = false;
    }
    config_.sheetPath = path;
    greyLines_.clear();
    colourLines_.clear();
    return true;
}

void Board::setGeometry(uint16_t scanLines, uint16_t linePixels) {
    config_.scanLines = std::max<uint16_t>(1, scanLines);
    config_.linePixels = std::max<uint16_t>(1, linePixels);
    if (defaultSheet_) drawDefaultSheet();
    greyLines_.clear();
    colourLines_.clear();
}

// Scan line x is sheet column x, its pixels from the sheet's bottom row to its top; a
// sheet of another size is scaled to W x H by nearest pixel.
const std::vector<uint8_t>& Board::scanLines(bool colour) const {
    std::vector<uint8_t>& out = colour ? colourLines_ : greyLines_;
    if (!out.empty()) return out;
    const size_t W = config_.scanLines, H = config_.linePixels;
    out.assign(W * H, 0xFF);
    const LevelTables& lv = levels();
    std::vector<size_t> srcRow(H);  // sheet row of pixel y of every scan line
    for (size_t y = 0; y < H; ++y) srcRow[y] = (H - 1 - y) * sheet_.height / H;
    for (size_t x = 0; x < W; ++x) {
        const size_t sx = x * sheet_.width / W;
        const uint8_t* column = sheet_.rgb.data() + sx * 3;
        uint8_t* line = out.data() + x * H;
        const size_t rowBytes = size_t(sheet_.width) * 3;
        for (size_t y = 0; y < H; ++y) {
            const uint8_t* p = column + srcRow[y] * rowBytes;
            line[y] = colour ? uint8_t(lv.r8[p[0]] << 5 | lv.r8[p[1]] << 2 | lv.b4[p[2]])
                             : uint8_t((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8);
        }
    }
    return out;
}

}  // namespace q47::sim
