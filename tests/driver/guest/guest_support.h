// Helpers of the guest tests: the board node, the gadget's control socket, time limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q47::guest {

// The guest's setup, from the environment the init script exports.
std::string env(const char* name);

// An open node, closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept;
    ~Fd();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset();

private:
    int fd_;
};

// Opens /dev/zwbd_c_series<unit> for reading and writing; errno on failure.
Fd openBoard(int unit = 0);
std::string nodePath(int unit);
bool waitForPath(const std::string& path, bool present, int ms);

// read/write that a signal breaks after ms: a call the driver never finishes fails
// the test with EINTR instead of hanging the guest.
long readWithin(int fd, void* buf, size_t n, int ms);
long writeWithin(int fd, const void* buf, size_t n, int ms);

// The gadget's control socket: one command, one answer line.
class Gadget {
public:
    Gadget();
    ~Gadget();
    std::string command(const std::string& line);
    // Sizes of every bulk-out transfer the board has received.
    std::vector<size_t> outSizes();

private:
    int fd_ = -1;
};

// The bytes the gadget sends for "raw n".
std::vector<uint8_t> rawPattern(size_t n);

// Writes text to a sysfs or configfs file; false on failure.
bool writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

// The whole kernel log.
std::string kernelLog();

// A point in the kernel log: a unique line written to it at construction. text()
// gives the lines after it only, so a case never counts what an earlier case, a
// module reload or the init script wrote (and offsets do not break when the ring
// buffer wraps).
class LogMark {
public:
    LogMark();
    std::string text() const;

private:
    std::string line_;
};

// The highest unit number with a node in /sys/class/q47usb, or -1.
int currentUnit();

}  // namespace q47::guest
