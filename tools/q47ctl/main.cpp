// q47ctl: the Q-47 maintenance utility from a terminal (status, settings, clock, firmware,
// test image), for scripts and for service staff on machines without a desktop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "tools/q47ctl/commands.h"
#include "tools/q47ctl/terminal.h"

using namespace q47::ctl;

namespace {

const char* const kExitCodes =
    "Exit status:\n"
    "  0  done\n"
    "  1  the link failed (the board stopped answering)\n"
    "  2  wrong usage\n"
    "  3  no board (not connected, not powered, no access to the device)\n"
    "  4  the board is busy: another program holds it, or it stays busy (scanning, printing)\n"
    "  5  bad file (firmware file missing, unreadable or empty; output not writable)\n"
    "  6  the board refused the command\n";

const char* const kUsageText =
    "Usage: q47ctl [--device DEVICE] [--wait SECONDS] COMMAND [ARGS]\n"
    "Talks to a Q-47 copyboard like the maintenance utility q47uty, without a desktop.\n"
    "\n"
    "Commands:\n"
    "  status                      model, firmware version, state and error of the board\n"
    "  settings [NAME=VALUE ...]   show the five board settings, or set some of them\n"
    "  clock [YYYY-MM-DD HH:MM]    set the board clock to the local time or the given one\n"
    "  firmware FILE               update the board's firmware from an S-record file\n"
    "  test-image OUT.bmp          wait for the board's PCB test image and save it\n"
    "Run 'q47ctl COMMAND --help' for a command's details.\n"
    "\n"
    "Options:\n"
    "  --device DEVICE the board: a device path, usb, usb:VVVV:PPPP or sim:SOCKET\n"
    "                  (default $Q47_DEVICE, else /dev/zwbd_c_series0)\n"
    "  --wait SECONDS  how long to wait for a busy board or a test image (default 30)\n"
    "  --help          show this text\n"
    "\n";

const std::map<std::string, const char*> kCommandHelp = {
    {"status",
     "Usage: q47ctl status\n"
     "Prints the board's model letter, firmware version, state and error code.\n"},
    {"settings",
     "Usage: q47ctl settings [NAME=VALUE ...]\n"
     "Without arguments prints the board's five settings. With arguments sets them, waiting\n"
     "for the board to be ready, and sends all five together with the board clock (set to\n"
     "the local time), as the utility's OK button does.\n"
     "  print-mode=original|match   image mode for printing (Original Image / Match Paper Size)\n"
     "  save-mode=original|match    image mode for saving\n"
     "  paper=a4|letter             paper size\n"
     "  margin=disable|enable       binding margin\n"
     "  time-stamp=disable|enable   time stamp\n"
     "Values may also be given as 0 and 1.\n"},
    {"clock",
     "Usage: q47ctl clock [YYYY-MM-DD HH:MM]\n"
     "Sets the board clock to the computer's local time, or to the date and time given.\n"
     "The five settings are sent along with their current board values.\n"},
    {"firmware",
     "Usage: q47ctl firmware FILE\n"
     "Streams the S-record file FILE (Q47_*_*.mot) to the board in blocks of up to 16 lines,\n"
     "showing the progress (a bar on a terminal, else one percentage per line on stderr).\n"
     "The board restarts after the last block; the command then ends.\n"},
    {"test-image",
     "Usage: q47ctl [--wait SECONDS] test-image OUT.bmp\n"
     "Waits for the PCB test image that the board sends when its test is started, decodes\n"
     "it and saves it as a one-bit BMP file. The compressed data are kept as rawdata.bin\n"
     "beside OUT.bmp.\n"},
};

int usageError(const std::string& what) {
    std::fprintf(stderr, "q47ctl: %s\nTry 'q47ctl --help'.\n", what.c_str());
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--device" || a == "--wait") {
            if (i + 1 >= argc) return usageError(a + " needs a value");
            const std::string v = argv[++i];
            if (a == "--device") {
                o.device = v;
            } else {
                char* end = nullptr;
                const long s = std::strtol(v.c_str(), &end, 10);
                if (v.empty() || *end || s < 0 || s > 86400)
                    return usageError("--wait takes seconds (0..86400), not \"" + v + "\"");
                o.waitSeconds = int(s);
            }
        } else if (o.command.empty() && a.rfind("--", 0) == 0) {
            return usageError("unknown option " + a);
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.args.push_back(a);
        }
    }
    if (o.command.empty()) {
        if (help) {
            std::fputs(kUsageText, stdout);
            std::fputs(kExitCodes, stdout);
            return kOk;
        }
        return usageError("no command given");
    }
    const auto helpText = kCommandHelp.find(o.command);
    if (helpText == kCommandHelp.end()) return usageError("unknown command \"" + o.command + "\"");
    if (help) {
        std::fputs(helpText->second, stdout);
        std::fputs("\n", stdout);
        std::fputs(kExitCodes, stdout);
        return kOk;
    }
    if (o.command == "status")
        return o.args.empty() ? runStatus(o) : usageError("status takes no arguments");
    if (o.command == "settings") return runSettings(o);
    if (o.command == "clock") return runClock(o);
    if (o.command == "firmware") return runFirmware(o);
    return runTestImage(o);
}
