// q47.conf parsing and the order in which the backend tries device channels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "sane/device_config.h"
#include "tests/sane/sane_test_support.h"

namespace q47::test {
namespace {

TEST(DeviceConfig, CommentsBlanksAndRepeatsAreDropped) {
    const auto entries = sane::parseConfig(
        "# boards\n\n  sim:/tmp/a.sock  \nusb:1234:abcd # the second one\n\t\nsim:/tmp/a.sock\r\n");
    EXPECT_EQ(entries, (std::vector<std::string>{"sim:/tmp/a.sock", "usb:1234:abcd"}));
}

TEST(DeviceConfig, ReadsTheFirstConfigFolderThatHasTheFile) {
    TempDir a, b;
    std::ofstream(b / "q47.conf") << "sim:/tmp/from-b.sock\n";
    setenv("SANE_CONFIG_DIR", (a.path().string() + ":" + b.path().string()).c_str(), 1);
    EXPECT_EQ(sane::readConfig(), (std::vector<std::string>{"sim:/tmp/from-b.sock"}));
    unsetenv("SANE_CONFIG_DIR");
}

TEST(DeviceConfig, EnvironmentThenNodesByNumberThenUsbThenConfigured) {
    TempDir dev;
    for (const char* n : {"zwbd_c_series10", "zwbd_c_series2", "zwbd_c_series0", "zwbd_c_seriesX", "tty0"})
        std::ofstream(dev / n) << "";
    setenv("Q47_DEVICE", "sim:/tmp/env.sock", 1);
    const auto list = sane::candidateChannels({"sim:/tmp/conf.sock", "usb"}, dev.path().string());
    unsetenv("Q47_DEVICE");
    const std::string d = dev.path().string();
    EXPECT_EQ(list, (std::vector<std::string>{"sim:/tmp/env.sock", d + "/zwbd_c_series0",
                                              d + "/zwbd_c_series2", d + "/zwbd_c_series10", "usb",
                                              "sim:/tmp/conf.sock"}));
}

}  // namespace
}  // namespace q47::test
