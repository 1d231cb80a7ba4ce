// Language-file keys of the board's states, errors and link faults, with their default texts.
#include <cstring>
#include <string>

#include "board/packet.h"

namespace q47::board {

namespace {
struct KeyText {
    const char* key;
    const char* text;
};
constexpr KeyText kDefaults[] = {
    {"MsgStatusStandby", "Ready"},
    {"MsgStatusScanPrint", "Scanning and print is in progress..."},
    {"MsgStatusScanMemory", "Scanning and save is in progress..."},
    {"MsgStatusPrint", "Print is in progress..."},
    {"MsgStatusMemory", "Save is in progress..."},
    {"MsgStatusFeed", "Sheet-scroll is in progress..."},
    {"MsgStatusScanPC", "Acquiring image from Q-47..."},
    {"MsgStatusTransImage", "Image transfer is in progress..."},
    {"MsgErrorE1", "(E1 ERROR)Printer error."},
    {"MsgErrorE2", "(E2 ERROR)Cannot recognize the USB memory device."},
    {"MsgErrorE3", "(E3 ERROR)Cannot save to the USB memory device."},
    {"MsgErrorE4", "(E4 ERROR)Scanner error."},
    {"MsgErrorE5", "(E5 ERROR)Internal error."},
    {"MsgErrorUS", "(US ERROR)No USB memory device."},
    {"MsgErrorFL", "(FL ERROR)The USB memory device is full."},
    {"MsgErrorEL", "(EL ERROR)This printer is not supported."},
    {"MsgErrorE6", "(E6 ERROR)Cannot found page boundary."},
    {"MsgErrorOTHER", "ERROR"},
    {"MsgUSBOpenError", "USB could not be opened !"},
    {"MsgSendPktError", "Send packet to Q-47 via USB failed !"},
    {"MsgReceivePktError", "Receive packet from Q-47 via USB failed !"},
    {"MsgReceiveBadPkt", "Receive bad packet from Q-47 devive !"},
};
}  // namespace

const char* errorTextKey(uint8_t error) {
    // The board numbers US, FL and EL before E6: 9 is E6, not 6.
    static constexpr const char* kKeys[] = {nullptr,      "MsgErrorE1", "MsgErrorE2", "MsgErrorE3",
                                            "MsgErrorE4", "MsgErrorE5", "MsgErrorUS", "MsgErrorFL",
                                            "MsgErrorEL", "MsgErrorE6"};
    if (error < std::size(kKeys)) return kKeys[error];
    return "MsgErrorOTHER";
}

const char* stateTextKey(uint8_t state) {
    switch (state) {
        case StateStandby: return "MsgStatusStandby";
        case StateScanPrint: return "MsgStatusScanPrint";
        case StateScanMemory: return "MsgStatusScanMemory";
        case StatePrint: return "MsgStatusPrint";
        case StateMemory: return "MsgStatusMemory";
        case StateFeed: return "MsgStatusFeed";
        case StateScanPC: return "MsgStatusScanPC";
        case StateTransImage: return "MsgStatusTransImage";
        default: return nullptr;  // 0, 14, 100 and unknown states leave the status line as it is
    }
}

const char* defaultText(const std::string& key) {
    for (const auto& kt : kDefaults)
        if (key == kt.key) return kt.text;
    return nullptr;
}

}  // namespace q47::board
