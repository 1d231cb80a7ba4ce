// The board as a USB gadget in the test guest: FunctionFS endpoints served by the simulator.
//
// Usage: q47_board_gadget <board ffs dir> <filler ffs dir> <control socket> <ready file>
//
// Each bulk-out transfer the host sends is one request for the simulated board; each
// transfer of its answer is written to bulk-in as one transfer (an empty one as a
// zero-length packet). A control socket lets the guest test steer the wire:
//   raw N      queue a bulk-in transfer of N pattern bytes (byte i = (i * 7 + N) % 251)
//   zlp        queue a zero-length packet
//   mode board|record   answer requests with the board, or only record them
//   hold 1|0   after the next bulk-out transfer take no more (the host's writes wait)
//   out        sizes of all bulk-out transfers seen so far ("out 5 4096 ...")
//   scanpolls N / geometry W H / colour 0|1   board setup
//   image      FNV-1a hash and size of the image the board sends ("image <hash> <size>")
// Every command answers one line, "ok" unless it reports something.
#include "ffs_descriptors.h"
#include "simulator/board.h"

#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using q47::sim::Transfers;

// Everything the three threads share, under one lock.
struct Wire {
    std::mutex lock;
    std::condition_variable queued;
    std::deque<std::vector<uint8_t>> toHost;  // bulk-in transfers not yet written
    std::vector<size_t> outSizes;             // every bulk-out transfer's size
    bool answerWithBoard = true;
    bool holdOut = false;
    std::condition_variable released;
    q47::sim::Board board;

    explicit Wire(q47::sim::Config config) : board(std::move(config)) {}

    void queue(Transfers transfers) {
        std::lock_guard<std::mutex> hold(lock);
        for (auto& t : transfers) toHost.push_back(std::move(t));
        queued.notify_all();
    }
};

int openOrDie(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags);
    if (fd < 0) {
        fprintf(stderr, "gadget: open %s: %s\n", path.c_str(), strerror(errno));
        exit(1);
    }
    return fd;
}

void writeOrDie(int fd, const std::vector<uint8_t>& bytes, const char* what) {
    if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        fprintf(stderr, "gadget: writing %s: %s\n", what, strerror(errno));
        exit(1);
    }
}

// Host-to-board: one read per transfer. The board takes at most 4096 bytes a
// transfer, as the PC sends them: a 4096-byte transfer carries no zero-length packet
// behind it, so a larger read would run on into the next transfer. While the link is
// down the read fails or waits in FunctionFS until the function is enabled again.
void serveBulkOut(Wire& wire, int fd) {
    std::vector<uint8_t> buf(4096);
    for (;;) {
        ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0) {
            usleep(10000);
            continue;
        }
        std::unique_lock<std::mutex> hold(wire.lock);
        wire.outSizes.push_back(size_t(n));
        if (wire.answerWithBoard) {
            for (auto& t : wire.board.handle(buf.data(), size_t(n))) wire.toHost.push_back(std::move(t));
            wire.queued.notify_all();
        }
        wire.released.wait(hold, [&] { return !wire.holdOut; });
    }
}

// Board-to-host: each queued transfer is one write, which finishes when the host has
// read all of it. A transfer lost to an unplug is dropped with the link.
void serveBulkIn(Wire& wire, int fd) {
    for (;;) {
        std::vector<uint8_t> transfer;
        {
            std::unique_lock<std::mutex> hold(wire.lock);
            wire.queued.wait(hold, [&] { return !wire.toHost.empty(); });
            transfer = std::move(wire.toHost.front());
            wire.toHost.pop_front();
        }
        if (write(fd, transfer.data(), transfer.size()) < 0)
            fprintf(stderr, "gadget: bulk-in transfer of %zu bytes lost: %s\n", transfer.size(),
                    strerror(errno));
    }
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
            if (ev.type <= FUNCTIONFS_RESUME)
                fprintf(stderr, "gadget: ep0 %d %s\n", p.fd, names[ev.type]);
            if (ev.type == FUNCTIONFS_SETUP) {
                if (ev.u.setup.bRequestType & USB_DIR_IN)
                    (void)!write(p.fd, nullptr, 0);
                else
                    (void)!read(p.fd, nullptr, 0);
            }
        }
    }
}

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

std::string command(Wire& wire, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::ostringstream reply;
    if (verb == "raw") {
        size_t n = 0;
        in >> n;
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t((i * 7 + n) % 251);
        wire.queue({std::move(bytes)});
        return "ok";
    }
    if (verb == "zlp") {
        wire.queue({{}});
        return "ok";
    }
    std::lock_guard<std::mutex> hold(wire.lock);
    if (verb == "mode") {
        std::string m;
        in >> m;
        wire.answerWithBoard = m == "board";
        return "ok";
    }
    if (verb == "hold") {
        int on = 0;
        in >> on;
        wire.holdOut = on != 0;
        wire.released.notify_all();
        return "ok";
    }
    if (verb == "out") {
        reply << "out";
        for (size_t s : wire.outSizes) reply << ' ' << s;
        return reply.str();
    }
    if (verb == "scanpolls") {
        int n = 0;
        in >> n;
        wire.board.setScanPolls(n);
        return "ok";
    }
    if (verb == "geometry") {
        unsigned w = 0, h = 0;
        in >> w >> h;
        wire.board.setGeometry(uint16_t(w), uint16_t(h));
        return "ok";
    }
    if (verb == "colour") {
        int c = 0;
        in >> c;
        wire.board.setLamps(c != 0, wire.board.densityLamp());
        return "ok";
    }
    if (verb == "image") {
        auto data = wire.board.imageData(wire.board.colourLamp());
        reply << "image " << fnv1a(data) << ' ' << data.size();
        return reply.str();
    }
    return "error unknown command";
}

int listenOrDie(const std::string& path) {
    int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    if (bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || listen(server, 4) < 0) {
        fprintf(stderr, "gadget: control socket %s: %s\n", path.c_str(), strerror(errno));
        exit(1);
    }
    return server;
}

// One client at a time, one line per command.
void serveControl(Wire& wire, int server) {
    for (;;) {
        int client = accept(server, nullptr, nullptr);
        if (client < 0) continue;
        std::string pending;
        char chunk[256];
        ssize_t n;
        while ((n = read(client, chunk, sizeof chunk)) > 0) {
            pending.append(chunk, size_t(n));
            size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                std::string answer = command(wire, pending.substr(0, eol)) + "\n";
                pending.erase(0, eol + 1);
                (void)!write(client, answer.data(), answer.size());
            }
        }
        close(client);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s <board ffs dir> <filler ffs dir> <control socket> <ready file>\n",
                argv[0]);
        return 2;
    }
    const std::string boardDir = argv[1], fillerDir = argv[2];

    // The filler's descriptors go first; the UDC binds only when both are written.
    int fillerEp0 = openOrDie(fillerDir + "/ep0", O_RDWR);
    writeOrDie(fillerEp0, q47::guest::fillerDescriptors(), "filler descriptors");
    writeOrDie(fillerEp0, q47::guest::emptyStrings(), "filler strings");
    int boardEp0 = openOrDie(boardDir + "/ep0", O_RDWR);
    writeOrDie(boardEp0, q47::guest::boardDescriptors(), "board descriptors");
    writeOrDie(boardEp0, q47::guest::emptyStrings(), "board strings");
    int bulkOut = openOrDie(boardDir + "/ep1", O_RDWR);
    int bulkIn = openOrDie(boardDir + "/ep2", O_RDWR);

    q47::sim::Config config;
    config.scanPolls = 2;  // a PC scan ends after two status polls, whatever the clock
    Wire wire(config);

    std::thread(serveEp0, std::vector<int>{fillerEp0, boardEp0}).detach();
    std::thread(serveBulkOut, std::ref(wire), bulkOut).detach();
    std::thread(serveBulkIn, std::ref(wire), bulkIn).detach();
    std::thread control(serveControl, std::ref(wire), listenOrDie(argv[3]));

    int ready = open(argv[4], O_CREAT | O_WRONLY, 0644);
    close(ready);
    fprintf(stderr, "gadget: ready\n");
    control.join();
    return 0;
}
