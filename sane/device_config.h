// Which device channels the backend tries, from the environment, the driver's nodes and q47.conf.
#pragma once

#include <string>
#include <vector>

namespace q47::sane {

// Lines of q47.conf: one device channel per line ("/dev/zwbd_c_series0", "usb",
// "usb:VVVV:PPPP", "sim:/path/to.sock"); '#' starts a comment; blanks are trimmed.
std::vector<std::string> parseConfig(const std::string& text);
// q47.conf from the folders SANE reads configuration from: $SANE_CONFIG_DIR (colon
// separated; a trailing colon adds the defaults), else "." and /etc/sane.d. The first
// file found is read; none: no entries.
std::vector<std::string> readConfig();
// Every channel to try, each once, in this order: $Q47_DEVICE, the driver's nodes
// /dev/zwbd_c_series<N> that exist (by N), "usb", then the configured ones.
std::vector<std::string> candidateChannels(const std::vector<std::string>& configured,
                                           const std::string& nodeFolder = "/dev");

}  // namespace q47::sane
