// A stand-in for the kernel module's device node, served through FUSE by a simulated board.
//
// It behaves as /dev/zwbd_c_series0 does: a second open fails with EBUSY; each write()
// is one transfer to the board; each read() takes at most the requested bytes of the
// board's current transfer (the rest stays for the next read), a zero-length transfer
// reads as 0, and a read with nothing to take blocks until a signal interrupts it.
// Unplugging removes the node for a while and fails I/O on open files with ENODEV.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "simulator/board.h"

namespace q47::test {

class StandinNode {
public:
    explicit StandinNode(sim::Config config);
    ~StandinNode();
    // Mounts the node in a fresh folder; false with the reason when FUSE is not usable.
    bool start(std::string* error);
    std::string path() const { return dir_ + "/zwbd_c_series0"; }

    template <class F>
    auto withBoard(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(board_);
    }
    void unplug(int ms);

private:
    void serve();
    void handle(const uint8_t* msg, size_t n);
    void reply(uint64_t unique, int error, const void* data = nullptr, size_t size = 0);
    bool unpluggedNow();
    void answerPendingRead();

    sim::Board board_;
    std::mutex mutex_;
    std::string dir_;
    int fuseFd_ = -1, wakeFd_ = -1;
    bool mounted_ = false;
    std::thread thread_;
    // Served by the FUSE thread only, except where noted.
    std::deque<std::vector<uint8_t>> transfers_;  // the board's replies not yet read
    size_t at_ = 0;                               // bytes of transfers_.front() read
    bool opened_ = false;
    uint64_t fh_ = 0, nextFh_ = 1;
    std::atomic<bool> stopping_{false};
    uint64_t pendingRead_ = 0;  // unique of the read waiting for the board, 0 = none
    uint32_t pendingSize_ = 0;
    int64_t unplugUntil_ = 0;  // guarded by mutex_
    bool unplugNow_ = false;   // guarded by mutex_
};

}  // namespace q47::test
