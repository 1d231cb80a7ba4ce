// Guest tests of q47usb: the node, its file operations, the board through it, unplug, power, traces.
//
// Runs inside the test virtual machine with the simulated board on dummy_hcd (see
// init.sh). The cases run in the order written: the unplug, unbind and reload cases
// change the board's unit number and come last; those after them find the board's
// current unit.
#include "board/packet.h"
#include "guest_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <linux/usbdevice_fs.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <thread>

namespace q47::guest {
namespace {

// Everything the kernel logged since this program started: the trace-line case looks
// at this run's lines only.
LogMark* runMark = nullptr;
class MarkTheRun : public ::testing::Environment {
public:
    void SetUp() override { runMark = new LogMark; }
};
const auto* const kMarkTheRun = ::testing::AddGlobalTestEnvironment(new MarkTheRun);

using Clock = std::chrono::steady_clock;
constexpr int kIoMs = 3000;  // far beyond any transfer the simulated board makes

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
    return {v.begin() + long(from), v.begin() + long(from + n)};
}

// A node open for one case, the gadget only recording what the PC sends.
class Node : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(gadget.command("mode record"), "ok");
        fd = openBoard(0);
        ASSERT_TRUE(fd.valid()) << nodePath(0) << ": " << strerror(errno);
    }
    // Waits until the board has seen more than `before` bulk-out transfers.
    std::vector<size_t> outSizesAfter(size_t before) {
        for (int i = 0; i < 100; ++i) {
            auto sizes = gadget.outSizes();
            if (sizes.size() > before) return sizes;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return gadget.outSizes();
    }
    Gadget gadget;
    Fd fd;
    uint8_t buf[8192];
};

TEST(NodeName, TheFirstBoardIsZwbdCSeries0ACharacterDevice) {
    struct stat st {};
    ASSERT_EQ(stat("/dev/zwbd_c_series0", &st), 0) << strerror(errno);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(access("/sys/class/q47usb/zwbd_c_series0", F_OK), 0);
    EXPECT_NE(access("/dev/zwbd_c_series1", F_OK), 0);
}

TEST(ExclusiveOpen, ASecondOpenFailsWithEbusyUntilTheFirstIsClosed) {
    Fd first = openBoard(0);
    ASSERT_TRUE(first.valid()) << strerror(errno);
    Fd second = openBoard(0);
    EXPECT_FALSE(second.valid());
    EXPECT_EQ(errno, EBUSY);
    first.reset();
    Fd third = openBoard(0);
    EXPECT_TRUE(third.valid()) << strerror(errno);
}

TEST_F(Node, AShortReadTakesPartOfATransferAndLeavesTheRestForTheNextRead) {
    auto sent = rawPattern(3000);
    ASSERT_EQ(gadget.command("raw 3000"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, 1024, kIoMs), 1024);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 1024), slice(sent, 0, 1024));
    ASSERT_EQ(readWithin(fd.get(), buf, 1024, kIoMs), 1024);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 1024), slice(sent, 1024, 1024));
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 952);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 952), slice(sent, 2048, 952));
}

TEST_F(Node, AReadTakesAtMost4096BytesOfALongerTransfer) {
    auto sent = rawPattern(5000);
    ASSERT_EQ(gadget.command("raw 5000"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, sizeof buf, kIoMs), 4096);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4096), slice(sent, 0, 4096));
    ASSERT_EQ(readWithin(fd.get(), buf, sizeof buf, kIoMs), 904);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 904), slice(sent, 4096, 904));
}

TEST_F(Node, AReadOfZeroBytesReturnsZeroAtOnceWithoutATransfer) {
    // Nothing is queued: a transfer would wait until the alarm breaks it.
    EXPECT_EQ(readWithin(fd.get(), buf, 0, 500), 0);
    ASSERT_EQ(gadget.command("raw 9"), "ok");
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 9);
}

TEST_F(Node, AZeroLengthPacketReadsAsZeroBytesAndOnlyOnce) {
    ASSERT_EQ(gadget.command("zlp"), "ok");
    ASSERT_EQ(gadget.command("raw 10"), "ok");
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 0);
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 10);
}

TEST_F(Node, ASignalInterruptsAReadWaitingForTheBoardWithEintr) {
    auto start = Clock::now();
    errno = 0;
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, 300), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(250));
    // The cancelled transfer took nothing: the board's next transfer reads whole.
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 7);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 7), rawPattern(7));
}

TEST_F(Node, SeekingTheNodeFailsWithEspipe) {
    errno = 0;
    EXPECT_EQ(lseek(fd.get(), 0, SEEK_SET), -1);
    EXPECT_EQ(errno, ESPIPE);
    errno = 0;
    EXPECT_EQ(pread(fd.get(), buf, 4, 0), -1);
    EXPECT_EQ(errno, ESPIPE);
}

TEST_F(Node, AWriteOfMoreThan4096BytesSendsOne4096ByteTransfer) {
    size_t before = gadget.outSizes().size();
    std::vector<uint8_t> data(5000, 0x5a);
    EXPECT_EQ(writeWithin(fd.get(), data.data(), data.size(), kIoMs), 4096);
    auto sizes = outSizesAfter(before);
    ASSERT_EQ(sizes.size(), before + 1);
    EXPECT_EQ(sizes.back(), 4096u);
}

TEST_F(Node, AWriteOfZeroBytesSendsNothingAndAShortWriteIsOneTransfer) {
    size_t before = gadget.outSizes().size();
    EXPECT_EQ(writeWithin(fd.get(), buf, 0, kIoMs), 0);
    auto request = board::encodeRequest(board::Status);
    EXPECT_EQ(writeWithin(fd.get(), request.data(), request.size(), kIoMs), 5);
    auto sizes = outSizesAfter(before);
    ASSERT_EQ(sizes.size(), before + 1) << "the zero-length write reached the board";
    EXPECT_EQ(sizes.back(), 5u);
}

TEST_F(Node, EveryIoctlFailsWithEinval) {
    long arg = 0;
    for (unsigned long code : {0ul, (unsigned long)_IO('Q', 1), (unsigned long)_IOR('Q', 2, int),
                               (unsigned long)_IOW('Q', 3, int), (unsigned long)_IOWR('Q', 4, long),
                               (unsigned long)TCGETS, 0xdeadbeeful}) {
        errno = 0;
        EXPECT_EQ(ioctl(fd.get(), code, &arg), -1) << std::hex << code;
        EXPECT_EQ(errno, EINVAL) << std::hex << code;
    }
}

void noop(int) {}

// A call on a thread of its own, watched from the test.
struct Pending {
    std::thread thread;
    std::atomic<bool> done{false};
    long result = 0;
    int error = 0;
    uint8_t data[4096];

    void read(int fd) { start([this, fd] { return ::read(fd, data, sizeof data); }); }
    void write(int fd, const void* bytes, size_t n) {
        start([=] { return ::write(fd, bytes, n); });
    }
    bool finishesWithin(int ms) {
        for (int waited = 0; !done && waited < ms; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done;
    }
    // Ends the call however it stands, so that a failing case never hangs the guest.
    void end() {
        if (!thread.joinable()) return;
        if (!finishesWithin(0)) {
            struct sigaction sa {};
            sa.sa_handler = noop;
            sigaction(SIGUSR1, &sa, nullptr);
            while (!finishesWithin(100)) pthread_kill(thread.native_handle(), SIGUSR1);
        }
        thread.join();
    }
    ~Pending() { end(); }

private:
    void start(std::function<long()> call) {
        thread = std::thread([this, call] {
            result = call();
            error = errno;
            done = true;
        });
    }
};

// Installs a handler for sig with the given flags; the old one comes back at scope end.
struct Handler {
    Handler(int sig, int flags) : sig_(sig) {
        struct sigaction sa {};
        sa.sa_handler = noop;
        sa.sa_flags = flags;
        sigaction(sig, &sa, &old_);
    }
    ~Handler() { sigaction(sig_, &old_, nullptr); }
    int sig_;
    struct sigaction old_ {};
};

// A child process waiting in a read of fd; it reports the result and the bytes
// through a pipe.
struct ChildReader {
    pid_t pid = -1;
    int pipeFd = -1;

    explicit ChildReader(int fd) {
        int p[2];
        if (pipe(p) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(p[0]);
            uint8_t buf[4096];
            long n = ::read(fd, buf, sizeof buf);
            (void)!::write(p[1], &n, sizeof n);
            if (n > 0) (void)!::write(p[1], buf, size_t(n));
            _exit(0);
        }
        close(p[1]);
        pipeFd = p[0];
    }
    // Whether the child wrote its result (a child that died without one only hangs up).
    bool reported(int ms) {
        pollfd pfd{pipeFd, POLLIN, 0};
        return poll(&pfd, 1, ms) == 1 && (pfd.revents & POLLIN);
    }
    std::vector<uint8_t> result(long* n) {
        *n = 0;
        if (::read(pipeFd, n, sizeof *n) != sizeof *n) *n = -2;
        std::vector<uint8_t> bytes(size_t(*n > 0 ? *n : 0));
        if (*n > 0 && ::read(pipeFd, bytes.data(), bytes.size()) != *n) bytes.clear();
        return bytes;
    }
    // The child's end: true when it ended within ms; *status from waitpid.
    bool endedWithin(int ms, int* status) {
        for (int waited = 0; waited <= ms; waited += 10) {
            if (waitpid(pid, status, WNOHANG) == pid) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    ~ChildReader() {
        if (pid > 0) {
            int status;
            if (!endedWithin(0, &status)) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
        }
        if (pipeFd >= 0) close(pipeFd);
    }
};

// Signals and a waiting transfer: nothing received is ever dropped, and only a
// handler without SA_RESTART (a user-space time-out) or a fatal signal ends the wait.
using Signals = Node;

TEST_F(Signals, AHandlerWithSaRestartLeavesTheReadWaitingForTheBoardsNextTransfer) {
    Handler restart(SIGUSR2, SA_RESTART);
    Pending reader;
    reader.read(fd.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 3; ++i) {
        pthread_kill(reader.thread.native_handle(), SIGUSR2);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_FALSE(reader.done) << "a restartable signal ended the read: " << strerror(reader.error);
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    ASSERT_TRUE(reader.finishesWithin(kIoMs));
    ASSERT_EQ(reader.result, 7) << strerror(reader.error);
    EXPECT_EQ(std::vector<uint8_t>(reader.data, reader.data + 7), rawPattern(7));
}

TEST_F(Signals, StopAndContinueLeaveTheReadWaitingForTheBoardsNextTransfer) {
    ChildReader child(fd.get());
    ASSERT_GT(child.pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int status = 0;
    ASSERT_EQ(kill(child.pid, SIGSTOP), 0);
    ASSERT_EQ(waitpid(child.pid, &status, WUNTRACED), child.pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_EQ(kill(child.pid, SIGCONT), 0);
    ASSERT_EQ(waitpid(child.pid, &status, WCONTINUED), child.pid);
    EXPECT_FALSE(child.reported(200)) << "stop and continue ended the read";
    ASSERT_EQ(gadget.command("raw 9"), "ok");
    ASSERT_TRUE(child.reported(kIoMs));
    long n = 0;
    auto bytes = child.result(&n);
    ASSERT_EQ(n, 9);
    EXPECT_EQ(bytes, rawPattern(9));
}

TEST_F(Signals, ATimeOutAfterPartOfATransferArrivedReturnsThoseBytes) {
    // 512 bytes are one whole packet: the 4096-byte transfer goes on waiting for more.
    ASSERT_EQ(gadget.command("raw 512"), "ok");
    errno = 0;
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, 500), 512) << strerror(errno);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 512), rawPattern(512));
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 7);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 7), rawPattern(7));
}

TEST_F(Signals, AFatalSignalEndsAWaitingReadAndTakesNothingFromTheBoard) {
    {
        ChildReader child(fd.get());
        ASSERT_GT(child.pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_EQ(kill(child.pid, SIGTERM), 0);
        int status = 0;
        ASSERT_TRUE(child.endedWithin(kIoMs, &status)) << "SIGTERM did not end the waiting read";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_FALSE(child.reported(0));
    }
    ASSERT_EQ(gadget.command("raw 11"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 11);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 11), rawPattern(11));
}

TEST_F(Signals, AWaitingWriteEndsWithEintrOnATimeOutAndWaitsOnThroughARestartableSignal) {
    // The board takes one more transfer, then no more: the next writes wait.
    ASSERT_EQ(gadget.command("hold 1"), "ok");
    size_t before = gadget.outSizes().size();
    uint8_t request[5] = {1, 0, 0, 0, 2};
    ASSERT_EQ(writeWithin(fd.get(), request, sizeof request, kIoMs), 5);

    errno = 0;
    EXPECT_EQ(writeWithin(fd.get(), request, sizeof request, 300), -1);
    EXPECT_EQ(errno, EINTR);

    Handler restart(SIGUSR2, SA_RESTART);
    uint8_t second[6] = {2, 0, 0, 0, 3, 1};
    Pending writer;
    writer.write(fd.get(), second, sizeof second);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pthread_kill(writer.thread.native_handle(), SIGUSR2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(writer.done) << "a restartable signal ended the write: " << strerror(writer.error);
    ASSERT_EQ(gadget.command("hold 0"), "ok");
    ASSERT_TRUE(writer.finishesWithin(kIoMs));
    EXPECT_EQ(writer.result, 6) << strerror(writer.error);
    // The interrupted write never reached the board; the restarted one did, once.
    auto sizes = outSizesAfter(before + 1);
    EXPECT_EQ(std::vector<size_t>(sizes.begin() + long(before), sizes.end()), (std::vector<size_t>{5, 6}));
}

// Failures as the caller sees them: EIO for a transfer the board failed, ENODEV when
// the board or its state went away under the call.
using Failures = Node;

TEST_F(Failures, AStalledReadFailsWithEioAndTheNodeWorksOnceTheStallIsCleared) {
    ASSERT_EQ(gadget.command("halt 1"), "ok");
    errno = 0;
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), -1);
    EXPECT_EQ(errno, EIO) << strerror(errno);
    ASSERT_EQ(gadget.command("halt 0"), "ok");
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    ASSERT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 7) << strerror(errno);
}

// The USB device folder in sysfs above the node's interface.
std::string usbDeviceDir(int unit) {
    char path[PATH_MAX];
    std::string link = "/sys/class/q47usb/zwbd_c_series" + std::to_string(unit) + "/device";
    if (!realpath(link.c_str(), path)) return {};
    std::string intf = path;
    return intf.substr(0, intf.rfind('/'));
}

std::string usbfsPath(const std::string& deviceDir) {
    char path[64];
    snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", std::stoi(readFile(deviceDir + "/busnum")),
             std::stoi(readFile(deviceDir + "/devnum")));
    return path;
}

TEST_F(Failures, AReadWaitingThroughAPortResetFailsWithEnodevAndTheFileWorksOn) {
    int unit = currentUnit();
    std::string dir = usbDeviceDir(unit);
    ASSERT_FALSE(dir.empty());
    Pending reader;
    reader.read(fd.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(reader.done);
    Fd usbfs(open(usbfsPath(dir).c_str(), O_RDWR));
    ASSERT_TRUE(usbfs.valid()) << usbfsPath(dir) << ": " << strerror(errno);
    ASSERT_EQ(ioctl(usbfs.get(), USBDEVFS_RESET, 0), 0) << strerror(errno);
    ASSERT_TRUE(reader.finishesWithin(kIoMs)) << "the reset left the read waiting";
    EXPECT_EQ(reader.result, -1);
    EXPECT_EQ(reader.error, ENODEV) << strerror(reader.error);
    reader.end();
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    EXPECT_EQ(readWithin(fd.get(), buf, 4096, kIoMs), 7) << strerror(errno);
    EXPECT_EQ(currentUnit(), unit);
}

// The PC's side of the board dialogue over the node, one request then its reply.
class Dialogue : public Node {
protected:
    void SetUp() override {
        Node::SetUp();
        ASSERT_EQ(gadget.command("mode board"), "ok");
    }
    void TearDown() override { gadget.command("mode record"); }

    board::Block ask(uint8_t code) {
        auto request = board::encodeRequest(code);
        EXPECT_EQ(writeWithin(fd.get(), request.data(), request.size(), kIoMs), long(request.size()));
        count = readWithin(fd.get(), block, sizeof block, kIoMs);
        EXPECT_GT(count, 4) << "request " << int(code);
        return board::classifyBlock(block, count > 0 ? size_t(count) : 0);
    }

    // A PC scan to the end, then the image reply: header block, then blocks of up
    // to 4096 bytes until a short one (a zero-length one included).
    void acquire(unsigned w, unsigned h) {
        ASSERT_EQ(gadget.command("geometry " + std::to_string(w) + " " + std::to_string(h)), "ok");
        ask(board::PcScan);
        for (int poll = 0;; ++poll) {
            ASSERT_LT(poll, 20) << "the board never got the image ready";
            auto reply = ask(board::Status);
            ASSERT_EQ(reply.kind, board::Block::Complete);
            if (reply.code == board::ReplyStatus && board::parseStatus(block).state == board::StateTransImage)
                break;
        }
        auto header = ask(board::ImageTransfer);
        ASSERT_EQ(header.kind, board::Block::ImageStart);
        EXPECT_EQ(header.image.width, w);
        EXPECT_EQ(header.image.height, h);
        readCounts.clear();
        pixels.clear();
        for (;;) {
            long n = readWithin(fd.get(), block, sizeof block, kIoMs);
            ASSERT_GE(n, 0) << strerror(errno);
            readCounts.push_back(n);
            pixels.insert(pixels.end(), block, block + n);
            if (n < 4096) break;
        }
    }

    std::string boardImage() { return gadget.command("image"); }
    std::string hashOf(const std::vector<uint8_t>& bytes) {
        uint64_t h = 1469598103934665603ull;
        for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
        return "image " + std::to_string(h) + " " + std::to_string(bytes.size());
    }

    uint8_t block[board::kBlockSize];
    long count = 0;
    std::vector<long> readCounts;
    std::vector<uint8_t> pixels;
};

TEST_F(Dialogue, DeviceInfoAndStatusPassThroughUnchanged) {
    auto info = ask(board::DeviceInfo);
    ASSERT_EQ(info.kind, board::Block::Complete);
    ASSERT_EQ(info.code, board::ReplyDeviceInfo);
    EXPECT_NE(board::parseDeviceInfo(block).modelName.find("Q-"), std::string::npos);
    auto status = ask(board::Status);
    ASSERT_EQ(status.code, board::ReplyStatus);
    EXPECT_EQ(board::parseStatus(block).state, board::StateStandby);
}

TEST_F(Dialogue, AnImageReplyEndsWithAShortTransfer) {
    acquire(64, 100);  // 6400 pixel bytes: 4096, then 2304
    EXPECT_EQ(readCounts, (std::vector<long>{4096, 2304}));
    EXPECT_EQ(hashOf(pixels), boardImage());
}

TEST_F(Dialogue, AnImageReplyOfWholeBlocksEndsWithAZeroLengthTransfer) {
    acquire(64, 128);  // 8192 pixel bytes: two whole blocks, then 0
    EXPECT_EQ(readCounts, (std::vector<long>{4096, 4096, 0}));
    EXPECT_EQ(hashOf(pixels), boardImage());
}

TEST(Unplug, WaitingCallsFailTheNodeGoesAndTheReplugGetsTheNextUnit) {
    Gadget gadget;
    ASSERT_EQ(gadget.command("mode record"), "ok");
    Fd fd = openBoard(0);
    ASSERT_TRUE(fd.valid()) << strerror(errno);

    // The board takes one more transfer, then no more: the second write waits.
    ASSERT_EQ(gadget.command("hold 1"), "ok");
    uint8_t request[5] = {1, 0, 0, 0, 2};
    ASSERT_EQ(writeWithin(fd.get(), request, sizeof request, kIoMs), 5);

    struct sigaction sa {};
    sa.sa_handler = noop;
    sigaction(SIGUSR1, &sa, nullptr);
    struct Waiting {
        std::thread thread;
        std::atomic<bool> done{false};
        long result = 0;
        int error = 0;
    } reader, writer;
    reader.thread = std::thread([&] {
        uint8_t buf[4096];
        reader.result = read(fd.get(), buf, sizeof buf);
        reader.error = errno;
        reader.done = true;
    });
    writer.thread = std::thread([&] {
        writer.result = write(fd.get(), request, sizeof request);
        writer.error = errno;
        writer.done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(reader.done) << "the read did not wait for the board";
    EXPECT_FALSE(writer.done) << "the write did not wait for the board";
    ASSERT_TRUE(writeFile(env("Q47_UDC_FILE"), "\n"));
    for (Waiting* w : {&reader, &writer}) {
        for (int i = 0; i < 250 && !w->done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(w->done) << "a waiting call outlived the board";
        if (!w->done) pthread_kill(w->thread.native_handle(), SIGUSR1);
        w->thread.join();
        EXPECT_EQ(w->result, -1);
        EXPECT_EQ(w->error, ENODEV) << strerror(w->error);
    }
    gadget.command("hold 0");

    EXPECT_TRUE(waitForPath(nodePath(0), false, 5000)) << "the node outlived the board";
    uint8_t buf[16];
    errno = 0;
    EXPECT_EQ(read(fd.get(), buf, sizeof buf), -1);
    EXPECT_EQ(errno, ENODEV);
    errno = 0;
    EXPECT_EQ(write(fd.get(), buf, 5), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(ioctl(fd.get(), 0, 0), -1);
    fd.reset();

    ASSERT_TRUE(writeFile(env("Q47_UDC_FILE"), env("Q47_UDC_NAME") + "\n"));
    ASSERT_TRUE(waitForPath(nodePath(1), true, 10000)) << "no node after the replug";
    EXPECT_FALSE(waitForPath(nodePath(0), true, 0)) << "unit numbers went down";
    ASSERT_EQ(gadget.command("mode board"), "ok");
    Fd again = openBoard(1);
    ASSERT_TRUE(again.valid()) << strerror(errno);
    ASSERT_EQ(writeWithin(again.get(), request, sizeof request, kIoMs), 5);
    uint8_t reply[4096];
    ASSERT_GT(readWithin(again.get(), reply, sizeof reply, kIoMs), 4);
    EXPECT_EQ(reply[4], board::ReplyStatus);
}

bool plugIn() { return writeFile(env("Q47_UDC_FILE"), env("Q47_UDC_NAME") + "\n"); }
bool pullOut() { return writeFile(env("Q47_UDC_FILE"), "\n"); }

TEST(Lifetime, AfterAnUnplugTheDeviceIsFreedOnlyWhenTheLastFileCloses) {
    int unit = currentUnit();
    ASSERT_GE(unit, 0);
    LogMark mark;
    Fd fd = openBoard(unit);
    ASSERT_TRUE(fd.valid()) << strerror(errno);
    ASSERT_TRUE(pullOut());
    ASSERT_TRUE(waitForPath(nodePath(unit), false, 5000));
    std::string log = mark.text();
    EXPECT_NE(log.find("Entering Q47usbDevice::OnRemoveDevice"), std::string::npos);
    EXPECT_EQ(log.find("(destructor)"), std::string::npos) << "freed while a file still held it";

    fd.reset();
    log = mark.text();
    size_t removed = log.find("Entering Q47usbDevice::OnRemoveDevice");
    size_t closed = log.find("Entering Q47usbDevice::Close, ", removed);
    size_t freed = log.find("Entering Q47usbDevice::~Q47usbDevice() (destructor)", closed);
    EXPECT_NE(removed, std::string::npos);
    EXPECT_NE(closed, std::string::npos);
    EXPECT_NE(freed, std::string::npos) << "the last close did not free the device";

    ASSERT_TRUE(plugIn());
    EXPECT_TRUE(waitForPath(nodePath(unit + 1), true, 10000)) << "no node after the replug";
}

TEST(Unplug, SignalsArrivingThroughoutAnUnplugStillGiveEnodev) {
    int unit = currentUnit();
    ASSERT_GE(unit, 0);
    Gadget gadget;
    ASSERT_EQ(gadget.command("mode record"), "ok");
    Fd fd = openBoard(unit);
    ASSERT_TRUE(fd.valid()) << strerror(errno);
    Handler restart(SIGUSR2, SA_RESTART);
    Pending reader;
    reader.read(fd.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(reader.done);
    // Signals keep coming while the link fails and the board goes: none of them may
    // surface as EINTR or as the link's raw status.
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop && !reader.done) {
            pthread_kill(reader.thread.native_handle(), SIGUSR2);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    ASSERT_TRUE(pullOut());
    bool ended = reader.finishesWithin(5000);
    stop = true;
    sender.join();
    EXPECT_TRUE(ended) << "the read outlived the board";
    reader.end();
    EXPECT_EQ(reader.result, -1);
    EXPECT_EQ(reader.error, ENODEV) << strerror(reader.error);
    fd.reset();
    ASSERT_TRUE(plugIn());
    EXPECT_TRUE(waitForPath(nodePath(unit + 1), true, 10000)) << "no node after the replug";
}

bool waitForRuntimeStatus(const std::string& dir, const std::string& status) {
    for (int i = 0; i < 250; ++i) {
        if (readFile(dir + "/power/runtime_status") == status + "\n") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(Power, AnIdleBoardSleepsAndOpeningTheNodeWakesIt) {
    int unit = currentUnit();
    std::string dir = usbDeviceDir(unit);
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(writeFile(dir + "/power/autosuspend_delay_ms", "0"));
    ASSERT_TRUE(writeFile(dir + "/power/control", "auto"));
    EXPECT_TRUE(waitForRuntimeStatus(dir, "suspended")) << readFile(dir + "/power/runtime_status");
    EXPECT_NE(kernelLog().find("Entering Q47usbDevice::OnDeviceSleep"), std::string::npos);
    {
        Fd fd = openBoard(unit);
        ASSERT_TRUE(fd.valid()) << strerror(errno);
        EXPECT_TRUE(waitForRuntimeStatus(dir, "active"));
        EXPECT_NE(kernelLog().find("Entering Q47usbDevice::OnDevicePowerUp"), std::string::npos);
        Gadget gadget;
        ASSERT_EQ(gadget.command("mode board"), "ok");
        auto request = board::encodeRequest(board::Status);
        ASSERT_EQ(writeWithin(fd.get(), request.data(), request.size(), kIoMs), 5);
        uint8_t reply[4096];
        EXPECT_GT(readWithin(fd.get(), reply, sizeof reply, kIoMs), 4);
    }
    writeFile(dir + "/power/control", "on");
}

TEST(Power, OpenUnbindCloseRebindLeavesNoPowerReferenceBehind) {
    int unit = currentUnit();
    std::string dir = usbDeviceDir(unit);
    ASSERT_FALSE(dir.empty());
    char path[PATH_MAX];
    ASSERT_TRUE(realpath(("/sys/class/q47usb/zwbd_c_series" + std::to_string(unit) + "/device").c_str(), path));
    std::string intf = std::string(path).substr(std::string(path).rfind('/') + 1);

    Fd fd = openBoard(unit);
    ASSERT_TRUE(fd.valid()) << strerror(errno);
    ASSERT_TRUE(writeFile("/sys/bus/usb/drivers/q47usb/unbind", intf));
    ASSERT_TRUE(waitForPath(nodePath(unit), false, 5000));
    fd.reset();
    ASSERT_TRUE(writeFile("/sys/bus/usb/drivers/q47usb/bind", intf));
    ASSERT_TRUE(waitForPath(nodePath(unit + 1), true, 5000)) << "the rebind gave no node";

    // With nothing open the board may sleep: no reference of the earlier open is left.
    ASSERT_TRUE(writeFile(dir + "/power/autosuspend_delay_ms", "0"));
    ASSERT_TRUE(writeFile(dir + "/power/control", "auto"));
    EXPECT_TRUE(waitForRuntimeStatus(dir, "suspended")) << readFile(dir + "/power/runtime_status");
    EXPECT_EQ(readFile(dir + "/power/runtime_active_kids"), "0\n");
    EXPECT_EQ(readFile(dir + "/power/runtime_usage"), "0\n");
    writeFile(dir + "/power/control", "on");
}

TEST(Sleep, ASystemSleepThatResetsTheBoardKeepsItsNodeAndTheOpenFile) {
    int unit = currentUnit();
    ASSERT_GE(unit, 0);
    Gadget gadget;
    ASSERT_EQ(gadget.command("mode record"), "ok");
    Fd fd = openBoard(unit);
    ASSERT_TRUE(fd.valid()) << strerror(errno);
    LogMark mark;
    // A read waits across the sleep: freezing the task must not end it.
    Pending reader;
    reader.read(fd.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(reader.done);

    // Devices suspend and resume without the machine going down; one second between.
    writeFile("/sys/module/suspend/parameters/pm_test_delay", "1");
    ASSERT_TRUE(writeFile("/sys/power/pm_test", "devices"));
    bool slept = writeFile("/sys/power/state", "freeze");
    writeFile("/sys/power/pm_test", "none");
    ASSERT_TRUE(slept) << strerror(errno);

    std::string log = mark.text();
    EXPECT_NE(log.find("reset high-speed USB device"), std::string::npos)
        << "the board was not reset on resume; the case proves nothing:\n" << log;
    EXPECT_EQ(log.find("Entering Q47usbDevice::OnRemoveDevice"), std::string::npos)
        << "the resume unbound the driver";
    EXPECT_TRUE(waitForPath(nodePath(unit), true, 0)) << "the board lost its number";
    EXPECT_FALSE(waitForPath(nodePath(unit + 1), true, 500)) << "the board came back as the next unit";

    EXPECT_FALSE(reader.done) << "the sleep ended the read: " << strerror(reader.error);
    ASSERT_EQ(gadget.command("raw 7"), "ok");
    ASSERT_TRUE(reader.finishesWithin(kIoMs));
    EXPECT_EQ(reader.result, 7) << strerror(reader.error);
    reader.end();

    ASSERT_EQ(gadget.command("mode board"), "ok");
    auto request = board::encodeRequest(board::Status);
    ASSERT_EQ(writeWithin(fd.get(), request.data(), request.size(), kIoMs), 5) << strerror(errno);
    uint8_t reply[4096];
    ASSERT_GT(readWithin(fd.get(), reply, sizeof reply, kIoMs), 4) << strerror(errno);
    EXPECT_EQ(reply[4], board::ReplyStatus);
}

TEST(Reset, APortResetKeepsTheNodeItsUnitAndTheOpenFile) {
    int unit = currentUnit();
    std::string dir = usbDeviceDir(unit);
    ASSERT_FALSE(dir.empty());
    Fd fd = openBoard(unit);
    ASSERT_TRUE(fd.valid()) << strerror(errno);
    LogMark mark;
    Fd usbfs(open(usbfsPath(dir).c_str(), O_RDWR));
    ASSERT_TRUE(usbfs.valid()) << usbfsPath(dir) << ": " << strerror(errno);
    ASSERT_EQ(ioctl(usbfs.get(), USBDEVFS_RESET, 0), 0) << strerror(errno);
    std::string log = mark.text();
    EXPECT_NE(log.find("Entering Q47usbDevice::OnStopDevice"), std::string::npos);
    EXPECT_EQ(log.find("Entering Q47usbDevice::OnRemoveDevice"), std::string::npos)
        << "the reset unbound the driver";

    Gadget gadget;
    ASSERT_EQ(gadget.command("mode board"), "ok");
    auto request = board::encodeRequest(board::Status);
    ASSERT_EQ(writeWithin(fd.get(), request.data(), request.size(), kIoMs), 5) << strerror(errno);
    uint8_t reply[4096];
    ASSERT_GT(readWithin(fd.get(), reply, sizeof reply, kIoMs), 4) << strerror(errno);
    EXPECT_EQ(reply[4], board::ReplyStatus);
    EXPECT_TRUE(waitForPath(nodePath(unit), true, 0));
    EXPECT_FALSE(waitForPath(nodePath(unit + 1), true, 0));
}

bool loadModule(const std::string& params) {
    int module = open(env("Q47_MODULE").c_str(), O_RDONLY);
    if (module < 0) return false;
    bool ok = syscall(SYS_finit_module, module, params.c_str(), 0) == 0;
    close(module);
    return ok;
}

long taint() { return std::stol(readFile("/proc/sys/kernel/tainted")); }

TEST(BreakOnEntry, WithoutADebuggerItWarnsWithAStackTraceAndLeavesTheKernelUntainted) {
    constexpr long kTaintWarn = 1 << 9;  // TAINT_WARN: what WARN() leaves
    ASSERT_EQ(taint() & kTaintWarn, 0) << "tainted before the case";
    int unit = currentUnit();
    ASSERT_EQ(syscall(SYS_delete_module, "q47usb", O_NONBLOCK), 0) << strerror(errno);
    EXPECT_TRUE(waitForPath(nodePath(unit), false, 5000));
    LogMark mark;
    ASSERT_TRUE(loadModule("dyndbg=+p break_on_entry=1 " + env("Q47_MODULE_IDS"))) << strerror(errno);
    std::string log = mark.text();
    size_t warned = log.find("q47usb: break_on_entry set, no kernel debugger attached");
    EXPECT_NE(warned, std::string::npos);
    EXPECT_NE(log.find("Call Trace:", warned), std::string::npos) << "no stack trace";
    EXPECT_NE(log.find("m_bBreakOnEntry loaded from registry, resulting value: [1]"), std::string::npos);
    EXPECT_EQ(log.find("cut here"), std::string::npos) << "a WARN() report";
    EXPECT_EQ(taint() & kTaintWarn, 0) << "the kernel was tainted";
    // The module goes on loading and binds the board as unit 0.
    EXPECT_TRUE(waitForPath(nodePath(0), true, 5000));
}

TEST(Reload, TheUnitCounterStartsAtZeroAgainAndNewIdBindsTheBoard) {
    int unit = currentUnit();
    ASSERT_EQ(syscall(SYS_delete_module, "q47usb", O_NONBLOCK), 0) << strerror(errno);
    EXPECT_TRUE(waitForPath(nodePath(unit), false, 5000));
    ASSERT_TRUE(loadModule("dyndbg=+p")) << strerror(errno);
    // Loaded without vendor/product the module binds nothing by itself.
    EXPECT_FALSE(waitForPath(nodePath(0), true, 1000));
    ASSERT_TRUE(writeFile("/sys/bus/usb/drivers/q47usb/new_id", env("Q47_NEW_ID")));
    EXPECT_TRUE(waitForPath(nodePath(0), true, 5000)) << "new_id did not bind the board";
}

TEST(TraceLines, EveryEntryPointLeavesItsLineInThisRunsKernelLog) {
    ASSERT_NE(runMark, nullptr);
    std::string log = runMark->text();
    for (const char* line : {
             "In DriverEntry",
             "m_bBreakOnEntry loaded from registry, resulting value: [1]",
             "m_bBreakOnEntry loaded from registry, resulting value: [0]",
             "AddDevice called",
             "Entering Q47usbDevice::Q47usbDevice (constructor)",
             "Entering Q47usbDevice::OnStartDevice",
             "USB Configuration OK",
             "Entering Q47usbDevice::Create, ",
             "Q47usbDevice::Create Status 0x00000000",
             "Q47usbDevice::Create Status 0xfffffff0",  // -EBUSY of the refused second open
             "Entering Q47usbDevice::Read, ",
             "Read() got 1024 bytes from USB",
             "Entering Q47usbDevice::Write, ",
             "Wrote 4096 bytes to USB",
             "Entering Q47usbDevice::Device Control, ",
             "Entering CleanUp, ",
             "Entering Q47usbDevice::Close, ",
             "Q47usbDevice::Close Status 0x00000000",
             "Entering Q47usbDevice::OnRemoveDevice",
             "Entering Q47usbDevice::~Q47usbDevice() (destructor)",
             "Entering Q47usbDevice::DefaultPower",
             "Entering Q47usbDevice::OnDeviceSleep",
             "Entering Q47usbDevice::OnDevicePowerUp",
             "Entering Q47usbDevice::OnStopDevice",
         }) {
        EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line;
    }
    // A board comes up in this order.
    size_t add = log.find("AddDevice called");
    size_t ctor = log.find("Entering Q47usbDevice::Q47usbDevice (constructor)", add);
    size_t start = log.find("Entering Q47usbDevice::OnStartDevice", ctor);
    size_t ok = log.find("USB Configuration OK", start);
    EXPECT_TRUE(add != std::string::npos && ctor != std::string::npos && start != std::string::npos &&
                ok != std::string::npos);
}

// Run on its own after everything else: the board then shows the host bulk-in 0x81
// and bulk-out 0x02 instead of 0x82 and 0x01.
TEST(WrongPipes, ABoardWithoutItsTwoPipesGetsNoNode) {
    ASSERT_TRUE(writeFile(env("Q47_UDC_FILE"), "\n"));
    ASSERT_TRUE(waitForPath(nodePath(0), false, 5000));
    ASSERT_EQ(unlink(env("Q47_FILLER_LINK").c_str()), 0) << strerror(errno);
    LogMark mark;
    ASSERT_TRUE(writeFile(env("Q47_UDC_FILE"), env("Q47_UDC_NAME") + "\n"));
    std::string log;
    for (int i = 0; i < 250 && log.find("Failed to open pipe object") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log = mark.text();
    }
    EXPECT_NE(log.find("AddDevice called"), std::string::npos);
    EXPECT_NE(log.find("Failed to open pipe object"), std::string::npos);
    EXPECT_EQ(log.find("USB Configuration OK"), std::string::npos);
    for (int unit = 0; unit < 3; ++unit)
        EXPECT_FALSE(waitForPath(nodePath(unit), true, unit == 0 ? 500 : 0)) << nodePath(unit);
}

}  // namespace
}  // namespace q47::guest
