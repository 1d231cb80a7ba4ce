// Monitor device names (\\.\DISPLAY<n>) and the setup dialog's entries for them.
#pragma once

#include <string>

namespace q47::capture {

// Device name of the monitor at place `index` (0-based) of the screen list.
std::string MonitorDeviceName(int index);

// Which ComboDisplay text (0 for ComboDisplay1 … 4 for ComboDisplay5) a device name gets:
// its part after the last backslash is searched for "1", then "2", … "5"; the first digit
// tested that occurs decides. -1 when none occurs (the monitor gets no entry).
int ComboDisplayIndex(const std::string& deviceName);

}  // namespace q47::capture
