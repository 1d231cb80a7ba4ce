// libIk6Scan entries: application and source handles, listing, opening, the scan and
// the capability queries, each on the TWAIN source manager.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/scan/capability_io.h"
#include "imaging/engine/scan/ik_scan_api.h"
#include "imaging/engine/scan/scan_exec.h"
#include "imaging/engine/scan/scan_sessions.h"
#include "imaging/engine/scan/twain_manager.h"

using namespace q47::ik;
using namespace q47::ik::scan;

namespace {

ScanSessions& sessions() { return ScanSessions::instance(); }
TwainManager& manager() { return TwainManager::instance(); }

// Every source the manager offers this application, and its default's name.
std::vector<TW_IDENTITY> listSources(ScanApp& app, std::string* defaultName) {
    std::vector<TW_IDENTITY> list;
    TW_IDENTITY id{};
    TW_UINT16 rc = manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
    while (rc == TWRC_SUCCESS && list.size() < 4096) {
        id.ProductName[sizeof(TW_STR32) - 1] = id.Manufacturer[sizeof(TW_STR32) - 1] = '\0';
        id.ProductFamily[sizeof(TW_STR32) - 1] = id.Version.Info[sizeof(TW_STR32) - 1] = '\0';
        list.push_back(id);
        id = TW_IDENTITY{};
        rc = manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id);
    }
    if (defaultName) {
        defaultName->clear();
        TW_IDENTITY def{};
        if (manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &def) ==
            TWRC_SUCCESS) {
            def.ProductName[sizeof(TW_STR32) - 1] = '\0';
            *defaultName = def.ProductName;
        }
    }
    return list;
}

// The source of that product name; an empty name means the default source.
bool findSource(ScanApp& app, const char* name, TW_IDENTITY* out) {
    std::string defaultName;
    const std::vector<TW_IDENTITY> list = listSources(app, &defaultName);
    const std::string wanted = name && *name ? name : defaultName;
    for (const TW_IDENTITY& id : list)
        if (!wanted.empty() && wanted == id.ProductName) {
            *out = id;
            return true;
        }
    // No name and no default: the first installed source, as managers choose then.
    if (wanted.empty() && !list.empty()) {
        *out = list.front();
        return true;
    }
    return false;
}

void fillIdentity(const TW_IDENTITY& id, IKScanIdentity* out) {
    std::memset(out, 0, sizeof *out);
    out->versionMajor = id.Version.MajorNum;
    out->versionMinor = id.Version.MinorNum;
    out->protocolMajor = id.ProtocolMajor;
    out->protocolMinor = id.ProtocolMinor;
    copyName(out->manufacturer, sizeof out->manufacturer, id.Manufacturer);
    copyName(out->productFamily, sizeof out->productFamily, id.ProductFamily);
    copyName(out->productName, sizeof out->productName, id.ProductName);
    copyName(out->versionInfo, sizeof out->versionInfo, id.Version.Info);
}

// MSG_OPENDS and the callback registration; null with the status set on failure.
SourcePtr openSource(ScanApp& app, const char* name) {
    auto source = std::make_shared<ScanSource>();
    if (!findSource(app, name, &source->identity)) return fail<SourcePtr>(IK_ERR_SCAN_NO_SOURCE);
    if (manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
                       &source->identity) != TWRC_SUCCESS)
        return fail<SourcePtr>(IK_ERR_SCAN_SOURCE);
    // Without a callback no MSG_XFERREADY could ever reach us: such a source is useless.
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&ScanSessions::callback);
    TW_UINT16 rc = manager().call(&app.identity, &source->identity, DG_CONTROL, DAT_CALLBACK,
                                  MSG_REGISTER_CALLBACK, &callback);
    if (rc != TWRC_SUCCESS) {
        TW_CALLBACK2 callback2{};
        callback2.CallBackProc = callback.CallBackProc;
        rc = manager().call(&app.identity, &source->identity, DG_CONTROL, DAT_CALLBACK2,
                            MSG_REGISTER_CALLBACK, &callback2);
    }
    if (rc != TWRC_SUCCESS) {
        manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source->identity);
        return fail<SourcePtr>(IK_ERR_SCAN_SOURCE);
    }
    return source;
}

void closeSource(ScanApp& app, ScanSource& source) {
    manager().call(&app.identity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source.identity);
}

// Runs a question on the given source, or on the named one opened for it.
template <typename R, typename F>
R withSource(IKSCANAPP appHandle, IKSCANSOURCE sourceHandle, const char* name, R failValue, F&& ask) {
    return guarded<R>(failValue, [&]() -> R {
        AppPtr app = sessions().app(appHandle);
        if (!app) return fail<R>(IK_ERR_ARGUMENT, failValue);
        if (sourceHandle) {
            SourcePtr source = sessions().source(appHandle, sourceHandle);
            if (!source) return fail<R>(IK_ERR_ARGUMENT, failValue);
            return ask(SourceLink{&app->identity, &source->identity});
        }
        SourcePtr source = openSource(*app, name);
        if (!source) return failValue;
        const R result = ask(SourceLink{&app->identity, &source->identity});
        const uint16_t kept = status();
        closeSource(*app, *source);
        setStatus(kept);
        return result;
    });
}

// The unit and the feeder as the size questions want them.
void prepareSize(const SourceLink& link, int16_t scanMode, int16_t unit) {
    setOneValue(link, ICAP_UNITS, TWTY_UINT16, static_cast<TW_UINT16>(unit));
    if (scanMode == IK_SCAN_ADF1 || scanMode == IK_SCAN_ADF2)
        setOneValue(link, CAP_FEEDERENABLED, TWTY_BOOL, 1);
}

int32_t sizePair(const SourceLink& link, TW_UINT16 widthCap, TW_UINT16 heightCap, float* w, float* h) {
    CapValues wv, hv;
    if (!readCapability(link, widthCap, MSG_GETCURRENT, &wv) || wv.numbers.empty() ||
        !readCapability(link, heightCap, MSG_GETCURRENT, &hv) || hv.numbers.empty())
        return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
    if (w) *w = static_cast<float>(wv.numbers.front());
    if (h) *h = static_cast<float>(hv.numbers.front());
    return 1;
}

}  // namespace

extern "C" {

IKSCANAPP IKScanInitialize(uintptr_t, int16_t major, int16_t minor, const char* versionInfo,
                           const char* manufacturer, const char* productFamily,
                           const char* productName) {
    return guarded<IKSCANAPP>(0, [&]() -> IKSCANAPP {
        if (!manager().load()) return fail<IKSCANAPP>(IK_ERR_SCAN_MANAGER);
        auto app = std::make_shared<ScanApp>();
        TW_IDENTITY& id = app->identity;
        id.Version.MajorNum = static_cast<TW_UINT16>(major);
        id.Version.MinorNum = static_cast<TW_UINT16>(minor);
        id.Version.Language = TWLG_USA;
        id.Version.Country = TWCY_USA;
        copyName(id.Version.Info, sizeof(TW_STR32), versionInfo);
        id.ProtocolMajor = 2;
        id.ProtocolMinor = 4;
        id.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
        copyName(id.Manufacturer, sizeof(TW_STR32), manufacturer);
        copyName(id.ProductFamily, sizeof(TW_STR32), productFamily);
        copyName(id.ProductName, sizeof(TW_STR32), productName);
        if (manager().call(&id, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr) != TWRC_SUCCESS)
            return fail<IKSCANAPP>(IK_ERR_SCAN_MANAGER);
        if (id.SupportedGroups & DF_DSM2) {
            TW_ENTRYPOINT points{};
            points.Size = sizeof points;
            if (manager().call(&id, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points) == TWRC_SUCCESS)
                manager().takeEntryPoints(points);
        }
        return sessions().addApp(std::move(app));
    });
}

int32_t IKScanList(IKSCANAPP appHandle, char* buffer, int32_t* length) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        if (!app || !buffer || !length || *length <= 0) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        std::string defaultName;
        const std::vector<TW_IDENTITY> list = listSources(*app, &defaultName);
        // The default's name first (empty when the manager has none, so that no source
        // is taken for the default), then every installed source.
        std::string text = defaultName + ",";
        for (const TW_IDENTITY& id : list) {
            const std::string entry = std::string(id.ProductName) + ",";
            // Only whole names: a cut name would name no source.
            if (text.size() + entry.size() + 1 > static_cast<size_t>(*length)) break;
            text += entry;
        }
        if (text.size() + 1 > static_cast<size_t>(*length)) text.clear();
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        *length = static_cast<int32_t>(text.size());
        return 1;
    });
}

int32_t IKScanSelect(IKSCANAPP appHandle, IKScanIdentity* identity) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        if (!app || !identity) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        TW_IDENTITY chosen{};
        const TW_UINT16 rc = manager().call(&app->identity, nullptr, DG_CONTROL, DAT_IDENTITY,
                                            MSG_USERSELECT, &chosen);
        if (rc == TWRC_CANCEL) return fail<int32_t>(IK_ERR_CANCELLED, 0);
        if (rc != TWRC_SUCCESS) return fail<int32_t>(IK_ERR_SCAN_NO_SOURCE, 0);
        fillIdentity(chosen, identity);
        return 1;
    });
}

int32_t IKScanGetDSInfo(IKSCANAPP appHandle, const char* dsName, IKScanIdentity* identity) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        if (!app || !identity) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        TW_IDENTITY found{};
        if (!findSource(*app, dsName, &found)) return fail<int32_t>(IK_ERR_SCAN_NO_SOURCE, 0);
        fillIdentity(found, identity);
        return 1;
    });
}

IKSCANSOURCE IKScanOpenDS(IKSCANAPP appHandle, const char* dsName) {
    return guarded<IKSCANSOURCE>(0, [&]() -> IKSCANSOURCE {
        AppPtr app = sessions().app(appHandle);
        if (!app) return fail<IKSCANSOURCE>(IK_ERR_ARGUMENT);
        SourcePtr source = openSource(*app, dsName);
        if (!source) return 0;
        source->app = appHandle;
        return sessions().addSource(appHandle, std::move(source));
    });
}

int32_t IKScanExec(IKSCANAPP appHandle, IKSCANSOURCE sourceHandle, IKScanRecord* record,
                   IKScanBeforeProc before, IKScanProgressProc progress, IKScanAfterProc after,
                   const int32_t* array) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        if (!app || !record) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        const ScanCallbacks callbacks{before, progress, after, array};
        if (sourceHandle) {
            SourcePtr source = sessions().source(appHandle, sourceHandle);
            if (!source) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
            return runScan(*app, *source, *record, callbacks);
        }
        // No open source: the record's source is opened for this scan alone; it must
        // be in the table meanwhile, for the callback to find it.
        SourcePtr source = openSource(*app, record->dsName);
        if (!source) return 0;
        const IKSCANSOURCE handle = sessions().addSource(appHandle, source);
        const int32_t count = runScan(*app, *source, *record, callbacks);
        const uint16_t kept = status();
        sessions().removeSource(appHandle, handle);
        closeSource(*app, *source);
        setStatus(kept);
        return count;
    });
}

int32_t IKScanCloseDS(IKSCANAPP appHandle, IKSCANSOURCE sourceHandle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        SourcePtr source = app ? sessions().removeSource(appHandle, sourceHandle) : nullptr;
        if (!source) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        closeSource(*app, *source);
        return 1;
    });
}

int32_t IKScanTerminate(IKSCANAPP appHandle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        AppPtr app = sessions().app(appHandle);
        if (!app) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        // Sources left open are closed first: the manager refuses to close otherwise.
        for (IKSCANSOURCE handle : std::vector<IKSCANSOURCE>(app->sources))
            if (SourcePtr source = sessions().removeSource(appHandle, handle)) closeSource(*app, *source);
        manager().call(&app->identity, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
        sessions().removeApp(appHandle);
        return 1;
    });
}

int32_t IKScanSetPump(IKScanPumpProc pump) {
    sessions().setPump(pump);
    setStatus(IK_OK);
    return 1;
}

int32_t IKScanGetPixelType(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, int16_t* list,
                           int32_t count) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        CapValues v;
        if (!readCapability(link, ICAP_PIXELTYPE, MSG_GET, &v)) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
        for (int32_t i = 0; list && i < count && i < static_cast<int32_t>(v.numbers.size()); ++i)
            list[i] = static_cast<int16_t>(v.numbers[i]);
        return static_cast<int32_t>(v.numbers.size());
    });
}

int32_t IKScanGetBitDepth(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, int16_t pixelType,
                          int16_t* list, int32_t count) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        // Bit depths depend on the pixel type, so it is set first.
        setOneValue(link, ICAP_PIXELTYPE, TWTY_UINT16, static_cast<TW_UINT16>(pixelType));
        CapValues v;
        if (!readCapability(link, ICAP_BITDEPTH, MSG_GET, &v)) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
        for (int32_t i = 0; list && i < count && i < static_cast<int32_t>(v.numbers.size()); ++i)
            list[i] = static_cast<int16_t>(v.numbers[i]);
        return static_cast<int32_t>(v.numbers.size());
    });
}

int32_t IKScanGetPhysicalSize(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                              int16_t scanMode, int16_t unit, float* width, float* height) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        prepareSize(link, scanMode, unit);
        return sizePair(link, ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT, width, height);
    });
}

int32_t IKScanGetMinimumSize(IKSCANAPP app, IKSCANSOURCE source, const char* dsName,
                             int16_t scanMode, int16_t unit, float* width, float* height) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        prepareSize(link, scanMode, unit);
        return sizePair(link, ICAP_MINIMUMWIDTH, ICAP_MINIMUMHEIGHT, width, height);
    });
}

int32_t IKScanIsCapSupported(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, uint16_t cap,
                             int32_t* support) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        const TW_INT32 flags = querySupport(link, cap);
        if (support) *support = flags;
        return flags != 0 ? 1 : 0;
    });
}

int32_t IKScanGetCapRange(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, uint16_t cap,
                          int16_t* itemType, int32_t* range) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        CapValues v;
        if (!readCapability(link, cap, MSG_GET, &v)) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
        if (itemType) *itemType = static_cast<int16_t>(v.itemType);
        if (v.conType != TWON_RANGE) {
            // A one-value or a list answers as a range of its values.
            if (v.numbers.empty()) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
            const auto [lo, hi] = std::minmax_element(v.numbers.begin(), v.numbers.end());
            const size_t cur = static_cast<size_t>(v.current) < v.numbers.size() ? v.current : 0;
            const size_t def = static_cast<size_t>(v.defaultIndex) < v.numbers.size() ? v.defaultIndex : 0;
            const double r[5] = {*lo, *hi, 0, v.numbers[def], v.numbers[cur]};
            std::copy(r, r + 5, v.range);
        }
        for (int i = 0; range && i < 5; ++i) range[i] = static_cast<int32_t>(v.range[i]);
        return 1;
    });
}

int32_t IKScanGetCapEnum(IKSCANAPP app, IKSCANSOURCE source, const char* dsName, uint16_t cap,
                         int16_t* itemType, float* values, char* text, int32_t* current,
                         int32_t* defaultIndex, int32_t count) {
    return withSource<int32_t>(app, source, dsName, 0, [&](const SourceLink& link) -> int32_t {
        CapValues v;
        if (!readCapability(link, cap, MSG_GET, &v)) return fail<int32_t>(IK_ERR_SCAN_SOURCE, 0);
        if (itemType) *itemType = static_cast<int16_t>(v.itemType);
        if (current) *current = v.current;
        if (defaultIndex) *defaultIndex = v.defaultIndex;
        for (int32_t i = 0; values && i < count && i < static_cast<int32_t>(v.numbers.size()); ++i)
            values[i] = static_cast<float>(v.numbers[i]);
        if (text) {
            // The text buffer is 2048 bytes; names that do not fit whole are left out.
            std::string joined;
            for (const std::string& name : v.names)
                if (joined.size() + name.size() + 2 <= 2048) joined += name + ",";
            std::memcpy(text, joined.c_str(), joined.size() + 1);
        }
        return static_cast<int32_t>(v.names.empty() ? v.numbers.size() : v.names.size());
    });
}

}  // extern "C"
