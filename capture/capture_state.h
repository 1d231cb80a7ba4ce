// Process-wide state of the capture program that the bar and the image window share.
//
// The bar (TfrmMain) owns it: it sets saveFolder and lastSaveType at start-up, keeps
// screenWidth/screenHeight current on display changes and records its own position
// before a capture. The image window reads and updates saveFolder and lastSaveType when
// the user saves. All on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "capture/file_names.h"

namespace q47::capture {

struct CaptureState {
    // Folder in which the next save dialog starts; at most 255 characters (longer
    // folders are not taken over, see SetSaveFolder).
    std::string saveFolder;
    // Format chosen in the last save dialog, numbered as the file component's SaveType.
    int16_t lastSaveType = kSaveJpeg;
    // The primary display's size (the bar's screenWidth and screenHeight).
    int32_t screenWidth = 1280, screenHeight = 1024;
    // The bar's left and top when the last capture started: the image window opens on
    // the monitor that holds them.
    int32_t barLeft = 0, barTop = 0;
    // True when the current sheet is 1750 pixels wide or wider (set by the image window's
    // sizing and composition; the composite is then saved at 2000 or 1500 by 1000).
    bool largeSheet = false;
};

// The one record of the process.
CaptureState& TheCaptureState();

// The folder of a chosen file name without its trailing separator.
std::string FolderOf(const std::string& fileName);

// The folder update of a confirmed save: the folder of `fileName` replaces saveFolder
// when it differs and fits 255 characters. True when saveFolder changed.
bool UpdateSaveFolder(CaptureState& state, const std::string& fileName);

// The save dialogs' extension list: "*;JPG;PNG;" after a JPEG save, else "*;PNG;JPG;".
std::string SaveExtensionsFor(int lastSaveType);

}  // namespace q47::capture
