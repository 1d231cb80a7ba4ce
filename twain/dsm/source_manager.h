// The source manager's state: applications that opened it, the sources each sees and has open.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "twain/dsm/source_catalog.h"
#include "twain/twain.h"

namespace q47::twain {

// A data source library loaded for one open session; unloaded when the last user lets go,
// so a call still running inside the source keeps it loaded through a close.
struct LoadedSource {
    void* library = nullptr;
    DSENTRYPROC entry = nullptr;
    ~LoadedSource();
};

class SourceManager {
public:
    static SourceManager& instance();

    // DSM_Entry: every triplet from applications and from sources comes through here.
    // Never holds its lock while calling a source or an application's callback, since
    // either may call straight back in (a source's MSG_XFERREADY from inside
    // MSG_ENABLEDS, an application asking DAT_PENDINGXFERS from its callback).
    TW_UINT16 entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT,
                    TW_UINT16 MSG, TW_MEMREF pData);

private:
    struct OpenSource {
        TW_IDENTITY identity{};
        std::string path;
        std::shared_ptr<LoadedSource> loaded;
        TWAINCALLBACKPROC callback = nullptr;
        TW_UINTPTR refCon = 0;
    };
    // One application between MSG_OPENDSM and MSG_CLOSEDSM (DSM state 3).
    struct Application {
        TW_IDENTITY identity{};
        std::vector<FoundSource> sources;  // with their assigned Ids
        size_t nextIndex = 0;              // for MSG_GETNEXT
        TW_UINT16 condition = TWCC_SUCCESS;
        std::map<TW_UINT32, OpenSource> open;  // by source Id
    };

    TW_UINT16 parent(pTW_IDENTITY app, TW_UINT16 MSG);
    TW_UINT16 identity(pTW_IDENTITY app, TW_UINT16 MSG, pTW_IDENTITY data);
    TW_UINT16 listSources(pTW_IDENTITY app, TW_UINT16 MSG, pTW_IDENTITY data);
    TW_UINT16 openSource(pTW_IDENTITY app, pTW_IDENTITY data);
    TW_UINT16 closeSource(pTW_IDENTITY app, pTW_IDENTITY data);
    TW_UINT16 entryPoint(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF data);
    TW_UINT16 registerCallback(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT16 DAT,
                               TW_UINT16 MSG, TW_MEMREF data);
    TW_UINT16 status(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF data);
    TW_UINT16 passThrough(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 DAT,
                          TW_UINT16 MSG, TW_MEMREF data);
    TW_UINT16 fromSource(pTW_IDENTITY source, pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF data);

    // Records a condition code for the caller (the application, or nobody yet known)
    // and answers TWRC_FAILURE. The *Locked form expects mutex_ held.
    TW_UINT16 fail(const TW_IDENTITY* caller, TW_UINT16 condition);
    TW_UINT16 failLocked(const TW_IDENTITY* caller, TW_UINT16 condition);
    Application* findApp(const TW_IDENTITY* caller);
    bool pathInUse(const std::string& path) const;
    TW_UINT32 newId();

    std::mutex mutex_;
    std::map<TW_UINT32, Application> apps_;
    std::set<std::string> opening_;  // sources being loaded right now, outside the lock
    TW_UINT16 unknownCallerCondition_ = TWCC_SUCCESS;
    TW_UINT32 lastId_ = 0;
};

}  // namespace q47::twain
