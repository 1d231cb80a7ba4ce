// Monitor device names and the setup dialog's monitor entries.
#include "capture/monitor_names.h"

namespace q47::capture {

std::string MonitorDeviceName(int index) {
    return "\\\\.\\DISPLAY" + std::to_string(index + 1);
}

int ComboDisplayIndex(const std::string& deviceName) {
    const size_t slash = deviceName.find_last_of('\\');
    const std::string tail = slash == std::string::npos ? deviceName : deviceName.substr(slash + 1);
    for (int digit = 1; digit <= 5; ++digit)
        if (tail.find(static_cast<char>('0' + digit)) != std::string::npos) return digit - 1;
    return -1;
}

}  // namespace q47::capture
