// TVIkScan's own rules against a stand-in acquisition library: the source list text,
// the array modes, the three callbacks' answers and when the record's values come back.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstring>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikscan.h"

namespace {

// The stand-in's variables, found in the library the components loaded.
template <typename T>
T* fake(const char* name) {
    void* self = dlopen((std::string(FAKE_ENGINE_DIR) + "/libIk6Scan.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    T* p = self ? static_cast<T*>(dlsym(self, name)) : nullptr;
    if (self) dlclose(self);
    return p;
}

class ScanComponent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Ikdllprocs::IKScanExec, nullptr) << "the stand-in library was not loaded";
        ASSERT_TRUE(scan.ScanInitialize(1, 0, "v", "m", "f", "p"));
        *fake<uint16_t>("fakeScanExecStatus") = 0;
        *fake<int>("fakeScanExecCalls") = 0;
    }
    void setList(const char* text) { std::strcpy(fake<char>("fakeScanListText"), text); }

    TVIkScan scan;
};

TEST_F(ScanComponent, TheListTextGivesTheDefaultsPlaceAndEveryNameOnce) {
    setList("A,A,B,");
    ASSERT_TRUE(scan.ScanList());
    EXPECT_EQ(scan.DSList, QStringList({"A", "B"}));
    EXPECT_EQ(scan.DSIndex, 0);
    setList("B,A,B,C");
    ASSERT_TRUE(scan.ScanList());
    EXPECT_EQ(scan.DSList, QStringList({"A", "B"})) << "a last name without its comma is not listed";
    EXPECT_EQ(scan.DSIndex, 1);
    setList("");
    ASSERT_TRUE(scan.ScanList());
    EXPECT_TRUE(scan.DSList.isEmpty());
    EXPECT_EQ(scan.DSIndex, -1);
}

TEST_F(ScanComponent, AnArrayModeWithoutArrayFailsWith5AndCallsNothing) {
    scan.ScanMode = vikScanCAMThumbArray;
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_FALSE(scan.ScanExec(nullptr, 3));
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_ARGUMENT);
    EXPECT_EQ(*fake<int>("fakeScanExecCalls"), 0);
    const int32_t wanted[3] = {1, 3, 4};
    EXPECT_TRUE(scan.ScanExec(wanted, 2));
    EXPECT_EQ(*fake<int16_t>("fakeScanRecordXferCount"), 3) << "the array's entry count";
}

TEST_F(ScanComponent, ScanCancelFromOnScanningMakesTheProgressCallbackAnswer0) {
    int raised = 0;
    scan.OnScanning = [&](QObject*, int16_t) {
        ++raised;
        scan.ScanCancel = true;
    };
    scan.ScanExec();
    EXPECT_EQ(*fake<int32_t>("fakeScanBeforeAnswer"), -1);
    EXPECT_EQ(fake<int32_t>("fakeScanProgressAnswers")[0], 0);
    EXPECT_EQ(fake<int32_t>("fakeScanProgressAnswers")[1], 0);
    EXPECT_EQ(*fake<int32_t>("fakeScanAfterAnswer"), 0);
    EXPECT_EQ(raised, 2);
    // The next scan starts uncancelled.
    scan.OnScanning = nullptr;
    scan.ScanExec();
    EXPECT_EQ(fake<int32_t>("fakeScanProgressAnswers")[0], -1);
}

TEST_F(ScanComponent, TheBeforeCallbackCopiesTheImageDescriptionUnlessCancelled) {
    scan.OnBeforeScan = [&](QObject*, int32_t w, int32_t h, int32_t n) {
        EXPECT_EQ(w, 10);
        EXPECT_EQ(h, 20);
        EXPECT_EQ(n, 1);
    };
    *fake<uint16_t>("fakeScanExecStatus") = 33;  // so the record is not copied back
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.XResolution, 300) << "truncated";
    EXPECT_EQ(scan.YResolution, 301);
    EXPECT_EQ(scan.BitDepth(), 24);
    EXPECT_EQ(scan.PixelType, vikScanPixelRGB);
    EXPECT_EQ(scan.Compression, 5);

    TVIkScan other;
    ASSERT_TRUE(other.ScanInitialize(1, 0, "v", "m", "f", "p"));
    other.OnBeforeScan = [&](QObject*, int32_t, int32_t, int32_t) { other.ScanCancel = true; };
    other.ScanExec();
    EXPECT_EQ(*fake<int32_t>("fakeScanBeforeAnswer"), 0);
    EXPECT_EQ(other.XResolution, 0) << "copied although the scan was cancelled";
}

TEST_F(ScanComponent, OnlyASuccessfulScanTakesTheRecordsValuesBack) {
    scan.PixelType = vikScanPixelPalette;
    scan.RectLeft = 1;
    scan.UnitMode = vikScanCM;
    scan.OnBeforeScan = [&](QObject*, int32_t, int32_t, int32_t) { scan.ScanCancel = false; };
    *fake<uint16_t>("fakeScanExecStatus") = 33;
    // The stand-in's before-callback copies its description; what the record brings
    // back must not follow on failure.
    EXPECT_FALSE(scan.ScanExec());
    EXPECT_EQ(scan.ErrorStatus, 33);
    EXPECT_EQ(scan.RectLeft, 1);
    EXPECT_EQ(scan.UnitMode, vikScanCM);
    EXPECT_NE(scan.XResolution, 111);
    *fake<uint16_t>("fakeScanExecStatus") = 0;
    EXPECT_TRUE(scan.ScanExec());
    EXPECT_EQ(scan.PixelType, vikScanPixelGray);
    EXPECT_EQ(scan.RectLeft, 9);
    EXPECT_EQ(scan.XResolution, 111);
    EXPECT_EQ(scan.YResolution, 112);
    EXPECT_EQ(scan.BitDepth(), 4);
    EXPECT_EQ(scan.UnitMode, vikScanPixel);
    EXPECT_EQ(TVIkScan::activeScan(), nullptr);
}

TEST_F(ScanComponent, MissingEntriesAnswer14AndNegativeBitDepthIsStoredAs0) {
    EXPECT_FALSE(scan.ScanOpenDS()) << "the stand-in has no IKScanOpenDS";
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_ENTRY_MISSING);
    EXPECT_FALSE(scan.ScanCloseDS());
    EXPECT_EQ(scan.ErrorStatus, IK_ERR_ENTRY_MISSING);
    EXPECT_FALSE(scan.IsOpenDS());
    EXPECT_EQ(scan.ErrorStatus, 0);
    scan.setBitDepth(-8);
    EXPECT_EQ(scan.BitDepth(), 0);
}

}  // namespace
