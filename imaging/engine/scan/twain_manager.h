// The TWAIN source manager as the scan library reaches it: loaded by dlopen, its memory
// functions, and one call helper.
#pragma once

#include <string>

#include "twain/twain.h"

namespace q47::ik::scan {

// The first source manager that loads, in this order: $Q47_TWAIN_DSM when set, our
// libq47twaindsm.so beside this library, then by the system's search our library and
// the open-source manager's libtwaindsm.so. Loaded once and kept for the life of the
// process: a source's own thread may still call DSM_Entry after the last session.
class TwainManager {
public:
    static TwainManager& instance();
    bool load();  // false when no manager could be loaded
    const std::string& path() const { return path_; }

    TW_UINT16 call(TW_IDENTITY* app, TW_IDENTITY* source, TW_UINT32 dg, TW_UINT16 dat,
                   TW_UINT16 msg, TW_MEMREF data);
    // The condition code of the last failure (DAT_STATUS), TWCC_BUMMER when unknown.
    TW_UINT16 condition(TW_IDENTITY* app, TW_IDENTITY* source);

    // Memory as the manager hands it out (DAT_ENTRYPOINT), else calloc/free, which is
    // what every manager on Linux uses underneath.
    void takeEntryPoints(const TW_ENTRYPOINT& points);
    TW_HANDLE allocate(TW_UINT32 size);
    void release(TW_HANDLE handle);
    TW_MEMREF lock(TW_HANDLE handle);
    void unlock(TW_HANDLE handle);

private:
    TwainManager() = default;
    DSMENTRYPROC entry_ = nullptr;
    TW_ENTRYPOINT points_{};
    std::string path_;
};

}  // namespace q47::ik::scan
