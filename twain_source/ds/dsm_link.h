// The source's way back to the source manager: DSM_Entry and the memory functions.
//
// A TWAIN 2 source manager hands both over with DAT_ENTRYPOINT MSG_SET before it opens
// the source. Without that, DSM_Entry is looked up among the symbols already loaded in
// the process, and memory comes from calloc/free (which is what the source managers on
// Linux use as well, so an application freeing with DSM_MemFree still frees it right).
#pragma once

#include <cstddef>

#include "twain/twain.h"
#include "twain_source/image_buffer.h"

namespace q47::twain_source {

class DsmLink {
public:
    DsmLink();

    // DAT_ENTRYPOINT MSG_SET. Members left null keep their fallback.
    void setEntryPoints(const TW_ENTRYPOINT& points);
    // Forgets DAT_ENTRYPOINT's functions and looks DSM_Entry up in the process again.
    void reset();
    // The address notifications go to; null when the source manager is unknown.
    DSMENTRYPROC entry() const { return entry_; }
    bool hasMemoryFunctions() const { return allocate_ != nullptr; }

    // Zero-filled memory the application may lock and free with the manager's functions.
    TW_HANDLE allocate(size_t bytes) const;
    void release(TW_HANDLE handle) const;
    void* lock(TW_HANDLE handle) const;
    void unlock(TW_HANDLE handle) const;

    // The DIB of a scan lives in the same memory, since a native transfer hands it
    // to the application, which frees it with DSM_MemFree.
    DibMemory& dibMemory() { return dibMemory_; }

private:
    class ManagerDibMemory : public DibMemory {
    public:
        explicit ManagerDibMemory(const DsmLink& link) : link_(link) {}
        void* allocate(size_t bytes) override { return link_.allocate(bytes); }
        void release(void* handle) override { link_.release(handle); }
        uint8_t* lock(void* handle) override { return static_cast<uint8_t*>(link_.lock(handle)); }
        void unlock(void* handle) override { link_.unlock(handle); }

    private:
        const DsmLink& link_;
    };

    DSMENTRYPROC entry_ = nullptr;
    DSM_MEMALLOCATE allocate_ = nullptr;
    DSM_MEMFREE free_ = nullptr;
    DSM_MEMLOCK lock_ = nullptr;
    DSM_MEMUNLOCK unlock_ = nullptr;
    ManagerDibMemory dibMemory_{*this};
};

}  // namespace q47::twain_source
