// Fifty captures in a row in one process, composite and sheet-only in turn, against the
// simulated board: every one completes and the resident memory does not grow.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "tests/capture/slatewise_program_rig.h"

namespace q47::capture {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new test::TwoMonitorXvfb);

// Resident memory of this process in KiB.
long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

TEST(CaptureLongRun, FiftyCapturesCompleteAndTheResidentMemoryStaysFlat) {
    if (!test::TwoMonitorXvfb::skipReason.empty()) GTEST_SKIP() << test::TwoMonitorXvfb::skipReason;
    Board board;
    Program p(board.dir);
    p.notifier.answer = MsgResult::Yes;  // a new composite may replace the unsaved one
    const std::string sheet = (board.dir / "out" / "sheet.PNG").string();
    p.frmMain->saveDialogOverride = [&](const std::string&, const std::string&, const std::string&) {
        return SaveChoice{true, sheet, kSavePng};
    };
    long afterFifth = 0;
    for (int i = 1; i <= 50; ++i) {
        SCOPED_TRACE(i);
        const bool composite = i % 2 == 1;
        ASSERT_EQ(p.capture(composite), composite ? CaptureOutcome::Composed : CaptureOutcome::Saved);
        for (const auto& box : p.notifier.boxes) ASSERT_EQ(box.text, p.settings.MsgFileNotSave);
        p.notifier.boxes.clear();
        Settle();
        if (i == 5) afterFifth = ResidentKiB();
    }
    const long afterLast = ResidentKiB();
    std::printf("resident memory: %ld KiB after the 5th capture, %ld KiB after the 50th\n", afterFifth, afterLast);
    EXPECT_LE(afterLast, afterFifth + afterFifth / 10);
    EXPECT_TRUE(std::filesystem::exists(sheet));
}

}  // namespace
}  // namespace q47::capture
