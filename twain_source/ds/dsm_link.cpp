// DSM_Entry and the manager's memory functions as the source found them.
#include "twain_source/ds/dsm_link.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace q47::twain_source {

namespace {

// DSM_Entry of a source manager the application linked (or loaded globally).
DSMENTRYPROC lookUpDsmEntry() {
    return reinterpret_cast<DSMENTRYPROC>(dlsym(RTLD_DEFAULT, "DSM_Entry"));
}

}  // namespace

DsmLink::DsmLink() { reset(); }

void DsmLink::reset() {
    entry_ = lookUpDsmEntry();
    allocate_ = nullptr;
    free_ = nullptr;
    lock_ = nullptr;
    unlock_ = nullptr;
}

void DsmLink::setEntryPoints(const TW_ENTRYPOINT& points) {
    if (points.DSM_Entry) entry_ = points.DSM_Entry;
    // Allocation and freeing only count as a pair: memory from one must go back
    // through the other.
    if (points.DSM_MemAllocate && points.DSM_MemFree) {
        allocate_ = points.DSM_MemAllocate;
        free_ = points.DSM_MemFree;
        lock_ = points.DSM_MemLock;
        unlock_ = points.DSM_MemUnlock;
    }
}

TW_HANDLE DsmLink::allocate(size_t bytes) const {
    if (bytes > UINT32_MAX) return nullptr;
    if (!allocate_) return std::calloc(1, bytes ? bytes : 1);
    TW_HANDLE h = allocate_(static_cast<TW_UINT32>(bytes));
    // The standard asks the manager for zero-filled memory; do not rely on it.
    if (h && bytes) {
        if (void* p = lock(h)) {
            std::memset(p, 0, bytes);
            unlock(h);
        }
    }
    return h;
}

void DsmLink::release(TW_HANDLE handle) const {
    if (!handle) return;
    if (free_) free_(handle);
    else std::free(handle);
}

void* DsmLink::lock(TW_HANDLE handle) const {
    if (!handle) return nullptr;
    return lock_ ? lock_(handle) : handle;
}

void DsmLink::unlock(TW_HANDLE handle) const {
    if (handle && unlock_) unlock_(handle);
}

}  // namespace q47::twain_source
