// Reading a firmware file in blocks of lines for the update command.
#include <gtest/gtest.h>

#include "tests/utility/utility_rig.h"
#include "utility/firmware_update.h"

namespace q47::test {
namespace {

std::string numberedLines(int n, const std::string& end = "\n", int width = 0) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        std::string line = "S1" + std::to_string(1000 + i);
        if (width) line.resize(size_t(width), 'A');
        s += line + end;
    }
    return s;
}

// Every block of the file, in order.
std::vector<std::string> blocks(FirmwareFile& f) {
    std::vector<std::string> out;
    do {
        f.readFirmwareBlock();
        out.push_back(f.blockText());
    } while (!f.atEnd());
    return out;
}

int lineCount(const std::string& s) {
    return int(std::count(s.begin(), s.end(), '\n'));
}

TEST(FirmwareFile, FortyLinesGoOutAsSixteenSixteenAndEight) {
    TempDir dir;
    writeFile(dir / "Q47_A_1.mot", numberedLines(40));
    FirmwareFile f;
    ASSERT_TRUE(f.open((dir / "Q47_A_1.mot").string()));
    EXPECT_EQ(f.firmwareLength(), numberedLines(40).size());
    const auto b = blocks(f);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(lineCount(b[0]), 16);
    EXPECT_EQ(lineCount(b[1]), 16);
    EXPECT_EQ(lineCount(b[2]), 8);
    EXPECT_EQ(b[0] + b[1] + b[2], numberedLines(40));
    EXPECT_EQ(f.percent(), 100);
    // At the end a further block is a single line end.
    f.readFirmwareBlock();
    EXPECT_EQ(f.blockText(), "\n");
}

TEST(FirmwareFile, CrLfBecomesLfAndALastLineWithoutEndGetsOne) {
    TempDir dir;
    writeFile(dir / "crlf.mot", "S0\r\nS1\r\nS9");
    FirmwareFile f;
    ASSERT_TRUE(f.open((dir / "crlf.mot").string()));
    f.readFirmwareBlock();
    EXPECT_EQ(f.blockText(), "S0\nS1\nS9\n");
    EXPECT_TRUE(f.atEnd());
    // A lone carriage return is text, not a line end.
    writeFile(dir / "cr.mot", "A\rB\n");
    ASSERT_TRUE(f.open((dir / "cr.mot").string()));
    f.readFirmwareBlock();
    EXPECT_EQ(f.blockText(), "A\rB\n");
}

TEST(FirmwareFile, LongLinesEndABlockEarlyAndTheTextStaysIntact) {
    TempDir dir;
    // 16 lines of 100 characters are 1616 bytes: far more than a block holds.
    const std::string text = numberedLines(16, "\n", 100);
    writeFile(dir / "long.mot", text);
    FirmwareFile f;
    ASSERT_TRUE(f.open((dir / "long.mot").string()));
    std::string joined;
    for (const auto& b : blocks(f)) {
        EXPECT_LE(b.size(), kMaxBlockText);
        joined += b;
    }
    EXPECT_EQ(joined, text);
    // A single line longer than a block is carried over whole.
    const std::string huge = std::string(2000, 'F') + "\n" + "S9\n";
    writeFile(dir / "huge.mot", huge);
    ASSERT_TRUE(f.open((dir / "huge.mot").string()));
    joined.clear();
    for (const auto& b : blocks(f)) {
        EXPECT_LE(b.size(), kMaxBlockText);
        joined += b;
    }
    EXPECT_EQ(joined, huge);
}

TEST(FirmwareFile, MissingEmptyAndFolderAreRefused) {
    TempDir dir;
    FirmwareFile f;
    EXPECT_FALSE(f.open((dir / "absent.mot").string()));
    writeFile(dir / "empty.mot", "");
    EXPECT_FALSE(f.open((dir / "empty.mot").string()));
    EXPECT_FALSE(f.open(dir.path().string()));
    EXPECT_FALSE(f.open(""));
    EXPECT_FALSE(f.isOpen());
}

}  // namespace
}  // namespace q47::test
