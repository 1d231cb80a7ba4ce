// Feeds the simulated board a sequence of arbitrary request transfers: no crash, and every
// answer is a well-formed set of transfers of at most 4096 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "simulator/board.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int64_t now = 0;
    q47::sim::Config config;
    config.scanLines = 16;  // small images keep each run fast
    config.linePixels = 24;
    config.scanMs = 50;
    q47::sim::Board board(config, [] { return now; });
    // Input: transfers, each as one length byte and that many bytes.
    size_t at = 0;
    while (at < size) {
        const size_t len = data[at++];
        const size_t n = len < size - at ? len : size - at;
        now += 20;
        const q47::sim::Transfers out = board.handle(data + at, n);
        for (const auto& t : out)
            if (t.size() > 4096) std::abort();
        board.takeRestart();
        at += n;
    }
    return 0;
}
