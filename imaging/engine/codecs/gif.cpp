// GIF files through giflib: first frame on its logical screen, interlace, transparency,
// comment, looping-animation flags; 24-bit pictures are quantised to 256 colours.
#include <cstdio>
#include <cstring>

#include <gif_lib.h>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/ik_api.h"
#include "imaging/engine/kernels/convert.h"

namespace q47::ik {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size, pos;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int n) {
    auto* r = static_cast<MemoryReader*>(gif->UserData);
    const size_t take = std::min(static_cast<size_t>(n < 0 ? 0 : n), r->size - r->pos);
    std::memcpy(out, r->data + r->pos, take);
    r->pos += take;
    return static_cast<int>(take);
}

}  // namespace

uint16_t decodeGif(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress) {
    MemoryReader reader{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    if (!gif) return IK_ERR_FILE_FORMAT;
    struct Closer {
        GifFileType* g;
        ~Closer() { int e; DGifCloseFile(g, &e); }
    } closer{gif};
    // Records are read one by one (not slurped) so that a frame's size is checked
    // before anything is allocated for it; frames after the first are only counted.
    DibImage img;
    std::vector<uint8_t> raster;
    std::string comment;
    int frames = 0;
    bool interlaced = false;
    GifRecordType type;
    do {
        if (DGifGetRecordType(gif, &type) != GIF_OK) return IK_ERR_FILE_FORMAT;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK) return IK_ERR_FILE_FORMAT;
            const GifImageDesc& d = gif->Image;
            if (++frames > 1) {
                int codeSize;
                GifByteType* block;
                if (DGifGetCode(gif, &codeSize, &block) != GIF_OK) return IK_ERR_FILE_FORMAT;
                while (block)
                    if (DGifGetCodeNext(gif, &block) != GIF_OK) return IK_ERR_FILE_FORMAT;
                if (!details) break;
                continue;
            }
            const int sw = gif->SWidth > 0 ? gif->SWidth : d.Left + d.Width;
            const int sh = gif->SHeight > 0 ? gif->SHeight : d.Top + d.Height;
            if (d.Width <= 0 || d.Height <= 0 || d.Width > kMaxSide || d.Height > kMaxSide)
                return IK_ERR_FILE_FORMAT;
            img = DibImage::create(sw, sh, 8);
            if (img.empty()) return IK_ERR_FILE_FORMAT;
            const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
            if (map && map->Colors) {
                for (int i = 0; i < map->ColorCount && i < 256; ++i)
                    img.palette()[i] = RgbQuad{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
            } else {
                img.setGreyPalette();
            }
            const auto background = static_cast<uint8_t>(gif->SBackGroundColor);
            for (int y = 0; y < sh; ++y) std::memset(img.row(y), background, static_cast<size_t>(sw));
            interlaced = d.Interlace;
            raster.assign(static_cast<size_t>(d.Width), 0);
            static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
            const int passes = d.Interlace ? 4 : 1;
            int done = 0;
            for (int pass = 0; pass < passes; ++pass)
                for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += d.Interlace ? kStep[pass] : 1) {
                    if (DGifGetLine(gif, raster.data(), d.Width) != GIF_OK) return IK_ERR_FILE_FORMAT;
                    const int ty = d.Top + y;
                    const int x0 = std::max(0, d.Left), x1 = std::min(sw, d.Left + d.Width);
                    if (ty >= 0 && ty < sh && x1 > x0)
                        std::memcpy(img.row(ty) + x0, raster.data() + (x0 - d.Left), static_cast<size_t>(x1 - x0));
                    if (progress && (++done & 31) == 0 && !progress->step(done, d.Height))
                        return IK_ERR_CANCELLED;
                }
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* ext;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return IK_ERR_FILE_FORMAT;
            while (ext) {
                if (code == COMMENT_EXT_FUNC_CODE) comment.append(reinterpret_cast<const char*>(ext + 1), ext[0]);
                if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return IK_ERR_FILE_FORMAT;
            }
        }
    } while (type != TERMINATE_RECORD_TYPE);
    if (frames == 0) return IK_ERR_FILE_FORMAT;
    if (details) {
        details->format = IK_FMT_GIF;
        details->bitCount = 8;
        details->width = img.width();
        details->height = img.height();
        details->pages = frames;
        details->interlaced = interlaced;
        details->comment = comment;
    }
    *out = std::move(img);
    return IK_OK;
}

uint16_t encodeGif(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink* progress) {
    const int w = img.width(), h = img.height();
    if (w > 65535 || h > 65535) return IK_ERR_ARGUMENT;
    // Indices and colour table: palette pictures as they are, 24 bits quantised.
    std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
    std::vector<GifColorType> colours;
    if (img.bitCount() <= 8) {
        for (int y = 0; y < h; ++y) rowIndices(img, y, &indices[static_cast<size_t>(y) * w]);
        for (int i = 0; i < img.paletteCount(); ++i)
            colours.push_back(GifColorType{img.palette()[i].rgbRed, img.palette()[i].rgbGreen, img.palette()[i].rgbBlue});
    } else {
        std::vector<uint8_t> r(indices.size()), g(indices.size()), b(indices.size());
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = img.row(y);
            for (int x = 0; x < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                b[i] = s[3 * x], g[i] = s[3 * x + 1], r[i] = s[3 * x + 2];
            }
        }
        int count = 256;
        colours.resize(256);
        if (GifQuantizeBuffer(static_cast<unsigned>(w), static_cast<unsigned>(h), &count, r.data(), g.data(),
                              b.data(), indices.data(), colours.data()) != GIF_OK)
            return IK_ERR_MEMORY;
    }
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    if (!map) return IK_ERR_MEMORY;
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) {
        GifFreeMapObject(map);
        return IK_ERR_FILE_OPEN;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK;
    if (ok && o.animation) {
        static const uint8_t kLoop[3] = {1, 0, 0};  // loop forever
        ok = EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, kLoop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    int transparentIndex = NO_TRANSPARENT_COLOR;
    if (o.transparent)
        for (size_t i = 0; i < colours.size(); ++i)
            if (colours[i].Red == o.red && colours[i].Green == o.green && colours[i].Blue == o.blue) {
                transparentIndex = static_cast<int>(i);
                break;
            }
    if (ok && (transparentIndex != NO_TRANSPARENT_COLOR || o.animation)) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.DelayTime = o.animation ? std::max(0, o.delay) : 0;
        gcb.TransparentColor = transparentIndex;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
    }
    if (ok && !o.comment.empty()) ok = EGifPutComment(gif, o.comment.c_str()) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, o.interlace, nullptr) == GIF_OK;
    // Interlaced lines go out in the four passes' order.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = o.interlace ? 4 : 1;
    int written = 0;
    for (int pass = 0; pass < passes && ok; ++pass)
        for (int y = o.interlace ? kStart[pass] : 0; y < h && ok; y += o.interlace ? kStep[pass] : 1) {
            ok = EGifPutLine(gif, &indices[static_cast<size_t>(y) * w], w) == GIF_OK;
            if (progress && !progress->step(++written, h)) {
                EGifCloseFile(gif, &error);
                GifFreeMapObject(map);
                return IK_ERR_CANCELLED;
            }
        }
    const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok || !closed) {
        return IK_ERR_FILE_IO;
    }
    return IK_OK;
}

}  // namespace q47::ik
