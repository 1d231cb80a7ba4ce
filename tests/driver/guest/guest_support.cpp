// Helpers of the guest tests: the board node, the gadget's control socket, time limits.
#include "guest_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/klog.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace q47::guest {

std::string env(const char* name) {
    const char* v = getenv(name);
    if (!v) throw std::runtime_error(std::string("guest setup lacks $") + name);
    return v;
}

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

Fd::~Fd() { reset(); }

void Fd::reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

std::string nodePath(int unit) { return "/dev/zwbd_c_series" + std::to_string(unit); }

Fd openBoard(int unit) { return Fd(open(nodePath(unit).c_str(), O_RDWR)); }

bool waitForPath(const std::string& path, bool present, int ms) {
    for (int waited = 0;; waited += 20) {
        if ((access(path.c_str(), F_OK) == 0) == present) return true;
        if (waited >= ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {

void onAlarm(int) {}

// Arms a one-shot SIGALRM without SA_RESTART, so a blocked call returns EINTR.
struct AlarmIn {
    explicit AlarmIn(int ms) {
        struct sigaction sa {};
        sa.sa_handler = onAlarm;
        sigaction(SIGALRM, &sa, nullptr);
        itimerval t{};
        t.it_value.tv_sec = ms / 1000;
        t.it_value.tv_usec = (ms % 1000) * 1000;
        setitimer(ITIMER_REAL, &t, nullptr);
    }
    ~AlarmIn() {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
    }
};

}  // namespace

long readWithin(int fd, void* buf, size_t n, int ms) {
    AlarmIn alarm(ms);
    return read(fd, buf, n);
}

long writeWithin(int fd, const void* buf, size_t n, int ms) {
    AlarmIn alarm(ms);
    return write(fd, buf, n);
}

Gadget::Gadget() {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", env("Q47_GADGET_SOCKET").c_str());
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        throw std::runtime_error(std::string("gadget control socket: ") + strerror(errno));
}

Gadget::~Gadget() { close(fd_); }

std::string Gadget::command(const std::string& line) {
    std::string out = line + "\n";
    if (write(fd_, out.data(), out.size()) != ssize_t(out.size()))
        throw std::runtime_error("gadget control socket closed");
    std::string answer;
    char c;
    while (read(fd_, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
}

std::vector<size_t> Gadget::outSizes() {
    std::istringstream in(command("out"));
    std::string word;
    in >> word;
    std::vector<size_t> sizes;
    size_t s;
    while (in >> s) sizes.push_back(s);
    return sizes;
}

std::vector<uint8_t> rawPattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t((i * 7 + n) % 251);
    return bytes;
}

bool writeFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string kernelLog() {
    int size = klogctl(10 /* SYSLOG_ACTION_SIZE_BUFFER */, nullptr, 0);
    if (size <= 0) return {};
    std::string log(size_t(size), '\0');
    int n = klogctl(3 /* SYSLOG_ACTION_READ_ALL */, log.data(), size);
    log.resize(n > 0 ? size_t(n) : 0);
    return log;
}

LogMark::LogMark() {
    static int next = 0;
    line_ = "q47-guest-mark " + std::to_string(getpid()) + "-" + std::to_string(next++);
    // The line end closes the record at once; an open one stays unseen by readers
    // until the next message.
    std::string record = line_ + "\n";
    int fd = open("/dev/kmsg", O_WRONLY);
    if (fd < 0 || write(fd, record.data(), record.size()) != ssize_t(record.size()))
        throw std::runtime_error(std::string("/dev/kmsg: ") + strerror(errno));
    close(fd);
}

std::string LogMark::text() const {
    std::string log = kernelLog();
    size_t at = log.rfind(line_);
    if (at == std::string::npos) throw std::runtime_error("the kernel log lost mark " + line_);
    return log.substr(at + line_.size());
}

int currentUnit() {
    int unit = -1;
    if (DIR* d = opendir("/sys/class/q47usb")) {
        while (dirent* e = readdir(d)) {
            int n = -1;
            if (sscanf(e->d_name, "zwbd_c_series%d", &n) == 1 && n > unit) unit = n;
        }
        closedir(d);
    }
    return unit;
}

}  // namespace q47::guest
