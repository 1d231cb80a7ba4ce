// A stand-in acquisition library for the component's own rules: it answers from what the
// test sets in its exported variables and records what the component passed and what
// the component's callbacks answered. Only TVIkScan's side is tested with it; the real
// library is tested through the source manager.
#include <cstring>
#include <string>

#include "imaging/engine/core/object_table.h"
#include "imaging/engine/ik_api.h"

extern "C" {

// Set by the test.
__attribute__((visibility("default"))) char fakeScanListText[2048] = "";
__attribute__((visibility("default"))) uint16_t fakeScanExecStatus = 0;
// Recorded for the test.
__attribute__((visibility("default"))) int fakeScanExecCalls = 0;
__attribute__((visibility("default"))) int16_t fakeScanRecordXferCount = 0;
__attribute__((visibility("default"))) int32_t fakeScanBeforeAnswer = 99;
__attribute__((visibility("default"))) int32_t fakeScanProgressAnswers[2] = {99, 99};
__attribute__((visibility("default"))) int32_t fakeScanAfterAnswer = 99;

IKSCANAPP IKScanInitialize(uintptr_t, int16_t, int16_t, const char*, const char*, const char*, const char*) {
    q47::ik::setStatus(0);
    return 7;
}

int32_t IKScanList(IKSCANAPP, char* buffer, int32_t* length) {
    std::strncpy(buffer, fakeScanListText, static_cast<size_t>(*length) - 1);
    buffer[*length - 1] = '\0';
    *length = static_cast<int32_t>(std::strlen(buffer));
    q47::ik::setStatus(0);
    return 1;
}

// Calls each callback in turn, then writes other values into the record than it got
// and ends with the status the test chose.
int32_t IKScanExec(IKSCANAPP, IKSCANSOURCE, IKScanRecord* record, IKScanBeforeProc before,
                   IKScanProgressProc progress, IKScanAfterProc after, const int32_t*) {
    ++fakeScanExecCalls;
    fakeScanRecordXferCount = record->xferCount;
    IKScanImageDescription d{};
    d.xResolution = 300.7f, d.yResolution = 301.2f, d.width = 10, d.height = 20, d.bitDepth = 24;
    d.pixelType = 2, d.compression = 5;
    fakeScanBeforeAnswer = before(&d, 1);
    fakeScanProgressAnswers[0] = progress(50);
    fakeScanProgressAnswers[1] = progress(60);
    fakeScanAfterAnswer = after(0, 0, 1, record->bitOrder);
    record->pixelType = 1;
    record->rectLeft = 9, record->rectTop = 9, record->rectRight = 9, record->rectBottom = 9;
    record->xResolution = 111, record->yResolution = 112;
    record->bitDepth = 4;
    record->unitMode = 5;
    q47::ik::setStatus(fakeScanExecStatus);
    return fakeScanExecStatus ? 0 : 1;
}

}  // extern "C"
