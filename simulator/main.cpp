// q47sim: runs a simulated Q-47 board on a Unix socket until interrupted.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "simulator/simulator.h"

namespace {

const char kUsage[] =
    "Usage: q47sim [OPTION]...\n"
    "Runs a simulated Q-47 copyboard. Programs reach it with Q47_DEVICE=sim:PATH.\n"
    "\n"
    "  --socket PATH       the board's wire (default /tmp/q47sim.sock)\n"
    "  --control PATH      also serve text control commands on PATH (send \"help\")\n"
    "  --model L           model letter of device info (default W)\n"
    "  --name TEXT         model name (default \"Q-47W\"; a PC scan without user\n"
    "                      interface needs \"Q-\" in it)\n"
    "  --firmware TEXT     firmware version text (default \"Ver 1.00\")\n"
    "  --sheet FILE        PNG or BMP picture of the sheet (default: a drawn sheet with\n"
    "                      strokes, text and four red marks)\n"
    "  --scan-lines N      scan lines W of an image (default 4096)\n"
    "  --line-pixels M     pixels H per scan line (default 2000)\n"
    "  --colour            COLOR lamp lit at power-on\n"
    "  --grey              COLOR lamp dark at power-on (the default)\n"
    "  --density           DENSITY lamp lit at power-on\n"
    "  --scan-ms N         a PC scan stays in state 16 for N ms (default 2000)\n"
    "  --scan-polls N      a PC scan lasts N status polls instead (default 0: use time)\n"
    "  --restart-ms N      link down after the final firmware block (default 3000)\n"
    "  --verbose           log clients, unplugging and malformed frames to stderr\n"
    "  --tell PATH CMD...  send one command to a running simulator's control socket,\n"
    "                      print its answer and exit (0 when it is \"ok\")\n"
    "  --help              this text\n"
    "\n"
    "The scan image's scan line x is column x of the sheet read from its bottom to its\n"
    "top; colour images are 3-3-2 palette indices, grey images 0..255 levels.\n";

// Sends one command line to a control socket and prints the answer line.
int tell(const std::string& path, const std::string& command) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "q47sim: %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    const std::string line = command + "\n";
    if (write(fd, line.data(), line.size()) != ssize_t(line.size())) return 1;
    std::string answer;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') answer += c;
    close(fd);
    std::printf("%s\n", answer.c_str());
    return answer.rfind("ok", 0) == 0 ? 0 : 1;
}

bool number(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 0);
    if (!*s || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    q47::sim::Config config;
    std::string socketPath = "/tmp/q47sim.sock", controlPath;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "q47sim: %s needs a value\n", opt.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto count = [&](long lo, long hi) {
            const char* v = value();
            long n;
            if (!number(v, lo, hi, &n)) {
                std::fprintf(stderr, "q47sim: %s wants a number %ld..%ld, not \"%s\"\n",
                             opt.c_str(), lo, hi, v);
                std::exit(2);
            }
            return n;
        };
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--tell") {
            const std::string path = value();
            std::string command;
            for (++i; i < argc; ++i) {
                if (!command.empty()) command += ' ';
                command += argv[i];
            }
            return tell(path, command);
        } else if (opt == "--socket") {
            socketPath = value();
        } else if (opt == "--control") {
            controlPath = value();
        } else if (opt == "--model") {
            const char* v = value();
            if (std::strlen(v) != 1) {
                std::fprintf(stderr, "q47sim: --model wants one character\n");
                return 2;
            }
            config.modelLetter = v[0];
        } else if (opt == "--name") {
            config.modelName = value();
        } else if (opt == "--firmware") {
            config.firmware = value();
        } else if (opt == "--sheet") {
            config.sheetPath = value();
        } else if (opt == "--scan-lines") {
            config.scanLines = uint16_t(count(1, 65535));
        } else if (opt == "--line-pixels") {
            config.linePixels = uint16_t(count(1, 65535));
        } else if (opt == "--colour" || opt == "--color") {
            config.colourLamp = true;
        } else if (opt == "--grey" || opt == "--gray") {
            config.colourLamp = false;
        } else if (opt == "--density") {
            config.densityLamp = true;
        } else if (opt == "--scan-ms") {
            config.scanMs = int(count(0, 3600000));
        } else if (opt == "--scan-polls") {
            config.scanPolls = int(count(0, 1000000));
        } else if (opt == "--restart-ms") {
            config.restartMs = int(count(1, 3600000));
        } else if (opt == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "q47sim: unknown option %s (see --help)\n", opt.c_str());
            return 2;
        }
    }

    // A sheet that cannot be read is an error here, not a silent default.
    std::string sheetPath = config.sheetPath;
    config.sheetPath.clear();
    q47::sim::Simulator sim(config);
    std::string error;
    if (!sheetPath.empty() && !sim.setSheet(sheetPath, &error)) {
        std::fprintf(stderr, "q47sim: %s\n", error.c_str());
        return 1;
    }
    if (verbose) sim.setLogger([](const std::string& line) { std::fprintf(stderr, "q47sim: %s\n", line.c_str()); });

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the server thread inherits it

    if (!sim.listen(socketPath, &error) ||
        (!controlPath.empty() && !sim.listenControl(controlPath, &error))) {
        std::fprintf(stderr, "q47sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("q47sim: board %c \"%s\" on %s%s%s\n", config.modelLetter, config.modelName.c_str(),
                socketPath.c_str(), controlPath.empty() ? "" : ", control on ", controlPath.c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    return 0;
}
