// Callers that get TWAIN wrong (null pointers, wrong order, unknown triplets) get a failure code, never a crash.
#include <gtest/gtest.h>

#include <cstring>

#include "twain_test_support.h"

using namespace q47::twaintest;

namespace {

TW_UINT16 ignoringCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
    return TWRC_SUCCESS;
}

class BadCaller : public ::testing::Test {
protected:
    void SetUp() override { dir.addSource(FAKE_TWAIN2, "fake.ds"); }
    void openManager() {
        ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS);
        managerOpen = true;
    }
    void openSource() {
        std::strcpy(src.ProductName, "Fake Test Scanner");
        ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &src), TWRC_SUCCESS);
        sourceOpen = true;
    }
    void TearDown() override {
        if (sourceOpen) {
            TW_USERINTERFACE ui{};
            DSM_Entry(&app, &src, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
            EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &src), TWRC_SUCCESS);
        }
        if (managerOpen) {
            EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
        }
    }
    // The call fails, and the manager's status then tells why.
    void expectFailure(TW_UINT16 rc, TW_UINT16 condition) {
        EXPECT_EQ(rc, TWRC_FAILURE);
        EXPECT_EQ(managerCondition(&app), condition);
    }

    TempFolder dir;
    FakeEnvironment env{dir.path()};
    TW_IDENTITY app = applicationIdentity("bad caller");
    TW_IDENTITY src{};
    bool managerOpen = false, sourceOpen = false;
};

}  // namespace

TEST_F(BadCaller, ANullOriginIsRefusedWithBadValue) {
    TW_IDENTITY id{};
    EXPECT_EQ(DSM_Entry(nullptr, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(DSM_Entry(nullptr, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id), TWRC_FAILURE);
    EXPECT_EQ(DSM_Entry(nullptr, &id, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
    TW_IDENTITY stranger = applicationIdentity("stranger");
    EXPECT_EQ(managerCondition(&stranger), TWCC_BADVALUE);
    EXPECT_EQ(managerCondition(&stranger), TWCC_SUCCESS);  // reading the status clears it
}

TEST_F(BadCaller, EverythingBeforeOpeningTheManagerIsASequenceError) {
    TW_IDENTITY id{};
    TW_ENTRYPOINT points{};
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id), TWCC_SEQERROR);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id), TWCC_SEQERROR);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points), TWCC_SEQERROR);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWCC_SEQERROR);
    expectFailure(DSM_Entry(&app, &id, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, nullptr), TWCC_SEQERROR);
}

TEST_F(BadCaller, OpeningTheManagerTwiceIsASequenceError) {
    openManager();
    const TW_UINT32 id = app.Id;
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWCC_SEQERROR);
    EXPECT_EQ(app.Id, id);
}

TEST_F(BadCaller, NullDataForTheManagersOwnTripletsIsBadValue) {
    openManager();
    for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT, MSG_GETDEFAULT, MSG_USERSELECT, MSG_OPENDS, MSG_CLOSEDS})
        expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, msg, nullptr), TWCC_BADVALUE);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, nullptr), TWCC_BADVALUE);
    EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
    openSource();
    expectFailure(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, nullptr), TWCC_BADVALUE);
    expectFailure(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, nullptr), TWCC_BADVALUE);
}

TEST_F(BadCaller, AnEntryPointStructureTooSmallForTheAnswerIsNotWritten) {
    openManager();
    TW_ENTRYPOINT points{};
    points.Size = 12;
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &points), TWCC_BADVALUE);
    const DSMENTRYPROC entry = points.DSM_Entry;  // a copy: the member is packed
    EXPECT_EQ(entry, nullptr);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points), TWCC_BADPROTOCOL);
}

TEST_F(BadCaller, TripletsTheManagerDoesNotKnowAreBadProtocol) {
    openManager();
    TW_IDENTITY id{};
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_GET, nullptr), TWCC_BADPROTOCOL);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_SET, &id), TWCC_BADPROTOCOL);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWCC_BADPROTOCOL);
    expectFailure(DSM_Entry(&app, nullptr, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &id), TWCC_BADPROTOCOL);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_STATUS, MSG_SET, &id), TWCC_BADPROTOCOL);
}

TEST_F(BadCaller, TripletsForASourceThatIsNotOpenAreBadDest) {
    openManager();
    TW_IDENTITY nowhere{};
    nowhere.Id = 999999;
    TW_IMAGEINFO info{};
    expectFailure(DSM_Entry(&app, &nowhere, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWCC_BADDEST);
    TW_CALLBACK cb{reinterpret_cast<TW_MEMREF>(&ignoringCallback), 0, 0};
    expectFailure(DSM_Entry(&app, &nowhere, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &cb), TWCC_BADDEST);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &cb), TWCC_BADDEST);
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &nowhere), TWCC_NODS);
    std::strcpy(nowhere.ProductName, "No Such Scanner");
    nowhere.Id = 0;
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &nowhere), TWCC_NODS);
}

TEST_F(BadCaller, ACallbackWithoutAFunctionOrMessageIsRefused) {
    openManager();
    openSource();
    TW_CALLBACK empty{};
    expectFailure(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &empty), TWCC_BADVALUE);
    TW_CALLBACK cb{reinterpret_cast<TW_MEMREF>(&ignoringCallback), 0, 0};
    expectFailure(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK, MSG_GET, &cb), TWCC_BADPROTOCOL);
}

TEST_F(BadCaller, SourceMessagesAreCheckedForSenderReceiverAndMessage) {
    openManager();
    openSource();
    TW_IDENTITY stranger{};
    stranger.Id = 424242;
    // From something that is no open source.
    EXPECT_EQ(DSM_Entry(&stranger, &app, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
    // To an application other than the one that opened it.
    EXPECT_EQ(DSM_Entry(&src, &stranger, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
    // A message that is not a notification.
    EXPECT_EQ(DSM_Entry(&src, &app, DG_CONTROL, DAT_NULL, MSG_GET, nullptr), TWRC_FAILURE);
    // No callback registered yet: the source learns the message was not delivered.
    EXPECT_EQ(DSM_Entry(&src, &app, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_FAILURE);
    TW_CALLBACK cb{reinterpret_cast<TW_MEMREF>(&ignoringCallback), 0, 0};
    ASSERT_EQ(DSM_Entry(&app, &src, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &cb), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&src, &app, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&src, nullptr, DG_CONTROL, DAT_NULL, MSG_CLOSEDSREQ, nullptr), TWRC_SUCCESS);
}

TEST_F(BadCaller, ASourceClosedTwiceOrAManagerClosedTwiceFailsCleanly) {
    openManager();
    openSource();
    TW_IDENTITY copy = src;
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &copy), TWRC_SUCCESS);
    sourceOpen = false;
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &copy), TWCC_NODS);
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
    managerOpen = false;
    expectFailure(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWCC_SEQERROR);
}
