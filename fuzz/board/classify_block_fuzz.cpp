// Any bytes a board may send: classification and the typed views stay inside the buffer.
#include <array>
#include <cstring>

#include "board/packet.h"

using namespace q47::board;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The channel reads into a fixed 4096-byte buffer; what lies past the count is stale.
    std::array<uint8_t, kBlockSize> buf{};
    size_t n = size < buf.size() ? size : buf.size();
    std::memcpy(buf.data(), data, n);
    Block b = classifyBlock(buf.data(), n);
    if (b.kind == Block::Complete) {
        size_t sink = 0;
        switch (b.code) {
            case ReplyDeviceInfo: sink += parseDeviceInfo(buf.data()).modelName.size(); break;
            case ReplyStatus: sink += parseStatus(buf.data()).state; break;
            case ReplyFirmwareVersion: sink += parseFirmwareVersion(buf.data()).size(); break;
            default: break;
        }
        asm volatile("" : : "r"(sink));  // keep the parsing from being optimised away
    } else if (b.kind == Block::ImageStart) {
        if (b.expected == 0) __builtin_trap();  // an image start always has data outstanding
        (void)imageProgressPercent(b.expected, b.expected - 6);
    }
    return 0;
}
