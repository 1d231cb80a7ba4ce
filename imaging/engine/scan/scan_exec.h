// IKScanExec's work: negotiate, enable, wait, transfer, hand over, disable.
#pragma once

#include "imaging/engine/scan/capability_io.h"
#include "imaging/engine/scan/ik_scan_api.h"
#include "imaging/engine/scan/scan_sessions.h"

namespace q47::ik::scan {

struct ScanCallbacks {
    IKScanBeforeProc before = nullptr;
    IKScanProgressProc progress = nullptr;
    IKScanAfterProc after = nullptr;
    const int32_t* array = nullptr;  // the array modes: image numbers wanted (1-based)
};

// Runs one scan on an open source; answers the number of images handed to `after` and
// leaves the engine status set (0 only when the scan ended without failure or stop).
int32_t runScan(ScanApp& app, ScanSource& source, IKScanRecord& record,
                const ScanCallbacks& callbacks);

}  // namespace q47::ik::scan
