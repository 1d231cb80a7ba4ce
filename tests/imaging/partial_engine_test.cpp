// Components against an engine whose effect library lacks IKBlur: ErrorStatus 14 there,
// everything else served.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "imaging/Ikinit.h"

TEST(PartialEngine, AMissingEntryIsStatusFourteenAndOthersWork) {
    TVIkEffect e;
    ASSERT_TRUE(Ikinit::libraryLoaded(Ikdllprocs::Ik6Effect)) << Ikinit::engineFolders();
    EXPECT_EQ(Ikdllprocs::IKBlur, nullptr);
    EXPECT_NE(Ikdllprocs::IKSharp, nullptr);
    e.ImgHandle = Ikdllprocs::IKCreateImage(4, 4, 24, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(e.Blur(2));
    EXPECT_EQ(e.ErrorStatus, IK_ERR_ENTRY_MISSING);
    EXPECT_EQ(e.ResultHandle, 0u);
    ASSERT_TRUE(e.Sharp(2));
    EXPECT_EQ(e.ErrorStatus, 0);
    Ikdllprocs::IKFreeMemory(e.ResultHandle);
    Ikdllprocs::IKFreeMemory(e.ImgHandle);
}

TEST(PartialEngine, LoadingIsCountedAcrossComponents) {
    EXPECT_EQ(Ikinit::loadCount(), 0);
    {
        TVIkEffect a;
        TVIkEffect b;
        EXPECT_EQ(Ikinit::loadCount(), 2);
    }
    EXPECT_EQ(Ikinit::loadCount(), 0);
    EXPECT_EQ(Ikdllprocs::IKSharp, nullptr);  // unloaded: entries cleared
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
