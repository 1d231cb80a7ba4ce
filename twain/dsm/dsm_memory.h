// Memory the source manager hands out: on Linux a handle is simply the zeroed block itself.
#pragma once

#include "twain/twain.h"

namespace q47::twain {

TW_HANDLE memAllocate(TW_UINT32 size);
void memFree(TW_HANDLE handle);
TW_MEMREF memLock(TW_HANDLE handle);
void memUnlock(TW_HANDLE handle);

// DSM_Entry and the four memory functions, as DAT_ENTRYPOINT reports them.
TW_ENTRYPOINT entryPoints();

}  // namespace q47::twain
