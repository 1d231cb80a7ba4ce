// JPEG files through libjpeg(-turbo): rows straight into and out of the DIB (BGR order).
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

struct ErrorManager {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    bool truncated = false;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(e->jump, 1);
}

// Warnings stay quiet; running out of data is remembered, since a cut-off file would
// otherwise decode "successfully" with grey rows at the bottom.
void onMessage(j_common_ptr cinfo, int level) {
    auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && e->mgr.msg_code == JWRN_JPEG_EOF) e->truncated = true;
}

constexpr long kMemoryLimit = 1L << 30;

}  // namespace

uint16_t decodeJpeg(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                    ProgressSink* progress) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    DibImage img;
    std::vector<uint8_t> cmyk;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    err.mgr.emit_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return IK_ERR_FILE_FORMAT;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMemoryLimit;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool inkOnly = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : inkOnly ? JCS_CMYK : JCS_EXT_BGR;
    const int w = static_cast<int>(cinfo.image_width), h = static_cast<int>(cinfo.image_height);
    img = DibImage::create(w, h, grey ? 8 : 24);
    if (img.empty()) {
        jpeg_destroy_decompress(&cinfo);
        return IK_ERR_FILE_FORMAT;
    }
    if (grey) img.setGreyPalette();
    if (cinfo.density_unit == 1) img.setDpi(cinfo.X_density, cinfo.Y_density);
    else if (cinfo.density_unit == 2) img.setDpi(cinfo.X_density * 254 / 100, cinfo.Y_density * 254 / 100);
    jpeg_start_decompress(&cinfo);
    if (inkOnly) cmyk.resize(static_cast<size_t>(w) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = inkOnly ? cmyk.data() : img.row(y);
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (inkOnly) {
            // Adobe writes CMYK inverted; without its marker the values are plain ink.
            uint8_t* d = img.row(y);
            for (int x = 0; x < w; ++x) {
                int c = cmyk[4 * x], m = cmyk[4 * x + 1], ye = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
                if (!cinfo.saw_Adobe_marker) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
                d[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
                d[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
                d[3 * x] = static_cast<uint8_t>(ye * k / 255);
            }
        }
        if (progress && (y & 31) == 31 && !progress->step(y + 1, h)) {
            jpeg_destroy_decompress(&cinfo);
            return IK_ERR_CANCELLED;
        }
        if (err.truncated) break;
    }
    if (err.truncated) {
        jpeg_destroy_decompress(&cinfo);
        return IK_ERR_FILE_FORMAT;
    }
    if (details) {
        details->format = IK_FMT_JPEG;
        details->bitCount = grey ? 8 : 24;
        details->width = w;
        details->height = h;
        details->xDpi = img.xDpi();
        details->yDpi = img.yDpi();
        details->interlaced = cinfo.progressive_mode != 0;
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
            if (m->marker == JPEG_COM) {
                details->comment.assign(reinterpret_cast<const char*>(m->data), m->data_length);
                break;
            }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodeJpeg(const std::string& path, const DibImage& img, const SaveOptions& o,
                    ProgressSink* progress) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return IK_ERR_FILE_OPEN;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    const bool grey = img.bitCount() == 8 && img.isGreyRamp();
    const bool direct = grey || img.bitCount() == 24;
    std::vector<uint8_t> expanded(direct ? 0 : static_cast<size_t>(img.width()) * 3);
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onError;
    err.mgr.emit_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::fclose(f);
        return IK_ERR_FILE_IO;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(img.width());
    cinfo.image_height = static_cast<JDIMENSION>(img.height());
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality < 0 ? 0 : o.quality > 100 ? 100 : o.quality, TRUE);
    if (!grey) {
        const int hs = o.subsampling == 2 ? 1 : 2, vs = o.subsampling == 0 ? 2 : 1;
        cinfo.comp_info[0].h_samp_factor = hs;
        cinfo.comp_info[0].v_samp_factor = vs;
        cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
        cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    if (o.progressive) jpeg_simple_progression(&cinfo);
    if (img.xDpi() > 0 && img.yDpi() > 0 && img.xDpi() <= 65535 && img.yDpi() <= 65535) {
        cinfo.density_unit = 1;
        cinfo.X_density = static_cast<UINT16>(img.xDpi());
        cinfo.Y_density = static_cast<UINT16>(img.yDpi());
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (!o.comment.empty())
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(o.comment.data()),
                          static_cast<unsigned>(std::min<size_t>(o.comment.size(), 65533)));
    const int h = img.height();
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        JSAMPROW rows[16];
        int n = 0;
        if (direct) {
            for (; n < 16 && y + n < h; ++n) rows[n] = const_cast<uint8_t*>(img.row(y + n));
        } else {
            rowTo24(img, y, expanded.data());
            rows[0] = expanded.data();
            n = 1;
        }
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
        if (progress && !progress->step(y + n, h)) {
            jpeg_destroy_compress(&cinfo);
            std::fclose(f);
            return IK_ERR_CANCELLED;
        }
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (std::fclose(f) != 0) {
        return IK_ERR_FILE_IO;
    }
    return IK_OK;
}

}  // namespace q47::ik
