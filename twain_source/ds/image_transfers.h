// The image side of DS_Entry: image information, palettes and the three transfers of the pending DIB.
//
// The DIB (image_buffer.h) holds the sheet upside down: its first pixel row is the top
// of the sheet, while a bottom-up DIB shows its first row at the bottom. The native
// transfer swaps the rows before handing the DIB over; memory strips go out in the
// DIB's own row order, which TWAIN reads from the top, so they arrive upright; the
// file transfer writes the rows swapped as the native transfer does.
#pragma once

#include <cstdint>
#include <string>

#include "twain/twain.h"
#include "twain_source/ds/answer.h"
#include "twain_source/ds/dsm_link.h"
#include "twain_source/image_buffer.h"

namespace q47::twain_source {

// Memory transfer buffer sizes the source accepts and prefers.
constexpr TW_UINT32 kMinStripBuffer = 8192;
constexpr TW_UINT32 kMaxStripBuffer = 262144;
constexpr TW_UINT32 kPreferredStripBuffer = 65536;
// Pixel data offset of the BMP files: file header, info header, 256 palette entries.
constexpr uint32_t kBmpPixelOffset = 14 + 40 + 256 * 4;

// DAT_IMAGEINFO: the geometry of the last image (zero before the first).
void fillImageInfo(const ImageBuffer& image, TW_FIX32 xResolution, TW_FIX32 yResolution,
                   TW_IMAGEINFO* info);

// DAT_PALETTE8 MSG_GET (defaults false) and MSG_GETDEFAULT (defaults true), for the
// palette choice of the last status (colour).
void fillPalette8(bool colour, bool defaults, TW_PALETTE8* palette);

// DAT_IMAGENATIVEXFER: rows swapped, the handle written to *handle and given away.
Answer transferNative(ImageBuffer& image, TW_HANDLE* handle);

// DAT_IMAGEMEMXFER: the next strip from *nextRow; XFERDONE (and *nextRow 0) with the
// last one. An application's TWMF_HANDLE buffer is locked through memory.
Answer transferStrip(const ImageBuffer& image, uint32_t* nextRow, TW_IMAGEMEMXFER* strip,
                     const DsmLink& memory);

// DAT_IMAGEFILEXFER: the pending DIB as a BMP file at path.
Answer transferFile(const ImageBuffer& image, const std::string& path);

}  // namespace q47::twain_source
