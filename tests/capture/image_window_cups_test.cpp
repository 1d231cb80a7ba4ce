// The image window's Print command through a real CUPS queue: the test starts its own
// scheduler (before the QApplication, which the two-monitor Xvfb environment creates),
// accepts the print dialog, and renders the job the queue received. Skipped, with the
// reason, when no scheduler can start here.
#include <QPrintDialog>
#include <QPrinter>

#include "imaging/Ikprint.h"
#include "tests/capture/image_window_rig.h"
#include "tests/common/cups_scheduler.h"

using namespace q47::capture;
using namespace q47::capture::testing;

namespace {

const char* const kQueue = "Q47PDF";
q47::test::CupsScheduler g_cups;

TEST(ImageWindowPrintingThroughCups, TheCompositeReachesTheDefaultQueueLandscapeInsideTheMargins) {
    SKIP_WITHOUT_XVFB();
    if (!g_cups.skip.empty()) GTEST_SKIP() << "CUPS cannot start here: " << g_cups.skip;
    if (::access("/usr/bin/pdftoppm", X_OK) != 0) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
    Composite c(1800, 900, kPrintMarks);
    QString chosenPrinter;
    AnswerModal([&](QWidget* d) {
        if (auto* dialog = qobject_cast<QPrintDialog*>(d)) chosenPrinter = dialog->printer()->printerName();
        Accept(d);
    });
    c.frm.Print1Click();
    EXPECT_EQ(chosenPrinter, kQueue) << "the window prints to the default queue";
    EXPECT_EQ(c.frm.VIkPrint1->DocName, "SlateWise");
    ASSERT_TRUE(q47::test::waitForJob(g_cups)) << "the queue wrote nothing; see " << g_cups.dir << "/log";
    ExpectTheMarkedCompositeOnALandscapePage(renderPdf(g_cups.jobFile(), g_cups.dir));
}

}  // namespace

int main(int argc, char** argv) {
    // The scheduler comes first: the print plugin asks CUPS_SERVER once, and the Xvfb
    // environment creates the QApplication when the tests start.
    g_cups = q47::test::startScheduler(kQueue);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TwoMonitorXvfb);
    const int result = RUN_ALL_TESTS();
    q47::test::stopScheduler(g_cups);
    return result;
}
