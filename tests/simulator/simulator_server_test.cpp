// The simulator as programs meet it: its socket, its control commands, and q47sim.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "board_test_util.h"
#include "platform/device_channel.h"
#include "simulator/simulator.h"

namespace q47::test {
namespace {

using namespace std::chrono_literals;

std::string socketName(const char* what) {
    static int n = 0;
    return "/tmp/q47-simtest-" + std::to_string(getpid()) + "-" + what + std::to_string(n++) + ".sock";
}

int connectTo(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One command line to the control socket, its answer line back.
std::string command(int fd, const std::string& line) {
    const std::string out = line + "\n";
    EXPECT_EQ(write(fd, out.data(), out.size()), ssize_t(out.size()));
    std::string answer;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
}

std::vector<uint8_t> roundTrip(DeviceChannel& ch, const std::vector<uint8_t>& req) {
    EXPECT_EQ(ch.write(req.data(), req.size()), long(req.size()));
    std::vector<uint8_t> buf(4096);
    long n = ch.read(buf.data(), buf.size());
    buf.resize(n > 0 ? size_t(n) : 0);
    return buf;
}

class SimulatorServer : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("Q47_IO_TIMEOUT_MS", "2000", 1);
        config.scanPolls = 2;
        config.restartMs = 400;
        sim = std::make_unique<sim::Simulator>(config);
        path = socketName("board");
        ASSERT_TRUE(sim->listen(path));
    }
    std::unique_ptr<DeviceChannel> open() { return openDeviceChannel("sim:" + path); }

    sim::Config config;
    std::unique_ptr<sim::Simulator> sim;
    std::string path;
};

TEST_F(SimulatorServer, TheLastFirmwareBlockDropsTheLinkUntilTheBoardHasRestarted) {
    auto ch = open();
    ASSERT_TRUE(ch);
    auto packet = [](uint8_t sub, const std::string& text) {
        std::vector<uint8_t> p = {sub};
        p.insert(p.end(), text.begin(), text.end());
        p.push_back(0);
        return request(sim::FirmwareUpdate, p);
    };
    EXPECT_EQ(roundTrip(*ch, packet(0, "Q47_W_1.mot")), (std::vector<uint8_t>{1, 0, 0, 0, 0}));
    EXPECT_EQ(roundTrip(*ch, packet(1, "S0030000FC\n")), (std::vector<uint8_t>{1, 0, 0, 0, 0}));
    const auto final = packet(2, "S9030000FC\n");
    ASSERT_EQ(ch->write(final.data(), final.size()), long(final.size()));
    uint8_t buf[64];
    EXPECT_EQ(ch->read(buf, sizeof buf), -1);  // the read waiting for an answer fails
    EXPECT_FALSE(open());
    std::this_thread::sleep_for(600ms);
    auto back = open();
    ASSERT_TRUE(back);
    EXPECT_EQ(roundTrip(*back, request(board::Status))[5], board::StateStandby);
    EXPECT_EQ(sim->firmwareReceived(), "S0030000FC\nS9030000FC\n");
}

TEST_F(SimulatorServer, AClientSendingAnImpossibleFrameIsDroppedAndTheNextOneServed) {
    int fd = connectTo(path);
    ASSERT_GE(fd, 0);
    char greeting[4];
    ASSERT_EQ(read(fd, greeting, 4), 4);
    const uint8_t huge[8] = {0, 0, 0, 0x40, 1, 2, 3, 4};  // 1 GiB announced
    ASSERT_EQ(write(fd, huge, sizeof huge), 8);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_EQ(read(fd, greeting, 4), 0);  // closed by the simulator
    close(fd);
    auto ch = open();
    ASSERT_TRUE(ch);
    EXPECT_EQ(roundTrip(*ch, request(board::Status)).size(), 14u);
}

TEST_F(SimulatorServer, AClientLeavingHalfwayThroughAFrameLeavesTheBoardServing) {
    int fd = connectTo(path);
    char greeting[4];
    ASSERT_EQ(read(fd, greeting, 4), 4);
    const uint8_t partial[6] = {9, 0, 0, 0, 2, 0};
    ASSERT_EQ(write(fd, partial, sizeof partial), 6);
    close(fd);
    auto ch = open();
    for (int i = 0; !ch && i < 20; ++i) {
        std::this_thread::sleep_for(20ms);
        ch = open();
    }
    ASSERT_TRUE(ch);
    EXPECT_EQ(roundTrip(*ch, request(board::Status)).size(), 14u);
}

TEST_F(SimulatorServer, ControlCommandsSteerTheBoardAndShowWhatItReceived) {
    const std::string control = socketName("control");
    ASSERT_TRUE(sim->listenControl(control));
    int c = connectTo(control);
    ASSERT_GE(c, 0);
    auto ch = open();
    ASSERT_TRUE(ch);
    EXPECT_EQ(command(c, "state 3 25"), "ok");
    EXPECT_EQ(command(c, "error 7"), "ok");
    EXPECT_EQ(command(c, "lamps 1 0"), "ok");
    const auto status = roundTrip(*ch, request(board::Status));
    EXPECT_EQ(status[5], 3);
    EXPECT_EQ(status[8], board::kLampColour);
    EXPECT_EQ(status[11], 25);
    EXPECT_EQ(status[13], 7);
    EXPECT_EQ(command(c, "model S Q-47 Slim"), "ok");
    const auto info = roundTrip(*ch, request(board::DeviceInfo));
    EXPECT_EQ(info[5], 'S');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[20])), "Q-47 Slim");
    EXPECT_EQ(command(c, "inject zero"), "ok");
    EXPECT_TRUE(roundTrip(*ch, request(board::Status)).empty());
    EXPECT_EQ(command(c, "log"), "ok 3 0100000002 0100000001 0100000002");
    EXPECT_EQ(command(c, "clear-log"), "ok");
    EXPECT_EQ(command(c, "log"), "ok 0");
    EXPECT_EQ(command(c, "state 300").rfind("error", 0), 0u);
    EXPECT_EQ(command(c, "inject nonsense").rfind("error", 0), 0u);
    EXPECT_EQ(command(c, "sheet /tmp/q47-no-such-sheet.png").rfind("error", 0), 0u);
    EXPECT_EQ(command(c, "frobnicate").rfind("error unknown command", 0), 0u);
    EXPECT_NE(command(c, "status").find("client 1"), std::string::npos);
    EXPECT_EQ(command(c, "unplug 300"), "ok");
    uint8_t buf[16];
    EXPECT_EQ(ch->read(buf, sizeof buf), -1);
    EXPECT_NE(command(c, "status").find("unplugged 1"), std::string::npos);
    // Only the program can end itself; a simulator inside a test process is not told to.
    EXPECT_EQ(command(c, "quit"), "error quit is not available here");
    close(c);
}

// A socket file whose listener is gone, as a killed simulator leaves it.
void leaveStaleSocket(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    close(fd);
}

bool fileHolds(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char buf[256];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    return std::string(buf, n) == text;
}

TEST_F(SimulatorServer, AFileThatIsNoSocketIsNeverDeleted) {
    const std::string notes = socketName("notes") + ".txt";
    FILE* f = std::fopen(notes.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("my notes", f);
    std::fclose(f);
    sim::Simulator other(config);
    std::string error;
    EXPECT_FALSE(other.listen(notes, &error));
    EXPECT_EQ(error, notes + ": exists and is not a socket; not replacing it");
    EXPECT_FALSE(sim->listenControl(notes, &error));
    EXPECT_EQ(error, notes + ": exists and is not a socket; not replacing it");
    EXPECT_TRUE(fileHolds(notes, "my notes"));
    unlink(notes.c_str());
}

TEST_F(SimulatorServer, ASecondSimulatorCannotTakeOverALiveSocket) {
    sim::Simulator second(config);
    std::string error;
    EXPECT_FALSE(second.listen(path, &error));
    EXPECT_EQ(error, path + ": another program (a running simulator?) listens there");
    second.stop();  // must not remove the first one's socket either
    auto ch = open();
    ASSERT_TRUE(ch) << "the first simulator lost its socket";
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], board::StateStandby);
}

TEST_F(SimulatorServer, AStaleSocketIsReplacedAndServes) {
    const std::string stale = socketName("stale");
    leaveStaleSocket(stale);
    sim::Simulator next(config);
    std::string error;
    ASSERT_TRUE(next.listen(stale, &error)) << error;
    auto ch = openDeviceChannel("sim:" + stale);
    ASSERT_TRUE(ch);
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], board::StateStandby);
    ch.reset();
    next.stop();
    struct stat st;
    EXPECT_NE(lstat(stale.c_str(), &st), 0) << "its own socket goes when it stops";
}

TEST_F(SimulatorServer, StoppingLeavesASocketThatIsNoLongerItsOwn) {
    // Someone removed the running simulator's socket and another one now serves there.
    unlink(path.c_str());
    sim::Simulator next(config);
    ASSERT_TRUE(next.listen(path));
    sim->stop();
    auto ch = open();
    ASSERT_TRUE(ch);
}

TEST_F(SimulatorServer, ACutImageGivesItsFirstBytesThenAFailedReadAndTheBoardOpensAgain) {
    const std::string control = socketName("control");
    ASSERT_TRUE(sim->listenControl(control));
    int c = connectTo(control);
    ASSERT_GE(c, 0);
    EXPECT_EQ(command(c, "inject cut"), "error usage: inject cut N");
    EXPECT_EQ(command(c, "inject cut 10000"), "ok");
    auto ch = open();
    ASSERT_TRUE(ch);
    // Replies before the image are whole.
    EXPECT_EQ(roundTrip(*ch, request(board::PcScan)).size(), 5u);
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], board::StateScanPC);
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], board::StateTransImage);
    const auto fetch = request(board::ImageTransfer);
    ASSERT_EQ(ch->write(fetch.data(), fetch.size()), long(fetch.size()));
    std::vector<uint8_t> buf(4096);
    size_t got = 0;
    long n;
    while ((n = ch->read(buf.data(), buf.size())) > 0) got += size_t(n);
    EXPECT_EQ(n, -1) << "the read after the cut fails";
    EXPECT_EQ(got, 8192u) << "two whole blocks; the third was cut in the middle";
    // The board is plugged in again at once, and the next image is whole.
    auto again = open();
    ASSERT_TRUE(again);
    EXPECT_EQ(roundTrip(*again, request(board::Status))[5], board::StateStandby);
    close(c);
}

#ifdef Q47SIM_PATH
// q47sim's --help names every option the board can be set up with.
TEST(Q47simProgram, HelpDocumentsEveryOption) {
    FILE* p = popen(Q47SIM_PATH " --help", "r");
    ASSERT_TRUE(p);
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    for (const char* opt : {"--socket PATH", "--control PATH", "--model L", "--name TEXT",
                            "--firmware TEXT", "--sheet FILE", "--scan-lines N", "--line-pixels M",
                            "--colour", "--grey", "--scan-ms N", "--packet-log N",
                            "default 4096", "--help"})
        EXPECT_NE(text.find(opt), std::string::npos) << opt;
}

TEST(Q47simProgram, ServesTheBoardItWasToldToBe) {
    const std::string board = socketName("prog"), control = socketName("progctl");
    pid_t pid = fork();
    if (pid == 0) {
        execl(Q47SIM_PATH, "q47sim", "--socket", board.c_str(), "--control", control.c_str(), "--model",
              "S", "--name", "Q-47 Test", "--firmware", "Ver 9.99", "--colour", "--scan-lines", "64",
              "--line-pixels", "32", (char*)nullptr);
        _exit(127);
    }
    std::unique_ptr<DeviceChannel> ch;
    for (int i = 0; i < 100 && !ch; ++i) {
        std::this_thread::sleep_for(20ms);
        ch = openDeviceChannel("sim:" + board);
    }
    ASSERT_TRUE(ch);
    const auto info = roundTrip(*ch, request(board::DeviceInfo));
    EXPECT_EQ(info[5], 'S');
    EXPECT_EQ(board::le16(&info[6]), 64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[20])), "Q-47 Test");
    const auto version = roundTrip(*ch, request(board::FirmwareVersion));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&version[5])), "Ver 9.99");
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[8], board::kLampColour);
    const std::string tell = std::string(Q47SIM_PATH) + " --tell " + control;
    EXPECT_EQ(system((tell + " state 2 > /dev/null").c_str()), 0);
    EXPECT_NE(system((tell + " state nonsense > /dev/null").c_str()), 0);
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], 2);
    // help prints its list one command a line, not the escaped line of the wire.
    FILE* help = popen((tell + " help").c_str(), "r");
    ASSERT_TRUE(help);
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, help)) text.append(buf, n);
    EXPECT_EQ(pclose(help), 0);
    EXPECT_EQ(text.find("\\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  state N [PROGRESS]  "), std::string::npos) << text;
    EXPECT_NE(text.find("\n  unplug MS  "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// In the background q47sim returns only once its board answers, so a script's next
// command finds it; "quit" ends it and takes its sockets away.
TEST(Q47simProgram, InTheBackgroundItReturnsOnceListeningAndQuitsWhenTold) {
    const std::string board = socketName("bg"), control = socketName("bgctl");
    FILE* p = popen((std::string(Q47SIM_PATH) + " --socket " + board + " --control " + control +
                     " --background").c_str(), "r");
    ASSERT_TRUE(p);
    std::string said;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) said.append(buf, n);
    ASSERT_EQ(pclose(p), 0) << said;  // returns although the simulator keeps running
    const std::string head = "q47sim: board W \"Q-47W\" on " + board + ", control on " + control + " (pid ";
    ASSERT_EQ(said.rfind(head, 0), 0u) << said;
    const pid_t pid = pid_t(std::atoi(said.c_str() + head.size()));
    ASSERT_GT(pid, 0);
    auto ch = openDeviceChannel("sim:" + board);  // at once, no waiting
    ASSERT_TRUE(ch);
    EXPECT_EQ(roundTrip(*ch, request(board::Status))[5], board::StateStandby);
    ch.reset();
    EXPECT_EQ(system((std::string(Q47SIM_PATH) + " --tell " + control + " quit >/dev/null").c_str()), 0);
    // It is no child of ours: watch for the process to end (a zombie has ended too).
    auto running = [pid] {
        FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
        if (!f) return false;
        char line[512] = {};
        const size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        const char* close = std::strrchr(line, ')');
        return n > 0 && close && close[1] == ' ' && close[2] != 'Z';
    };
    for (int i = 0; i < 500 && running(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(running()) << "still running after quit";
    struct stat st;
    EXPECT_NE(lstat(board.c_str(), &st), 0);
    EXPECT_NE(lstat(control.c_str(), &st), 0);
    // A background start that cannot listen fails where the caller sees it.
    const std::string notes = socketName("bgnotes") + ".txt";
    std::fclose(std::fopen(notes.c_str(), "w"));
    EXPECT_NE(system((std::string(Q47SIM_PATH) + " --socket " + notes + " --background 2>/dev/null").c_str()), 0);
    unlink(notes.c_str());
}

// Run as a user would: q47sim refuses a path it must not take, says why, and deletes nothing.
TEST(Q47simProgram, RefusesToReplaceAFileOrARunningSimulator) {
    const std::string notes = socketName("prognotes") + ".txt";
    FILE* f = std::fopen(notes.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("keep me", f);
    std::fclose(f);
    auto run = [](const std::string& args, std::string* err) {
        const std::string errFile = socketName("err") + ".txt";
        const int status = system((std::string(Q47SIM_PATH) + " " + args + " >/dev/null 2>" + errFile).c_str());
        FILE* e = std::fopen(errFile.c_str(), "r");
        err->clear();
        char buf[512];
        while (e && !std::feof(e)) err->append(buf, std::fread(buf, 1, sizeof buf, e));
        if (e) std::fclose(e);
        unlink(errFile.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string err;
    EXPECT_EQ(run("--socket " + notes, &err), 1);
    EXPECT_EQ(err, "q47sim: " + notes + ": exists and is not a socket; not replacing it\n");
    EXPECT_EQ(run("--socket " + socketName("free") + " --control " + notes, &err), 1);
    EXPECT_EQ(err, "q47sim: " + notes + ": exists and is not a socket; not replacing it\n");
    EXPECT_TRUE(fileHolds(notes, "keep me"));
    unlink(notes.c_str());

    sim::Simulator live{sim::Config{}};
    const std::string taken = socketName("taken");
    ASSERT_TRUE(live.listen(taken));
    EXPECT_EQ(run("--socket " + taken, &err), 1);
    EXPECT_EQ(err, "q47sim: " + taken + ": another program (a running simulator?) listens there\n");
    EXPECT_TRUE(openDeviceChannel("sim:" + taken)) << "the running simulator lost its socket";
}
#endif

}  // namespace
}  // namespace q47::test
