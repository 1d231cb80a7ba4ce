// Saves that fail never cost the file they were to replace: every writer against a
// kernel that refuses to let files grow past a few kilobytes (the file size limit, which
// fails writes exactly as a full disk does), against a cancel, and the file's mode and
// links kept when the save succeeds.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "test_images.h"

using namespace q47::ik;
using namespace q47::ik::testing;
namespace fs = std::filesystem;

namespace {

IKHANDLE import(const DibImage& img) {
    return IKImportDib(img.bytes().data(), static_cast<uint32_t>(img.bytes().size()));
}

std::string bytesOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// While alive, no file of this process can grow past `bytes`: writes beyond fail with
// EFBIG (the signal the kernel would send is ignored, as a full disk sends none).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit saved_{};
    void (*old_)(int) = nullptr;
    bool ok_ = false;
};

// A picture that does not compress to a few kilobytes in any format.
DibImage noise(int bits) {
    DibImage img = DibImage::create(300, 200, bits);
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            img.palette()[i] = RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 7), 0};
    uint32_t seed = 12345;
    for (int y = 0; y < img.height(); ++y)
        for (size_t i = 0; i < img.stride(); ++i)
            img.row(y)[i] = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return img;
}

struct Writer {
    const char* name;
    int bits;
    std::function<IKBOOL(const char*, IKHANDLE, IKProgressProc)> save;
};

const std::vector<Writer>& writers() {
    static const std::vector<Writer> w = {
        {"BMP", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKBmpFileSave(f, h, 0, p, "", "", "");
         }},
        {"BMP RLE", 8,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKBmpFileSave(f, h, -1, p, "", "", "");
         }},
        {"JPEG", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKJpegFileSave(f, h, 0, 90, 0, "c", p, "", "", "");
         }},
        {"JPEG progressive", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKJpegFileSave(f, h, 1, 90, 2, "", p, "", "", "");
         }},
        {"PNG", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKPngFileSaveEx(f, h, 0, 0, 0, 0, 0, 0, "", p, "", "", "");
         }},
        {"PCX", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKPcxFileSave(f, h, p, "", "", "");
         }},
        {"TIFF", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKTiffFileSave(f, h, 0, 0, 0, "", 0, p, "", "", "");
         }},
        {"TIFF LZW", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKTiffFileSave(f, h, 6, 0, 0, "", 0, p, "", "", "");
         }},
        {"TIFF page added", 24,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKTiffFileSave(f, h, 0, 0, -1, "", 0, p, "", "", "");
         }},
        {"GIF", 8,
         [](const char* f, IKHANDLE h, IKProgressProc p) {
             return IKGifFileSave(f, h, 0, 0, 0, 0, 0, 0, 0, "", p, "", "", "");
         }},
    };
    return w;
}

IKBOOL stopAtOnce(int16_t) {
    return 0;
}

class SaveFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = tempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The earlier capture each writer is to replace: a small picture in its own format.
    std::string earlier(const Writer& w) {
        const std::string target = dir_ + "/capture.img";
        fs::remove(target);
        const IKHANDLE small =
            import(gradient24(8, 6).bitCount() == w.bits ? gradient24(8, 6) : pattern(8, 6, 8));
        EXPECT_NE(w.save(target.c_str(), small, nullptr), 0) << w.name;
        IKFreeMemory(small);
        return target;
    }

    std::string dir_;
};

}  // namespace

TEST_F(SaveFailure, AWriteErrorPartWayLeavesTheEarlierFileAndNoTemporary) {
    for (const Writer& w : writers()) {
        const std::string target = earlier(w);
        const std::string before = bytesOf(target);
        ASSERT_FALSE(before.empty()) << w.name;
        const IKHANDLE big = import(noise(w.bits));
        {
            FileSizeLimit limit(4096);
            ASSERT_TRUE(limit.ok());
            EXPECT_EQ(w.save(target.c_str(), big, nullptr), 0) << w.name;
        }
        EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_IO) << w.name;
        EXPECT_EQ(bytesOf(target), before) << w.name << ": the earlier file changed";
        EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"capture.img"})
            << w.name << ": the folder should hold the earlier file alone";
        // Room again: the same save goes through and the new picture is what loads.
        ASSERT_NE(w.save(target.c_str(), big, nullptr), 0) << w.name;
        EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"capture.img"}) << w.name;
        const int page = std::string(w.name) == "TIFF page added" ? 1 : 0;  // the new page
        const IKHANDLE back = IKFileLoad(target.c_str(), page, 0, 0, nullptr, "", "", "");
        ASSERT_NE(back, 0u) << w.name;
        IKImageInfo info{};
        ASSERT_NE(IKGetImageType(back, &info), 0);
        EXPECT_EQ(info.width, 300) << w.name;
        IKFreeMemory(back);
        IKFreeMemory(big);
    }
}

TEST_F(SaveFailure, ACancelledSaveLeavesTheEarlierFileAndNoTemporary) {
    for (const Writer& w : writers()) {
        if (std::string(w.name).rfind("BMP", 0) == 0)
            continue;  // written in one piece, no progress to stop
        const std::string target = earlier(w);
        const std::string before = bytesOf(target);
        const IKHANDLE big = import(noise(w.bits));
        EXPECT_EQ(w.save(target.c_str(), big, stopAtOnce), 0) << w.name;
        EXPECT_EQ(IKGetErrorStatus(), IK_ERR_CANCELLED) << w.name;
        EXPECT_EQ(bytesOf(target), before) << w.name;
        EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"capture.img"}) << w.name;
        IKFreeMemory(big);
    }
}

TEST_F(SaveFailure, AFailedFirstSaveLeavesNothingBehind) {
    const IKHANDLE big = import(noise(24));
    const std::string target = dir_ + "/new.jpg";
    {
        FileSizeLimit limit(2048);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(IKJpegFileSave(target.c_str(), big, 0, 90, 0, "", nullptr, "", "", ""), 0);
    }
    EXPECT_TRUE(namesIn(dir_).empty());
    // A folder that does not exist is a file that cannot be created, as before.
    EXPECT_EQ(
        IKJpegFileSave((dir_ + "/missing/new.jpg").c_str(), big, 0, 90, 0, "", nullptr, "", "", ""),
        0);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_OPEN);
    // So is a folder in the file's place, which is left alone.
    fs::create_directories(dir_ + "/folder.jpg");
    EXPECT_EQ(
        IKJpegFileSave((dir_ + "/folder.jpg").c_str(), big, 0, 90, 0, "", nullptr, "", "", ""), 0);
    EXPECT_EQ(IKGetErrorStatus(), IK_ERR_FILE_OPEN);
    EXPECT_TRUE(fs::is_directory(dir_ + "/folder.jpg"));
    IKFreeMemory(big);
}

TEST_F(SaveFailure, AReplacedFileKeepsItsModeAndALinkKeepsPointingAtIt) {
    const IKHANDLE img = import(gradient24(20, 10));
    const std::string target = dir_ + "/shared.png", link = dir_ + "/latest.png";
    ASSERT_NE(IKPngFileSaveEx(target.c_str(), img, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""), 0);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    fs::create_symlink("shared.png", link);
    const IKHANDLE other = import(gradient24(30, 10));
    ASSERT_NE(IKPngFileSaveEx(link.c_str(), other, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    IKImageInfo info{};
    const IKHANDLE back = IKFileLoad(target.c_str(), 0, 0, 0, nullptr, "", "", "");
    ASSERT_NE(IKGetImageType(back, &info), 0);
    EXPECT_EQ(info.width, 30);
    // A new file gets the usual mode for new files, not the temporary's private one.
    const mode_t mask = umask(022);
    const std::string fresh = dir_ + "/fresh.png";
    ASSERT_NE(IKPngFileSaveEx(fresh.c_str(), img, 0, 0, 0, 0, 0, 0, "", nullptr, "", "", ""), 0);
    umask(mask);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    for (IKHANDLE h : {img, other, back}) IKFreeMemory(h);
}
