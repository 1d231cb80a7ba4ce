// The device channel on the simulator's socket: frames [u32 LE length][bytes], one per
// transfer, after the simulator's 4-byte greeting.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/channel/backends.h"

namespace q47::channel {

namespace {

using Clock = std::chrono::steady_clock;

// Largest frame the board may send: a transfer is at most 4096 bytes.
constexpr uint32_t kMaxFrame = 4096;

class SimChannel : public DeviceChannel {
public:
    SimChannel(int fd, std::string path, int timeoutMs)
        : fd_(fd), path_(std::move(path)), timeoutMs_(timeoutMs) {}
    ~SimChannel() override { close(); }

    bool isOpen() const override { return fd_ >= 0; }
    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        pending_.clear();
        at_ = 0;
    }
    std::string lastError() const override { return error_; }

    long write(const uint8_t* data, size_t n) override {
        if (fd_ < 0) return fail("not open");
        n = std::min(n, kMaxTransfer);
        std::vector<uint8_t> frame(4 + n);
        frame[0] = uint8_t(n), frame[1] = uint8_t(n >> 8), frame[2] = uint8_t(n >> 16),
        frame[3] = uint8_t(n >> 24);
        if (n) std::memcpy(frame.data() + 4, data, n);
        if (!io(frame.data(), frame.size(), true, deadline())) return -1;
        return long(n);
    }

    // The rest of the current transfer first; otherwise the next frame.
    long read(uint8_t* buf, size_t n) override {
        if (fd_ < 0) return fail("not open");
        n = std::min(n, kMaxTransfer);
        if (at_ >= pending_.size()) {
            const auto until = deadline();
            uint8_t head[4];
            if (!io(head, 4, false, until)) return -1;
            const uint32_t len = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
            if (len > kMaxFrame) {
                close();
                return fail("the simulator sent a frame of " + std::to_string(len) + " bytes");
            }
            pending_.resize(len);
            at_ = 0;
            if (len && !io(pending_.data(), len, false, until, false)) return -1;
            if (len == 0) return 0;  // a zero-length packet
        }
        const size_t take = std::min(n, pending_.size() - at_);
        std::memcpy(buf, pending_.data() + at_, take);
        at_ += take;
        return long(take);
    }

private:
    Clock::time_point deadline() const { return Clock::now() + std::chrono::milliseconds(timeoutMs_); }

    long fail(const std::string& why) {
        error_ = path_ + ": " + why;
        return -1;
    }

    // Moves exactly n bytes, or fails on time-out or a lost connection. A frame cut
    // off in the middle cannot be resynchronised: the channel then closes. A time-out
    // before the first byte of a frame leaves it open.
    bool io(uint8_t* p, size_t n, bool out, Clock::time_point until, bool frameStart = true) {
        bool moved = !frameStart;
        while (n > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0) {
                fail("no answer within " + std::to_string(timeoutMs_) + " ms");
                if (moved) {
                    ::close(fd_);
                    fd_ = -1;
                }
                return false;
            }
            pollfd pf{fd_, short(out ? POLLOUT : POLLIN), 0};
            int r = poll(&pf, 1, int(left.count()));
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) continue;  // the loop head reports the time-out
            ssize_t k = out ? send(fd_, p, n, MSG_NOSIGNAL) : recv(fd_, p, n, 0);
            if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (k <= 0) {
                fail(k == 0 ? "the board went away" : std::strerror(errno));
                ::close(fd_);
                fd_ = -1;
                return false;
            }
            p += k, n -= size_t(k);
            moved = true;
        }
        return true;
    }

    int fd_;
    std::string path_;
    int timeoutMs_;
    std::string error_;
    std::vector<uint8_t> pending_;  // the board's current transfer
    size_t at_ = 0;                 // bytes of it already read
};

}  // namespace

std::unique_ptr<DeviceChannel> openSim(const std::string& socketPath, int timeoutMs,
                                       std::string* error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) {
        *error = "bad simulator socket path \"" + socketPath + "\"";
        return nullptr;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = socketPath + ": no board there (" + std::strerror(errno) + ")";
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    // The simulator says at once whether it takes this client.
    char greeting[4];
    size_t got = 0;
    while (got < 4) {
        pollfd pf{fd, POLLIN, 0};
        if (poll(&pf, 1, timeoutMs) <= 0) break;
        ssize_t k = recv(fd, greeting + got, 4 - got, 0);
        if (k <= 0) break;
        got += size_t(k);
    }
    if (got == 4 && std::memcmp(greeting, "Q47+", 4) == 0)
        return std::make_unique<SimChannel>(fd, socketPath, timeoutMs);
    ::close(fd);
    *error = got == 4 && std::memcmp(greeting, "Q47-", 4) == 0
                 ? socketPath + ": the board is in use"
                 : socketPath + ": no simulator answered";
    return nullptr;
}

}  // namespace q47::channel
