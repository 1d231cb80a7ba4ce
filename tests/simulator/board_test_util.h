// Helpers for driving a simulated Board the way the PC does: request bytes in, replies out.
#pragma once

#include <cstdint>
#include <vector>

#include "board/packet.h"
#include "simulator/board.h"

namespace q47::test {

inline std::vector<uint8_t> request(uint8_t code, std::vector<uint8_t> params = {}) {
    std::vector<uint8_t> r(5 + params.size());
    board::putLe32(r.data(), uint32_t(1 + params.size()));
    r[4] = code;
    for (size_t i = 0; i < params.size(); ++i) r[5 + i] = params[i];
    return r;
}

inline sim::Transfers ask(sim::Board& b, uint8_t code, std::vector<uint8_t> params = {}) {
    const std::vector<uint8_t> r = request(code, std::move(params));
    return b.handle(r.data(), r.size());
}

// The single transfer of a short reply.
inline std::vector<uint8_t> askOne(sim::Board& b, uint8_t code, std::vector<uint8_t> params = {}) {
    sim::Transfers t = ask(b, code, std::move(params));
    return t.size() == 1 ? t[0] : std::vector<uint8_t>{};
}

inline std::vector<uint8_t> joined(const sim::Transfers& t) {
    std::vector<uint8_t> all;
    for (const auto& x : t) all.insert(all.end(), x.begin(), x.end());
    return all;
}

// A clock the test moves by hand.
struct ManualClock {
    int64_t now = 1000;
    std::function<int64_t()> fn() {
        return [this] { return now; };
    }
};

}  // namespace q47::test
