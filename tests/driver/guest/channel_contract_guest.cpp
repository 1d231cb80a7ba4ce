// The device channel's contract on the kernel module's node, inside the test guest.
//
// The same ChannelContract cases every backend passes, with a rig whose board is the
// simulator behind FunctionFS on dummy_hcd, reached through q47usb's
// /dev/zwbd_c_series<n>. This process serves the endpoints itself, so the rig reaches
// the board directly; unplugging unbinds the gadget from its UDC.
#include "channel_contract.h"
#include "ffs_board_server.h"
#include "guest_support.h"

#include <dirent.h>

#include <chrono>
#include <thread>

namespace q47::test {
namespace {

using guest::env;
using guest::waitForPath;
using guest::writeFile;

// The board's node as the driver names it now: the unit number grows with each plug.
std::string currentNode() {
    static std::string last = "/dev/zwbd_c_series0";
    if (DIR* d = opendir("/sys/class/q47usb")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') last = std::string("/dev/") + e->d_name;
        }
        closedir(d);
    }
    return last;
}

bool plugIn() { return writeFile(env("Q47_UDC_FILE"), env("Q47_UDC_NAME") + "\n"); }
bool pullOut() { return writeFile(env("Q47_UDC_FILE"), "\n"); }

bool waitForNode(int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (waitForPath(currentNode(), true, 0) && waitForPath("/sys/class/q47usb/" + currentNode().substr(5), true, 0))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The process's one FunctionFS server; the gadget is bound to its UDC on first use.
// It is never destroyed: its threads wait on its condition variables until the
// process ends.
guest::FfsBoardServer* boardServer(std::string* error) {
    static guest::FfsBoardServer* server = nullptr;
    if (!server) {
        auto* s = new guest::FfsBoardServer(sim::Config{});
        if (!s->start(env("Q47_FFS_BOARD"), env("Q47_FFS_FILLER"), error)) return nullptr;
        if (!plugIn()) {
            *error = "the gadget does not bind to " + env("Q47_UDC_NAME");
            return nullptr;
        }
        server = s;
    }
    return server;
}

// The gadget leaves the UDC before this process closes its endpoints.
class UnbindAtExit : public ::testing::Environment {
public:
    void TearDown() override { pullOut(); }
};
const auto* const kUnbind = ::testing::AddGlobalTestEnvironment(new UnbindAtExit);

class KernelNodeRig : public BoardRig {
public:
    explicit KernelNodeRig(guest::FfsBoardServer& server) : server_(server) {}
    std::string device() const override { return currentNode(); }
    void withBoard(const std::function<void(sim::Board&)>& f) override { server_.withBoard(f); }
    void unplug(int ms) override {
        pullOut();
        waitForPath(currentNode(), false, 5000);
        std::thread([ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            plugIn();
        }).detach();
    }

private:
    guest::FfsBoardServer& server_;
};

RigKind kernelNodeRig() {
    return {"KernelNode", [](const sim::Config& config, std::string* skip) -> std::unique_ptr<BoardRig> {
                auto* server = boardServer(skip);
                if (!server) return nullptr;
                server->answerWithBoard(true);
                server->holdOut(false);
                server->resetBoard(config);
                if (!waitForNode(10000)) {
                    *skip = "q47usb gave the board no node";
                    return nullptr;
                }
                return std::make_unique<KernelNodeRig>(*server);
            }};
}

INSTANTIATE_TEST_SUITE_P(Module, ChannelContract, ::testing::Values(kernelNodeRig()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace q47::test
