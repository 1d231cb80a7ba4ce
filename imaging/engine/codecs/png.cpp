// PNG files through libpng: palette and grey depths kept, colour as BGR rows.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size, pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (n > r->size - r->pos) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}

void quiet(png_structp, png_const_charp) {}
[[noreturn]] void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

}  // namespace

uint16_t decodePng(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, quiet);
    if (!png) return IK_ERR_MEMORY;
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{data, size, 0};
    DibImage img;
    std::vector<png_bytep> rows;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return IK_ERR_FILE_FORMAT;
    }
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);
    const int w = static_cast<int>(png_get_image_width(png, info));
    const int h = static_cast<int>(png_get_image_height(png, info));
    const int type = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (depth == 16) png_set_strip_16(png), depth = 8;
    int bits;
    if (type == PNG_COLOR_TYPE_PALETTE || type == PNG_COLOR_TYPE_GRAY) {
        if (depth == 2) {
            if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
            else png_set_packing(png);
            bits = 8;
        } else {
            bits = depth;
        }
    } else {
        if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA) {
            bits = 8;
        } else {
            png_set_bgr(png);
            bits = 24;
        }
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    img = DibImage::create(w, h, bits);
    if (img.empty() || png_get_rowbytes(png, info) > img.stride())
        png_error(png, "bad size");
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp pal = nullptr;
        int n = 0;
        if (png_get_PLTE(png, info, &pal, &n) && pal)
            for (int i = 0; i < n && i < img.paletteCount(); ++i)
                img.palette()[i] = RgbQuad{pal[i].blue, pal[i].green, pal[i].red, 0};
    } else if (bits <= 8) {
        img.setGreyPalette();
    }
    rows.resize(h);
    for (int y = 0; y < h; ++y) rows[y] = img.row(y);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            png_read_row(png, rows[y], nullptr);
            if (progress && (y & 31) == 31 && !progress->step(static_cast<long>(pass) * h + y + 1,
                                                              static_cast<long>(passes) * h)) {
                png_destroy_read_struct(&png, &info, nullptr);
                return IK_ERR_CANCELLED;
            }
        }
    }
    png_read_end(png, info);
    if (details) {
        details->format = IK_FMT_PNG;
        details->bitCount = bits;
        details->width = w;
        details->height = h;
        details->interlaced = interlaced;
        png_textp text = nullptr;
        int count = 0;
        png_get_text(png, info, &text, &count);
        for (int i = 0; i < count; ++i)
            if (std::strcmp(text[i].key, "Comment") == 0 || details->comment.empty())
                details->comment.assign(text[i].text ? text[i].text : "", text[i].text_length);
    }
    png_uint_32 rx = 0, ry = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER &&
        rx <= 4000000 && ry <= 4000000) {
        img.header().biXPelsPerMeter = static_cast<int32_t>(rx);
        img.header().biYPelsPerMeter = static_cast<int32_t>(ry);
    }
    if (details) details->xDpi = img.xDpi(), details->yDpi = img.yDpi();
    png_destroy_read_struct(&png, &info, nullptr);
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodePng(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink* progress) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return IK_ERR_FILE_OPEN;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, quiet);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const int bits = img.bitCount(), w = img.width(), h = img.height();
    // A grey ramp is written as grey; other colour tables as a palette.
    const bool grey = bits <= 8 && img.isGreyRamp();
    std::vector<png_color> pal;
    std::vector<png_byte> alpha;
    png_text text{};
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        return IK_ERR_FILE_IO;
    }
    png_init_io(png, f);
    const int type = bits == 24 ? PNG_COLOR_TYPE_RGB : grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h),
                 bits == 24 ? 8 : bits, type,
                 o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < img.paletteCount(); ++i) {
            const RgbQuad& c = img.palette()[i];
            pal.push_back(png_color{c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
        png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
    }
    if (o.transparent) {
        if (type == PNG_COLOR_TYPE_PALETTE) {
            alpha.assign(pal.size(), 255);
            int last = -1;
            for (size_t i = 0; i < pal.size(); ++i)
                if (pal[i].red == o.red && pal[i].green == o.green && pal[i].blue == o.blue)
                    alpha[i] = 0, last = static_cast<int>(i);
            if (last >= 0) png_set_tRNS(png, info, alpha.data(), last + 1, nullptr);
        } else if (type == PNG_COLOR_TYPE_GRAY) {
            if (o.red == o.green && o.green == o.blue) {
                png_color_16 c{};
                c.gray = static_cast<png_uint_16>(o.red * ((1 << bits) - 1) / 255);
                png_set_tRNS(png, info, nullptr, 0, &c);
            }
        } else {
            png_color_16 c{};
            c.red = o.red, c.green = o.green, c.blue = o.blue;
            png_set_tRNS(png, info, nullptr, 0, &c);
        }
    }
    if (!o.comment.empty()) {
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>("Comment");
        text.text = const_cast<char*>(o.comment.c_str());
        text.text_length = o.comment.size();
        png_set_text(png, info, &text, 1);
    }
    if (img.header().biXPelsPerMeter > 0 && img.header().biYPelsPerMeter > 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(img.header().biXPelsPerMeter),
                     static_cast<png_uint_32>(img.header().biYPelsPerMeter), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (bits == 24) png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < h; ++y) {
            png_write_row(png, img.row(y));
            if (progress && (y & 31) == 31 &&
                !progress->step(static_cast<long>(pass) * h + y + 1, static_cast<long>(passes) * h)) {
                png_destroy_write_struct(&png, &info);
                std::fclose(f);
                return IK_ERR_CANCELLED;
            }
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        return IK_ERR_FILE_IO;
    }
    return IK_OK;
}

}  // namespace q47::ik
