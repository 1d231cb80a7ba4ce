// The backend's SANE entry points called in-process, as a frontend calls them, against the
// simulator in real time: the option table, scanning blocking and non-blocking, cancel,
// and every failure as a SANE status.
#include <gtest/gtest.h>
#include <poll.h>
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <set>
#include <algorithm>
#include <thread>

#include "board/packet.h"
#include "platform/channel/backends.h"
#include "tests/sane/sane_test_support.h"

extern "C" {
SANE_Status sane_q47_init(SANE_Int*, SANE_Auth_Callback);
void sane_q47_exit(void);
SANE_Status sane_q47_get_devices(const SANE_Device***, SANE_Bool);
SANE_Status sane_q47_open(SANE_String_Const, SANE_Handle*);
void sane_q47_close(SANE_Handle);
const SANE_Option_Descriptor* sane_q47_get_option_descriptor(SANE_Handle, SANE_Int);
SANE_Status sane_q47_control_option(SANE_Handle, SANE_Int, SANE_Action, void*, SANE_Int*);
SANE_Status sane_q47_get_parameters(SANE_Handle, SANE_Parameters*);
SANE_Status sane_q47_start(SANE_Handle);
SANE_Status sane_q47_read(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int*);
void sane_q47_cancel(SANE_Handle);
SANE_Status sane_q47_set_io_mode(SANE_Handle, SANE_Bool);
SANE_Status sane_q47_get_select_fd(SANE_Handle, SANE_Int*);
}

namespace q47::test {
namespace {

using namespace std::chrono_literals;

class SaneApi : public ::testing::Test {
protected:
    SaneApi() : simulator(smallBoard()) {
        socket = (dir / "board.sock").string();
        EXPECT_TRUE(simulator.listen(socket));
        // Hermetic: the data source's settings here, no other boards, this config.
        setenv("Q47_HOME", dir.path().c_str(), 1);
        setenv("SANE_CONFIG_DIR", dir.path().c_str(), 1);
        unsetenv("Q47_DEVICE");
        std::ofstream(dir / "q47.conf") << "sim:" << socket << "\n";
        SANE_Int version = 0;
        EXPECT_EQ(sane_q47_init(&version, nullptr), SANE_STATUS_GOOD);
        EXPECT_EQ(SANE_VERSION_MAJOR(version), SANE_CURRENT_MAJOR);
    }
    ~SaneApi() override {
        sane_q47_exit();
        simulator.stop();
    }
    std::string device() const { return "sim:" + socket; }
    SANE_Handle open() {
        SANE_Handle h = nullptr;
        EXPECT_EQ(sane_q47_open(device().c_str(), &h), SANE_STATUS_GOOD);
        return h;
    }
    void setMode(SANE_Handle h, const char* mode) {
        SANE_Int index = -1;
        for (SANE_Int i = 1; const SANE_Option_Descriptor* d = sane_q47_get_option_descriptor(h, i); ++i)
            if (d->name && std::strcmp(d->name, SANE_NAME_SCAN_MODE) == 0) index = i;
        ASSERT_GT(index, 0);
        char value[32];
        std::strcpy(value, mode);
        ASSERT_EQ(sane_q47_control_option(h, index, SANE_ACTION_SET_VALUE, value, nullptr),
                  SANE_STATUS_GOOD);
    }
    // Reads until EOF (or another status) in blocking mode; the bytes in *out.
    static SANE_Status readAll(SANE_Handle h, std::vector<uint8_t>* out) {
        SANE_Byte buf[5000];
        for (;;) {
            SANE_Int n = 0;
            const SANE_Status s = sane_q47_read(h, buf, sizeof buf, &n);
            if (s != SANE_STATUS_GOOD) return s;
            out->insert(out->end(), buf, buf + n);
        }
    }
    uint8_t boardState() {
        return simulator.withBoard([](const sim::Board& b) { return b.state(); });
    }
    // Waits (bounded) for the board to reach a state.
    bool waitForState(uint8_t state) {
        for (int i = 0; i < 1000 && boardState() != state; ++i) std::this_thread::sleep_for(10ms);
        return boardState() == state;
    }
    std::vector<uint8_t> sheet(bool colour) {
        return simulator.withBoard([&](const sim::Board& b) { return b.imageData(colour); });
    }

    TempDir dir;
    sim::Simulator simulator;
    std::string socket;
};

TEST_F(SaneApi, ListsTheBoardWithVendorModelAndType) {
    const SANE_Device** list = nullptr;
    ASSERT_EQ(sane_q47_get_devices(&list, SANE_FALSE), SANE_STATUS_GOOD);
    bool found = false;
    for (int i = 0; list[i]; ++i)
        if (list[i]->name == device()) {
            found = true;
            EXPECT_STREQ(list[i]->vendor, "ZELT");
            EXPECT_STREQ(list[i]->model, "Q-47W");
            EXPECT_STREQ(list[i]->type, "whiteboard scanner");
        }
    EXPECT_TRUE(found);
}

// What a frontend does with every option: read the descriptor, check its size and
// constraint, read the value, write it back.
TEST_F(SaneApi, EveryOptionDescriptorIsConsistent) {
    SANE_Handle h = open();
    const SANE_Option_Descriptor* count = sane_q47_get_option_descriptor(h, 0);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->type, SANE_TYPE_INT);
    EXPECT_EQ(count->size, SANE_Int(sizeof(SANE_Word)));
    EXPECT_FALSE(SANE_OPTION_IS_SETTABLE(count->cap));
    SANE_Int n = 0;
    ASSERT_EQ(sane_q47_control_option(h, 0, SANE_ACTION_GET_VALUE, &n, nullptr), SANE_STATUS_GOOD);
    ASSERT_GT(n, 1);
    EXPECT_EQ(sane_q47_get_option_descriptor(h, n), nullptr);
    EXPECT_EQ(sane_q47_get_option_descriptor(h, -1), nullptr);
    EXPECT_NE(sane_q47_control_option(h, n, SANE_ACTION_GET_VALUE, &n, nullptr), SANE_STATUS_GOOD);

    std::set<std::string> names;
    for (SANE_Int i = 1; i < n; ++i) {
        const SANE_Option_Descriptor* d = sane_q47_get_option_descriptor(h, i);
        ASSERT_NE(d, nullptr) << i;
        ASSERT_NE(d->title, nullptr) << i;
        if (d->type == SANE_TYPE_GROUP) {
            char dummy[64];
            EXPECT_NE(sane_q47_control_option(h, i, SANE_ACTION_GET_VALUE, dummy, nullptr),
                      SANE_STATUS_GOOD);
            continue;
        }
        ASSERT_NE(d->name, nullptr);
        EXPECT_TRUE(names.insert(d->name).second) << "option name twice: " << d->name;
        EXPECT_TRUE(SANE_OPTION_IS_ACTIVE(d->cap)) << d->name;
        EXPECT_TRUE(d->cap & SANE_CAP_SOFT_DETECT) << d->name;
        std::vector<char> value(size_t(d->size) + 1, 0);
        ASSERT_EQ(sane_q47_control_option(h, i, SANE_ACTION_GET_VALUE, value.data(), nullptr),
                  SANE_STATUS_GOOD) << d->name;
        switch (d->type) {
            case SANE_TYPE_INT:
            case SANE_TYPE_FIXED: {
                ASSERT_EQ(d->size, SANE_Int(sizeof(SANE_Word))) << d->name;
                const SANE_Word w = *reinterpret_cast<SANE_Word*>(value.data());
                if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
                    EXPECT_LE(d->constraint.range->min, d->constraint.range->max) << d->name;
                    EXPECT_GE(w, d->constraint.range->min) << d->name;
                    EXPECT_LE(w, d->constraint.range->max) << d->name;
                } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
                    const SANE_Word* list = d->constraint.word_list;
                    ASSERT_GT(list[0], 0);
                    EXPECT_NE(std::find(list + 1, list + 1 + list[0], w), list + 1 + list[0]) << d->name;
                }
                break;
            }
            case SANE_TYPE_STRING: {
                ASSERT_EQ(d->constraint_type, SANE_CONSTRAINT_STRING_LIST) << d->name;
                bool listed = false;
                for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s) {
                    EXPECT_LT(std::strlen(*s), size_t(d->size)) << *s << " does not fit " << d->name;
                    listed |= std::strcmp(*s, value.data()) == 0;
                }
                EXPECT_TRUE(listed) << d->name << " = " << value.data();
                break;
            }
            default:
                ADD_FAILURE() << d->name << ": unexpected type " << d->type;
        }
        if (SANE_OPTION_IS_SETTABLE(d->cap)) {
            SANE_Int info = -1;
            EXPECT_EQ(sane_q47_control_option(h, i, SANE_ACTION_SET_VALUE, value.data(), &info),
                      SANE_STATUS_GOOD) << d->name;
            EXPECT_EQ(info & SANE_INFO_INEXACT, 0) << d->name;
            EXPECT_NE(sane_q47_control_option(h, i, SANE_ACTION_SET_AUTO, nullptr, nullptr),
                      SANE_STATUS_GOOD) << d->name;
        } else {
            EXPECT_NE(sane_q47_control_option(h, i, SANE_ACTION_SET_VALUE, value.data(), nullptr),
                      SANE_STATUS_GOOD) << d->name;
        }
    }
    for (const char* wanted : {SANE_NAME_SCAN_MODE, SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_TL_X,
                               SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y})
        EXPECT_TRUE(names.count(wanted)) << wanted;
    sane_q47_close(h);
}

TEST_F(SaneApi, OnlyTheBoardsValuesAreTaken) {
    SANE_Handle h = open();
    SANE_Int mode = -1, res = -1, brx = -1;
    for (SANE_Int i = 1; const SANE_Option_Descriptor* d = sane_q47_get_option_descriptor(h, i); ++i) {
        if (!d->name) continue;
        if (std::strcmp(d->name, SANE_NAME_SCAN_MODE) == 0) mode = i;
        if (std::strcmp(d->name, SANE_NAME_SCAN_RESOLUTION) == 0) res = i;
        if (std::strcmp(d->name, SANE_NAME_SCAN_BR_X) == 0) brx = i;
    }
    char lineart[] = "Lineart";
    EXPECT_EQ(sane_q47_control_option(h, mode, SANE_ACTION_SET_VALUE, lineart, nullptr), SANE_STATUS_INVAL);
    SANE_Word dpi = 300;
    EXPECT_EQ(sane_q47_control_option(h, res, SANE_ACTION_SET_VALUE, &dpi, nullptr), SANE_STATUS_INVAL);
    // A smaller area is answered with the whole sheet; one beyond it is refused.
    SANE_Word whole = 0, asked = SANE_FIX(10.0);
    ASSERT_EQ(sane_q47_control_option(h, brx, SANE_ACTION_GET_VALUE, &whole, nullptr), SANE_STATUS_GOOD);
    SANE_Int info = 0;
    EXPECT_EQ(sane_q47_control_option(h, brx, SANE_ACTION_SET_VALUE, &asked, &info), SANE_STATUS_GOOD);
    EXPECT_TRUE(info & SANE_INFO_INEXACT);
    EXPECT_EQ(asked, whole);
    SANE_Word beyond = whole + SANE_FIX(1.0);
    EXPECT_EQ(sane_q47_control_option(h, brx, SANE_ACTION_SET_VALUE, &beyond, nullptr), SANE_STATUS_INVAL);
    // Gray changes the parameters.
    char gray[] = SANE_VALUE_SCAN_MODE_GRAY;
    info = 0;
    EXPECT_EQ(sane_q47_control_option(h, mode, SANE_ACTION_SET_VALUE, gray, &info), SANE_STATUS_GOOD);
    EXPECT_TRUE(info & SANE_INFO_RELOAD_PARAMS);
    sane_q47_close(h);
}

TEST_F(SaneApi, ColourScanGivesTheParametersAndTheSheetsRows) {
    SANE_Handle h = open();
    SANE_Parameters before{};
    ASSERT_EQ(sane_q47_get_parameters(h, &before), SANE_STATUS_GOOD);
    EXPECT_EQ(before.format, SANE_FRAME_RGB);
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    SANE_Parameters p{};
    ASSERT_EQ(sane_q47_get_parameters(h, &p), SANE_STATUS_GOOD);
    EXPECT_EQ(p.format, SANE_FRAME_RGB);
    EXPECT_EQ(p.depth, 8);
    EXPECT_TRUE(p.last_frame);
    EXPECT_EQ(p.pixels_per_line, 128);  // 100 scan lines, rows padded to 32
    EXPECT_EQ(p.lines, 48);
    EXPECT_EQ(p.bytes_per_line, 3 * 128);
    // The estimate from device info was already right.
    EXPECT_EQ(before.pixels_per_line, p.pixels_per_line);
    EXPECT_EQ(before.lines, p.lines);
    std::vector<uint8_t> data;
    EXPECT_EQ(readAll(h, &data), SANE_STATUS_EOF);
    EXPECT_EQ(data, expectedFrame(sheet(true), 100, 48, true));
    sane_q47_cancel(h);  // frontends end every scan with it: nothing is pressed
    sane_q47_close(h);
    for (const auto& r : simulator.received())
        EXPECT_FALSE(r.size() == 6 && r[4] == board::PanelKey && r[5] == board::KeyStop);
}

TEST_F(SaneApi, NonBlockingGreyScanThroughTheSelectDescriptor) {
    SANE_Handle h = open();
    setMode(h, SANE_VALUE_SCAN_MODE_GRAY);
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    ASSERT_EQ(sane_q47_set_io_mode(h, SANE_TRUE), SANE_STATUS_GOOD);
    SANE_Int fd = -1;
    ASSERT_EQ(sane_q47_get_select_fd(h, &fd), SANE_STATUS_GOOD);
    std::vector<uint8_t> data;
    SANE_Status s = SANE_STATUS_GOOD;
    while (s == SANE_STATUS_GOOD) {
        pollfd pf{fd, POLLIN, 0};
        ASSERT_EQ(poll(&pf, 1, 10000), 1);
        SANE_Byte buf[777];
        SANE_Int n = 0;
        s = sane_q47_read(h, buf, sizeof buf, &n);
        data.insert(data.end(), buf, buf + n);
    }
    EXPECT_EQ(s, SANE_STATUS_EOF);
    EXPECT_EQ(data, expectedFrame(sheet(false), 100, 48, false));
    sane_q47_close(h);
}

TEST_F(SaneApi, CancelInTheMiddleOfTheImageThenTheNextScanWorks) {
    SANE_Handle h = open();
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    SANE_Byte buf[1000];
    SANE_Int n = 0;
    ASSERT_EQ(sane_q47_read(h, buf, sizeof buf, &n), SANE_STATUS_GOOD);
    EXPECT_GT(n, 0);
    sane_q47_cancel(h);
    EXPECT_EQ(sane_q47_read(h, buf, sizeof buf, &n), SANE_STATUS_CANCELLED);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    std::vector<uint8_t> data;
    EXPECT_EQ(readAll(h, &data), SANE_STATUS_EOF);
    EXPECT_EQ(data, expectedFrame(sheet(true), 100, 48, true));
    sane_q47_close(h);
}

TEST_F(SaneApi, CancelWhileTheBoardScansPressesStopAndLeavesItInStandby) {
    simulator.setScanPolls(100000);
    SANE_Handle h = open();
    auto started = std::async(std::launch::async, [h] { return sane_q47_start(h); });
    ASSERT_TRUE(waitForState(board::StateScanPC));
    sane_q47_cancel(h);
    ASSERT_EQ(started.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(started.get(), SANE_STATUS_CANCELLED);
    EXPECT_EQ(boardState(), board::StateStandby);
    int stops = 0;
    for (const auto& r : simulator.received())
        stops += r.size() == 6 && r[4] == board::PanelKey && r[5] == board::KeyStop;
    EXPECT_EQ(stops, 1);
    simulator.setScanPolls(1);
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    std::vector<uint8_t> data;
    EXPECT_EQ(readAll(h, &data), SANE_STATUS_EOF);
    EXPECT_EQ(data, expectedFrame(sheet(true), 100, 48, true));
    sane_q47_close(h);
}

TEST_F(SaneApi, BoardErrorDuringTheScanIsAnIoError) {
    simulator.setScanPolls(100000);
    SANE_Handle h = open();
    auto started = std::async(std::launch::async, [h] { return sane_q47_start(h); });
    ASSERT_TRUE(waitForState(board::StateScanPC));
    simulator.setError(1);
    ASSERT_EQ(started.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(started.get(), SANE_STATUS_IO_ERROR);
    SANE_Byte buf[16];
    SANE_Int n = 0;
    EXPECT_NE(sane_q47_read(h, buf, sizeof buf, &n), SANE_STATUS_GOOD);
    // Once the board's error is gone, the next scan works.
    simulator.setError(0);
    simulator.setScanPolls(1);
    ASSERT_EQ(sane_q47_start(h), SANE_STATUS_GOOD);
    std::vector<uint8_t> data;
    EXPECT_EQ(readAll(h, &data), SANE_STATUS_EOF);
    sane_q47_close(h);
}

TEST_F(SaneApi, BoardHeldByAnotherProgramIsDeviceBusy) {
    SANE_Handle h = open();
    {
        std::string why;
        auto other = channel::openSim(socket, 1000, &why);
        ASSERT_TRUE(other) << why;
        EXPECT_EQ(sane_q47_start(h), SANE_STATUS_DEVICE_BUSY);
        SANE_Handle second = nullptr;
        sane_q47_close(h);
        EXPECT_EQ(sane_q47_open(device().c_str(), &second), SANE_STATUS_DEVICE_BUSY);
    }
    // Released between scans: the same board opens again once the other lets go.
    h = open();
    sane_q47_close(h);
}

TEST_F(SaneApi, BusyBoardIsDeviceBusy) {
    SANE_Handle h = open();
    simulator.setState(board::StateFeed);
    EXPECT_EQ(sane_q47_start(h), SANE_STATUS_DEVICE_BUSY);
    sane_q47_close(h);
}

TEST_F(SaneApi, NoBoardFailsAtOpen) {
    SANE_Handle h = nullptr;
    const std::string missing = "sim:" + (dir / "none.sock").string();
    EXPECT_EQ(sane_q47_open(missing.c_str(), &h), SANE_STATUS_IO_ERROR);
    EXPECT_EQ(h, nullptr);
}

}  // namespace
}  // namespace q47::test
