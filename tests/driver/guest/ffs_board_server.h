// The simulated board behind FunctionFS endpoints: the USB device side of the test guest.
//
// Each bulk-out transfer the host sends is one request for the board; each transfer of
// its answer is written to bulk-in as one transfer (an empty one as a zero-length
// packet). The board takes at most 4096 bytes a transfer, as the PC sends them.
#pragma once

#include "simulator/board.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace q47::guest {

class FfsBoardServer {
public:
    explicit FfsBoardServer(sim::Config config);
    // Writes the descriptors of the filler and the board function (boardDir and
    // fillerDir are their FunctionFS mounts) and starts serving. After this the
    // gadget can be bound to its UDC. False with *error on failure.
    bool start(const std::string& boardDir, const std::string& fillerDir, std::string* error);

    void withBoard(const std::function<void(sim::Board&)>& f);
    // A fresh board; transfers still queued for the host are dropped.
    void resetBoard(const sim::Config& config);
    // Transfers the host reads next, ahead of any board answer still to come.
    void queue(sim::Transfers transfers);
    // Answer requests with the board (default), or only record their sizes.
    void answerWithBoard(bool on);
    // After the next bulk-out transfer take no more until released: the host's writes wait.
    void holdOut(bool on);
    std::vector<size_t> outSizes();
    // Stalls the bulk-in endpoint (the host's reads fail) or clears the stall.
    // False with *error when FunctionFS refuses.
    bool haltIn(bool on, std::string* error);

private:
    void serveBulkOut(int fd);
    void serveBulkIn(int fd);

    std::mutex lock_;
    std::condition_variable queued_, released_;
    std::deque<std::vector<uint8_t>> toHost_;
    std::vector<size_t> outSizes_;
    bool answer_ = true;
    bool hold_ = false;
    std::unique_ptr<sim::Board> board_;
    int bulkIn_ = -1;
};

}  // namespace q47::guest
