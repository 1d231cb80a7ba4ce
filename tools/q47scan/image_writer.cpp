// Writing an acquired packed DIB to disk as PNG (libpng) or BMP.
#include "tools/q47scan/image_writer.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/dib.h"
#include "tools/q47scan/output_file.h"

namespace q47::scan {

namespace {

// Fills one RGB row from a 16, 24 or 32-bit DIB row (BGR order, 16-bit as 5-5-5).
void toRgbRow(const uint8_t* src, int width, int bits, uint8_t* dst) {
    for (int x = 0; x < width; ++x, dst += 3) {
        if (bits == 16) {
            unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
            unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            dst[0] = static_cast<uint8_t>((r << 3) | (r >> 2));
            dst[1] = static_cast<uint8_t>((g << 3) | (g >> 2));
            dst[2] = static_cast<uint8_t>((b << 3) | (b >> 2));
        } else {
            const uint8_t* p = src + static_cast<size_t>(x) * (bits / 8);
            dst[0] = p[2];
            dst[1] = p[1];
            dst[2] = p[0];
        }
    }
}

// A resolution within a pixel per metre of a whole number of dots per inch is that dpi:
// the board's bitmap says 7875 for its 200 dpi, a memory transfer 200 dpi, which is 7874.
// Both files then say the same.
png_uint_32 pngPelsPerMeter(int32_t pelsPerMeter) {
    const double dpi = std::round(pelsPerMeter * 0.0254);
    const double exact = dpi / 0.0254;
    if (dpi > 0 && std::fabs(exact - pelsPerMeter) < 1.0)
        return static_cast<png_uint_32>(dib::dpiToPelsPerMeter(static_cast<int>(dpi)));
    return static_cast<png_uint_32>(pelsPerMeter);
}

struct PngFile {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
    }
};

// The libpng part, kept free of C++ objects with destructors because of longjmp.
bool encode(PngFile& out, const dib::View& view, const png_color* palette, int paletteCount,
            uint8_t* rgbRow) {
    if (setjmp(png_jmpbuf(out.png))) return false;
    png_init_io(out.png, out.file);
    const int bits = view.header->biBitCount;
    const bool indexed = bits <= 8;
    png_set_IHDR(out.png, out.info, view.width, view.height, indexed ? bits : 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) png_set_PLTE(out.png, out.info, palette, paletteCount);
    if (view.header->biXPelsPerMeter > 0 && view.header->biYPelsPerMeter > 0)
        png_set_pHYs(out.png, out.info, pngPelsPerMeter(view.header->biXPelsPerMeter),
                     pngPelsPerMeter(view.header->biYPelsPerMeter), PNG_RESOLUTION_METER);
    png_write_info(out.png, out.info);
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* row = view.rowFromTop(y);
        if (indexed) {
            png_write_row(out.png, const_cast<png_bytep>(row));
        } else {
            toRgbRow(row, view.width, bits, rgbRow);
            png_write_row(out.png, rgbRow);
        }
    }
    png_write_end(out.png, out.info);
    return true;
}

}  // namespace

bool writePng(const std::vector<uint8_t>& dibBytes, const std::string& path, std::string* error) {
    dib::View view;
    if (!dib::parse(dibBytes.data(), dibBytes.size(), &view)) {
        *error = "the image is not a valid device-independent bitmap";
        return false;
    }
    const int bits = view.header->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        *error = "cannot write a " + std::to_string(bits) + "-bit image as PNG";
        return false;
    }
    png_color palette[256];
    int paletteCount = 0;
    if (bits <= 8) {
        // An indexed image without a colour table is grey, as a DIB reader would show it.
        paletteCount = view.paletteCount ? static_cast<int>(view.paletteCount) : 1 << bits;
        if (paletteCount > (1 << bits)) paletteCount = 1 << bits;
        for (int i = 0; i < paletteCount; ++i) {
            if (view.paletteCount) {
                palette[i] = {view.palette[i].rgbRed, view.palette[i].rgbGreen,
                              view.palette[i].rgbBlue};
            } else {
                auto grey = static_cast<png_byte>(i * 255 / ((1 << bits) - 1));
                palette[i] = {grey, grey, grey};
            }
        }
    }
    std::vector<uint8_t> rgbRow(static_cast<size_t>(view.width) * 3);
    OutputFile target(path);
    if (!target.open(error)) return false;
    bool ok = false;
    int cause = 0;
    {
        PngFile out;
        out.file = std::fopen(target.writePath().c_str(), "wb");
        if (!out.file) {
            *error = target.writeError(errno, "cannot open the file");
            return false;
        }
        out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (out.png) out.info = png_create_info_struct(out.png);
        errno = 0;
        ok = out.info && encode(out, view, palette, paletteCount, rgbRow.data());
        if (ok && std::fflush(out.file) != 0) ok = false;
        cause = errno;
        if (ok) {
            const bool closed = std::fclose(out.file) == 0;
            out.file = nullptr;
            if (!closed) {
                ok = false;
                cause = errno;
            }
        }
    }
    if (!ok) {
        *error = target.writeError(cause, "the PNG encoder failed");
        return false;
    }
    return target.commit(error);
}

bool writeBmp(const std::vector<uint8_t>& dibBytes, const std::string& path, std::string* error) {
    dib::View view;
    if (!dib::parse(dibBytes.data(), dibBytes.size(), &view)) {
        *error = "the image is not a valid device-independent bitmap";
        return false;
    }
    OutputFile target(path);
    if (!target.open(error)) return false;
    errno = 0;
    if (!dib::writeBmpFile(target.writePath(), dibBytes.data(), dibBytes.size())) {
        *error = target.writeError(errno, "the bitmap could not be written");
        return false;
    }
    return target.commit(error);
}

}  // namespace q47::scan
