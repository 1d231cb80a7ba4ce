// The sheet's picture work on engine images, through the imaging components.
//
// Images are engine handles (IKHANDLE). The functions never free an image they are given
// unless they say so; every image they return belongs to the caller, who frees it with
// IKFreeMemory (or hands it to a TVIkCommon). Failures return 0 or false and, when a
// status pointer is given, the component's ErrorStatus (5 bad argument, 7 no image,
// 8 bit depth, 14 engine entry missing, ...).
#pragma once

#include <cstdint>

#include "capture/composition_geometry.h"
#include "capture/mark_detection.h"
#include "imaging/engine/ik_api.h"

namespace q47::capture {

// The after-scan preparation: takes over `received` (freed in every case), converts a
// copy to 24 bits when it is not 24 bits, and halves it (integer halves, the effect
// component's Resize with flag 1). Returns the prepared sheet or 0.
IKHANDLE PrepareScannedSheet(IKHANDLE received, uint16_t* status = nullptr);

// The sheet whitening of TakeSheetImage, in place on a 24-bit image: a row loop over the
// locked image (WhitenNearWhite). False (image unchanged) for any other depth or a bad
// handle.
bool WhitenSheet(IKHANDLE sheet, uint16_t* status = nullptr);

// Width and height of an engine image (for SheetSizingFor and the default corners).
bool SheetSize(IKHANDLE sheet, int32_t* width, int32_t* height);

// Position detection on an engine image: a sheet that is not 24 bits is converted on a
// copy first (freed again). -1 when the handle is no raster image or conversion fails;
// otherwise as DetectMarks on rows. The record's bit count and image values are copied
// from the image's description.
int DetectMarks(IKHANDLE sheet, int colour, MarkDetection& record);

// The composite as one picture: a 24-bit copy of `sheet` with the sheet laid over
// `capture` (placed at `start`), white see-through. A capture of 0 gives a plain
// 24-bit copy of the sheet. 0 on failure (bad sheet or capture, no memory).
IKHANDLE MergeComposite(IKHANDLE sheet, IKHANDLE capture, Point start, uint16_t* status = nullptr);

// A resized copy (the effect component's Resize); 0 on failure.
IKHANDLE ResizedCopy(IKHANDLE image, int32_t width, int32_t height, uint16_t* status = nullptr);

}  // namespace q47::capture
