// The source manager's state: applications that opened it, the sources each sees and has open.
#include "twain/dsm/source_manager.h"

#include <dlfcn.h>

#include <cstring>

#include "twain/dsm/dsm_memory.h"

namespace q47::twain {

LoadedSource::~LoadedSource() {
    if (library) dlclose(library);
}

SourceManager& SourceManager::instance() {
    static SourceManager manager;
    return manager;
}

TW_UINT32 SourceManager::newId() {
    if (++lastId_ == 0) ++lastId_;  // 0 means "not assigned" to every TWAIN program
    return lastId_;
}

SourceManager::Application* SourceManager::findApp(const TW_IDENTITY* caller) {
    if (!caller || caller->Id == 0) return nullptr;
    auto it = apps_.find(caller->Id);
    return it == apps_.end() ? nullptr : &it->second;
}

bool SourceManager::pathInUse(const std::string& path) const {
    if (opening_.count(path)) return true;
    for (const auto& [id, app] : apps_)
        for (const auto& [sourceId, source] : app.open)
            if (source.path == path) return true;
    return false;
}

TW_UINT16 SourceManager::failLocked(const TW_IDENTITY* caller, TW_UINT16 condition) {
    if (Application* app = findApp(caller))
        app->condition = condition;
    else
        unknownCallerCondition_ = condition;
    return TWRC_FAILURE;
}

TW_UINT16 SourceManager::fail(const TW_IDENTITY* caller, TW_UINT16 condition) {
    std::lock_guard lock(mutex_);
    return failLocked(caller, condition);
}

TW_UINT16 SourceManager::entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                               TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    if (!pOrigin) return fail(nullptr, TWCC_BADVALUE);
    if (DG == DG_CONTROL) {
        switch (DAT) {
        case DAT_NULL:
            return fromSource(pOrigin, pDest, MSG, pData);
        case DAT_PARENT:
            return parent(pOrigin, MSG);
        case DAT_IDENTITY:
            // MSG_GET addressed to an open source is the source's own business.
            if (MSG == MSG_GET && pDest) break;
            return identity(pOrigin, MSG, static_cast<pTW_IDENTITY>(pData));
        case DAT_ENTRYPOINT:
            return entryPoint(pOrigin, MSG, pData);
        case DAT_CALLBACK:
        case DAT_CALLBACK2:
            return registerCallback(pOrigin, pDest, DAT, MSG, pData);
        case DAT_STATUS:
            if (pDest) break;  // the source's own condition code
            return status(pOrigin, MSG, pData);
        default:
            break;
        }
    }
    return passThrough(pOrigin, pDest, DG, DAT, MSG, pData);
}

// DAT_PARENT: MSG_OPENDSM takes an application to state 3 and gives it an Id and the
// list of sources; MSG_CLOSEDSM takes it back once it has closed its sources.
TW_UINT16 SourceManager::parent(pTW_IDENTITY origin, TW_UINT16 MSG) {
    if (MSG == MSG_OPENDSM) {
        {
            std::lock_guard lock(mutex_);
            if (findApp(origin)) return failLocked(origin, TWCC_SEQERROR);
        }
        // Discovery loads every library, so it runs outside the lock.
        TW_IDENTITY app = *origin;
        std::vector<FoundSource> sources = findSources(sourceFolder(), app);
        std::lock_guard lock(mutex_);
        Application entry;
        origin->Id = newId();
        // A TWAIN 2 application learns from DF_DSM2 that DAT_ENTRYPOINT is available.
        if (origin->SupportedGroups & DF_APP2) origin->SupportedGroups |= DF_DSM2;
        entry.identity = *origin;
        for (FoundSource& source : sources) source.identity.Id = newId();
        entry.sources = std::move(sources);
        apps_[origin->Id] = std::move(entry);
        unknownCallerCondition_ = TWCC_SUCCESS;
        logNote("application \"%s\" opened the source manager as Id %u", origin->ProductName,
                origin->Id);
        return TWRC_SUCCESS;
    }
    if (MSG == MSG_CLOSEDSM) {
        std::lock_guard lock(mutex_);
        Application* app = findApp(origin);
        if (!app) return failLocked(origin, TWCC_SEQERROR);
        if (!app->open.empty()) return failLocked(origin, TWCC_SEQERROR);
        apps_.erase(origin->Id);
        return TWRC_SUCCESS;
    }
    return fail(origin, TWCC_BADPROTOCOL);
}

TW_UINT16 SourceManager::identity(pTW_IDENTITY origin, TW_UINT16 MSG, pTW_IDENTITY data) {
    switch (MSG) {
    case MSG_GETFIRST:
    case MSG_GETNEXT:
    case MSG_GETDEFAULT:
    case MSG_USERSELECT:
        return listSources(origin, MSG, data);
    case MSG_OPENDS:
        return openSource(origin, data);
    case MSG_CLOSEDS:
        return closeSource(origin, data);
    default:
        return fail(origin, TWCC_BADPROTOCOL);
    }
}

// MSG_GETFIRST/GETNEXT walk the sources found at MSG_OPENDSM. MSG_GETDEFAULT is the first
// of them; there is no selection dialog, so MSG_USERSELECT answers the default as well.
TW_UINT16 SourceManager::listSources(pTW_IDENTITY origin, TW_UINT16 MSG, pTW_IDENTITY data) {
    std::lock_guard lock(mutex_);
    Application* app = findApp(origin);
    if (!app) return failLocked(origin, TWCC_SEQERROR);
    if (!data) return failLocked(origin, TWCC_BADVALUE);
    if (MSG == MSG_GETFIRST) app->nextIndex = 0;
    if (MSG == MSG_GETFIRST || MSG == MSG_GETNEXT) {
        if (app->nextIndex >= app->sources.size()) return TWRC_ENDOFLIST;
        *data = app->sources[app->nextIndex++].identity;
        return TWRC_SUCCESS;
    }
    if (app->sources.empty()) return failLocked(origin, TWCC_NODS);
    *data = app->sources.front().identity;
    return TWRC_SUCCESS;
}

// MSG_OPENDS: the source asked for by Id, else by ProductName, else the default. The
// library is loaded afresh; a TWAIN 2 source (DF_DS2) first receives the entry points.
TW_UINT16 SourceManager::openSource(pTW_IDENTITY origin, pTW_IDENTITY data) {
    FoundSource chosen;
    TW_IDENTITY app{};
    {
        std::lock_guard lock(mutex_);
        Application* entry = findApp(origin);
        if (!entry) return failLocked(origin, TWCC_SEQERROR);
        if (!data) return failLocked(origin, TWCC_BADVALUE);
        const FoundSource* match = nullptr;
        for (const FoundSource& source : entry->sources)
            if (data->Id != 0 && source.identity.Id == data->Id) match = &source;
        if (!match && data->ProductName[0]) {
            for (const FoundSource& source : entry->sources)
                if (!match && strncmp(source.identity.ProductName, data->ProductName,
                                      sizeof(TW_STR32)) == 0)
                    match = &source;
        }
        if (!match && data->Id == 0 && !data->ProductName[0] && !entry->sources.empty())
            match = &entry->sources.front();
        if (!match) return failLocked(origin, TWCC_NODS);
        // One library instance holds one session's state: a second open would share it.
        if (pathInUse(match->path)) return failLocked(origin, TWCC_MAXCONNECTIONS);
        chosen = *match;
        app = entry->identity;
        opening_.insert(chosen.path);
    }

    auto loaded = std::make_shared<LoadedSource>();
    TW_UINT16 rc = TWRC_FAILURE;
    TW_UINT16 condition = TWCC_OPERATIONERROR;
    loaded->library = dlopen(chosen.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded->library)
        loaded->entry = reinterpret_cast<DSENTRYPROC>(dlsym(loaded->library, "DS_Entry"));
    if (!loaded->entry) {
        // Gone or broken since MSG_OPENDSM listed it: nothing the source could report.
        logNote("cannot load %s again: %s", chosen.path.c_str(), dlerror());
        condition = TWCC_BUMMER;
    } else {
        if (chosen.identity.SupportedGroups & DF_DS2) {
            TW_IDENTITY appCopy = app;
            TW_ENTRYPOINT points = entryPoints();
            loaded->entry(&appCopy, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points);
        }
        TW_IDENTITY appCopy = app;
        TW_IDENTITY sourceCopy = chosen.identity;
        rc = loaded->entry(&appCopy, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &sourceCopy);
        if (rc != TWRC_SUCCESS) {
            TW_STATUS sourceStatus{};
            appCopy = app;
            if (loaded->entry(&appCopy, DG_CONTROL, DAT_STATUS, MSG_GET, &sourceStatus) ==
                    TWRC_SUCCESS &&
                sourceStatus.ConditionCode != TWCC_SUCCESS)
                condition = sourceStatus.ConditionCode;
            logNote("\"%s\" refused MSG_OPENDS (condition %u)", chosen.identity.ProductName,
                    condition);
        }
    }

    std::lock_guard lock(mutex_);
    opening_.erase(chosen.path);
    Application* entry = findApp(&app);
    if (rc != TWRC_SUCCESS || !entry) return failLocked(&app, condition);
    OpenSource& open = entry->open[chosen.identity.Id];
    open.identity = chosen.identity;
    open.path = chosen.path;
    open.loaded = std::move(loaded);
    *data = chosen.identity;
    return TWRC_SUCCESS;
}

// MSG_CLOSEDS: the source is told first; one that refuses (still enabled, say) stays open.
TW_UINT16 SourceManager::closeSource(pTW_IDENTITY origin, pTW_IDENTITY data) {
    std::shared_ptr<LoadedSource> loaded;
    TW_IDENTITY app{}, source{};
    {
        std::lock_guard lock(mutex_);
        Application* entry = findApp(origin);
        if (!entry) return failLocked(origin, TWCC_SEQERROR);
        if (!data) return failLocked(origin, TWCC_BADVALUE);
        auto it = entry->open.find(data->Id);
        if (it == entry->open.end()) return failLocked(origin, TWCC_NODS);
        loaded = it->second.loaded;
        app = entry->identity;
        source = it->second.identity;
    }
    TW_IDENTITY appCopy = app;
    TW_UINT16 rc = loaded->entry(&appCopy, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
    std::lock_guard lock(mutex_);
    Application* entry = findApp(&app);
    if (!entry) return TWRC_FAILURE;
    if (rc != TWRC_SUCCESS) return failLocked(&app, TWCC_SEQERROR);
    entry->open.erase(source.Id);  // unloads once no call is running inside it
    return TWRC_SUCCESS;
}

TW_UINT16 SourceManager::entryPoint(pTW_IDENTITY origin, TW_UINT16 MSG, TW_MEMREF data) {
    std::lock_guard lock(mutex_);
    if (MSG != MSG_GET) return failLocked(origin, TWCC_BADPROTOCOL);
    if (!findApp(origin)) return failLocked(origin, TWCC_SEQERROR);
    auto* points = static_cast<pTW_ENTRYPOINT>(data);
    // Size 0 is taken as "not filled in"; a smaller structure than ours cannot hold the answer.
    if (!points || (points->Size != 0 && points->Size < sizeof(TW_ENTRYPOINT)))
        return failLocked(origin, TWCC_BADVALUE);
    *points = entryPoints();
    return TWRC_SUCCESS;
}

TW_UINT16 SourceManager::registerCallback(pTW_IDENTITY origin, pTW_IDENTITY source,
                                          TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    std::lock_guard lock(mutex_);
    if (MSG != MSG_REGISTER_CALLBACK) return failLocked(origin, TWCC_BADPROTOCOL);
    Application* app = findApp(origin);
    if (!app) return failLocked(origin, TWCC_SEQERROR);
    if (!source) return failLocked(origin, TWCC_BADDEST);
    auto it = app->open.find(source->Id);
    if (it == app->open.end()) return failLocked(origin, TWCC_BADDEST);
    if (!data) return failLocked(origin, TWCC_BADVALUE);
    TW_MEMREF proc;
    TW_UINTPTR refCon;
    if (DAT == DAT_CALLBACK) {
        auto* callback = static_cast<pTW_CALLBACK>(data);
        proc = callback->CallBackProc;
        refCon = callback->RefCon;
    } else {
        auto* callback = static_cast<pTW_CALLBACK2>(data);
        proc = callback->CallBackProc;
        refCon = callback->RefCon;
    }
    if (!proc) return failLocked(origin, TWCC_BADVALUE);
    it->second.callback = reinterpret_cast<TWAINCALLBACKPROC>(proc);
    it->second.refCon = refCon;
    return TWRC_SUCCESS;
}

// DAT_STATUS to the manager itself: the last condition code, which reading clears.
TW_UINT16 SourceManager::status(pTW_IDENTITY origin, TW_UINT16 MSG, TW_MEMREF data) {
    std::lock_guard lock(mutex_);
    if (MSG != MSG_GET) return failLocked(origin, TWCC_BADPROTOCOL);
    auto* status = static_cast<pTW_STATUS>(data);
    if (!status) return failLocked(origin, TWCC_BADVALUE);
    Application* app = findApp(origin);
    TW_UINT16& condition = app ? app->condition : unknownCallerCondition_;
    status->ConditionCode = condition;
    status->Data = 0;
    condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

// Everything else an application sends to one of its open sources goes to its DS_Entry
// unchanged, with a copy of the application's identity as pOrigin.
TW_UINT16 SourceManager::passThrough(pTW_IDENTITY origin, pTW_IDENTITY source, TW_UINT32 DG,
                                     TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    std::shared_ptr<LoadedSource> loaded;
    TW_IDENTITY app{};
    {
        std::lock_guard lock(mutex_);
        Application* entry = findApp(origin);
        if (!entry) return failLocked(origin, TWCC_SEQERROR);
        if (!source) return failLocked(origin, TWCC_BADPROTOCOL);
        auto it = entry->open.find(source->Id);
        if (it == entry->open.end()) return failLocked(origin, TWCC_BADDEST);
        loaded = it->second.loaded;
        app = entry->identity;
    }
    return loaded->entry(&app, DG, DAT, MSG, data);
}

// DAT_NULL from a source: MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK and
// MSG_DEVICEEVENT go at once, on the source's thread, to the callback its application
// registered. The callback's pData is the source's, or the application's RefCon when the
// source sent none, so an application can find its own state without a global.
TW_UINT16 SourceManager::fromSource(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT16 MSG,
                                    TW_MEMREF data) {
    TWAINCALLBACKPROC callback = nullptr;
    TW_UINTPTR refCon = 0;
    TW_IDENTITY source{}, app{};
    {
        std::lock_guard lock(mutex_);
        if (MSG != MSG_XFERREADY && MSG != MSG_CLOSEDSREQ && MSG != MSG_CLOSEDSOK &&
            MSG != MSG_DEVICEEVENT)
            return failLocked(origin, TWCC_BADPROTOCOL);
        Application* owner = nullptr;
        const OpenSource* open = nullptr;
        for (auto& [id, entry] : apps_) {
            auto it = entry.open.find(origin->Id);
            if (origin->Id != 0 && it != entry.open.end()) {
                owner = &entry;
                open = &it->second;
            }
        }
        if (!open) return failLocked(origin, TWCC_SEQERROR);
        if (dest && dest->Id != owner->identity.Id) return failLocked(origin, TWCC_BADDEST);
        if (!open->callback) {
            logNote("\"%s\" sent message 0x%x but its application registered no callback",
                    open->identity.ProductName, MSG);
            return failLocked(origin, TWCC_SEQERROR);
        }
        callback = open->callback;
        refCon = open->refCon;
        source = open->identity;
        app = owner->identity;
    }
    TW_MEMREF payload = data ? data : reinterpret_cast<TW_MEMREF>(static_cast<uintptr_t>(refCon));
    callback(&source, &app, DG_CONTROL, DAT_NULL, MSG, payload);
    return TWRC_SUCCESS;
}

}  // namespace q47::twain
