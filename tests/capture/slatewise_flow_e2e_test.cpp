// The capture flow for real: the bar, the rings, the question, the image window with its
// acquisition component, our source manager, Q47tw.ds and the simulated board, on an X
// server with two monitors (the projector is the second). Dialogs are answered as a user
// would, by pressing their buttons; message boxes go to a recording notifier.
#include <gtest/gtest.h>

#include "tests/capture/slatewise_program_rig.h"

namespace q47::capture {
namespace {

namespace fs = std::filesystem;

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new test::TwoMonitorXvfb);

#define NEED_X()                                                                  \
    if (!test::TwoMonitorXvfb::skipReason.empty()) GTEST_SKIP() << test::TwoMonitorXvfb::skipReason

TEST(CaptureFlowEndToEnd, YesPhotographsTheProjectorWithoutTheBarScansComposesAndSaves) {
    NEED_X();
    Board board;
    Program p(board.dir);
    // The rings on the projector monitor in red.
    const TfrmMarker* ring = p.frmMakerManager->marker(0);
    ASSERT_TRUE(ring && ring->isVisible());
    const QRect projector = QGuiApplication::screens()[1]->geometry();
    const MarkerLayout layout = MarkerLayoutFor(0, 0, projector.width(), projector.height());
    const QPoint band = ring->pos() + QPoint(ring->width() / 2, layout.ringWidth / 2 + 1);
    EXPECT_EQ(DesktopPixel(band), kMarkerRed);
    // The bar put onto the projector monitor: it must not be in the photograph.
    const QPoint barAt = projector.topLeft() + QPoint(300, 200);
    p.frmMain->move(barAt);
    Settle();
    ASSERT_EQ(DesktopPixel(barAt), p.frmMain->barKeyColour);

    ASSERT_EQ(p.capture(true), CaptureOutcome::Composed);
    EXPECT_TRUE(p.notifier.boxes.empty()) << p.notifier.boxes[0].text;
    EXPECT_EQ(p.frmMain->pos(), barAt);  // back where it was
    const RgbImage shot = testing::exportPicture(p.frmImg->VIkCapCommon->ImgHandle);
    ASSERT_EQ(shot.width, projector.width());
    EXPECT_NE(PixelOf(shot, barAt - projector.topLeft()), p.frmMain->barKeyColour);
    EXPECT_EQ(PixelOf(shot, band - projector.topLeft()), kMarkerRed);  // the rings stayed
    EXPECT_TRUE(TheMarkDetection().found());
    EXPECT_TRUE(p.frmImg->isVisible());
    EXPECT_TRUE(p.frmImg->CompositeMode());
    p.expectBarBack();

    // Save as: the generated name of the day, then overwrite the same file.
    const fs::path saved = board.dir / "out" / Today("JPG");
    AcceptFileDialog(p.frmMain.get(), saved.string(), "JPG");
    p.frmImg->Save1Click();
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(p.frmImg->savedFileName.toStdString(), saved.string());
    fs::remove(saved);
    p.frmImg->OverWrite1Click();
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_TRUE(p.notifier.boxes.empty());
}

TEST(CaptureFlowEndToEnd, NoSavesTheSheetAloneAsPngThroughTheDialog) {
    NEED_X();
    Board board;
    Program p(board.dir);
    const fs::path sheet = board.dir / "out" / Today("PNG");
    AcceptFileDialog(p.frmMain.get(), sheet.string(), "PNG");
    ASSERT_EQ(p.capture(false), CaptureOutcome::Saved);
    EXPECT_TRUE(p.notifier.boxes.empty());
    // The dialog may give the name its filter's suffix in lower case.
    fs::path written;
    for (const auto& e : fs::directory_iterator(board.dir / "out"))
        if (QString::fromStdString(e.path().filename().string()).compare(QString::fromStdString(Today("PNG")),
                                                                         Qt::CaseInsensitive) == 0)
            written = e.path();
    ASSERT_FALSE(written.empty());
    std::ifstream f(written, std::ios::binary);
    char magic[4] = {};
    f.read(magic, 4);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
    EXPECT_EQ(p.state.lastSaveType, kSavePng);
    EXPECT_FALSE(p.frmImg->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    p.expectBarBack();
}

// Each failure: its message once, with the caption, and the bar usable again.
void ExpectFailure(Program& p, const std::string& text) {
    ASSERT_EQ(p.notifier.boxes.size(), 1u);
    EXPECT_EQ(p.notifier.boxes[0].text, text);
    EXPECT_EQ(p.notifier.boxes[0].caption, p.settings.MsgConfirmation);
    p.expectBarBack();
}

// Without a board the data source shows its own "USB could not be opened !" and asks to be
// closed without an image: the scan ends with no image (the flow only redisplays), and the
// program puts no second message of its own on top of the source's.
TEST(CaptureFlowEndToEnd, WithoutABoardTheSourceSaysSoAndTheScanEndsWithoutAnImage) {
    NEED_X();
    Board board(false);
    Program p(board.dir);
    QStringList sourceBoxes;
    DismissBoxes(p.frmMain.get(), &sourceBoxes);
    EXPECT_EQ(p.capture(true), CaptureOutcome::NoImage);
    EXPECT_TRUE(p.notifier.boxes.empty());
    EXPECT_TRUE(sourceBoxes.join("|").contains("USB could not be opened !"))
        << sourceBoxes.join("|").toStdString();
    p.expectBarBack();
}

TEST(CaptureFlowEndToEnd, WithoutTheSourceInTheListTheScanFailsWithMsgExecScanErr) {
    NEED_X();
    Board board;
    ::setenv("TWAIN_DS_DIR", (board.dir / "no-sources").c_str(), 1);
    Program p(board.dir);
    EXPECT_EQ(p.capture(false), CaptureOutcome::ScanFailed);
    ExpectFailure(p, p.settings.MsgExecScanErr);
}

TEST(CaptureFlowEndToEnd, AMonitorThatCannotBeCopiedGivesMsgCaptureErr) {
    NEED_X();
    Board board;
    Program p(board.dir);
    p.settings.SelectMonitor = 5;  // beyond the two monitors
    EXPECT_EQ(p.capture(true), CaptureOutcome::CaptureFailed);
    ExpectFailure(p, p.settings.MsgCaptureErr);
}

TEST(CaptureFlowEndToEnd, ASaveIntoAFolderThatCannotBeWrittenGivesMsgFileSaveErr) {
    NEED_X();
    Board board;
    Program p(board.dir);
    // A read-only folder; root writes anywhere except into a file system that refuses it.
    fs::path folder = board.dir / "read-only";
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0555);
    if (::geteuid() == 0) folder = "/proc/self";
    p.frmMain->saveDialogOverride = [&](const std::string&, const std::string&, const std::string&) {
        return SaveChoice{true, (folder / "sheet.PNG").string(), kSavePng};
    };
    EXPECT_EQ(p.capture(false), CaptureOutcome::SaveFailed);
    ExpectFailure(p, p.settings.MsgFileSaveErr);
    EXPECT_FALSE(fs::exists(folder / "sheet.PNG"));
}

TEST(CaptureFlowEndToEnd, NoToTheUnsavedQuestionEndsBeforeTheScreenIsCopied) {
    NEED_X();
    Board board;
    Program p(board.dir);
    ASSERT_EQ(p.capture(true), CaptureOutcome::Composed);
    const IKHANDLE first = p.frmImg->VIkCapCommon->ImgHandle;
    p.notifier.answer = MsgResult::No;
    EXPECT_EQ(p.capture(true), CaptureOutcome::KeptUnsaved);
    ASSERT_EQ(p.notifier.boxes.size(), 1u);
    EXPECT_EQ(p.notifier.boxes[0].text, p.settings.MsgFileNotSave);
    EXPECT_EQ(p.frmImg->VIkCapCommon->ImgHandle, first);  // no new photograph
    p.expectBarBack();
}

}  // namespace
}  // namespace q47::capture
