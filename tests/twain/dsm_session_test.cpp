// An application's session through the source manager: open, callbacks, pass-through, close.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "fake_source/fake_image.h"
#include "twain_test_support.h"

using namespace q47::twaintest;

namespace {

// What the application's callback saw.
struct Heard {
    TW_UINT32 from = 0, to = 0;
    TW_UINT16 msg = 0;
    TW_MEMREF data = nullptr;
    std::thread::id thread;
};

std::mutex heardMutex;
std::condition_variable heardChanged;
std::vector<Heard> heard;

TW_UINT16 appCallback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32, TW_UINT16, TW_UINT16 msg,
                      TW_MEMREF data) {
    std::lock_guard lock(heardMutex);
    heard.push_back({origin ? origin->Id : 0, dest ? dest->Id : 0, msg, data, std::this_thread::get_id()});
    heardChanged.notify_all();
    return TWRC_SUCCESS;
}

bool waitHeard(size_t count) {
    std::unique_lock lock(heardMutex);
    return heardChanged.wait_for(lock, std::chrono::seconds(5), [&] { return heard.size() >= count; });
}

class DsmSession : public ::testing::Test {
protected:
    void SetUp() override {
        heard.clear();
        dir.addSource(FAKE_TWAIN2, "twain2.ds");
        dir.addSource(FAKE_TWAIN1, "twain1.ds");
        ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS);
    }
    void TearDown() override {
        TW_USERINTERFACE ui{};
        for (TW_IDENTITY* s : {&src, &other}) {
            DSM_Entry(&app, s, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
            DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, s);
        }
        EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
    }
    TW_UINT16 open(const char* name, TW_IDENTITY* into) {
        *into = TW_IDENTITY{};
        std::strcpy(into->ProductName, name);
        return DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, into);
    }
    TW_UINT16 registerCallback(TW_IDENTITY* source, TW_UINT32 refCon = 0) {
        TW_CALLBACK cb{};
        cb.CallBackProc = reinterpret_cast<TW_MEMREF>(&appCallback);
        cb.RefCon = refCon;
        return DSM_Entry(&app, source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &cb);
    }
    TW_UINT16 enable(TW_IDENTITY* source) {
        TW_USERINTERFACE ui{};
        return DSM_Entry(&app, source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }

    TempFolder dir;
    FakeEnvironment env{dir.path()};
    TW_IDENTITY app = applicationIdentity("session test");
    TW_IDENTITY src{}, other{};
};

}  // namespace

TEST_F(DsmSession, OpeningTheManagerAssignsAnIdAndTellsATwain2ApplicationAboutDsm2) {
    EXPECT_NE(app.Id, 0u);
    EXPECT_EQ(app.SupportedGroups & DF_DSM2, DF_DSM2);
    TW_IDENTITY classic = applicationIdentity("classic app", false);
    ASSERT_EQ(DSM_Entry(&classic, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(classic.SupportedGroups & DF_DSM2, 0u);
    EXPECT_NE(classic.Id, app.Id);
    EXPECT_EQ(DSM_Entry(&classic, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
}

TEST_F(DsmSession, EntryPointGivesDsmEntryAndZeroedMemoryFunctions) {
    TW_ENTRYPOINT points{};
    points.Size = sizeof points;
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points), TWRC_SUCCESS);
    const DSMENTRYPROC entry = points.DSM_Entry;  // a copy: the member is packed
    EXPECT_EQ(entry, &DSM_Entry);
    TW_HANDLE h = points.DSM_MemAllocate(1000);
    ASSERT_NE(h, nullptr);
    auto* bytes = static_cast<unsigned char*>(points.DSM_MemLock(h));
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes[i], 0) << i;
    points.DSM_MemUnlock(h);
    points.DSM_MemFree(h);
}

TEST_F(DsmSession, ATwain2SourceGetsTheEntryPointsJustBeforeItOpens) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    EXPECT_NE(src.Id, 0u);
    const auto lines = env.trace();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "entrypoint");
    EXPECT_EQ(lines[1], "open id=" + std::to_string(src.Id) + " app=" + std::to_string(app.Id) +
                            " entrypoint=1");
}

TEST_F(DsmSession, ATwain1SourceGetsNoEntryPointsButFindsDsmEntryInTheProcess) {
    ASSERT_EQ(open("Fake Classic Scanner", &src), TWRC_SUCCESS);
    EXPECT_FALSE(env.traceHas("entrypoint"));
    ASSERT_EQ(registerCallback(&src), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    ASSERT_TRUE(waitHeard(1));
    EXPECT_EQ(heard[0].msg, MSG_XFERREADY);
}

TEST_F(DsmSession, SourcesCanBeOpenedByIdAsWellAsByName) {
    TW_IDENTITY listed{};
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &listed), TWRC_SUCCESS);
    src = TW_IDENTITY{};
    src.Id = listed.Id;
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &src), TWRC_SUCCESS);
    EXPECT_STREQ(src.ProductName, listed.ProductName);
}

TEST_F(DsmSession, XferReadyReachesTheCallbackAtOnceFromTheSourcesThread) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    ASSERT_EQ(registerCallback(&src, 0x4711), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    ASSERT_TRUE(waitHeard(1));
    EXPECT_EQ(heard[0].msg, MSG_XFERREADY);
    EXPECT_EQ(heard[0].from, src.Id);
    EXPECT_EQ(heard[0].to, app.Id);
    EXPECT_EQ(heard[0].data, reinterpret_cast<TW_MEMREF>(0x4711));  // the RefCon comes back
    EXPECT_NE(heard[0].thread, std::this_thread::get_id());
}

TEST_F(DsmSession, ASourceMayOfferTheImageFromInsideEnableWithoutDeadlock) {
    FakeEnvironment sync(dir.path(), "sync");
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    TW_CALLBACK2 cb{};
    cb.CallBackProc = reinterpret_cast<TW_MEMREF>(&appCallback);
    ASSERT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &cb), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    ASSERT_EQ(heard.size(), 1u);  // delivered before MSG_ENABLEDS returned
    EXPECT_EQ(heard[0].thread, std::this_thread::get_id());
}

TEST_F(DsmSession, CloseRequestsReachTheCallbackToo) {
    FakeEnvironment cancel(dir.path(), "cancel");
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    ASSERT_EQ(registerCallback(&src), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    ASSERT_TRUE(waitHeard(1));
    EXPECT_EQ(heard[0].msg, MSG_CLOSEDSREQ);
}

TEST_F(DsmSession, OtherTripletsPassThroughToTheOpenSourceUnchanged) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    TW_IMAGEINFO info{};
    ASSERT_EQ(DSM_Entry(&app, &src, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, FAKE_WIDTH);
    EXPECT_EQ(info.ImageLength, FAKE_HEIGHT);
    // The source's own failure and condition code come back as the source gave them.
    TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
    TW_ONEVALUE bw{TWTY_UINT16, TWPT_BW};
    cap.hContainer = &bw;
    EXPECT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
    TW_STATUS status{};
    ASSERT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    EXPECT_EQ(status.ConditionCode, TWCC_CAPBADOPERATION);
    TW_EVENT event{};
    EXPECT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
}

TEST_F(DsmSession, ANativeTransferHandsOverADibTheApplicationFreesWithTheManagersFunctions) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    ASSERT_EQ(registerCallback(&src), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    ASSERT_TRUE(waitHeard(1));
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(DSM_Entry(&app, &src, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    TW_ENTRYPOINT points{};
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points), TWRC_SUCCESS);
    auto* header = static_cast<const int*>(points.DSM_MemLock(dib));
    EXPECT_EQ(header[1], FAKE_WIDTH);
    EXPECT_EQ(header[2], FAKE_HEIGHT);
    points.DSM_MemUnlock(dib);
    points.DSM_MemFree(dib);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
}

TEST_F(DsmSession, ASourceThatRefusesToCloseStaysOpenAndServed) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    ASSERT_EQ(registerCallback(&src), TWRC_SUCCESS);
    ASSERT_EQ(enable(&src), TWRC_SUCCESS);
    TW_IDENTITY copy = src;
    EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &copy), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_SEQERROR);
    TW_USERINTERFACE ui{};
    EXPECT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &copy), TWRC_SUCCESS);
    EXPECT_TRUE(env.traceHas("close"));
    // Closed: the manager no longer forwards to it.
    TW_IMAGEINFO info{};
    EXPECT_EQ(DSM_Entry(&app, &src, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_BADDEST);
}

TEST_F(DsmSession, TheManagerStaysOpenWhileASourceIsOpen) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_SEQERROR);
}

TEST_F(DsmSession, ASourceIsOpenedOnceAtATimeAcrossApplications) {
    ASSERT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
    EXPECT_EQ(open("Fake Test Scanner", &other), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_MAXCONNECTIONS);
    TW_IDENTITY second = applicationIdentity("second app");
    ASSERT_EQ(DSM_Entry(&second, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS);
    TW_IDENTITY wanted{};
    std::strcpy(wanted.ProductName, "Fake Test Scanner");
    EXPECT_EQ(DSM_Entry(&second, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &wanted), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&second), TWCC_MAXCONNECTIONS);
    std::strcpy(wanted.ProductName, "Fake Classic Scanner");
    EXPECT_EQ(DSM_Entry(&second, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &wanted), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&second, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &wanted), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&second, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
}

TEST_F(DsmSession, ASourceThatRefusesToOpenLeavesItsConditionWithTheManager) {
    FakeEnvironment refuse(dir.path(), "refuse-open");
    EXPECT_EQ(open("Fake Test Scanner", &src), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_BUMMER);
    // Not open: it can be tried again once it is willing.
    FakeEnvironment willing(dir.path());
    EXPECT_EQ(open("Fake Test Scanner", &src), TWRC_SUCCESS);
}

TEST_F(DsmSession, ASourceRemovedAfterListingFailsToOpenWithBummer) {
    std::filesystem::remove(dir.file("twain2.ds"));
    EXPECT_EQ(open("Fake Test Scanner", &src), TWRC_FAILURE);
    EXPECT_EQ(managerCondition(&app), TWCC_BUMMER);
}
