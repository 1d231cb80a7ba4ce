// Feeds the simulated board a sequence of arbitrary request transfers: no crash, and every
// answer is a well-formed set of transfers of at most 4096 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <vector>

#include "board/packet.h"
#include "simulator/board.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int64_t now = 0;
    q47::sim::Config config;
    config.scanLines = 16;  // small images keep each run fast
    config.linePixels = 24;
    config.scanMs = 50;
    q47::sim::Board board(config, [] { return now; });
    // Input: a sequence of transfers. Each starts with a selector byte: bit 7 clear, a
    // well-framed request follows (code, then selector & 0x1F parameter bytes), so that
    // the fuzzer reaches every command; bit 7 set, (selector & 0x7F) raw bytes follow.
    size_t at = 0;
    std::vector<uint8_t> frame;
    while (at < size) {
        const uint8_t sel = data[at++];
        const size_t want = sel & 0x80 ? sel & 0x7F : 1 + (sel & 0x1F);
        const size_t n = want < size - at ? want : size - at;
        frame.clear();
        if (!(sel & 0x80)) {
            frame.resize(4);
            q47::board::putLe32(frame.data(), uint32_t(n));
        }
        frame.insert(frame.end(), data + at, data + at + n);
        at += n;
        now += 20;
        const q47::sim::Transfers out = board.handle(frame.data(), frame.size());
        for (const auto& t : out)
            if (t.size() > 4096) std::abort();
        board.takeRestart();
    }
    return 0;
}
