// The built Q47tw.ds as a source manager sees it: its one export, version text, identity, and bad callers.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ds_test_support.h"
#include "twain/twain.h"
#include "twain_test_support.h"

namespace {

const std::string kModule = std::string(Q47_DS_DIR) + "/q47/Q47tw.ds";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The module, loaded once for the whole program as a source manager loads it.
DSENTRYPROC dsEntry() {
    static DSENTRYPROC entry = [] {
        void* lib = dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
        return lib ? reinterpret_cast<DSENTRYPROC>(dlsym(lib, "DS_Entry")) : nullptr;
    }();
    return entry;
}

TW_UINT16 call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    TW_IDENTITY app = q47::twaintest::applicationIdentity("Module Test");
    return dsEntry()(&app, dg, dat, msg, data);
}

TW_UINT16 condition() {
    TW_STATUS status{};
    call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

TEST(DsModule, ExportsOnlyDsEntry) {
    const std::string cmd = "nm -D --defined-only '" + kModule + "'";
    FILE* nm = popen(cmd.c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::istringstream fields(line);
        std::string address, type, name;
        // Lower-case types are local bindings some compilers leave in the table;
        // nothing outside can link to them.
        if (fields >> address >> type >> name && std::isupper(static_cast<unsigned char>(type[0])))
            names.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, std::set<std::string>{"DS_Entry"});
}

TEST(DsModule, CarriesItsVersionInformationAsText) {
    const std::string bytes = slurp(kModule);
    for (const char* text : {"FileVersion=1.0.2.0", "ProductVersion=1.0.2.0",
                             "ProductName=Q-47 Series TWAIN Driver Ver.1.0.1", "InternalName=Q47tw",
                             "FileDescription=Q47tw DLL", "OriginalFilename=Q47tw.ds"}) {
        EXPECT_NE(bytes.find(std::string(text) + '\0'), std::string::npos) << text;
    }
}

TEST(DsModule, IdentifiesItselfAsATwain2ImageSource) {
    ASSERT_NE(dsEntry(), nullptr) << dlerror();
    TW_IDENTITY id{};
    ASSERT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
    EXPECT_STREQ(id.ProductName, "ZELT Slatewise Q-47 Series");
    EXPECT_EQ(+id.SupportedGroups & (DG_CONTROL | DG_IMAGE | DF_DS2), DG_CONTROL | DG_IMAGE | DF_DS2);
}

TEST(DsModule, OurSourceManagerFindsIt) {
    q47::twaintest::FakeEnvironment env(Q47_DS_DIR);
    TW_IDENTITY app = q47::twaintest::applicationIdentity("Finder");
    ASSERT_EQ(DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS);
    std::vector<std::string> names;
    TW_IDENTITY source{};
    for (TW_UINT16 msg = MSG_GETFIRST;
         DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, msg, &source) == TWRC_SUCCESS;
         msg = MSG_GETNEXT)
        names.push_back(source.ProductName);
    DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
    EXPECT_EQ(names, std::vector<std::string>{"ZELT Slatewise Q-47 Series"});
}

TEST(DsModule, FindsTheSourceManagerLoadedInTheProcessWithoutAnEntryPoint) {
    // This program links our source manager: DSM_Entry is there to be found.
    q47::twain_source::DsmLink link;
    EXPECT_EQ(link.entry(), &DSM_Entry);
    EXPECT_FALSE(link.hasMemoryFunctions());
}

TEST(DsModule, BadCallsAnswerWithFailureCodes) {
    ASSERT_NE(dsEntry(), nullptr);
    // Never opened: transfers and enabling fail, nothing crashes.
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
    EXPECT_EQ(call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(), TWCC_OPERATIONERROR);
    EXPECT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(), TWCC_BADVALUE);
    EXPECT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(call(0x7777, 0x7777, 0x7777, nullptr), TWRC_FAILURE);
    EXPECT_EQ(condition(), TWCC_BADVALUE);  // unknown triplets leave it
    EXPECT_EQ(call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT);
    TW_IDENTITY app = q47::twaintest::applicationIdentity("Module Test");
    EXPECT_EQ(dsEntry()(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &app), TWRC_FAILURE);
}

TEST(DsModule, EnablingAClosedSourceStartsItsQtThreadAndCallsStillWork) {
    ASSERT_NE(dsEntry(), nullptr);
    // A console host: MSG_ENABLEDS brings up the source's own Qt thread, which then
    // answers every call, from any thread of the host.
    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
    EXPECT_EQ(condition(), TWCC_SEQERROR);
    std::vector<std::thread> callers;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([t, &good] {
            for (int i = 0; i < 50; ++i) {
                TW_IDENTITY id{};
                TW_SETUPMEMXFER setup{};
                good[t] += call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &id) == TWRC_SUCCESS &&
                           call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) == TWRC_SUCCESS &&
                           setup.Preferred == 65536;
            }
        });
    for (std::thread& c : callers) c.join();
    EXPECT_EQ(good, std::vector<int>(4, 50));
}

}  // namespace
