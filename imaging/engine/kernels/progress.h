// Progress reporting from row loops to the caller's callback, one call per changed percent.
#pragma once

#include <cstdint>

namespace q47::ik {

// Kernels call step() once per row (or block); the callback sees each percent once and
// may stop the work by answering 0. A null sink costs one branch per row.
class ProgressSink {
public:
    using Callback = int32_t (*)(int16_t percent);
    explicit ProgressSink(Callback cb = nullptr) : cb_(cb) {}
    // done of total units finished; false once the callback asked to stop.
    bool step(long done, long total) {
        if (!cb_ || cancelled_) return !cancelled_;
        const int pct = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (pct != last_) {
            last_ = pct;
            if (cb_(static_cast<int16_t>(pct)) == 0) cancelled_ = true;
        }
        return !cancelled_;
    }
    bool cancelled() const { return cancelled_; }

private:
    Callback cb_;
    int last_ = -1;
    bool cancelled_ = false;
};

}  // namespace q47::ik
