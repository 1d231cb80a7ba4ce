// The device channel on a device node (the kernel module's /dev/zwbd_c_series0).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/channel/backends.h"
#include "platform/channel/io_deadline.h"

namespace q47::channel {

namespace {

class PathChannel : public DeviceChannel {
public:
    PathChannel(int fd, std::string path, int timeoutMs)
        : fd_(fd), path_(std::move(path)), timeoutMs_(timeoutMs) {}
    ~PathChannel() override { close(); }

    bool isOpen() const override { return fd_ >= 0; }
    void close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    std::string lastError() const override { return error_; }

    long write(const uint8_t* data, size_t n) override {
        return transfer(const_cast<uint8_t*>(data), n, true);
    }
    long read(uint8_t* buf, size_t n) override { return transfer(buf, n, false); }

private:
    // One read() or write() of at most kMaxTransfer bytes: the node turns it into one
    // bulk transfer. A signal other than the deadline's restarts the call.
    long transfer(uint8_t* buf, size_t n, bool out) {
        if (fd_ < 0) {
            error_ = path_ + ": not open";
            return -1;
        }
        n = std::min(n, kMaxTransfer);
        IoDeadline deadline(timeoutMs_);
        for (;;) {
            ssize_t k = out ? ::write(fd_, buf, n) : ::read(fd_, buf, n);
            if (k >= 0) return long(k);
            if (errno == EINTR && !deadline.expired()) continue;
            error_ = errno == EINTR ? path_ + ": no answer within " + std::to_string(timeoutMs_) + " ms"
                                    : path_ + ": " + std::strerror(errno);
            return -1;
        }
    }

    int fd_;
    std::string path_;
    int timeoutMs_;
    std::string error_;
};

}  // namespace

std::unique_ptr<DeviceChannel> openPath(const std::string& path, int timeoutMs,
                                        std::string* error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = path + ": " + (errno == EBUSY ? "the board is in use" : std::strerror(errno));
        return nullptr;
    }
    // The kernel module refuses a second open by itself; the lock keeps a node that
    // does not (a stand-in, a renamed node) exclusive among our programs as well.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        *error = path + ": the board is in use";
        return nullptr;
    }
    return std::make_unique<PathChannel>(fd, path, timeoutMs);
}

}  // namespace q47::channel
