// Q47tw.ds end to end: q47scan, our source manager, the data source and the q47sim board, checked by the images written.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ds_test_support.h"
#include "platform/device_channel.h"
#include "platform/dib.h"
#include "simulator/board.h"

using namespace q47::dstest;

namespace {

// The board as the tests run it: full-width scans (the hidden mode refuses narrower
// ones), fewer pixels per scan line than the real board, a short scan.
constexpr int kScanLines = 4096;
constexpr int kLinePixels = 600;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool canConnect(const std::string& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// q47sim as a child process on a socket of its own.
class SimulatorProcess {
public:
    SimulatorProcess(const std::string& socketPath, bool colourLamp, int scanLines = kScanLines) {
        pid_ = fork();
        if (pid_ == 0) {
            execl(Q47SIM_PATH, "q47sim", "--socket", socketPath.c_str(),
                  colourLamp ? "--colour" : "--grey", "--scan-ms", "300", "--scan-lines",
                  std::to_string(scanLines).c_str(), "--line-pixels",
                  std::to_string(kLinePixels).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up once its socket takes a connection (one the simulator then drops).
        for (int i = 0; i < 200 && !canConnect(socketPath); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ~SimulatorProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

// The sheet the simulator scans, upright, as RGB after the board's quantisation:
// 3-3-2 palette indices with the COLOR lamp on, grey levels with it off.
std::vector<uint8_t> expectedSheet(bool colour) {
    q47::sim::Config config;
    config.scanLines = kScanLines;
    config.linePixels = kLinePixels;
    const std::vector<uint8_t> lines = q47::sim::Board(config).imageData(colour);
    uint8_t palette[1024];
    q47::twain_source::fillPalette(palette, colour);
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(kScanLines) * kLinePixels * 3);
    for (int t = 0; t < kLinePixels; ++t)
        for (int x = 0; x < kScanLines; ++x) {
            // Scan line x is column x, read from the bottom of the sheet to its top.
            const uint8_t* q = palette + 4 * lines[size_t(x) * kLinePixels + (kLinePixels - 1 - t)];
            rgb.insert(rgb.end(), {q[2], q[1], q[0]});
        }
    return rgb;
}

std::vector<uint8_t> pngRgb(const std::string& path, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *width = int(image.width);
    *height = int(image.height);
    return pixels;
}

std::vector<uint8_t> bmpRgb(const std::string& path, int* width, int* height) {
    std::vector<uint8_t> dib;
    q47::dib::View view;
    if (!q47::dib::readBmpFile(path, &dib) || !q47::dib::parse(dib.data(), dib.size(), &view) ||
        view.header->biBitCount != 8)
        return {};
    *width = view.width;
    *height = view.height;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* row = view.rowFromTop(y);
        for (int x = 0; x < view.width; ++x) {
            const q47::dib::RgbQuad& q = view.palette[row[x]];
            rgb.insert(rgb.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
        }
    }
    return rgb;
}

// The pHYs chunk of a PNG file: pixels per metre across, or 0 without one.
uint32_t pngPixelsPerMetre(const std::string& path) {
    const std::string bytes = slurp(path);
    const size_t at = bytes.find("pHYs");
    if (at == std::string::npos || at + 8 > bytes.size()) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at + 4);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<uint8_t> imageRgb(const std::string& path) {
    int width = 0, height = 0;
    const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
    std::vector<uint8_t> rgb = png ? pngRgb(path, &width, &height) : bmpRgb(path, &width, &height);
    EXPECT_EQ(width, kScanLines) << path;
    EXPECT_EQ(height, kLinePixels) << path;
    return rgb;
}

// One temporary world per test: the simulator's socket, the source's settings folder,
// the runtime folder Qt wants, the images written.
class DsScan : public ::testing::Test {
protected:
    void startBoard(bool colourLamp, int scanLines = kScanLines) {
        board_ = std::make_unique<SimulatorProcess>(dir.file("board.sock"), colourLamp, scanLines);
    }
    void SetUp() override {
        mkdir(dir.file("home").c_str(), 0700);
        mkdir(dir.file("runtime").c_str(), 0700);
        setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
        setenv("Q47_DEVICE", ("sim:" + dir.file("board.sock")).c_str(), 1);
        setenv("Q47_HOME", dir.file("home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir.file("runtime").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Runs q47scan; its exit code, with its error output on failure.
    int scan(const std::string& args, std::string* err) {
        const std::string cmd = std::string("'") + Q47SCAN_PATH + "' --timeout 60 " + args +
                                " >/dev/null 2>'" + dir.file("err") + "'";
        const int status = std::system(cmd.c_str());
        *err = slurp(dir.file("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string acquire(const char* ui, const char* xfer, std::string* errOut = nullptr) {
        const std::string out =
            dir.file(std::string(ui) + "-" + xfer + (std::strcmp(xfer, "file") ? ".png" : ".bmp"));
        std::string err;
        EXPECT_EQ(scan(std::string("--ui ") + ui + " --xfer " + xfer + " --out '" + out + "'", &err), 0)
            << err;
        if (errOut) *errOut = err;
        return out;
    }
    // q47scan where no display is: the source's message boxes go to standard error.
    int scanWithoutDisplay(const std::string& args, std::string* err) {
        unsetenv("QT_QPA_PLATFORM");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        const std::string cmd = std::string("timeout -k 5 60 '") + Q47SCAN_PATH + "' --timeout 30 " + args +
                                " >/dev/null 2>'" + dir.file("err") + "'";
        const int status = std::system(cmd.c_str());
        *err = slurp(dir.file("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir dir;
    std::unique_ptr<SimulatorProcess> board_;
};

TEST_F(DsScan, EveryTransferInProgressAndHiddenModeDeliversTheSheet) {
    startBoard(/*colourLamp=*/true);
    const std::vector<uint8_t> sheet = expectedSheet(true);
    for (const char* ui : {"progress", "none"}) {
        for (const char* xfer : {"native", "memory", "file"}) {
            SCOPED_TRACE(std::string(ui) + " " + xfer);
            std::string err;
            const std::string file = acquire(ui, xfer, &err);
            const std::vector<uint8_t> got = imageRgb(file);
            ASSERT_EQ(got.size(), sheet.size());
            EXPECT_TRUE(got == sheet) << "not the simulator's sheet, upright";
            // Both PNGs say 200 dpi alike, whether the source's bitmap or its image
            // information gave the resolution.
            if (std::strcmp(xfer, "file") != 0) EXPECT_EQ(pngPixelsPerMetre(file), 7874u);
            // A memory transfer of many strips reports each tenth once in a log.
            size_t steps = 0;
            for (const std::string& line : linesOf(err))
                steps += line.rfind("q47scan: receiving the image (memory transfer): ", 0) == 0;
            if (std::strcmp(xfer, "memory") == 0) {
                EXPECT_GE(steps, 2u) << err;
                EXPECT_LE(steps, 11u) << err;
            }
        }
    }
}

TEST_F(DsScan, TheFileTransfersBmpEqualsTheNativeDibByteForByte) {
    startBoard(true);
    const std::string file = acquire("none", "file");
    std::string err;
    ASSERT_EQ(scan("--ui none --xfer native --out '" + dir.file("native.bmp") + "'", &err), 0) << err;
    const std::string fileBytes = slurp(file);
    EXPECT_EQ(fileBytes.size(), 1078u + size_t(kScanLines) * kLinePixels);
    EXPECT_TRUE(fileBytes == slurp(dir.file("native.bmp")));
}

TEST_F(DsScan, WithTheIndicatorsOffNoWindowPressesTheColourKey) {
    // With the COLOR lamp dark, a progress-only scan lights it first and scans in
    // colour; the hidden mode (ShowUI FALSE, CAP_INDICATORS FALSE) scans as the board
    // stands, in grey. So the grey picture shows the hidden mode was reached.
    startBoard(/*colourLamp=*/false);
    EXPECT_TRUE(imageRgb(acquire("none", "native")) == expectedSheet(false));
    EXPECT_TRUE(imageRgb(acquire("progress", "memory")) == expectedSheet(true));
}

TEST_F(DsScan, WithoutADisplayABoardThatCannotBeOpenedEndsTheScanWithItsMessage) {
    // No board, and nothing to show a message box on: the box's text goes to standard
    // error and the source asks to be closed, instead of a box nobody can answer
    // holding the application until its time-out.
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const auto start = std::chrono::steady_clock::now();
    std::string err;
    // timeout(1) bounds a hang: a box nobody answers blocks the source's thread.
    const std::string cmd = std::string("timeout -k 5 45 '") + Q47SCAN_PATH + "' --timeout 30 --ui progress --out '" +
                            dir.file("none.png") + "' >/dev/null 2>'" + dir.file("err") + "'";
    const int status = std::system(cmd.c_str());
    err = slurp(dir.file("err"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << err;
    EXPECT_NE(err.find("USB could not be opened !"), std::string::npos) << err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25)) << err;
    struct stat st;
    EXPECT_NE(stat(dir.file("none.png").c_str(), &st), 0) << "no image may be written";
}

// The source's line naming device and reason comes before its own message (shown, with no
// display, on standard error in progress-only mode; hidden mode shows no message), and
// q47scan ends with why it has no image.
void expectDeviceFailure(const std::string& err, const std::string& reasonLine) {
    const std::vector<std::string> lines = linesOf(err);
    const auto reason = std::find(lines.begin(), lines.end(), reasonLine);
    const auto box = std::find(lines.begin(), lines.end(), "Q47tw: USB could not be opened !");
    EXPECT_NE(reason, lines.end()) << err;
    EXPECT_NE(box, lines.end()) << err;
    EXPECT_LT(reason, box) << err;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "q47scan: error: the source closed without an image (cancelled, or the device failed)");
}

// Every way the board cannot be reached says which device was tried and why, beside the
// data source's own message.
TEST_F(DsScan, ABoardThatCannotBeOpenedIsNamedWithTheReason) {
    struct Case {
        std::string device;  // Q47_DEVICE; empty: not set
        std::string line;
    };
    const std::string sock = dir.file("board.sock");
    const std::vector<Case> all = {
        {"", "Q47tw: device \"/dev/zwbd_c_series0\" (Q47_DEVICE is not set): "
             "/dev/zwbd_c_series0: No such file or directory"},
        {"sim:" + sock, "Q47tw: device \"sim:" + sock + "\": " + sock +
                            ": no board there (No such file or directory)"},
        {"usb:12345", "Q47tw: device \"usb:12345\": bad USB device name \"usb:12345\" "
                      "(want usb or usb:VVVV:PPPP)"},
        {"usb", "Q47tw: device \"usb\": USB: no Q-47 board found"},
    };
    for (const Case& c : all) {
        SCOPED_TRACE(c.line);
        if (c.device.empty()) unsetenv("Q47_DEVICE");
        else setenv("Q47_DEVICE", c.device.c_str(), 1);
        std::string err;
        EXPECT_EQ(scanWithoutDisplay("--ui progress --out '" + dir.file("x.png") + "'", &err), 1);
        expectDeviceFailure(err, c.line);
    }
}

TEST_F(DsScan, ABoardHeldByAnotherProgramIsNamedAsInUse) {
    startBoard(true);
    const std::string sock = dir.file("board.sock");
    auto held = q47::openDeviceChannel("sim:" + sock);
    ASSERT_TRUE(held);
    std::string err;
    EXPECT_EQ(scanWithoutDisplay("--ui progress --out '" + dir.file("x.png") + "'", &err), 1);
    expectDeviceFailure(err, "Q47tw: device \"sim:" + sock + "\": " + sock + ": the board is in use");
}

TEST_F(DsScan, ANarrowScanWithoutTheFullWindowIsCancelledAndSaysWhy) {
    startBoard(true, /*scanLines=*/600);
    std::string err;
    EXPECT_EQ(scanWithoutDisplay("--ui none --out '" + dir.file("narrow.png") + "'", &err), 1);
    const std::vector<std::string> lines = linesOf(err);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Q47tw: scan cancelled: the board sent 600 scan lines, fewer than the full "
                        "sheet of model W (4077); narrower scans are taken only in the full window"),
              lines.end())
        << err;
    EXPECT_EQ(lines.back(),
              "q47scan: error: the source closed without an image (cancelled, or the device failed)");
    struct stat st;
    EXPECT_NE(stat(dir.file("narrow.png").c_str(), &st), 0);
}

// Run from the build tree without TWAIN_DS_DIR, q47scan finds the source built beside it.
TEST_F(DsScan, FromTheBuildTreeTheBuiltSourceIsFoundWithoutTwainDsDir) {
    unsetenv("TWAIN_DS_DIR");
    const std::string cmd = std::string("'") + Q47SCAN_PATH + "' --list >'" + dir.file("out") + "' 2>'" +
                            dir.file("err") + "'";
    const int status = std::system(cmd.c_str());
    const std::string out = slurp(dir.file("out")), err = slurp(dir.file("err"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_EQ(out.rfind("ZELT Slatewise Q-47 Series\t", 0), 0u) << out;
    EXPECT_EQ(err, "q47scan: using the data sources of the build tree below " + std::string(Q47_DS_DIR) +
                       "\n");
}

}  // namespace
