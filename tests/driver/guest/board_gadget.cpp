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
//   halt 1|0   stall the bulk-in endpoint (the host's reads fail) or clear the stall
//   out        sizes of all bulk-out transfers seen so far ("out 5 4096 ...")
//   scanpolls N / geometry W H / colour 0|1   board setup
//   image      FNV-1a hash and size of the image the board sends ("image <hash> <size>")
// Every command answers one line, "ok" unless it reports something.
#include "ffs_board_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using q47::guest::FfsBoardServer;

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

std::string command(FfsBoardServer& server, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::ostringstream reply;
    if (verb == "raw") {
        size_t n = 0;
        in >> n;
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t((i * 7 + n) % 251);
        server.queue({std::move(bytes)});
    } else if (verb == "zlp") {
        server.queue({{}});
    } else if (verb == "mode") {
        std::string m;
        in >> m;
        server.answerWithBoard(m == "board");
    } else if (verb == "hold") {
        int on = 0;
        in >> on;
        server.holdOut(on != 0);
    } else if (verb == "halt") {
        int on = 0;
        in >> on;
        std::string error;
        if (!server.haltIn(on != 0, &error)) return "error " + error;
    } else if (verb == "out") {
        reply << "out";
        for (size_t s : server.outSizes()) reply << ' ' << s;
        return reply.str();
    } else if (verb == "scanpolls") {
        int n = 0;
        in >> n;
        server.withBoard([&](q47::sim::Board& b) { b.setScanPolls(n); });
    } else if (verb == "geometry") {
        unsigned w = 0, h = 0;
        in >> w >> h;
        server.withBoard([&](q47::sim::Board& b) { b.setGeometry(uint16_t(w), uint16_t(h)); });
    } else if (verb == "colour") {
        int c = 0;
        in >> c;
        server.withBoard([&](q47::sim::Board& b) { b.setLamps(c != 0, b.densityLamp()); });
    } else if (verb == "image") {
        server.withBoard([&](q47::sim::Board& b) {
            auto data = b.imageData(b.colourLamp());
            reply << "image " << fnv1a(data) << ' ' << data.size();
        });
        return reply.str();
    } else {
        return "error unknown command";
    }
    return "ok";
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
void serveControl(FfsBoardServer& board, int server) {
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
                std::string answer = command(board, pending.substr(0, eol)) + "\n";
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
    q47::sim::Config config;
    config.scanPolls = 2;  // a PC scan ends after two status polls, whatever the clock
    FfsBoardServer server(config);
    std::string error;
    if (!server.start(argv[1], argv[2], &error)) {
        fprintf(stderr, "gadget: %s\n", error.c_str());
        return 1;
    }
    std::thread control(serveControl, std::ref(server), listenOrDie(argv[3]));
    close(open(argv[4], O_CREAT | O_WRONLY, 0644));
    fprintf(stderr, "gadget: ready\n");
    control.join();
    return 0;
}
