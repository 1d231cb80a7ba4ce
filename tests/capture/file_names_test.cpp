// Generated capture names: the day's counter, per extension, without regard to case.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "capture/file_names.h"

using namespace q47::capture;
namespace fs = std::filesystem;

namespace {

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "q47-names-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    void touch(const std::string& name) const { std::ofstream(path_ / name) << "x"; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Noon of 6 December 2026, local time.
std::time_t dec6() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace

TEST(CaptureFileNames, TheFirstNameOfTheDayCountsFromOne) {
    Folder f;
    EXPECT_EQ(MakeFileName(f.path(), kSaveJpeg, dec6()), "Q47_261206_01.JPG");
    EXPECT_EQ(MakeFileName(f.path(), kSavePng, dec6()), "Q47_261206_01.PNG");
    EXPECT_EQ(MakeFileName(f.path(), 7, dec6()), "Q47_261206_01.PNG") << "any other format is PNG";
    EXPECT_EQ(MakeFileName(f.path() / "not-there", kSaveJpeg, dec6()), "Q47_261206_01.JPG");
}

TEST(CaptureFileNames, TakenNamesOfTheSameExtensionAreSkipped) {
    Folder f;
    f.touch("Q47_261206_01.JPG");
    f.touch("Q47_261206_02.JPG");
    EXPECT_EQ(MakeFileName(f.path(), kSaveJpeg, dec6()), "Q47_261206_03.JPG");
    EXPECT_EQ(MakeFileName(f.path(), kSavePng, dec6()), "Q47_261206_01.PNG")
        << "only PNG files count for a PNG name";
    f.touch("Q47_261206_01.PNG");
    EXPECT_EQ(MakeFileName(f.path(), kSavePng, dec6()), "Q47_261206_02.PNG");
}

TEST(CaptureFileNames, NamesDifferingOnlyInCaseAreTaken) {
    Folder f;
    f.touch("q47_261206_01.jpg");
    EXPECT_TRUE(FileNameTaken(f.path(), "Q47_261206_01.JPG", kSaveJpeg));
    EXPECT_FALSE(FileNameTaken(f.path(), "Q47_261206_01.JPG", kSavePng));
    EXPECT_EQ(MakeFileName(f.path(), kSaveJpeg, dec6()), "Q47_261206_02.JPG");
}

TEST(CaptureFileNames, FoldersAndOtherExtensionsDoNotCount) {
    Folder f;
    fs::create_directory(f.path() / "Q47_261206_01.JPG");
    f.touch("Q47_261206_02.JPG.bak");
    f.touch("Q47_261206_02.JPEG");
    EXPECT_FALSE(FileNameTaken(f.path(), "Q47_261206_01.JPG", kSaveJpeg));
    EXPECT_EQ(MakeFileName(f.path(), kSaveJpeg, dec6()), "Q47_261206_01.JPG");
}

TEST(CaptureFileNames, TheCounterGoesOnPastNinetyNine) {
    Folder f;
    char name[32];
    for (int i = 1; i <= 100; ++i) {
        std::snprintf(name, sizeof name, "Q47_261206_%02d.JPG", i);
        f.touch(name);
    }
    EXPECT_EQ(MakeFileName(f.path(), kSaveJpeg, dec6()), "Q47_261206_101.JPG");
}
