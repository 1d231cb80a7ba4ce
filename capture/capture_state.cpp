// The shared capture state and the save-folder rules.
#include "capture/capture_state.h"

#include <filesystem>

namespace q47::capture {

CaptureState& TheCaptureState() {
    static CaptureState state;
    return state;
}

std::string FolderOf(const std::string& fileName) {
    std::string folder = std::filesystem::path(fileName).parent_path().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool UpdateSaveFolder(CaptureState& state, const std::string& fileName) {
    const std::string folder = FolderOf(fileName);
    // The record holds 255 characters and a terminating zero; a longer folder would be
    // cut to a path that does not exist, so the old one stays.
    if (folder.empty() || folder.size() > 255 || folder == state.saveFolder) return false;
    state.saveFolder = folder;
    return true;
}

std::string SaveExtensionsFor(int lastSaveType) {
    return lastSaveType == kSaveJpeg ? "*;JPG;PNG;" : "*;PNG;JPG;";
}

}  // namespace q47::capture
