// The simulated board behind FunctionFS endpoints: the USB device side of the test guest.
#include "ffs_board_server.h"

#include "ffs_descriptors.h"

#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace q47::guest {
namespace {

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

// Control-endpoint events of both functions; the board has no control requests of
// its own, so a setup request is stalled.
void serveEp0(std::vector<int> fds) {
    static const char* names[] = {"BIND", "UNBIND", "ENABLE", "DISABLE", "SETUP", "SUSPEND", "RESUME"};
    std::vector<pollfd> polls;
    for (int fd : fds) polls.push_back({fd, POLLIN, 0});
    for (;;) {
        if (poll(polls.data(), polls.size(), -1) < 0) continue;
        for (auto& p : polls) {
            if (!(p.revents & POLLIN)) continue;
            usb_functionfs_event ev;
            if (read(p.fd, &ev, sizeof ev) != sizeof ev) continue;
            if (ev.type <= FUNCTIONFS_RESUME) fprintf(stderr, "gadget: ep0 %d %s\n", p.fd, names[ev.type]);
            if (ev.type == FUNCTIONFS_SETUP) {
                if (ev.u.setup.bRequestType & USB_DIR_IN)
                    (void)!write(p.fd, nullptr, 0);
                else
                    (void)!read(p.fd, nullptr, 0);
            }
        }
    }
}

}  // namespace

FfsBoardServer::FfsBoardServer(sim::Config config) : board_(std::make_unique<sim::Board>(std::move(config))) {}

bool FfsBoardServer::start(const std::string& boardDir, const std::string& fillerDir, std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = what + ": " + strerror(errno);
        return false;
    };
    // The filler's descriptors go first; the UDC binds only when both are written.
    int fillerEp0 = open((fillerDir + "/ep0").c_str(), O_RDWR);
    if (fillerEp0 < 0) return fail(fillerDir + "/ep0");
    if (!writeAll(fillerEp0, fillerDescriptors()) || !writeAll(fillerEp0, emptyStrings()))
        return fail("filler descriptors");
    int boardEp0 = open((boardDir + "/ep0").c_str(), O_RDWR);
    if (boardEp0 < 0) return fail(boardDir + "/ep0");
    if (!writeAll(boardEp0, boardDescriptors()) || !writeAll(boardEp0, emptyStrings()))
        return fail("board descriptors");
    int bulkOut = open((boardDir + "/ep1").c_str(), O_RDWR);
    int bulkIn = open((boardDir + "/ep2").c_str(), O_RDWR);
    if (bulkOut < 0 || bulkIn < 0) return fail("board endpoints");
    bulkIn_ = bulkIn;

    std::thread(serveEp0, std::vector<int>{fillerEp0, boardEp0}).detach();
    std::thread(&FfsBoardServer::serveBulkOut, this, bulkOut).detach();
    std::thread(&FfsBoardServer::serveBulkIn, this, bulkIn).detach();
    return true;
}

void FfsBoardServer::withBoard(const std::function<void(sim::Board&)>& f) {
    std::lock_guard<std::mutex> hold(lock_);
    f(*board_);
}

void FfsBoardServer::resetBoard(const sim::Config& config) {
    std::lock_guard<std::mutex> hold(lock_);
    board_ = std::make_unique<sim::Board>(config);
    toHost_.clear();
}

void FfsBoardServer::queue(sim::Transfers transfers) {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& t : transfers) toHost_.push_back(std::move(t));
    queued_.notify_all();
}

void FfsBoardServer::answerWithBoard(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    answer_ = on;
}

void FfsBoardServer::holdOut(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    hold_ = on;
    released_.notify_all();
}

std::vector<size_t> FfsBoardServer::outSizes() {
    std::lock_guard<std::mutex> hold(lock_);
    return outSizes_;
}

// FunctionFS stalls an endpoint when its file is used against its direction: a read
// of the bulk-in file sets the halt and fails with EBADMSG.
bool FfsBoardServer::haltIn(bool on, std::string* error) {
    if (on) {
        uint8_t byte;
        if (read(bulkIn_, &byte, 1) < 0 && errno == EBADMSG) return true;
        *error = std::string("halt: ") + strerror(errno);
        return false;
    }
    if (ioctl(bulkIn_, FUNCTIONFS_CLEAR_HALT) == 0) return true;
    *error = std::string("clear halt: ") + strerror(errno);
    return false;
}

// Host-to-board: one read per transfer. A 4096-byte transfer carries no zero-length
// packet behind it, so a larger read would run on into the next transfer. While the
// link is down the read fails or waits in FunctionFS until the function is enabled.
void FfsBoardServer::serveBulkOut(int fd) {
    std::vector<uint8_t> buf(4096);
    for (;;) {
        ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0) {
            usleep(10000);
            continue;
        }
        std::unique_lock<std::mutex> hold(lock_);
        outSizes_.push_back(size_t(n));
        if (answer_) {
            for (auto& t : board_->handle(buf.data(), size_t(n))) toHost_.push_back(std::move(t));
            queued_.notify_all();
        }
        released_.wait(hold, [&] { return !hold_; });
    }
}

// Board-to-host: each queued transfer is one write, which finishes when the host has
// read all of it. A transfer lost to an unplug is dropped with the link.
void FfsBoardServer::serveBulkIn(int fd) {
    for (;;) {
        std::vector<uint8_t> transfer;
        {
            std::unique_lock<std::mutex> hold(lock_);
            queued_.wait(hold, [&] { return !toHost_.empty(); });
            transfer = std::move(toHost_.front());
            toHost_.pop_front();
        }
        if (write(fd, transfer.data(), transfer.size()) < 0)
            fprintf(stderr, "gadget: bulk-in transfer of %zu bytes lost: %s\n", transfer.size(),
                    strerror(errno));
    }
}

}  // namespace q47::guest
