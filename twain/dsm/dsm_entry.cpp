// The library's one export, DSM_Entry, as applications and data sources call it.
#include "twain/dsm/source_manager.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(
    pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
    TW_MEMREF pData) {
    return q47::twain::SourceManager::instance().entry(pOrigin, pDest, DG, DAT, MSG, pData);
}
