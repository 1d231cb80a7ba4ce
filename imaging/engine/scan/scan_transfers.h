// The three TWAIN image transfers, each ending in an engine raster image.
#pragma once

#include <string>

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"
#include "imaging/engine/scan/capability_io.h"

namespace q47::ik::scan {

// How a transfer ended: done (image in *out), cancelled (by the source, or by the
// progress callback: `progress` tells which), or failed.
enum class TransferEnd { Done, Cancelled, Failed };

// Native: the source's packed DIB, freed through the manager once copied.
TransferEnd transferNative(const SourceLink& link, const TW_IMAGEINFO& info, DibImage* out,
                           ProgressSink* progress);
// Memory: strips into a DIB of the announced size; uncompressed strips only.
TransferEnd transferMemory(const SourceLink& link, const TW_IMAGEINFO& info, DibImage* out,
                           ProgressSink* progress);
// File: into a BMP file of our own naming in folder (empty: $TMPDIR or /tmp), read back
// and removed. With sourceNaming the source keeps its own file name and format; the
// file is read with the engine's decoders and left where the source put it.
TransferEnd transferFile(const SourceLink& link, const std::string& folder, bool sourceNaming,
                         DibImage* out, ProgressSink* progress);

}  // namespace q47::ik::scan
