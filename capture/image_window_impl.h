// The image window's images and editing state (private to the window's sources).
#pragma once

#include <memory>

#include "capture/composition_geometry.h"
#include "capture/full_screen_window.h"
#include "capture/image_window.h"

namespace q47::capture {

struct TfrmImg::Impl {
    // Owned engine images. The display control never frees what it is given, so every
    // handle it shows is held here.
    IKHANDLE sheet = 0;                 // the displayed (whitened) sheet, VIkDisp1's base
    IKHANDLE merged = 0;                // VIkDisp2's picture
    IKHANDLE captureCopy = 0;           // the photographed screen, unaltered, for re-warps
    IKHANDLE sheetCopy = 0;             // the sheet as composed
    IKHANDLE layers[10] = {};           // images of VIkDisp1's layers 0..9
    IKHANDLE handlePictures[8] = {};    // Image2..Image9
    bool acquisitionOpen = false;
    Point monitorOrigin{}, movedBy{};
    bool laying = false;                // SizeAndPlace sets the sizes itself

    // Composition and editing.
    Quad corners{};
    Handles handles{};
    Point layerStart{};
    Size composed{};                    // the capture layer's size at composition
    int32_t handleW = 14, handleH = 14;
    bool handlesShown = true;
    enum class Drag { None, Move, Handle } drag = Drag::None;
    int dragLayer = 0;
    Point pressOffset{};
    std::unique_ptr<TfrmFull> ownFull;
};

}  // namespace q47::capture
