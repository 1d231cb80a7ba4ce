// Settings, program, module, language and data folders.
#include "platform/paths.h"

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#ifndef Q47_DATA_DIR
#define Q47_DATA_DIR "/usr/local/share/q47"
#endif

namespace q47::paths {

namespace fs = std::filesystem;

namespace {

// An environment variable, or "" when unset.
std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

fs::path homeFolder() {
    std::string home = env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return fs::temp_directory_path();
}

fs::path configHome() {
    // A relative $XDG_CONFIG_HOME is invalid and is ignored, as the XDG rules say.
    const fs::path xdg = env("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.is_absolute()) return xdg;
    return homeFolder() / ".config";
}

}  // namespace

fs::path settingsFolder(const fs::path& programDir, const std::string& iniName) {
    fs::path folder;
    std::error_code ec;
    if (const std::string home = env("Q47_HOME"); !home.empty())
        folder = home;
    else if (!programDir.empty() && !iniName.empty() &&
             fs::is_regular_file(programDir / iniName, ec))
        folder = programDir;
    else
        folder = configHome() / "q47";
    // A folder that cannot be made shows later as an unwritable settings file, which
    // the programs treat as "use the defaults".
    fs::create_directories(folder, ec);
    return folder;
}

fs::path programFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec);
    return exe.parent_path();
}

fs::path moduleFolder(const void* anchor) {
    Dl_info info{};
    link_map* map = nullptr;
    // The main program's link map has an empty name (dladdr would give argv[0],
    // which may be a bare or relative name): that case is programFolder.
    if (anchor && dladdr1(anchor, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) != 0 &&
        map && map->l_name && map->l_name[0] != '\0') {
        std::error_code ec;
        const fs::path file = fs::canonical(map->l_name, ec);
        if (!ec) return file.parent_path();
    }
    return programFolder();
}

fs::path languageFolder(const fs::path& settings, const std::string& code) {
    std::error_code ec;
    const fs::path local = settings / "Loc" / code;
    if (fs::is_directory(local, ec)) return local;
    return dataFolder() / "Loc" / code;
}

fs::path dataFolder() {
    if (std::string dir = env("Q47_DATA_DIR"); !dir.empty()) return dir;
    return Q47_DATA_DIR;
}

}  // namespace q47::paths
