// Ikinit: finds the engine folder, dlopens the libraries in order, counts users.
#include "imaging/Ikinit.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikutils.h"

namespace {

std::mutex g_mutex;
int g_count = 0;
void* g_handles[Ikdllprocs::LibraryCount] = {};

std::vector<std::string> folders() {
    std::vector<std::string> out;
    if (const char* env = std::getenv("Q47_ENGINE_DIR"); env && *env) out.emplace_back(env);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&InitializeIK), &info) && info.dli_fname) {
        char exe[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        const std::string self = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
        std::error_code ec;
        const auto mine = std::filesystem::weakly_canonical(info.dli_fname, ec);
        if (!self.empty() && mine != std::filesystem::weakly_canonical(self, ec))
            out.push_back(mine.parent_path().string());
    }
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        const std::filesystem::path dir = std::filesystem::path(std::string(exe, static_cast<size_t>(n))).parent_path();
        out.push_back(dir.string());
        out.push_back((dir.parent_path() / "lib").string());
        out.push_back((dir.parent_path() / "lib" / "q47").string());
    }
    return out;
}

void* openLibrary(const std::vector<std::string>& dirs, const char* name) {
    for (const auto& d : dirs) {
        const std::string path = d + "/" + name;
        if (access(path.c_str(), F_OK) != 0) continue;
        if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    }
    return nullptr;
}

}  // namespace

void InitializeIK() {
    std::lock_guard lock(g_mutex);
    if (g_count++ > 0) return;
    const auto dirs = folders();
    for (int lib = 0; lib < Ikdllprocs::LibraryCount; ++lib) {
        if (g_handles[lib]) continue;
        const auto l = static_cast<Ikdllprocs::Library>(lib);
        Ikdllprocs::clearEntries(l);
        g_handles[lib] = openLibrary(dirs, Ikdllprocs::libraryFileName(l));
        Ikdllprocs::resolveEntries(l, g_handles[lib]);
    }
    Ikutils::installHostServices();
}

void TerminateIK() {
    std::lock_guard lock(g_mutex);
    if (g_count == 0 || --g_count > 0) return;
    Ikutils::releaseClip();
    Ikutils::removeHostServices();
    for (int lib = 0; lib < Ikdllprocs::LibraryCount; ++lib) {
        const auto l = static_cast<Ikdllprocs::Library>(lib);
        Ikdllprocs::clearEntries(l);
        if (g_handles[lib]) dlclose(g_handles[lib]);
        g_handles[lib] = nullptr;
    }
}

namespace Ikinit {

std::string engineFolders() {
    std::string s;
    for (const auto& d : folders()) s += (s.empty() ? "" : ":") + d;
    return s;
}

int loadCount() {
    std::lock_guard lock(g_mutex);
    return g_count;
}

bool libraryLoaded(int library) {
    std::lock_guard lock(g_mutex);
    return library >= 0 && library < Ikdllprocs::LibraryCount && g_handles[library] != nullptr;
}

}  // namespace Ikinit
