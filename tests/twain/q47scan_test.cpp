// q47scan end to end: the real program, our source manager and the fake source, checked by the images written.
#include <gtest/gtest.h>
#include <png.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_source/fake_image.h"
#include "platform/dib.h"
#include "twain_test_support.h"

using namespace q47::twaintest;

namespace {

struct ScanResult {
    int exit = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs q47scan with args in the environment set up by the test.
ScanResult scan(const std::string& args) {
    TempFolder io;
    const std::string cmd = std::string("'") + Q47SCAN_PATH + "' " + args + " >'" + io.file("out") +
                            "' 2>'" + io.file("err") + "'";
    ScanResult run;
    const int status = std::system(cmd.c_str());
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(io.file("out"));
    run.err = slurp(io.file("err"));
    return run;
}

// Runs q47scan with files limited to fileSizeLimit bytes, as a full disk would stop it:
// its error output comes through a pipe, which no limit cuts short.
ScanResult scanWithFileSizeLimit(const std::string& args, rlim_t fileSizeLimit) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const std::string cmd = std::string("exec '") + Q47SCAN_PATH + "' " + args + " >/dev/null";
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        rlimit limit{fileSizeLimit, fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    ScanResult run;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) run.err.append(buf, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The lines of a program's output, each without its line end.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const std::string& l : linesOf(text))
        if (l == line) return true;
    return false;
}

// Sets (or, with nullptr, removes) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

size_t filesIn(const std::string& folder) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) n += !e.is_directory();
    return n;
}

// The picture as RGB rows from the top, the way the fake source means it.
std::vector<uint8_t> expectedRgb(bool rgbMode) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < FAKE_HEIGHT; ++y)
        for (int x = 0; x < FAKE_WIDTH; ++x) {
            unsigned char c[3];
            if (rgbMode) fakeRgb(x, y, c);
            else fakePaletteColour(fakeIndex(x, y), c);
            rgb.insert(rgb.end(), c, c + 3);
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
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return pixels;
}

std::vector<uint8_t> bmpRgb(const std::string& path, int* width, int* height) {
    std::vector<uint8_t> dib;
    q47::dib::View view;
    if (!q47::dib::readBmpFile(path, &dib) || !q47::dib::parse(dib.data(), dib.size(), &view)) return {};
    *width = view.width;
    *height = view.height;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* row = view.rowFromTop(y);
        for (int x = 0; x < view.width; ++x) {
            if (view.header->biBitCount == 8) {
                const q47::dib::RgbQuad& q = view.palette[row[x]];
                rgb.insert(rgb.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
            } else {
                rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
        }
    }
    return rgb;
}

void expectPicture(const std::string& path, bool rgbMode) {
    int width = 0, height = 0;
    const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
    const std::vector<uint8_t> rgb = png ? pngRgb(path, &width, &height) : bmpRgb(path, &width, &height);
    ASSERT_FALSE(rgb.empty()) << path << " is not a readable image";
    EXPECT_EQ(width, FAKE_WIDTH);
    EXPECT_EQ(height, FAKE_HEIGHT);
    EXPECT_TRUE(rgb == expectedRgb(rgbMode)) << path << " does not hold the fake's picture upright";
}

class Q47Scan : public ::testing::Test {
protected:
    void SetUp() override { dir.addSource(FAKE_TWAIN2, "fake.ds"); }
    std::string out(const char* name) const { return outputs.file(name); }

    TempFolder dir, outputs;
    FakeEnvironment env{dir.path()};
    const std::string fake = "--source 'Fake Test'";
};

}  // namespace

TEST_F(Q47Scan, EveryTransferModeWritesThePictureUpright) {
    for (const char* mode : {"native", "memory"}) {
        for (const char* ext : {".png", ".bmp"}) {
            const std::string file = out((std::string(mode) + ext).c_str());
            const ScanResult run = scan(fake + " --ui none --xfer " + mode + " --out '" + file + "'");
            ASSERT_EQ(run.exit, 0) << run.err;
            expectPicture(file, false);
        }
    }
    const ScanResult run = scan(fake + " --ui none --xfer file --out '" + out("file.bmp") + "'");
    ASSERT_EQ(run.exit, 0) << run.err;
    expectPicture(out("file.bmp"), false);
}

TEST_F(Q47Scan, FileTransferKeepsTheSourcesFileAsItIsAndLeavesNothingElse) {
    ASSERT_EQ(scan(fake + " --xfer file --out '" + out("file.bmp") + "'").exit, 0);
    ASSERT_EQ(scan(fake + " --xfer native --out '" + out("native.bmp") + "'").exit, 0);
    // The fake writes exactly the BMP a native DIB becomes: header, 256 colours, pixels.
    const std::string file = slurp(out("file.bmp"));
    EXPECT_EQ(file, slurp(out("native.bmp")));
    EXPECT_EQ(file.size(), 14u + 40 + 1024 + 40 * FAKE_HEIGHT);
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(outputs.path())) entries += !e.is_directory();
    EXPECT_EQ(entries, 2u);
}

TEST_F(Q47Scan, AnRgbPixelTypeIsNegotiatedAndDeliveredInEveryMode) {
    for (const char* mode : {"native", "memory"}) {
        const std::string file = out((std::string(mode) + ".png").c_str());
        const ScanResult run = scan(fake + " --pixel-type rgb --xfer " + mode + " --out '" + file + "'");
        ASSERT_EQ(run.exit, 0) << run.err;
        expectPicture(file, true);
    }
    ASSERT_EQ(scan(fake + " --pixel-type rgb --xfer file --out '" + out("rgb.bmp") + "'").exit, 0);
    expectPicture(out("rgb.bmp"), true);
    EXPECT_TRUE(env.traceHas("set 0x0101 = 2"));
}

TEST_F(Q47Scan, UiModesChooseShowUiAndIndicators) {
    struct Case { const char* ui; const char* enable; } cases[] = {
        {"none", "enable showui=0 indicators=0 mech=2 pixeltype=3"},
        {"progress", "enable showui=0 indicators=1 mech=2 pixeltype=3"},
        {"full", "enable showui=1 indicators=1 mech=2 pixeltype=3"},
    };
    ScopedEnv display("DISPLAY", ":99");  // the fake shows no window; --ui full only wants a display
    for (const Case& c : cases) {
        FakeEnvironment fresh(dir.path());
        const ScanResult run = scan(fake + " --xfer memory --ui " + c.ui + " --out '" + out("x.png") + "'");
        ASSERT_EQ(run.exit, 0) << run.err;
        EXPECT_TRUE(fresh.traceHas(c.enable)) << c.ui;
    }
}

TEST_F(Q47Scan, TheSessionEndsTransfersDisablesAndClosesInOrder) {
    ASSERT_EQ(scan(fake + " --out '" + out("x.png") + "'").exit, 0);
    // The fake's own "notify" line comes from its thread at any time; leave it out.
    std::vector<std::string> tail;
    for (const std::string& line : env.trace())
        if (line.rfind("notify", 0) != 0) tail.push_back(line);
    ASSERT_GE(tail.size(), 3u);
    tail.erase(tail.begin(), tail.end() - 3);
    EXPECT_EQ(tail, (std::vector<std::string>{"endxfer", "disable", "close"}));
}

TEST_F(Q47Scan, AnImageOfferedFromInsideEnableIsNotMissed) {
    FakeEnvironment sync(dir.path(), "sync");
    const ScanResult run = scan(fake + " --timeout 10 --out '" + out("x.png") + "'");
    ASSERT_EQ(run.exit, 0) << run.err;
    expectPicture(out("x.png"), false);
}

TEST_F(Q47Scan, ListNamesEverySourceAndMarksTheDefault) {
    dir.addSource(FAKE_TWAIN1, "z/classic.ds");
    const ScanResult run = scan("--list");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              "Fake Test Scanner\tQ-47 tests\tFakes\tversion 1.2\tTWAIN 2.4\tdefault\n"
              "Fake Classic Scanner\tQ-47 tests\tFakes\tversion 1.2\tTWAIN 1.9\n");
}

TEST_F(Q47Scan, WithoutSourceItOpensTheQ47) {
    dir.addSource(FAKE_Q47NAME, "q47.ds");
    const ScanResult run = scan("--ui none --out '" + out("x.png") + "'");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.err.find("opened \"ZELT Slatewise Q-47 Test Fake\""), std::string::npos) << run.err;
}

TEST_F(Q47Scan, FailuresExitNonZeroWithAClearMessageAndCloseTheSource) {
    {
        FakeEnvironment cancel(dir.path(), "cancel");
        const ScanResult run = scan(fake + " --out '" + out("x.png") + "'");
        EXPECT_EQ(run.exit, 1);
        EXPECT_NE(run.err.find("error: the source closed without an image"), std::string::npos) << run.err;
        EXPECT_TRUE(cancel.traceHas("disable"));
        EXPECT_TRUE(cancel.traceHas("close"));
    }
    {
        FakeEnvironment silent(dir.path(), "silent");
        const ScanResult run = scan(fake + " --timeout 0.3 --out '" + out("x.png") + "'");
        EXPECT_EQ(run.exit, 1);
        EXPECT_NE(run.err.find("error: no image from the source within"), std::string::npos) << run.err;
        EXPECT_TRUE(silent.traceHas("close"));
    }
    const ScanResult refused = scan(fake + " --pixel-type bw --out '" + out("x.png") + "'");
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find("TWCC_CAPBADOPERATION (14)"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(out("x.png")));
}

TEST_F(Q47Scan, AWaitThatRunsOutSaysHowLongInPlainSeconds) {
    FakeEnvironment silent(dir.path(), "silent");
    const ScanResult run = scan(fake + " --timeout 0.3 --out '" + out("x.png") + "'");
    EXPECT_EQ(run.exit, 1);
    EXPECT_TRUE(hasLine(run.err, "q47scan: error: no image from the source within 0.3 s")) << run.err;
}

// The target is checked before the source is even opened: no scan is wasted on an image
// that could not be kept, and the message names the path and what is wrong with it.
TEST_F(Q47Scan, AnOutputThatCannotBeWrittenIsRefusedBeforeTheScan) {
    struct Case {
        std::string out, line;
    };
    std::ofstream(out("plain-file")) << "x";
    std::filesystem::create_directory(out("folder.png"));
    const Case cases[] = {
        {out("missing/x.png"),
         "q47scan: error: cannot write " + out("missing/x.png") + ": the folder " + out("missing") +
             " does not exist"},
        {out("plain-file/x.png"),
         "q47scan: error: cannot write " + out("plain-file/x.png") + ": " + out("plain-file") +
             " is not a folder"},
        {out("folder.png"), "q47scan: error: cannot write " + out("folder.png") + ": it is a folder"},
    };
    for (const Case& c : cases) {
        for (const char* xfer : {"native", "memory"}) {
            FakeEnvironment fresh(dir.path());
            const ScanResult run = scan(fake + " --xfer " + xfer + " --out '" + c.out + "'");
            EXPECT_EQ(run.exit, 1) << c.out;
            EXPECT_EQ(run.err, c.line + "\n");
            EXPECT_TRUE(fresh.trace().empty()) << "the source was opened for " << c.out;
        }
    }
    FakeEnvironment fresh(dir.path());
    const ScanResult file = scan(fake + " --xfer file --out '" + out("missing/x.bmp") + "'");
    EXPECT_EQ(file.exit, 1);
    EXPECT_EQ(file.err, "q47scan: error: cannot write " + out("missing/x.bmp") + ": the folder " +
                            out("missing") + " does not exist\n");
    EXPECT_TRUE(fresh.trace().empty());
}

TEST_F(Q47Scan, AReadOnlyFolderIsRefusedBeforeTheScan) {
    const std::string locked = out("locked");
    std::filesystem::create_directory(locked);
    const std::string args = fake + " --out '" + locked + "/x.png'";
    ScanResult run;
    std::string cause;
    if (geteuid() != 0) {
        chmod(locked.c_str(), 0555);
        run = scan(args);
        chmod(locked.c_str(), 0755);
        cause = "Permission denied";
    } else {
        // Root writes into any folder its permissions forbid; a read-only mount it cannot.
        // The mount lives in a namespace of q47scan's own and goes with it.
        const std::string cmd = "unshare -m sh -c \"mount --bind '" + locked + "' '" + locked +
                                "' && mount -o remount,bind,ro '" + locked + "' || exit 97; exec '" +
                                Q47SCAN_PATH + "' " + args + "\" >/dev/null 2>'" + out("err") + "'";
        const int status = std::system(cmd.c_str());
        run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = slurp(out("err"));
        std::filesystem::remove(out("err"));
        if (run.exit == 97) GTEST_SKIP() << "no mount namespace here for a read-only folder";
        cause = "Read-only file system";
    }
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err, "q47scan: error: cannot write " + locked + "/x.png: " + locked + ": " + cause + "\n");
    EXPECT_TRUE(env.trace().empty());
}

// A write that fails part-way (here: the file size limit, as with a full disk) leaves the
// image that was there before untouched and no partial file beside it.
TEST_F(Q47Scan, AFailedWriteNeverCostsTheFileThatWasThere) {
    for (const char* xfer : {"native", "memory"}) {
        const std::string target = out(("earlier-" + std::string(xfer) + ".bmp").c_str());
        std::ofstream(target) << "the earlier image";
        const size_t before = filesIn(outputs.path());
        const ScanResult run =
            scanWithFileSizeLimit(fake + " --ui none --xfer " + xfer + " --out '" + target + "'", 1024);
        EXPECT_EQ(run.exit, 1) << run.err;
        EXPECT_TRUE(hasLine(run.err, "q47scan: error: cannot write " + target + ": File too large"))
            << run.err;
        EXPECT_EQ(slurp(target), "the earlier image");
        EXPECT_EQ(filesIn(outputs.path()), before) << "a partial file was left beside the target";
    }
    // The file transfer: the source writes beside the target and fails; its message
    // names the file it could not write.
    const std::string target = out("earlier-file.bmp");
    std::ofstream(target) << "the earlier image";
    const size_t before = filesIn(outputs.path());
    const ScanResult run =
        scanWithFileSizeLimit(fake + " --ui none --xfer file --out '" + target + "'", 1024);
    EXPECT_EQ(run.exit, 1);
    const std::vector<std::string> lines = linesOf(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("q47scan: error: the source could not write " + target + ".part-", 0), 0u)
        << run.err;
    EXPECT_NE(lines.back().find(": TWRC_FAILURE (1), TWCC_FILEWRITEERROR"), std::string::npos) << run.err;
    EXPECT_EQ(slurp(target), "the earlier image");
    EXPECT_EQ(filesIn(outputs.path()), before);
}

TEST_F(Q47Scan, ASuccessfulWriteReplacesTheFileAndKeepsItsPermissions) {
    const std::string target = out("again.png");
    std::ofstream(target) << "the earlier image";
    chmod(target.c_str(), 0640);
    const ScanResult run = scan(fake + " --ui none --xfer memory --out '" + target + "'");
    ASSERT_EQ(run.exit, 0) << run.err;
    expectPicture(target, false);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(filesIn(outputs.path()), 1u);
}

TEST_F(Q47Scan, TheFullWindowWithoutADisplayIsRefusedAtOnce) {
    ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr);
    std::optional<ScopedEnv> platform(std::in_place, "QT_QPA_PLATFORM", nullptr);
    const ScanResult run = scan(fake + " --ui full --out '" + out("x.png") + "'");
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err,
              "q47scan: error: --ui full shows the source's window, but there is no display "
              "(DISPLAY and WAYLAND_DISPLAY are not set); use --ui progress or --ui none\n");
    EXPECT_TRUE(env.trace().empty());
    platform.emplace("QT_QPA_PLATFORM", "offscreen");  // invisible as well
    EXPECT_EQ(scan(fake + " --ui full --out '" + out("x.png") + "'").exit, 1);
}

TEST_F(Q47Scan, MemoryTransferProgressIsABarOnATerminalAndTenthsInALog) {
    const ScanResult logged = scan(fake + " --ui none --xfer memory --out '" + out("x.png") + "'");
    ASSERT_EQ(logged.exit, 0) << logged.err;
    std::vector<std::string> steps;
    for (const std::string& line : linesOf(logged.err))
        if (line.rfind("q47scan: receiving the image (memory transfer): ", 0) == 0) steps.push_back(line);
    // The fake sends 23 rows in strips of 12: 52 % and 100 %, each a tenth of its own.
    EXPECT_EQ(steps, (std::vector<std::string>{"q47scan: receiving the image (memory transfer): 52%",
                                               "q47scan: receiving the image (memory transfer): 100%"}));
    // On a terminal (script gives q47scan one) the same line is redrawn as a bar.
    const std::string cmd = "script -qefc \"'" + std::string(Q47SCAN_PATH) + "' " + fake +
                            " --ui none --xfer memory --out '" + out("tty.png") + "'\" /dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string screen;
    char buf[1024];
    while (size_t n = fread(buf, 1, sizeof buf, p)) screen.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << screen;
    EXPECT_NE(screen.find("\r\033[Kq47scan: receiving the image (memory transfer) [###############"
                          "...............]  52%"),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find("\r\033[Kq47scan: receiving the image (memory transfer) [" +
                          std::string(30, '#') + "] 100%"),
              std::string::npos)
        << screen;
}

TEST_F(Q47Scan, MissingSourcesAreNamedInTheMessage) {
    const ScanResult unknown = scan("--source 'Nonexistent' --out '" + out("x.png") + "'");
    EXPECT_EQ(unknown.exit, 1);
    EXPECT_NE(unknown.err.find("found: \"Fake Test Scanner\""), std::string::npos) << unknown.err;
    TempFolder empty;
    FakeEnvironment none(empty.path());
    const ScanResult nothing = scan("--out '" + out("x.png") + "'");
    EXPECT_EQ(nothing.exit, 1);
    EXPECT_NE(nothing.err.find("no TWAIN data sources found below " + empty.path()), std::string::npos);
    // Listing nothing is a failure too, and says where it looked.
    const ScanResult list = scan("--list");
    EXPECT_EQ(list.exit, 1);
    EXPECT_EQ(list.out, "");
    EXPECT_EQ(list.err, "q47scan: error: no TWAIN data sources found below " + empty.path() + "\n");
}

TEST_F(Q47Scan, UsageMistakesExitWithTwoBeforeTouchingTwain) {
    for (const char* args : {"", "--ui sideways --out a.png", "--xfer file --out a.png", "--out a.jpg",
                             "--timeout soon --out a.png", "--bogus"}) {
        const ScanResult run = scan(args);
        EXPECT_EQ(run.exit, 2) << args;
        EXPECT_NE(run.err.find("Try 'q47scan --help'"), std::string::npos) << args;
    }
    EXPECT_TRUE(env.trace().empty());
    const ScanResult help = scan("--help");
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.out.rfind("Usage: q47scan", 0), 0u);
}
