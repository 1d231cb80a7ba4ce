// Callers that break the rules: null pointers, unknown triplets, calls out of order. The source answers, never crashes.
#include <gtest/gtest.h>

#include "ds_test_support.h"

using namespace q47::dstest;

namespace {

struct Triplet {
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
};

// Every triplet whose pData the source reads or writes.
const Triplet kNeedData[] = {
    {DG_CONTROL, DAT_IDENTITY, MSG_GET},         {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET},       {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET},       {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT}, {DG_CONTROL, DAT_CAPABILITY, MSG_RESET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET},       {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER}, {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},     {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT}, {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET},
    {DG_CONTROL, DAT_STATUS, MSG_GET},           {DG_CONTROL, DAT_XFERGROUP, MSG_GET},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET},          {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT}, {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    {DG_IMAGE, DAT_PALETTE8, MSG_GET},           {DG_IMAGE, DAT_PALETTE8, MSG_GETDEFAULT},
};

TEST(DsBadCaller, NullDataIsABadValueForEveryTripletThatUsesIt) {
    OpenSource s;
    makePendingImage(s.source, 64, 16, false);  // so that the transfers get as far as pData
    for (const Triplet& t : kNeedData) {
        TW_IDENTITY app = s.app;
        EXPECT_EQ(s.source.entry(&app, t.dg, t.dat, t.msg, nullptr), TWRC_FAILURE)
            << std::hex << t.dg << "/" << t.dat << "/" << t.msg;
        EXPECT_EQ(s.source.conditionCode(), TWCC_BADVALUE);
    }
    EXPECT_TRUE(s.source.sourceOpen());
    EXPECT_FALSE(s.windows.exists());
    TW_PENDINGXFERS pending{};
    s.call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
    EXPECT_EQ(+pending.Count, 1);  // nothing was handed over to nowhere
}

TEST(DsBadCaller, TripletsThatIgnoreDataAcceptNull) {
    OpenSource s;
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(s.call(DG_IMAGE, DAT_PALETTE8, MSG_RESET, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(s.call(DG_CONTROL, DAT_NULL, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT);
}

TEST(DsBadCaller, OpeningWithoutTheApplicationsIdentityIsRefused) {
    FakeWindowHost windows;
    DataSource source(windows);
    TW_IDENTITY self{};
    EXPECT_EQ(source.entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_FAILURE);
    EXPECT_EQ(source.conditionCode(), TWCC_BADVALUE);
    EXPECT_FALSE(source.sourceOpen());
}

TEST(DsBadCaller, UnknownTripletsFailAndLeaveTheConditionAlone) {
    OpenSource s;
    TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
    TW_ONEVALUE zero{TWTY_UINT16, 0};
    cap.hContainer = &zero;
    s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    ASSERT_EQ(s.source.conditionCode(), TWCC_CAPBADOPERATION);

    uint8_t scratch[512] = {};
    const Triplet unknown[] = {
        {DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST},   // the manager's, not ours
        {DG_CONTROL, DAT_PARENT, MSG_OPENDSM},
        {DG_CONTROL, DAT_EVENT, MSG_GET},
        {DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET},
        {DG_CONTROL, DAT_ENTRYPOINT, MSG_GET},
        {DG_IMAGE, DAT_IMAGEINFO, MSG_SET},
        {DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET},
        {DG_IMAGE, DAT_IMAGEMEMFILEXFER, MSG_GET},
        {DG_AUDIO, DAT_AUDIONATIVEXFER, MSG_GET},
        {DG_IMAGE, DAT_CAPABILITY, MSG_GET},        // right DAT, wrong group
        {DG_CONTROL | DF_APP2, DAT_STATUS, MSG_GET},  // groups must match exactly
        {0xFFFFFFFF, 0xFFFF, 0xFFFF},
        {0, 0, 0},
    };
    for (const Triplet& t : unknown) {
        EXPECT_EQ(s.call(t.dg, t.dat, t.msg, scratch), TWRC_FAILURE)
            << std::hex << t.dg << "/" << t.dat << "/" << t.msg;
        EXPECT_EQ(s.source.conditionCode(), TWCC_CAPBADOPERATION);
    }
    // Window events are never the source's, whatever comes with them.
    EXPECT_EQ(s.call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, scratch), TWRC_NOTDSEVENT);
    EXPECT_EQ(s.call(0, 0, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT);
}

TEST(DsBadCaller, TransfersOutOfOrderFailCleanly) {
    FakeWindowHost windows;
    DataSource source(windows);  // never opened
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(source.entry(nullptr, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
    EXPECT_EQ(source.conditionCode(), TWCC_SEQERROR);
    EXPECT_EQ(dib, nullptr);
    std::vector<uint8_t> buffer(65536);
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, 65536, buffer.data()};
    EXPECT_EQ(source.entry(nullptr, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
    EXPECT_EQ(source.entry(nullptr, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(source.conditionCode(), TWCC_OPERATIONERROR);
    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(source.entry(nullptr, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    EXPECT_EQ(source.conditionCode(), TWCC_SEQERROR);
    // Closing what was never opened is harmless.
    EXPECT_EQ(source.entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(windows.destroyed, 0);
}

TEST(DsBadCaller, AStripBufferFlagWithoutABufferIsRefused) {
    OpenSource s;
    makePendingImage(s.source, 64, 16, false);
    for (TW_UINT32 flags : {TWMF_APPOWNS | TWMF_POINTER, TWMF_APPOWNS | TWMF_HANDLE}) {
        TW_IMAGEMEMXFER strip{};
        strip.Memory = {flags, 8192, nullptr};
        EXPECT_EQ(s.call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_FAILURE);
        EXPECT_EQ(s.condition(), TWCC_BADVALUE);
    }
    EXPECT_EQ(s.source.nextRow(), 0u);
}

TEST(DsBadCaller, AShortEntryPointStructureIsRefused) {
    FakeWindowHost windows;
    DataSource source(windows);
    TW_ENTRYPOINT points = RecordingManager::entryPoints();
    points.Size = 20;
    EXPECT_EQ(source.entry(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points), TWRC_FAILURE);
    EXPECT_EQ(source.conditionCode(), TWCC_BADVALUE);
    EXPECT_FALSE(source.dsm().hasMemoryFunctions());
}

}  // namespace
