// Finding TWAIN data sources on disk: *.ds libraries below one folder, asked for their identity.
#include "twain/dsm/source_catalog.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

// Where this build installs data sources (<prefix>/lib/twain): /usr/local/lib/twain by
// default, as the open-source DSM; /usr/lib/twain for Debian packages, which keep out of
// /usr/local.
#ifndef Q47_TWAIN_DS_DIR
#define Q47_TWAIN_DS_DIR "/usr/local/lib/twain"
#endif

namespace q47::twain {

namespace fs = std::filesystem;

std::string sourceFolder() {
    const char* dir = std::getenv("TWAIN_DS_DIR");
    if (dir && *dir) return dir;
    return Q47_TWAIN_DS_DIR;
}

void logNote(const char* format, ...) {
    if (!std::getenv("Q47_TWAIN_LOG")) return;
    std::fputs("q47 twain dsm: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool isAcceptableSource(const TW_IDENTITY& identity) {
    const TW_UINT32 needed = DG_CONTROL | DG_IMAGE;
    if ((identity.SupportedGroups & needed) != needed) return false;
    // Protocol 1.5 up to 1.91 (minor 91), or any 2.x.
    if (identity.ProtocolMajor == 2) return true;
    return identity.ProtocolMajor == 1 && identity.ProtocolMinor >= 5;
}

// Every regular *.ds file below folder; symbolic links (to files or folders) are skipped,
// so one library reachable under two names is listed once.
static std::vector<std::string> candidateFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        logNote("cannot read %s: %s", folder.c_str(), ec.message().c_str());
        return files;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        std::error_code kindError;
        if (entry.is_symlink(kindError)) {
            logNote("skipping symbolic link %s", entry.path().c_str());
            continue;
        }
        if (!entry.is_regular_file(kindError)) continue;
        if (entry.path().extension() != ".ds") continue;
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Loads one library and asks its identity; false when it is not a source we serve.
static bool identify(const std::string& path, const TW_IDENTITY& app, TW_IDENTITY* out) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        logNote("cannot load %s: %s", path.c_str(), dlerror());
        return false;
    }
    bool accepted = false;
    auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(library, "DS_Entry"));
    if (!entry) {
        logNote("%s has no DS_Entry", path.c_str());
    } else {
        TW_IDENTITY origin = app;  // the source may write to it; it is only a copy
        TW_IDENTITY identity{};
        if (entry(&origin, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity) != TWRC_SUCCESS) {
            logNote("%s refused DAT_IDENTITY MSG_GET", path.c_str());
        } else if (!isAcceptableSource(identity)) {
            logNote("%s is not an image source of protocol 1.5 to 2.x (groups 0x%x, protocol %u.%u)",
                    path.c_str(), identity.SupportedGroups, identity.ProtocolMajor,
                    identity.ProtocolMinor);
        } else {
            identity.Manufacturer[sizeof(TW_STR32) - 1] = '\0';
            identity.ProductFamily[sizeof(TW_STR32) - 1] = '\0';
            identity.ProductName[sizeof(TW_STR32) - 1] = '\0';
            identity.Version.Info[sizeof(TW_STR32) - 1] = '\0';
            *out = identity;
            accepted = true;
        }
    }
    dlclose(library);
    return accepted;
}

std::vector<FoundSource> findSources(const std::string& folder, const TW_IDENTITY& app) {
    std::vector<FoundSource> sources;
    for (const std::string& path : candidateFiles(folder)) {
        FoundSource found;
        found.path = path;
        if (identify(path, app, &found.identity)) {
            found.identity.Id = 0;
            sources.push_back(found);
            logNote("found \"%s\" in %s", found.identity.ProductName, path.c_str());
        }
    }
    return sources;
}

}  // namespace q47::twain
