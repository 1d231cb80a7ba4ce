// The board's packet frame: requests, reply classification, typed reply views, texts.
//
// Frame: u32 little-endian length of what follows (code byte included), code, data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace q47::board {

constexpr size_t kBlockSize = 4096;
// Largest length whose bytes end within one 4096-byte block.
constexpr uint32_t kMaxCompleteLength = kBlockSize - 4;

// Request codes the data source sends (the utility adds its own on the same frame).
enum Command : uint8_t {
    DeviceInfo = 1,
    Status = 2,
    ImageTransfer = 3,
    PanelKey = 4,
    FirmwareVersion = 13,
    PcScan = 21,
};

// Parameter byte of PanelKey.
enum Key : uint8_t {
    KeyStop = 0,
    KeyCancelScan = 1,  // user cancel while only progress is shown
    KeyImageSeen = 2,   // first state 17 of a progress-only window
    KeyDensity = 3,
    KeyColor = 4,
};

// Reply codes.
enum Reply : uint8_t {
    ReplyAck = 0,
    ReplyDeviceInfo = 1,
    ReplyStatus = 2,
    ReplyImage = 3,
    ReplyFirmwareVersion = 13,
    ReplyNak = 0xFF,
};

// Board states of the status reply.
enum State : uint8_t {
    StateZero = 0,
    StateStandby = 1,
    StateScanPrint = 2,
    StateScanMemory = 3,
    StatePrint = 4,
    StateMemory = 5,
    StateFeed = 6,
    StateWait14 = 14,
    StateScanPC = 16,
    StateTransImage = 17,
    StateAskPcScan = 100,
};

constexpr uint8_t kLampColour = 0x20;
constexpr uint8_t kLampDensity = 0x40;

// The data source's requests: the 5 or 6 bytes for code, or nothing for any code
// not in the table. key is used only by PanelKey.
std::vector<uint8_t> encodeRequest(uint8_t code, uint8_t key = 0);
// Any frame: length = 1 + params.size(); used by the utility's own commands.
std::vector<uint8_t> encodeFrame(uint8_t code, const std::vector<uint8_t>& params = {});

inline uint32_t le32(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void putLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}
inline void putLe16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }

struct ImageHeader {
    uint16_t width = 0;   // W: scan lines
    uint16_t height = 0;  // H: pixels per scan line
    bool colour = false;
};

// What one read block is.
struct Block {
    enum Kind { BadPacket, Complete, ImageStart } kind = BadPacket;
    uint8_t code = 0;       // Complete and ImageStart
    uint32_t length = 0;    // the length field
    ImageHeader image;      // ImageStart
    uint32_t expected = 0;  // ImageStart: length - 4092, bytes still outstanding by length
};

// Classifies one read of count bytes from a 4096-byte receive buffer. A read of 4
// bytes or fewer is a bad packet, and so is a length field of 0 (no code byte: the
// frame has nothing to dispatch on). The reply data are the length bytes after the
// length field as they stand in the buffer: the count is checked only against 4.
Block classifyBlock(const uint8_t* block, size_t count);

// Progress of an image reply: outstanding starts at expected - 6.
uint32_t imageProgressPercent(uint32_t expected, uint32_t outstanding);

struct DeviceInfoReply {
    char modelLetter = 0;
    uint16_t width = 0, height = 0;
    uint8_t data10 = 0;
    uint32_t data11 = 0, data15 = 0;
    bool flag18 = false;  // byte 18 == 1
    std::string modelName;
};
struct StatusReply {
    uint8_t state = 0;
    uint8_t lamps = 0;
    uint8_t progress = 0;
    uint8_t error = 0;
    bool colour() const { return lamps & kLampColour; }
    bool density() const { return lamps & kLampDensity; }
};

// Typed views of a complete reply held in a 4096-byte buffer (block) whose length
// field is block[0..3]. Texts end at their 0 byte or at the buffer's end.
DeviceInfoReply parseDeviceInfo(const uint8_t* block, size_t bufferSize = kBlockSize);
StatusReply parseStatus(const uint8_t* block);
ImageHeader parseImageHeader(const uint8_t* block);
std::string parseFirmwareVersion(const uint8_t* block, size_t bufferSize = kBlockSize);

// Language-file keys; nullptr where the code has no text (error 0, states without one).
const char* errorTextKey(uint8_t error);
const char* stateTextKey(uint8_t state);
// Busy states 2..6.
inline bool isBusyState(uint8_t s) { return s >= StateScanPrint && s <= StateFeed; }

// Default texts of the state, error and link keys (English); nullptr for unknown keys.
const char* defaultText(const std::string& key);

}  // namespace q47::board
