// Memory the source manager hands out: on Linux a handle is simply the zeroed block itself.
#include "twain/dsm/dsm_memory.h"

#include <cstdlib>

namespace q47::twain {

// calloc, so containers and DIBs start zeroed; a request for 0 bytes still gets a
// distinct handle that can be freed, rather than a null that looks like a failure.
TW_HANDLE memAllocate(TW_UINT32 size) { return std::calloc(size ? size : 1, 1); }

void memFree(TW_HANDLE handle) { std::free(handle); }

TW_MEMREF memLock(TW_HANDLE handle) { return handle; }

void memUnlock(TW_HANDLE) {}

TW_ENTRYPOINT entryPoints() {
    TW_ENTRYPOINT points{};
    points.Size = sizeof(TW_ENTRYPOINT);
    points.DSM_Entry = &DSM_Entry;
    points.DSM_MemAllocate = &memAllocate;
    points.DSM_MemFree = &memFree;
    points.DSM_MemLock = &memLock;
    points.DSM_MemUnlock = &memUnlock;
    return points;
}

}  // namespace q47::twain
