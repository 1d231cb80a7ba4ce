// A native transfer is copied only when the DIB's header agrees with the image the source
// announced: the memory comes without a length, so a header claiming more than the
// announced picture must not be read past the memory's end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "imaging/engine/scan/scan_transfers.h"
#include "imaging/engine/scan/twain_manager.h"

using namespace q47::ik;
using namespace q47::ik::scan;

namespace {

TransferEnd nativeWithHeader(const char* claim, const TW_IMAGEINFO& info, DibImage* out) {
    setenv("FAKE_DSM_DIB", claim, 1);
    TW_IDENTITY app{}, source{};
    const SourceLink link{&app, &source};
    return transferNative(link, info, out, nullptr);
}

TW_IMAGEINFO announced(int width, int height, int bits) {
    TW_IMAGEINFO info{};
    info.ImageWidth = width;
    info.ImageLength = height;
    info.BitsPerPixel = static_cast<TW_INT16>(bits);
    return info;
}

}  // namespace

TEST(NativeTransfer, AHeaderThatAgreesWithTheAnnouncementIsCopied) {
    ASSERT_TRUE(TwainManager::instance().load());
    DibImage out;
    ASSERT_EQ(nativeWithHeader("64,16,8", announced(64, 16, 8), &out), TransferEnd::Done);
    EXPECT_EQ(out.width(), 64);
    EXPECT_EQ(out.height(), 16);
    // A source that does not know the size in advance announces -1: the header decides.
    ASSERT_EQ(nativeWithHeader("64,16,8", announced(-1, -1, 8), &out), TransferEnd::Done);
}

TEST(NativeTransfer, AHeaderClaimingMoreThanWasAnnouncedIsRefusedUnread) {
    ASSERT_TRUE(TwainManager::instance().load());
    DibImage out;
    EXPECT_EQ(nativeWithHeader("4000,3000,8", announced(64, 16, 8), &out), TransferEnd::Failed);
    EXPECT_EQ(nativeWithHeader("64,17,8", announced(64, 16, 8), &out), TransferEnd::Failed);
    EXPECT_EQ(nativeWithHeader("64,-900,8", announced(64, 16, 8), &out), TransferEnd::Failed);
    EXPECT_EQ(nativeWithHeader("64,16,24", announced(64, 16, 8), &out), TransferEnd::Failed);
    EXPECT_TRUE(out.empty());
}
