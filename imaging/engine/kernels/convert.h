// Colour conversions between the engine's bit depths (row loops, table look-ups).
#pragma once

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"

namespace q47::ik {

// Grey level of an RGB colour (ITU-R 601 weights in 8-bit fixed point).
inline uint8_t greyOf(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8);
}

// Any depth to 24 bits; empty on cancel.
DibImage convertTo24(const DibImage& src, ProgressSink* progress = nullptr);
// Any depth to 8-bit grey with a grey ramp.
DibImage convertToGrey8(const DibImage& src, ProgressSink* progress = nullptr);
// Any depth to 4-bit grey (16 levels).
DibImage convertToGrey4(const DibImage& src, ProgressSink* progress = nullptr);
// Any depth to 1 bit: grey level >= threshold is white (index 1).
DibImage convertToBinary(const DibImage& src, int threshold, ProgressSink* progress = nullptr);

// One row of any depth expanded to B,G,R bytes (width * 3).
void rowTo24(const DibImage& src, int y, uint8_t* out);
// One row's palette indices, one byte each (1/4/8 bits only).
void rowIndices(const DibImage& src, int y, uint8_t* out);
// Packs one byte per pixel into a 1/4/8-bit row.
void packIndices(const uint8_t* indices, int width, int bitCount, uint8_t* out);

}  // namespace q47::ik
