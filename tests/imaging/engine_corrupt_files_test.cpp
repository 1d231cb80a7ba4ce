// Corrupt and truncated files: a clear failure status, nothing left in the table.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "test_images.h"

using namespace q47::ik;
using namespace q47::ik::testing;

namespace {

std::string readAll(const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& f, const std::string& bytes) {
    std::ofstream(f, std::ios::binary | std::ios::trunc) << bytes;
}

struct Case {
    const char* name;
    std::function<bool(const char*, IKHANDLE)> save;
};

}  // namespace

TEST(CorruptFiles, TruncatedFilesFailWithAFormatStatusAndLeakNothing) {
    const std::string dir = tempDir("corrupt");
    const DibImage pic = gradient24(40, 30);
    const IKHANDLE h = IKImportDib(pic.bytes().data(), static_cast<uint32_t>(pic.bytes().size()));
    const DibImage pal = pattern(40, 30, 8);
    const IKHANDLE p = IKImportDib(pal.bytes().data(), static_cast<uint32_t>(pal.bytes().size()));
    const std::vector<Case> cases = {
        {"a.bmp", [](const char* f, IKHANDLE i) { return IKBmpFileSave(f, i, 0, nullptr, "", "", "") != 0; }},
        {"r.bmp", [p](const char* f, IKHANDLE) { return IKBmpFileSave(f, p, -1, nullptr, "", "", "") != 0; }},
        {"a.jpg", [](const char* f, IKHANDLE i) { return IKJpegFileSave(f, i, 0, 80, 0, "", nullptr, "", "", "") != 0; }},
        {"p.jpg", [](const char* f, IKHANDLE i) { return IKJpegFileSave(f, i, 1, 80, 0, "", nullptr, "", "", "") != 0; }},
        {"a.png", [](const char* f, IKHANDLE i) { return IKPngFileSaveEx(f, i, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", "") != 0; }},
        {"a.tif", [](const char* f, IKHANDLE i) { return IKTiffFileSave(f, i, 6, 0, 0, "", 0, nullptr, "", "", "") != 0; }},
        {"a.gif", [p](const char* f, IKHANDLE) { return IKGifFileSave(f, p, 0, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", "") != 0; }},
        {"a.pcx", [](const char* f, IKHANDLE i) { return IKPcxFileSave(f, i, nullptr, "", "", "") != 0; }},
    };
    const uint32_t objects = IKGetObjectCount();
    for (const Case& c : cases) {
        const std::string good = dir + "/" + c.name, bad = dir + "/bad_" + c.name;
        ASSERT_TRUE(c.save(good.c_str(), h)) << c.name;
        const std::string bytes = readAll(good);
        for (size_t keep : {size_t{0}, size_t{3}, size_t{20}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 40}) {
            writeAll(bad, bytes.substr(0, keep));
            EXPECT_EQ(IKFileLoad(bad.c_str(), 0, 0, 0, nullptr, "", "", ""), 0u) << c.name << " cut at " << keep;
            const uint16_t st = IKGetErrorStatus();
            EXPECT_TRUE(st == IK_ERR_FILE_FORMAT || st == IK_ERR_UNKNOWN_FORMAT) << c.name << " status " << st;
        }
        EXPECT_EQ(IKGetObjectCount(), objects) << c.name;
    }
    IKFreeMemory(h);
    IKFreeMemory(p);
}

TEST(CorruptFiles, FlippedBytesNeverCrashAndEveryResultIsAnImageOrAStatus) {
    const std::string dir = tempDir("flipped");
    const DibImage pic = gradient24(24, 16);
    const IKHANDLE h = IKImportDib(pic.bytes().data(), static_cast<uint32_t>(pic.bytes().size()));
    const DibImage pal = pattern(24, 16, 4);
    const IKHANDLE p = IKImportDib(pal.bytes().data(), static_cast<uint32_t>(pal.bytes().size()));
    ASSERT_TRUE(IKBmpFileSave((dir + "/f.bmp").c_str(), p, -1, nullptr, "", "", ""));
    ASSERT_TRUE(IKJpegFileSave((dir + "/f.jpg").c_str(), h, 1, 70, 1, "c", nullptr, "", "", ""));
    ASSERT_TRUE(IKPngFileSaveEx((dir + "/f.png").c_str(), h, -1, 0, 0, 0, 0, 0, "c", nullptr, "", "", ""));
    ASSERT_TRUE(IKTiffFileSave((dir + "/f.tif").c_str(), h, 5, 0, 0, "c", 0, nullptr, "", "", ""));
    ASSERT_TRUE(IKGifFileSave((dir + "/f.gif").c_str(), p, -1, 0, 0, 0, 0, 0, 0, "c", nullptr, "", "", ""));
    ASSERT_TRUE(IKPcxFileSave((dir + "/f.pcx").c_str(), p, nullptr, "", "", ""));
    std::mt19937 rng(47);
    for (const char* name : {"f.bmp", "f.jpg", "f.png", "f.tif", "f.gif", "f.pcx"}) {
        const std::string bytes = readAll(dir + "/" + name);
        for (int round = 0; round < 150; ++round) {
            std::string broken = bytes;
            for (int k = 0; k < 1 + round % 4; ++k) broken[rng() % broken.size()] = static_cast<char>(rng());
            writeAll(dir + "/broken", broken);
            const IKHANDLE got = IKFileLoad((dir + "/broken").c_str(), 0, 0, 0, nullptr, "", "", "");
            if (got) {
                IKImageInfo info;
                ASSERT_TRUE(IKGetImageType(got, &info));
                EXPECT_GT(info.width, 0);
                IKFreeMemory(got);
            } else {
                EXPECT_NE(IKGetErrorStatus(), IK_OK) << name;
            }
        }
    }
    IKFreeMemory(h);
    IKFreeMemory(p);
}
