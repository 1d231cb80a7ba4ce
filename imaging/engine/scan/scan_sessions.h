// The scan library's applications and open sources behind their 32-bit handles, and the
// source manager callback that tells a waiting scan what its source wants.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/engine/scan/ik_scan_api.h"
#include "twain/twain.h"

namespace q47::ik::scan {

// One source between MSG_OPENDS and MSG_CLOSEDS.
struct ScanSource {
    TW_IDENTITY identity{};
    IKSCANAPP app = 0;
    // Set by the callback (any thread), taken by the waiting scan.
    std::mutex mutex;
    std::condition_variable changed;
    TW_UINT16 event = 0;  // MSG_XFERREADY, MSG_CLOSEDSREQ or MSG_CLOSEDSOK; 0 = none
};
using SourcePtr = std::shared_ptr<ScanSource>;

// One application between MSG_OPENDSM and MSG_CLOSEDSM.
struct ScanApp {
    TW_IDENTITY identity{};
    std::vector<IKSCANSOURCE> sources;  // open through this application
};
using AppPtr = std::shared_ptr<ScanApp>;

class ScanSessions {
public:
    static ScanSessions& instance();

    IKSCANAPP addApp(AppPtr app);
    AppPtr app(IKSCANAPP handle) const;
    AppPtr removeApp(IKSCANAPP handle);

    IKSCANSOURCE addSource(IKSCANAPP app, SourcePtr source);
    // The source only when it belongs to that application.
    SourcePtr source(IKSCANAPP app, IKSCANSOURCE handle) const;
    SourcePtr removeSource(IKSCANAPP app, IKSCANSOURCE handle);

    // What the source manager calls; finds the source by its TWAIN identity.
    static TW_UINT16 callback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg,
                              TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    void setPump(IKScanPumpProc pump);
    // Waits for the source's next event, running the host's pump meanwhile (a source
    // on the host's own thread only works while its events are served). Answers the
    // event and clears it.
    TW_UINT16 waitForEvent(ScanSource& source);

private:
    ScanSessions() = default;
    mutable std::mutex mutex_;
    struct AppEntry { IKSCANAPP handle; AppPtr app; };
    struct SourceEntry { IKSCANSOURCE handle; IKSCANAPP app; SourcePtr source; };
    std::vector<AppEntry> apps_;
    std::vector<SourceEntry> sources_;
    uint32_t lastHandle_ = 0;
    IKScanPumpProc pump_ = nullptr;
};

// A bounded copy of a TWAIN name into a zero-terminated field.
void copyName(char* field, size_t size, const char* text);

}  // namespace q47::ik::scan
