// q47sim: runs a simulated Q-47 board on a Unix socket until interrupted.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
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
    "                      For both: only a stale socket (one nobody answers) at PATH\n"
    "                      is replaced; any other file, or a running simulator's\n"
    "                      socket, is refused.\n"
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
    "  --packet-log N      keep the last N request packets for the \"log\" command\n"
    "                      (default 4096; older ones are forgotten)\n"
    "  --verbose           log clients, unplugging and malformed frames to stderr\n"
    "  --background        return once the sockets listen, leaving the simulator\n"
    "                      running (its standard streams closed); stop it with\n"
    "                      SIGTERM or the control command \"quit\"\n"
    "  --tell PATH CMD...  send one command to a running simulator's control socket,\n"
    "                      print its answer and exit (0 when it is \"ok\")\n"
    "  --help              this text\n"
    "\n"
    "The scan image's scan line x is column x of the sheet read from its bottom to its\n"
    "top; colour images are 3-3-2 palette indices, grey images 0..255 levels.\n";

// The control answer is one line with line breaks and backslashes escaped; printed, it
// shows its lines again (the help text is a list).
std::string unescapeLine(const std::string& line) {
    std::string s;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            s += line[i];
            continue;
        }
        const char next = line[++i];
        s += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return s;
}

// Sends one command line to a control socket and prints the answer.
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
    std::string shown = unescapeLine(answer);
    if (shown.empty() || shown.back() != '\n') shown += '\n';
    std::fputs(shown.c_str(), stdout);
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
    bool verbose = false, background = false;
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
        } else if (opt == "--packet-log") {
            config.packetLogLimit = size_t(count(0, 1000000));
        } else if (opt == "--verbose") {
            verbose = true;
        } else if (opt == "--background") {
            background = true;
        } else {
            std::fprintf(stderr, "q47sim: unknown option %s (see --help)\n", opt.c_str());
            return 2;
        }
    }

    // In the background the simulator runs in a child that reports through a pipe
    // whether its sockets listen; the command returns only then, so the next command of
    // a script finds the board.
    int ready[2] = {-1, -1};
    if (background) {
        if (pipe2(ready, O_CLOEXEC) != 0) {
            std::fprintf(stderr, "q47sim: pipe: %s\n", std::strerror(errno));
            return 1;
        }
        const pid_t child = fork();
        if (child < 0) {
            std::fprintf(stderr, "q47sim: fork: %s\n", std::strerror(errno));
            return 1;
        }
        if (child > 0) {
            close(ready[1]);
            std::string report;
            char buf[512];
            ssize_t k;
            while ((k = read(ready[0], buf, sizeof buf)) > 0) report.append(buf, size_t(k));
            const bool ok = report.rfind("ok\n", 0) == 0;
            if (ok)
                std::printf("%s (pid %d)\n", report.substr(3).c_str(), int(child));
            else
                std::fprintf(stderr, "%s\n", report.empty() ? "q47sim: the simulator did not start"
                                                             : report.c_str());
            if (!ok) waitpid(child, nullptr, 0);
            return ok ? 0 : 1;
        }
        close(ready[0]);
        setsid();
    }
    auto report = [&](bool ok, const std::string& line) {
        if (!background) {
            std::fprintf(ok ? stdout : stderr, "%s\n", line.c_str());
            std::fflush(stdout);
            return;
        }
        const std::string text = (ok ? "ok\n" : "") + line;
        (void)!write(ready[1], text.data(), text.size());
        close(ready[1]);
        if (ok) {
            // Nobody reads these any more; a caller's pipe must not stay open through them.
            const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
            for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, fd);
            if (null > STDERR_FILENO) close(null);
        }
    };

    // A sheet that cannot be read is an error here, not a silent default.
    std::string sheetPath = config.sheetPath;
    config.sheetPath.clear();
    q47::sim::Simulator sim(config);
    std::string error;
    if (!sheetPath.empty() && !sim.setSheet(sheetPath, &error)) {
        report(false, "q47sim: " + error);
        return 1;
    }
    if (verbose && !background)
        sim.setLogger([](const std::string& line) { std::fprintf(stderr, "q47sim: %s\n", line.c_str()); });
    sim.setQuitHandler([] { kill(getpid(), SIGTERM); });

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the server thread inherits it

    if (!sim.listen(socketPath, &error) ||
        (!controlPath.empty() && !sim.listenControl(controlPath, &error))) {
        report(false, "q47sim: " + error);
        return 1;
    }
    report(true, std::string("q47sim: board ") + config.modelLetter + " \"" + config.modelName + "\" on " +
                     socketPath + (controlPath.empty() ? "" : ", control on " + controlPath));
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    return 0;
}
