// Data source sessions through DS_Entry: identity, opening, enabling in the three modes, notifications, closing.
#include <gtest/gtest.h>

#include <cstring>

#include "ds_test_support.h"

using namespace q47::dstest;

namespace {

TEST(DsIdentity, ReportsTheBoardsIdentityWithTheLinuxTwain2Flag) {
    FakeWindowHost windows;
    DataSource source(windows);
    TW_IDENTITY id;
    std::memset(&id, 0x5A, sizeof id);
    ASSERT_EQ(source.entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
    EXPECT_EQ(+id.Id, 0u);
    EXPECT_EQ(id.Version.MajorNum, 1);
    EXPECT_EQ(id.Version.MinorNum, 0);
    EXPECT_EQ(id.Version.Language, TWLG_USA);
    EXPECT_EQ(id.Version.Country, TWCY_USA);
    EXPECT_STREQ(id.Version.Info, "");
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 9);
    EXPECT_EQ(+id.SupportedGroups, DG_CONTROL | DG_IMAGE | DF_DS2);
    EXPECT_STREQ(id.Manufacturer, "ZELT Orbita Corp.");
    EXPECT_STREQ(id.ProductFamily, "Slatewise");
    EXPECT_STREQ(id.ProductName, "ZELT Slatewise Q-47 Series");
}

TEST(DsIdentity, OpeningKeepsCopiesOfTheManagersIdentities) {
    FakeWindowHost windows;
    DataSource source(windows);
    TW_IDENTITY app{};
    app.Id = 9;
    std::strcpy(app.ProductName, "Some App");
    TW_IDENTITY self{};
    source.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &self);
    self.Id = 4;
    ASSERT_EQ(source.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_SUCCESS);
    // The manager's copies go away after the call.
    std::memset(&app, 0, sizeof app);
    std::memset(&self, 0, sizeof self);
    EXPECT_TRUE(source.sourceOpen());
    EXPECT_EQ(source.appIdentity().Id, 9u);
    EXPECT_STREQ(source.appIdentity().ProductName, "Some App");
    TW_IDENTITY now{};
    source.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &now);
    EXPECT_EQ(+now.Id, 4u);  // the assigned Id is the source's from now on
    EXPECT_STREQ(now.ProductName, "ZELT Slatewise Q-47 Series");
}

TEST(DsEnable, NeedsAnOpenSource) {
    FakeWindowHost windows;
    DataSource source(windows);
    TW_USERINTERFACE ui{1, 0, nullptr};
    EXPECT_EQ(source.entry(nullptr, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    EXPECT_TRUE(windows.modes.empty());
}

TEST(DsEnable, EnablingTwiceFailsUntilDisabled) {
    OpenSource s;
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_SEQERROR);
    EXPECT_EQ(s.windows.modes.size(), 1u);

    ASSERT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(s.windows.destroyed, 1);
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(s.windows.modes.size(), 2u);
}

TEST(DsEnable, DisablingWithoutAWindowSucceedsAndDestroysNothing) {
    OpenSource s;
    TW_USERINTERFACE ui{};
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(s.windows.destroyed, 0);
}

TEST(DsEnable, ShowUIAndTheIndicatorsChooseTheWindowMode) {
    OpenSource s;
    TW_USERINTERFACE full{1, 0, nullptr}, noUi{0, 0, nullptr};
    TW_USERINTERFACE ui;
    auto enableDisable = [&](TW_USERINTERFACE how) {
        ui = how;
        EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    };
    enableDisable(full);
    enableDisable(noUi);  // CAP_INDICATORS TRUE by default: progress only

    // An application that wants no progress display gets no window at all.
    TW_UINT32 item = 0;
    TW_ONEVALUE value{TWTY_BOOL, item};
    TW_CAPABILITY cap{CAP_INDICATORS, TWON_ONEVALUE, &value};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    enableDisable(noUi);
    enableDisable(full);  // with ShowUI the indicators do not matter

    ASSERT_EQ(s.windows.modes.size(), 4u);
    EXPECT_EQ(s.windows.modes[0], WindowMode::Full);
    EXPECT_EQ(s.windows.modes[1], WindowMode::ProgressOnly);
    EXPECT_EQ(s.windows.modes[2], WindowMode::Hidden);
    EXPECT_EQ(s.windows.modes[3], WindowMode::Full);
}

TEST(DsEnable, AWindowThatCannotBeMadeFailsTheEnable) {
    OpenSource s;
    s.windows.refuse = true;
    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    EXPECT_EQ(s.condition(), TWCC_OPERATIONERROR);
    EXPECT_FALSE(s.windows.exists());
}

TEST(DsNotify, TransferReadyGoesToTheManagerWithTheSessionsIdentities) {
    OpenSource s;
    RecordingManager& m = RecordingManager::instance();
    s.source.notifyTransferReady();  // nothing pending: nothing sent
    EXPECT_TRUE(m.notifications.empty());

    makePendingImage(s.source, 64, 32, false);
    s.source.notifyTransferReady();
    s.source.requestClose();
    ASSERT_EQ(m.notifications.size(), 2u);
    const auto& ready = m.notifications[0];
    EXPECT_EQ(+ready.origin.Id, 3u);
    EXPECT_STREQ(ready.origin.ProductName, "ZELT Slatewise Q-47 Series");
    EXPECT_EQ(+ready.dest.Id, 7u);
    EXPECT_STREQ(ready.dest.ProductName, "Test App");
    EXPECT_EQ(ready.dg, DG_CONTROL);
    EXPECT_EQ(ready.dat, DAT_NULL);
    EXPECT_EQ(ready.msg, MSG_XFERREADY);
    EXPECT_EQ(ready.data, nullptr);
    EXPECT_EQ(m.notifications[1].msg, MSG_CLOSEDSREQ);
}

TEST(DsNotify, WithoutAnyManagerEntryTheNotificationsFail) {
    // This test program links no source manager, so nothing named DSM_Entry is loaded.
    OpenSource s(/*withEntryPoints=*/false);
    EXPECT_EQ(s.source.dsm().entry(), nullptr);
    makePendingImage(s.source, 64, 32, false);
    s.source.notifyTransferReady();
    s.source.requestClose();
    EXPECT_TRUE(RecordingManager::instance().notifications.empty());
}

TEST(DsClose, ClosingEndsTheWindowAndTheImageAndTheNextOpenStartsAfresh) {
    OpenSource s;
    RecordingManager& m = RecordingManager::instance();
    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    makePendingImage(s.source, 64, 32, false);
    TW_UINT32 item = TWSX_MEMORY;
    TW_ONEVALUE value{TWTY_UINT16, item};
    TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, &value};
    ASSERT_EQ(s.call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    ASSERT_EQ(m.live.size(), 1u);  // the DIB

    // An application that forgets MSG_DISABLEDS: the source is unloaded after closing
    // anyway, which ends its window and frees the image.
    EXPECT_EQ(s.call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    EXPECT_FALSE(s.source.sourceOpen());
    EXPECT_FALSE(s.windows.exists());
    EXPECT_TRUE(m.live.empty());
    EXPECT_EQ(m.foreignFrees, 0);

    TW_IDENTITY self = s.source.sourceIdentity();
    TW_IDENTITY app = s.app;
    ASSERT_EQ(s.source.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_SUCCESS);
    EXPECT_EQ(s.source.capabilities().current(ICAP_XFERMECH), TWSX_NATIVE);
    EXPECT_EQ(s.call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
}

}  // namespace
