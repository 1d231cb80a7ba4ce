// The commands of q47ctl, each a short dialogue with the board through the utility core.
#pragma once

#include <string>
#include <vector>

namespace q47::ctl {

struct Options {
    std::string device;    // --device, else $Q47_DEVICE, else the default device
    int waitSeconds = 30;  // --wait: how long to wait for a ready board or a test image
    std::string command;
    std::vector<std::string> args;
};

int runStatus(const Options& o);
int runSettings(const Options& o);
int runClock(const Options& o);
int runFirmware(const Options& o);
int runTestImage(const Options& o);

}  // namespace q47::ctl
