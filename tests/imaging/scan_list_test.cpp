// The source list through the real acquisition library, over a source manager that has
// no default source and then one: every installed source is listed either way.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikscan.h"

namespace {

void listWithDefault(TVIkScan& scan, const char* def) {
    setenv("FAKE_DSM_DEFAULT", def, 1);
    ASSERT_TRUE(scan.ScanList()) << "status " << scan.ErrorStatus;
}

}  // namespace

TEST(SourceList, WithoutADefaultEverySourceIsListedAndNoneIsCurrent) {
    TVIkScan scan;
    ASSERT_TRUE(scan.ScanInitialize(1, 0, "1.0", "ZELT", "Slatewise", "SlateWise"))
        << "status " << scan.ErrorStatus;
    listWithDefault(scan, "");
    EXPECT_EQ(scan.DSList,
              QStringList({"Alpha Flatbed", "ZELT Slatewise Q-47 Series", "Gamma Camera"}));
    EXPECT_EQ(scan.DSIndex, -1);
    EXPECT_EQ(scan.ErrorStatus, 0);
}

TEST(SourceList, TheDefaultComesFirstAndIsTheCurrentOne) {
    TVIkScan scan;
    ASSERT_TRUE(scan.ScanInitialize(1, 0, "1.0", "ZELT", "Slatewise", "SlateWise"));
    listWithDefault(scan, "Gamma Camera");
    EXPECT_EQ(scan.DSList,
              QStringList({"Alpha Flatbed", "ZELT Slatewise Q-47 Series", "Gamma Camera"}));
    EXPECT_EQ(scan.DSIndex, 2);
    // The buffer itself: the default's name first, then every source, each with its comma.
    char buffer[2048] = {};
    int32_t length = sizeof buffer;
    ASSERT_NE(Ikdllprocs::IKScanList(scan.AppHandle(), buffer, &length), 0);
    EXPECT_STREQ(buffer, "Gamma Camera,Alpha Flatbed,ZELT Slatewise Q-47 Series,Gamma Camera,");
    setenv("FAKE_DSM_DEFAULT", "", 1);
    length = sizeof buffer;
    ASSERT_NE(Ikdllprocs::IKScanList(scan.AppHandle(), buffer, &length), 0);
    EXPECT_STREQ(buffer, ",Alpha Flatbed,ZELT Slatewise Q-47 Series,Gamma Camera,");
    EXPECT_EQ(length, static_cast<int32_t>(std::strlen(buffer)));
}
