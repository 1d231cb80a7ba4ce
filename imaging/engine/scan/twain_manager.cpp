// Loading the TWAIN source manager and using its memory functions.
#include "imaging/engine/scan/twain_manager.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace q47::ik::scan {

namespace {

std::mutex g_loadMutex;

TW_HANDLE plainAllocate(TW_UINT32 size) { return std::calloc(size ? size : 1, 1); }
void plainFree(TW_HANDLE handle) { std::free(handle); }
TW_MEMREF plainLock(TW_HANDLE handle) { return handle; }
void plainUnlock(TW_HANDLE) {}

std::string ownFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&plainAllocate), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

TwainManager& TwainManager::instance() {
    static TwainManager manager;
    return manager;
}

bool TwainManager::load() {
    std::lock_guard lock(g_loadMutex);
    if (entry_) return true;
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("Q47_TWAIN_DSM"); env && *env) candidates.emplace_back(env);
    if (const std::string dir = ownFolder(); !dir.empty())
        candidates.push_back(dir + "/libq47twaindsm.so");
    candidates.emplace_back("libq47twaindsm.so");
    candidates.emplace_back("libtwaindsm.so");
    for (const std::string& name : candidates) {
        if (name.find('/') != std::string::npos && access(name.c_str(), F_OK) != 0) continue;
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) continue;
        if (auto entry = reinterpret_cast<DSMENTRYPROC>(dlsym(handle, "DSM_Entry"))) {
            entry_ = entry;
            path_ = name;
            points_.DSM_MemAllocate = plainAllocate;
            points_.DSM_MemFree = plainFree;
            points_.DSM_MemLock = plainLock;
            points_.DSM_MemUnlock = plainUnlock;
            return true;  // never unloaded, see the header
        }
        dlclose(handle);
    }
    return false;
}

TW_UINT16 TwainManager::call(TW_IDENTITY* app, TW_IDENTITY* source, TW_UINT32 dg,
                             TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!entry_) return TWRC_FAILURE;
    return entry_(app, source, dg, dat, msg, data);
}

TW_UINT16 TwainManager::condition(TW_IDENTITY* app, TW_IDENTITY* source) {
    TW_STATUS status{};
    if (call(app, source, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
        return TWCC_BUMMER;
    return status.ConditionCode;
}

void TwainManager::takeEntryPoints(const TW_ENTRYPOINT& points) {
    if (points.DSM_MemAllocate && points.DSM_MemFree && points.DSM_MemLock && points.DSM_MemUnlock) {
        std::lock_guard lock(g_loadMutex);
        points_.DSM_MemAllocate = points.DSM_MemAllocate;
        points_.DSM_MemFree = points.DSM_MemFree;
        points_.DSM_MemLock = points.DSM_MemLock;
        points_.DSM_MemUnlock = points.DSM_MemUnlock;
    }
}

TW_HANDLE TwainManager::allocate(TW_UINT32 size) { return points_.DSM_MemAllocate(size); }
void TwainManager::release(TW_HANDLE handle) {
    if (handle) points_.DSM_MemFree(handle);
}
TW_MEMREF TwainManager::lock(TW_HANDLE handle) { return points_.DSM_MemLock(handle); }
void TwainManager::unlock(TW_HANDLE handle) { points_.DSM_MemUnlock(handle); }

}  // namespace q47::ik::scan
