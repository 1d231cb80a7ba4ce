// TIFF files through libtiff: pages, the seven compressions, RGB/CMYK, append, one strip.
#include <cstdio>
#include <cstring>
#include <mutex>

#include <tiffio.h>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

struct MemoryFile {
    const uint8_t* data;
    toff_t size, pos;
};

tsize_t memRead(thandle_t h, tdata_t buf, tsize_t n) {
    auto* m = static_cast<MemoryFile*>(h);
    if (m->pos >= m->size) return 0;
    const toff_t take = std::min<toff_t>(static_cast<toff_t>(n), m->size - m->pos);
    std::memcpy(buf, m->data + m->pos, take);
    m->pos += take;
    return static_cast<tsize_t>(take);
}
tsize_t memWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemoryFile*>(h);
    const toff_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    m->pos = base + off;
    return m->pos;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int memMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void memUnmap(thandle_t, tdata_t, toff_t) {}

// libtiff reports through process-wide handlers; the engine reports through statuses.
void silenceLibtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

int dpiOf(TIFF* tif, ttag_t tag) {
    float res = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, tag, &res) || !(res > 0) || res > 100000) return 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) res *= 2.54f;
    return static_cast<int>(res + 0.5f);
}

}  // namespace

uint16_t decodeTiff(const uint8_t* data, size_t size, int page, DibImage* out,
                    FileDetails* details, ProgressSink* progress) {
    silenceLibtiff();
    MemoryFile mf{data, size, 0};
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(kMaxPixelBytes));
    TIFF* tif = TIFFClientOpenExt("memory", "rm", &mf, memRead, memWrite, memSeek, memClose,
                                  memSize, memMap, memUnmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!tif) return IK_ERR_FILE_FORMAT;
    struct Closer {
        TIFF* t;
        ~Closer() { TIFFClose(t); }
    } closer{tif};
    int pages = 1;
    if (details) {
        // Counting walks every directory; loops in a broken file end at a bound.
        pages = 0;
        do { ++pages; } while (pages < 65535 && TIFFReadDirectory(tif));
        if (!TIFFSetDirectory(tif, 0)) return IK_ERR_FILE_FORMAT;
    }
    if (page < 0 || (page > 0 && !TIFFSetDirectory(tif, static_cast<tdir_t>(page)))) return IK_ERR_PAGE;
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bps = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, compression = 1;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        return IK_ERR_FILE_FORMAT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return IK_ERR_FILE_FORMAT;

    const bool indexed = spp == 1 && (bps == 1 || bps == 4 || bps == 8) && !TIFFIsTiled(tif) &&
                         (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
                          photometric == PHOTOMETRIC_PALETTE);
    DibImage img = DibImage::create(static_cast<int>(w), static_cast<int>(h), indexed ? bps : 24);
    if (img.empty()) return IK_ERR_FILE_FORMAT;
    if (indexed) {
        if (static_cast<size_t>(TIFFScanlineSize(tif)) > img.stride()) return IK_ERR_FILE_FORMAT;
        const int n = 1 << bps;
        if (photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *r, *g, *b;
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return IK_ERR_FILE_FORMAT;
            // Some writers store 8-bit values in the 16-bit table.
            bool eight = true;
            for (int i = 0; i < n; ++i) eight = eight && r[i] < 256 && g[i] < 256 && b[i] < 256;
            const int shift = eight ? 0 : 8;
            for (int i = 0; i < n; ++i)
                img.palette()[i] = RgbQuad{static_cast<uint8_t>(b[i] >> shift), static_cast<uint8_t>(g[i] >> shift),
                                           static_cast<uint8_t>(r[i] >> shift), 0};
        } else {
            img.setGreyPalette();
            if (photometric == PHOTOMETRIC_MINISWHITE)
                for (int i = 0; i < n; ++i) {
                    const auto v = static_cast<uint8_t>(255 - i * 255 / (n - 1));
                    img.palette()[i] = RgbQuad{v, v, v, 0};
                }
        }
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, img.row(static_cast<int>(y)), y, 0) < 0) return IK_ERR_FILE_FORMAT;
            if (progress && (y & 31) == 31 && !progress->step(y + 1, h)) return IK_ERR_CANCELLED;
        }
    } else {
        char message[1024];
        if (!TIFFRGBAImageOK(tif, message)) return IK_ERR_FILE_FORMAT;
        std::vector<uint32_t> rgba(static_cast<size_t>(w) * h);
        if (!TIFFReadRGBAImageOriented(tif, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0))
            return IK_ERR_FILE_FORMAT;
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t* d = img.row(static_cast<int>(y));
            const uint32_t* s = &rgba[static_cast<size_t>(y) * w];
            for (uint32_t x = 0; x < w; ++x, d += 3) {
                d[0] = static_cast<uint8_t>(TIFFGetB(s[x]));
                d[1] = static_cast<uint8_t>(TIFFGetG(s[x]));
                d[2] = static_cast<uint8_t>(TIFFGetR(s[x]));
            }
        }
    }
    img.setDpi(dpiOf(tif, TIFFTAG_XRESOLUTION), dpiOf(tif, TIFFTAG_YRESOLUTION));
    if (details) {
        details->format = IK_FMT_TIFF;
        details->bitCount = indexed ? bps : 24;
        details->width = static_cast<int>(w);
        details->height = static_cast<int>(h);
        details->xDpi = img.xDpi();
        details->yDpi = img.yDpi();
        details->pages = pages;
        details->compression = compression;
        const char* text = nullptr;
        if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text) details->comment = text;
    }
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodeTiff(const std::string& path, const DibImage& img, const SaveOptions& o,
                    ProgressSink* progress) {
    silenceLibtiff();
    static const uint16_t kCompression[7] = {COMPRESSION_NONE, COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3,
                                             COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4,
                                             COMPRESSION_PACKBITS, COMPRESSION_LZW};
    if (o.tiffCompression < 0 || o.tiffCompression > 6) return IK_ERR_ARGUMENT;
    const int bits = img.bitCount();
    // The fax codings carry black and white only.
    if (o.tiffCompression >= 1 && o.tiffCompression <= 4 && bits != 1) return IK_ERR_BIT_DEPTH;
    TIFF* tif = TIFFOpen(path.c_str(), o.append ? "a" : "w");
    if (!tif) return IK_ERR_FILE_OPEN;
    const int w = img.width(), h = img.height();
    const bool grey = bits <= 8 && img.isGreyRamp();
    const RgbQuad* p = img.palette();
    const bool whiteIsZero = bits == 1 && p[0].rgbRed == 255 && p[0].rgbGreen == 255 &&
                             p[0].rgbBlue == 255 && p[1].rgbRed == 0 && p[1].rgbGreen == 0 && p[1].rgbBlue == 0;
    const bool cmyk = o.cmyk && !(grey || whiteIsZero);
    const int outBits = bits <= 8 && (grey || whiteIsZero || !cmyk) ? bits : 24;
    const int spp = outBits <= 8 ? 1 : cmyk ? 4 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(h));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(outBits <= 8 ? outBits : 8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(spp));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, kCompression[o.tiffCompression]);
    if (o.tiffCompression == 3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    std::vector<uint16_t> map;
    if (outBits == 24) {
        if (cmyk) {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
            TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
        } else {
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        }
    } else if (whiteIsZero) {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    } else if (grey) {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    } else {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        const int n = 1 << bits;
        map.resize(3 * n);
        for (int i = 0; i < n; ++i)
            map[i] = p[i].rgbRed * 257, map[n + i] = p[i].rgbGreen * 257, map[2 * n + i] = p[i].rgbBlue * 257;
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, o.oneStrip ? static_cast<uint32_t>(h) : TIFFDefaultStripSize(tif, 0));
    if (img.xDpi() > 0 && img.yDpi() > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(img.xDpi()));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(img.yDpi()));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (!o.comment.empty()) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, o.comment.c_str());
    std::vector<uint8_t> line(static_cast<size_t>(w) * 4 + 4), rgb(static_cast<size_t>(w) * 3);
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        if (outBits <= 8) {
            std::memcpy(line.data(), img.row(y), img.stride());
        } else {
            rowTo24(img, y, rgb.data());
            for (int x = 0; x < w; ++x) {
                const int b = rgb[3 * x], g = rgb[3 * x + 1], r = rgb[3 * x + 2];
                if (cmyk) {
                    // The multiplicative model readers use: R = (255 - C)(255 - K) / 255.
                    const int mx = std::max(r, std::max(g, b)), k = 255 - mx;
                    auto ink = [&](int v) { return mx ? static_cast<uint8_t>((mx - v) * 255 / mx) : uint8_t{0}; };
                    line[4 * x] = ink(r), line[4 * x + 1] = ink(g), line[4 * x + 2] = ink(b);
                    line[4 * x + 3] = static_cast<uint8_t>(k);
                } else {
                    line[3 * x] = static_cast<uint8_t>(r), line[3 * x + 1] = static_cast<uint8_t>(g);
                    line[3 * x + 2] = static_cast<uint8_t>(b);
                }
            }
        }
        ok = TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0) >= 0;
        if (ok && progress && (y & 31) == 31 && !progress->step(y + 1, h)) {
            TIFFClose(tif);
            return IK_ERR_CANCELLED;
        }
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    if (!ok) {
        return IK_ERR_FILE_IO;
    }
    return IK_OK;
}

}  // namespace q47::ik
