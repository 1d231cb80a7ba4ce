// The source manager finds *.ds sources below TWAIN_DS_DIR and lists only the ones it can serve.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "twain_test_support.h"

using namespace q47::twaintest;

namespace {

// One application session for the length of a test.
struct Session {
    TW_IDENTITY app = applicationIdentity("discovery test");
    Session() { EXPECT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS); }
    ~Session() { DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr); }
    std::vector<TW_IDENTITY> list() {
        std::vector<TW_IDENTITY> found;
        TW_IDENTITY id{};
        for (TW_UINT16 rc = DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
             rc == TWRC_SUCCESS && found.size() < 50;
             rc = DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id))
            found.push_back(id);
        return found;
    }
};

std::vector<std::string> names(const std::vector<TW_IDENTITY>& list) {
    std::vector<std::string> out;
    for (const TW_IDENTITY& id : list) out.push_back(id.ProductName);
    return out;
}

}  // namespace

TEST(SourceDiscovery, ListsImageSourcesOfAcceptedProtocolsFoundInSubfoldersInPathOrder) {
    TempFolder dir;
    dir.addSource(FAKE_TWAIN2, "vendor/nested/a.ds");
    dir.addSource(FAKE_TWAIN1, "b.ds");
    dir.addSource(FAKE_AUDIO, "c.ds");  // no DG_IMAGE
    dir.addSource(FAKE_OLD, "d.ds");    // TWAIN 1.4 is too old
    FakeEnvironment env(dir.path());
    Session s;
    EXPECT_EQ(names(s.list()), (std::vector<std::string>{"Fake Classic Scanner", "Fake Test Scanner"}));
}

TEST(SourceDiscovery, SkipsSymbolicLinksBrokenLibrariesAndOtherFileNames) {
    TempFolder dir;
    const std::string real = dir.addSource(FAKE_TWAIN2, "real/fake.ds");
    ASSERT_EQ(symlink(real.c_str(), dir.file("link.ds").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("real").c_str(), dir.file("linkedfolder").c_str()), 0);
    dir.addSource(FAKE_TWAIN1, "classic.so");  // a source, but not named *.ds
    std::ofstream(dir.file("broken.ds")) << "not a library";
    FakeEnvironment env(dir.path());
    Session s;
    EXPECT_EQ(names(s.list()), std::vector<std::string>{"Fake Test Scanner"});
}

TEST(SourceDiscovery, GivesEverySourceAndApplicationItsOwnNonZeroId) {
    TempFolder dir;
    dir.addSource(FAKE_TWAIN2, "a.ds");
    dir.addSource(FAKE_TWAIN1, "b.ds");
    dir.addSource(FAKE_Q47NAME, "c.ds");
    FakeEnvironment env(dir.path());
    Session s;
    std::set<TW_UINT32> ids{s.app.Id};
    for (const TW_IDENTITY& id : s.list()) ids.insert(id.Id);
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids.count(0), 0u);
}

TEST(SourceDiscovery, WalksTheListAgainFromGetFirstAndEndsWithEndOfList) {
    TempFolder dir;
    dir.addSource(FAKE_TWAIN2, "a.ds");
    FakeEnvironment env(dir.path());
    Session s;
    TW_IDENTITY id{};
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id), TWRC_ENDOFLIST);
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id), TWRC_ENDOFLIST);
    id = TW_IDENTITY{};
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id), TWRC_SUCCESS);
    EXPECT_STREQ(id.ProductName, "Fake Test Scanner");
    EXPECT_EQ(id.ProtocolMajor, 2);
    EXPECT_EQ(id.SupportedGroups & DF_DS2, DF_DS2);
}

TEST(SourceDiscovery, DefaultAndUserSelectBothAnswerTheFirstSource) {
    TempFolder dir;
    dir.addSource(FAKE_TWAIN1, "a.ds");
    dir.addSource(FAKE_TWAIN2, "b.ds");
    FakeEnvironment env(dir.path());
    Session s;
    TW_IDENTITY def{}, selected{};
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &def), TWRC_SUCCESS);
    EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &selected), TWRC_SUCCESS);
    EXPECT_STREQ(def.ProductName, "Fake Classic Scanner");
    EXPECT_EQ(selected.Id, def.Id);
}

TEST(SourceDiscovery, AnEmptyOrMissingFolderOffersNoSourceAndSaysNoDs) {
    TempFolder dir;
    for (const std::string& folder : {dir.path(), dir.file("does-not-exist")}) {
        FakeEnvironment env(folder);
        Session s;
        EXPECT_TRUE(s.list().empty());
        TW_IDENTITY id{};
        EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id), TWRC_FAILURE);
        EXPECT_EQ(managerCondition(&s.app), TWCC_NODS);
        EXPECT_EQ(DSM_Entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id), TWRC_FAILURE);
        EXPECT_EQ(managerCondition(&s.app), TWCC_NODS);
    }
}
