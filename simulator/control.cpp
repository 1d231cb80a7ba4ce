// The simulator's text control commands (control socket and in-process).
#include <cstdio>
#include <sstream>

#include "simulator/simulator.h"

namespace q47::sim {

namespace {

bool number(const std::string& word, long lo, long hi, long* out) {
    if (word.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 0);
    if (*end != 0 || v < lo || v > hi) return false;
    *out = v;
    return true;
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        s += b;
    }
    return s;
}

// Text on one line: backslash, line feed and carriage return escaped.
std::string oneLine(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c == '\\') s += "\\\\";
        else if (c == '\n') s += "\\n";
        else if (c == '\r') s += "\\r";
        else s += c;
    }
    return s;
}

// The rest of the line after the first n words, leading blanks removed.
std::string restAfterWords(const std::string& line, int n) {
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos) return "";
        at = line.find(' ', at);
        if (at == std::string::npos) return "";
    }
    at = line.find_first_not_of(' ', at);
    return at == std::string::npos ? "" : line.substr(at);
}

}  // namespace

const char* Simulator::controlHelp() {
    return "commands (one per line; answer \"ok ...\" or \"error ...\"):\n"
           "  status                      state, progress, error, lamps, client\n"
           "  state N [PROGRESS]          board state (1 standby, 2-6 busy, 14, 16, 17, 100, 0)\n"
           "  error N                     error code 0..255 of the status reply\n"
           "  lamps COLOUR DENSITY        0 or 1 each\n"
           "  model LETTER NAME...        model letter and name of device info\n"
           "  firmware TEXT...            firmware version text\n"
           "  scan-ms N                   a PC scan takes N ms in state 16\n"
           "  scan-polls N                a PC scan takes N status polls (0: use time)\n"
           "  geometry W H                scan lines and pixels per line\n"
           "  sheet [FILE]                PNG or BMP sheet; none: the default sheet\n"
           "  unplug MS                   drop the client and refuse connections for MS ms\n"
           "  inject KIND                 next reply: bad4 zero unknown oversized testimage\n"
           "  inject cut N                the link drops after N bytes of the next image reply\n"
           "  log                         count and hex of the packets received (the last\n"
           "                              4096, or as q47sim --packet-log says)\n"
           "  clear-log                   forget the packets received\n"
           "  setting CODE                value of setting 6, 17, 18, 19 or 20\n"
           "  clock                       the board clock: year month day hour minute\n"
           "  firmware-received           file name and text of the last firmware update\n"
           "  quit                        stop the simulator (q47sim only)\n"
           "  help                        this list\n";
}

std::string Simulator::control(const std::string& line) {
    std::istringstream in(line);
    std::string cmd, a, b;
    in >> cmd >> a >> b;
    long x = 0, y = 0;
    if (cmd == "help") return "ok " + oneLine(controlHelp());
    if (cmd == "status") {
        const bool down = unplugged();  // takes the lock itself
        return withBoard([&](const Board& bd) {
            std::ostringstream o;
            o << "ok state " << int(bd.state()) << " progress " << int(bd.progress()) << " error "
              << int(bd.error()) << " colour " << bd.colourLamp() << " density " << bd.densityLamp()
              << " client " << clientConnected() << " unplugged " << down;
            return o.str();
        });
    }
    if (cmd == "state") {
        if (!number(a, 0, 255, &x) || (!b.empty() && !number(b, 0, 100, &y)))
            return "error usage: state N [PROGRESS]";
        setState(uint8_t(x), uint8_t(y));
        return "ok";
    }
    if (cmd == "error") {
        if (!number(a, 0, 255, &x)) return "error usage: error N";
        setError(uint8_t(x));
        return "ok";
    }
    if (cmd == "lamps") {
        if (!number(a, 0, 1, &x) || !number(b, 0, 1, &y)) return "error usage: lamps COLOUR DENSITY";
        setLamps(x, y);
        return "ok";
    }
    if (cmd == "model") {
        std::string name = restAfterWords(line, 2);
        if (a.size() != 1 || name.empty()) return "error usage: model LETTER NAME";
        setModel(a[0], name);
        return "ok";
    }
    if (cmd == "firmware") {
        std::string text = restAfterWords(line, 1);
        withBoard([&](Board& bd) { bd.setFirmware(text); });
        return "ok";
    }
    if (cmd == "scan-ms" || cmd == "scan-polls") {
        if (!number(a, 0, 3600000, &x)) return "error usage: " + cmd + " N";
        cmd == "scan-ms" ? setScanMs(int(x)) : setScanPolls(int(x));
        return "ok";
    }
    if (cmd == "geometry") {
        if (!number(a, 1, 65535, &x) || !number(b, 1, 65535, &y)) return "error usage: geometry W H";
        withBoard([&](Board& bd) { bd.setGeometry(uint16_t(x), uint16_t(y)); });
        return "ok";
    }
    if (cmd == "sheet") {
        std::string path = restAfterWords(line, 1), why;
        return setSheet(path, &why) ? "ok" : "error " + oneLine(why);
    }
    if (cmd == "unplug") {
        if (!number(a, 0, 3600000, &x)) return "error usage: unplug MS";
        unplug(int(x));
        return "ok";
    }
    if (cmd == "inject" && a == "cut") {
        if (!number(b, 0, 0x7fffffff, &x)) return "error usage: inject cut N";
        withBoard([&](Board& bd) { bd.cutNextImage(size_t(x)); });
        return "ok";
    }
    if (cmd == "inject") {
        static const std::pair<const char*, Injection> kinds[] = {
            {"bad4", Injection::BadPacket4},         {"zero", Injection::ZeroLength},
            {"unknown", Injection::UnknownCode},     {"oversized", Injection::OversizedImage},
            {"testimage", Injection::TestImage}};
        for (const auto& [name, kind] : kinds) {
            if (a != name) continue;
            injectNext(kind);
            return "ok";
        }
        return "error usage: inject bad4|zero|unknown|oversized|testimage|cut N";
    }
    if (cmd == "log") {
        auto packets = received();
        std::string s = "ok " + std::to_string(packets.size());
        for (const auto& p : packets) s += " " + hex(p);
        return s;
    }
    if (cmd == "clear-log") {
        clearReceived();
        return "ok";
    }
    if (cmd == "setting") {
        if (!number(a, 0, 255, &x) || (x != 6 && (x < 17 || x > 20)))
            return "error usage: setting 6|17|18|19|20";
        return "ok " + std::to_string(withBoard([&](const Board& bd) { return bd.setting(uint8_t(x)); }));
    }
    if (cmd == "clock") {
        ClockValue c = withBoard([](const Board& bd) { return bd.clock(); });
        return "ok " + std::to_string(c.year) + " " + std::to_string(c.month) + " " +
               std::to_string(c.day) + " " + std::to_string(c.hour) + " " + std::to_string(c.minute);
    }
    if (cmd == "firmware-received") {
        return withBoard([](const Board& bd) {
            return "ok " + oneLine(bd.firmwareFileName()) + " " + oneLine(bd.firmwareReceived());
        });
    }
    if (cmd == "quit") {
        if (!quit_) return "error quit is not available here";
        quit_();
        return "ok";
    }
    if (cmd.empty()) return "error empty command";
    return "error unknown command: " + oneLine(cmd) + " (try help)";
}

}  // namespace q47::sim
