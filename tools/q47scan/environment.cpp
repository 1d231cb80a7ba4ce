// What q47scan finds around it: the folder sources are looked for in, a display.
#include "tools/q47scan/environment.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace q47::scan {

namespace {

namespace fs = std::filesystem;

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

std::string sourceFolder() {
    const char* dir = std::getenv("TWAIN_DS_DIR");
    return dir && *dir ? dir : "/usr/local/lib/twain";
}

std::string useBuildTreeSources() {
    if (isSet("TWAIN_DS_DIR")) return "";
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.parent_path().filename() != "bin") return "";
    const fs::path build = exe.parent_path().parent_path();
    // CMake's cache marks a build tree; an installed q47scan has none beside it.
    const fs::path sources = build / "lib" / "twain";
    if (!fs::exists(build / "CMakeCache.txt", ec) || !fs::is_directory(sources, ec)) return "";
    setenv("TWAIN_DS_DIR", sources.c_str(), 1);
    return sources.string();
}

bool displayReachable() {
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")) return true;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) return false;
    const std::string_view name(platform);
    return name.rfind("offscreen", 0) != 0 && name.rfind("minimal", 0) != 0;
}

}  // namespace q47::scan
