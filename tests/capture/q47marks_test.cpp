// q47marks: the printed line, the options and a picture it cannot read.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/mark_detection.h"
#include "capture/sheet_preparation.h"
#include "platform/dib.h"
#include "sheet_drawing.h"

using namespace q47::capture;
using namespace q47::capture::testing;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome run(const std::string& args) {
    const fs::path err = fs::temp_directory_path() / ("q47marks-err-" + std::to_string(::getpid()));
    const std::string cmd = std::string(Q47MARKS) + " " + args + " 2>" + err.string();
    Outcome r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 256> buf{};
    while (size_t n = std::fread(buf.data(), 1, buf.size(), p)) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream in(err);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove(err);
    return r;
}

class Pictures : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "q47marks-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // Writes the picture as a 24-bit BMP file.
    std::string save(const RgbImage& img, const std::string& name) {
        std::vector<uint8_t> dib = q47::dib::make(img.width, img.height, 24);
        q47::dib::View v;
        q47::dib::parse(dib.data(), dib.size(), &v);
        for (int y = 0; y < img.height; ++y)
            std::copy(img.row(y), img.row(y) + img.stride(), const_cast<uint8_t*>(v.rowFromTop(y)));
        const std::string path = (dir_ / name).string();
        q47::dib::writeBmpFile(path, dib.data(), dib.size());
        return path;
    }
    fs::path dir_;
};

std::string line(const MarkDetection& d) {
    std::ostringstream s;
    for (int i = 0; i < 8; ++i) s << (i ? " " : "") << d.MarkCorners[i];
    return s.str() + "\n";
}

RgbImage markedSheet(int w, int h, Rgb colour, int scale) {
    RgbImage sheet(w * scale, h * scale);
    for (auto [x, y] : {std::pair{100, 80}, {1100, 80}, {1100, 830}, {100, 830}})
        rect(sheet, x * scale, y * scale, 30 * scale, 30 * scale, colour);
    return sheet;
}

}  // namespace

TEST_F(Pictures, PrintsTheEightCornersOnOneLineInTheRecordsOrder) {
    const RgbImage sheet = markedSheet(1400, 1100, kGreen, 1);
    MarkDetection want;
    ASSERT_EQ(DetectMarks(sheet.view(), MarkGreen, want), 0);
    ASSERT_TRUE(want.found());
    const std::string file = save(sheet, "sheet.bmp");
    for (const char* c : {"green", "2"}) {
        const Outcome r = run(file + " --colour " + c);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, line(want));
    }
    const Outcome red = run(file + " --colour red");
    EXPECT_EQ(red.status, 0);
    EXPECT_EQ(red.out, "0 0 0 0 0 0 0 0\n") << "not found is all 0 and still success";
}

TEST_F(Pictures, WhitenAndPrepareRunTheSheetPreparationFirst) {
    // Pale grey paper (185) with dark marks: without whitening every pixel counts as
    // "not white" for colour none and nothing is found; whitened, the marks are.
    RgbImage sheet = markedSheet(1400, 1100, kBlack, 1);
    for (size_t i = 0; i < sheet.bytes.size(); ++i)
        if (sheet.bytes[i] == 255) sheet.bytes[i] = 185;
    const std::string file = save(sheet, "grey.bmp");
    EXPECT_EQ(run(file).out, "0 0 0 0 0 0 0 0\n");
    RgbImage whitened = sheet;
    WhitenNearWhite(whitened.plane());
    MarkDetection want;
    ASSERT_EQ(DetectMarks(whitened.view(), MarkNone, want), 0);
    ASSERT_TRUE(want.found());
    const Outcome w = run(file + " --whiten");
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, line(want));

    // A full-size scan (twice the size) is halved first: the corners are those of the
    // half-size sheet.
    RgbImage full = markedSheet(1400, 1100, kBlack, 2);
    for (size_t i = 0; i < full.bytes.size(); ++i)
        if (full.bytes[i] == 255) full.bytes[i] = 185;
    const Outcome p = run(save(full, "full.bmp") + " --prepare --colour black");
    EXPECT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.out, line(want));
}

TEST_F(Pictures, BadFilesAndBadOptionsExitTwoWithAMessage) {
    std::ofstream(dir_ / "junk.png") << "not a picture at all";
    const Outcome junk = run((dir_ / "junk.png").string());
    EXPECT_EQ(junk.status, 2);
    EXPECT_TRUE(junk.out.empty());
    EXPECT_NE(junk.err.find("cannot read picture"), std::string::npos) << junk.err;
    EXPECT_EQ(run((dir_ / "missing.bmp").string()).status, 2);
    const std::string file = save(RgbImage(20, 20), "white.bmp");
    EXPECT_EQ(run(file + " --colour purple").status, 2);
    EXPECT_EQ(run(file + " --colour").status, 2);
    EXPECT_EQ(run(file + " --frobnicate").status, 2);
    EXPECT_EQ(run("").status, 2);
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: q47marks PICTURE"), std::string::npos);
}
