// Encoding of requests and classification and parsing of the board's replies.
#include "board/packet.h"

#include <cstring>

namespace q47::board {

std::vector<uint8_t> encodeFrame(uint8_t code, const std::vector<uint8_t>& params) {
    std::vector<uint8_t> out(5 + params.size());
    putLe32(out.data(), static_cast<uint32_t>(1 + params.size()));
    out[4] = code;
    if (!params.empty()) std::memcpy(out.data() + 5, params.data(), params.size());
    return out;
}

std::vector<uint8_t> encodeRequest(uint8_t code, uint8_t key) {
    switch (code) {
        case DeviceInfo:
        case Status:
        case ImageTransfer:
        case FirmwareVersion:
        case PcScan:
            return encodeFrame(code);
        case PanelKey:
            return encodeFrame(code, {key});
        default:
            // The data source never sends a code it does not know.
            return {};
    }
}

Block classifyBlock(const uint8_t* block, size_t count) {
    Block b;
    if (block == nullptr || count <= 4) return b;
    b.length = le32(block);
    // A zero length carries no code byte, so there is nothing to dispatch on.
    if (b.length == 0) return b;
    b.code = block[4];
    if (b.length <= kMaxCompleteLength) {
        b.kind = Block::Complete;
        return b;
    }
    // The length reaches past this block: the first block of an image reply. Its
    // header fields lie in the 4096-byte receive buffer whatever the read returned.
    b.kind = Block::ImageStart;
    b.image = parseImageHeader(block);
    b.expected = b.length - kMaxCompleteLength;
    return b;
}

uint32_t imageProgressPercent(uint32_t expected, uint32_t outstanding) {
    if (expected == 0) return 100;
    // Unsigned 32-bit as the board's progress always was: an overshoot wraps and is capped.
    uint32_t percent = (expected - outstanding) * 100u / expected;
    return percent > 100 ? 100 : percent;
}

static std::string textAt(const uint8_t* block, size_t offset, size_t bufferSize) {
    if (offset >= bufferSize) return {};
    const uint8_t* start = block + offset;
    const void* end = std::memchr(start, 0, bufferSize - offset);
    size_t n = end ? static_cast<const uint8_t*>(end) - start : bufferSize - offset;
    return std::string(reinterpret_cast<const char*>(start), n);
}

DeviceInfoReply parseDeviceInfo(const uint8_t* block, size_t bufferSize) {
    DeviceInfoReply d;
    d.modelLetter = static_cast<char>(block[5]);
    d.width = le16(block + 6);
    d.height = le16(block + 8);
    d.data10 = block[10];
    d.data11 = le32(block + 11);
    d.data15 = le32(block + 15);
    d.flag18 = block[18] == 1;
    d.modelName = textAt(block, 20, bufferSize);
    return d;
}

StatusReply parseStatus(const uint8_t* block) {
    StatusReply s;
    s.state = block[5];
    s.lamps = block[8];
    s.progress = block[11];
    s.error = block[13];
    return s;
}

ImageHeader parseImageHeader(const uint8_t* block) {
    ImageHeader h;
    h.width = le16(block + 5);
    h.height = le16(block + 7);
    h.colour = block[9] != 0;  // the byte taken as a truth value
    return h;
}

std::string parseFirmwareVersion(const uint8_t* block, size_t bufferSize) {
    return textAt(block, 5, bufferSize);
}

}  // namespace q47::board
