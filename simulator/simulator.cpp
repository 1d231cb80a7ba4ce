// The simulator's server thread: one board client on the framed wire, control clients,
// unplugging and the restart after a firmware update.
#include "simulator/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "board/packet.h"

namespace q47::sim {

namespace {

// Largest frame a client may send; anything larger is not a USB transfer.
constexpr uint32_t kMaxRequestFrame = 64 * 1024;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool makeAddress(const std::string& path, sockaddr_un* addr, std::string* error) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr->sun_path) {
        if (error) *error = "socket path empty or too long: " + path;
        return false;
    }
    std::memcpy(addr->sun_path, path.c_str(), path.size());
    return true;
}

// What lies at path: nothing (true), a socket nobody answers, which a simulator that was
// killed leaves behind and which is removed (true), or something that is not ours to
// delete: any other file, or a socket a running program listens on (false, *error says
// which). Another simulator must never lose its socket to a second one started by mistake.
bool clearStaleSocket(const std::string& path, std::string* error) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISSOCK(st.st_mode)) {
        if (error) *error = path + ": exists and is not a socket; not replacing it";
        return false;
    }
    sockaddr_un addr;
    if (!makeAddress(path, &addr, error)) return false;
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int rc = connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int why = errno;
    close(probe);
    if (rc == 0) {
        if (error) *error = path + ": another program (a running simulator?) listens there";
        return false;
    }
    if (why != ECONNREFUSED) {
        if (error) *error = path + ": " + std::strerror(why);
        return false;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        if (error) *error = path + ": cannot remove the stale socket: " + std::strerror(errno);
        return false;
    }
    return true;
}

// A listening Unix socket on path (see clearStaleSocket); -1 on failure. *bound names the
// socket file made, so that only that file is ever removed again.
int listenOn(const std::string& path, std::string* error, SocketFile* bound) {
    sockaddr_un addr;
    if (!makeAddress(path, &addr, error)) return -1;
    if (!clearStaleSocket(path, error)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 4) < 0) {
        if (error) *error = path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    struct stat st;
    *bound = lstat(path.c_str(), &st) == 0 ? SocketFile{st.st_dev, st.st_ino} : SocketFile{};
    return fd;
}

// Removes path only while it is still the socket file this simulator made.
void unlinkOwn(const std::string& path, const SocketFile& bound) {
    struct stat st;
    if (bound.inode != 0 && lstat(path.c_str(), &st) == 0 && st.st_dev == bound.device &&
        st.st_ino == bound.inode)
        unlink(path.c_str());
}

void writeFully(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno == EAGAIN) {
            pollfd w{fd, POLLOUT, 0};
            if (poll(&w, 1, 1000) <= 0) return;
            continue;
        }
        if (k <= 0) return;
        p += k, n -= size_t(k);
    }
}

// Wire bytes (frame fields included) that carry the first `bytes` reply bytes of out.
size_t wireBytesBefore(const Transfers& out, size_t bytes) {
    size_t wire = 0;
    for (const auto& t : out) {
        if (bytes == 0) break;
        const size_t take = std::min(bytes, t.size());
        wire += 4 + take;
        bytes -= take;
    }
    return wire;
}

}  // namespace

Simulator::Simulator(Config config) : config_(config), board_(std::move(config)) {}

Simulator::~Simulator() { stop(); }

void Simulator::log(const std::string& line) {
    if (log_) log_(line);
}

void Simulator::wake() {
    if (wakeFds_[1] >= 0) {
        char c = 1;
        (void)!write(wakeFds_[1], &c, 1);
    }
}

bool Simulator::listen(const std::string& socketPath, std::string* error) {
    if (running_) {
        if (error) *error = "already listening";
        return false;
    }
    socketPath_ = socketPath;
    if (!openListener(error)) return false;
    if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) < 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        closeListener();
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

bool Simulator::listenControl(const std::string& controlPath, std::string* error) {
    SocketFile bound;
    int fd = listenOn(controlPath, error, &bound);
    if (fd < 0) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (controlFd_ >= 0) {
            close(controlFd_);
            unlinkOwn(controlPath_, controlFile_);
        }
        controlFd_ = fd;
        controlPath_ = controlPath;
        controlFile_ = bound;
    }
    wake();
    return true;
}

void Simulator::stop() {
    if (running_) {
        running_ = false;
        wake();
        thread_.join();
    }
    dropClient();
    closeListener();
    for (int fd : controlClients_) close(fd);
    controlClients_.clear();
    controlInbox_.clear();
    if (controlFd_ >= 0) {
        close(controlFd_);
        controlFd_ = -1;
        unlinkOwn(controlPath_, controlFile_);
    }
    for (int& fd : wakeFds_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

bool Simulator::openListener(std::string* error) {
    listenFd_ = listenOn(socketPath_, error, &socketFile_);
    return listenFd_ >= 0;
}

// Nothing listens while the board is unplugged: connect() then fails as opening a
// missing device does.
void Simulator::closeListener() {
    if (listenFd_ < 0) return;
    close(listenFd_);
    listenFd_ = -1;
    unlinkOwn(socketPath_, socketFile_);
}

void Simulator::dropClient() {
    if (clientFd_ >= 0) {
        close(clientFd_);
        clientFd_ = -1;
        log("client dropped");
    }
    inbox_.clear();
    clientConnected_ = false;
}

void Simulator::unplug(int ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unplugUntil_ = steadyMs() + std::max(0, ms);
        dropRequested_ = true;
    }
    // Drop the connection before returning, so a caller sees the cable pulled at once.
    clientConnected_ = false;
    wake();
    if (!running_) {
        dropClient();
        closeListener();
    }
}

bool Simulator::unplugged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    // A serving simulator clears the mark once it listens again; one that does not
    // serve has only the time to go by.
    return unplugUntil_ != 0 && (running_ || steadyMs() < unplugUntil_);
}

void Simulator::run() {
    std::vector<pollfd> fds;
    while (running_) {
        int timeout = -1;
        bool drop = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            drop = dropRequested_;
            dropRequested_ = false;
            if (unplugUntil_ != 0) {
                int64_t left = unplugUntil_ - steadyMs();
                if (left > 0) timeout = int(std::min<int64_t>(left, 60000));
            }
        }
        if (drop) {
            dropClient();
            closeListener();
            log("unplugged");
        }
        if (timeout < 0 && listenFd_ < 0) {
            std::string error;
            if (openListener(&error))
                log("plugged in");
            else
                log("cannot listen again: " + error), timeout = 500;
        }
        // The board counts as unplugged until its socket takes connections again, so
        // a caller that waits for unplugged() to end can open it at once.
        if (timeout < 0 && listenFd_ >= 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (unplugUntil_ != 0 && steadyMs() >= unplugUntil_) unplugUntil_ = 0;
        }

        fds.clear();
        fds.push_back({wakeFds_[0], POLLIN, 0});
        const size_t clientAt = fds.size();
        if (clientFd_ >= 0) fds.push_back({clientFd_, POLLIN, 0});
        const size_t listenAt = fds.size();
        if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
        const size_t controlAt = fds.size();
        int controlFd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            controlFd = controlFd_;
        }
        if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
        const size_t controlClientsAt = fds.size();
        for (int fd : controlClients_) fds.push_back({fd, POLLIN, 0});

        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        if (fds[0].revents) {
            char buf[64];
            while (read(wakeFds_[0], buf, sizeof buf) > 0) {
            }
            continue;  // stop, unplug or a new control socket: look again
        }
        // The client first: a client that closed and connected again must be seen
        // gone before its new connection is judged.
        if (clientFd_ >= 0 && fds[clientAt].revents) serveClient();
        if (listenFd_ >= 0 && listenAt < fds.size() && fds[listenAt].fd == listenFd_ &&
            fds[listenAt].revents)
            acceptClient();
        if (controlFd >= 0 && fds[controlAt].revents) acceptControl();
        for (size_t i = controlClientsAt; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (!serveControl(fds[i].fd)) {
                for (size_t k = 0; k < controlClients_.size(); ++k) {
                    if (controlClients_[k] != fds[i].fd) continue;
                    close(controlClients_[k]);
                    controlClients_.erase(controlClients_.begin() + long(k));
                    controlInbox_.erase(controlInbox_.begin() + long(k));
                    break;
                }
            }
        }
    }
}

void Simulator::acceptClient() {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (clientFd_ >= 0) {
        writeFully(fd, kGreetingRefused, 4);
        close(fd);
        log("second client refused");
        return;
    }
    clientFd_ = fd;
    inbox_.clear();
    clientConnected_ = true;  // before the greeting: a client that has it sees itself taken
    writeFully(fd, kGreetingTaken, 4);
    log("client taken");
}

// Reads what the client sent and answers every complete frame.
void Simulator::serveClient() {
    uint8_t buf[16384];
    for (;;) {
        ssize_t k = recv(clientFd_, buf, sizeof buf, 0);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno == EAGAIN) break;
        if (k <= 0) {
            dropClient();
            return;
        }
        inbox_.insert(inbox_.end(), buf, buf + k);
        if (size_t(k) < sizeof buf) break;
    }
    size_t at = 0;
    while (clientFd_ >= 0 && inbox_.size() - at >= 4) {
        const uint32_t len = board::le32(inbox_.data() + at);
        if (len > kMaxRequestFrame) {
            log("frame of " + std::to_string(len) + " bytes is no transfer; client dropped");
            dropClient();
            return;
        }
        if (inbox_.size() - at - 4 < len) break;
        Transfers out;
        int restartMs = 0;
        int64_t cut = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            out = board_.handle(inbox_.data() + at + 4, len);
            restartMs = board_.takeRestart();
            cut = board_.takeLinkCut();
        }
        at += 4 + len;
        // One buffer for all the reply's frames: an image reply goes out in few writes.
        size_t total = 0;
        for (const auto& t : out) total += 4 + t.size();
        std::vector<uint8_t> wire(total);
        uint8_t* p = wire.data();
        for (const auto& t : out) {
            board::putLe32(p, uint32_t(t.size()));
            if (!t.empty()) std::memcpy(p + 4, t.data(), t.size());
            p += 4 + t.size();
        }
        if (cut >= 0) total = wireBytesBefore(out, size_t(cut));
        if (total && !sendAll(wire.data(), total)) {
            dropClient();
            return;
        }
        if (cut >= 0) {
            // The listener stays: the board is plugged in again before the PC can
            // see its read fail, so its next open is taken.
            log("link cut after " + std::to_string(cut) + " bytes of the image");
            dropClient();
            return;
        }
        if (restartMs > 0) {
            log("board restarts for " + std::to_string(restartMs) + " ms");
            std::lock_guard<std::mutex> lock(mutex_);
            unplugUntil_ = steadyMs() + restartMs;
            dropRequested_ = true;
            break;
        }
    }
    if (clientFd_ >= 0) inbox_.erase(inbox_.begin(), inbox_.begin() + long(std::min(at, inbox_.size())));
}

// Sends to the client, giving up when the client goes away, the simulator stops or
// the cable is pulled.
bool Simulator::sendAll(const uint8_t* data, size_t n) {
    while (n > 0) {
        // A cable pulled in the middle of a long reply cuts it there, even while the
        // client keeps up with the stream.
        if (!running_) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (dropRequested_) return false;
        }
        ssize_t k = send(clientFd_, data, n, MSG_NOSIGNAL);
        if (k > 0) {
            data += k, n -= size_t(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno != EAGAIN) return false;
        pollfd w{clientFd_, POLLOUT, 0};
        if (poll(&w, 1, 100) < 0 && errno != EINTR) return false;
        if (w.revents & (POLLERR | POLLHUP)) return false;
    }
    return true;
}

void Simulator::acceptControl() {
    int fd = accept4(controlFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    controlClients_.push_back(fd);
    controlInbox_.emplace_back();
}

// Answers each complete command line of a control client; false when it has gone.
bool Simulator::serveControl(int fd) {
    size_t index = 0;
    while (index < controlClients_.size() && controlClients_[index] != fd) ++index;
    if (index == controlClients_.size()) return false;
    char buf[4096];
    ssize_t k = recv(fd, buf, sizeof buf, 0);
    if (k < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (k <= 0) return false;
    std::string& pending = controlInbox_[index];
    pending.append(buf, size_t(k));
    if (pending.size() > 65536) return false;  // no line end in sight: not a control client
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string answer = control(line) + "\n";
        writeFully(fd, answer.data(), answer.size());
    }
    return true;
}

// --- shorthands ---

void Simulator::setState(uint8_t state, uint8_t progress) {
    withBoard([&](Board& b) { b.setState(state, progress); });
}
void Simulator::setError(uint8_t error) {
    withBoard([&](Board& b) { b.setError(error); });
}
void Simulator::setLamps(bool colour, bool density) {
    withBoard([&](Board& b) { b.setLamps(colour, density); });
}
void Simulator::setModel(char letter, const std::string& name) {
    withBoard([&](Board& b) { b.setModel(letter, name); });
}
void Simulator::setScanMs(int ms) {
    withBoard([&](Board& b) { b.setScanMs(ms); });
}
void Simulator::setScanPolls(int polls) {
    withBoard([&](Board& b) { b.setScanPolls(polls); });
}
bool Simulator::setSheet(const std::string& path, std::string* error) {
    return withBoard([&](Board& b) { return b.setSheet(path, error); });
}
void Simulator::injectNext(Injection what) {
    withBoard([&](Board& b) { b.injectNext(what); });
}
std::vector<std::vector<uint8_t>> Simulator::received() const {
    return withBoard([](const Board& b) { return b.received(); });
}
void Simulator::clearReceived() {
    withBoard([](Board& b) { b.clearReceived(); });
}
std::string Simulator::firmwareReceived() const {
    return withBoard([](const Board& b) { return b.firmwareReceived(); });
}

}  // namespace q47::sim
