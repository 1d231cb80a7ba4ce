// Preparing the scanned sheet: the whitening of near-white pixels on 24-bit rows.
// (The steps on engine images, conversion and halving included, are in sheet_image.h.)
#pragma once

#include "capture/rgb_image.h"

namespace q47::capture {

// Channels above this count as paper: a pixel whose three channels all exceed it
// becomes white (255, 255, 255); every other pixel stays as it is.
constexpr int kWhitenAbove = 180;

void WhitenNearWhite(const RgbPlane& rows);

}  // namespace q47::capture
