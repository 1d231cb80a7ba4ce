// The utility's dialog and test image window as Qt views, offscreen, on the simulated board.
#include "utility/view/utility_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTest>

#include "tests/utility/utility_rig.h"
#include "utility/view/test_image_window.h"

namespace q47::test {
namespace {

bool waitUntil(const std::function<bool()>& pred, int ms = 10000) {
    return QTest::qWaitFor(pred, ms);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(simulator.listen((dir / "board.sock").string())); }
    std::unique_ptr<UtilityWindow> open(const UtilityTexts& texts = UtilityTexts()) {
        auto w = std::make_unique<UtilityWindow>(
            UtilityFiles{dir.path(), "sim:" + (dir / "board.sock").string()}, texts);
        w->initialise();
        return w;
    }
    TempDir dir;
    sim::Simulator simulator{utilityBoard()};
};

TEST_F(WindowTest, StartsHalfWideWithoutTheMaintenanceAreaAndTheToggleRestoresTheHeight) {
    auto w = open();
    const DialogUnits& du = w->units();
    EXPECT_EQ(w->width(), du.x(517) / 2);
    EXPECT_EQ(w->height(), du.y(338) - 183);
    EXPECT_TRUE(w->control(IdMaintenance)->isHidden());
    EXPECT_TRUE(w->control(IdUpdate)->isHidden());
    EXPECT_TRUE(w->control(IdFull)->isHidden());
    EXPECT_EQ(w->control(IdA4)->geometry(), du.rect(139, 77, 25, 10));
    EXPECT_EQ(w->control(IdFrameAspect)->geometry(), du.rect(7, 116, 245, 67));
    const int h = w->height();
    // Alt+Shift+F8 is the window's shortcut for the maintenance area.
    QShortcut* key = nullptr;
    for (QShortcut* s : w->findChildren<QShortcut*>())
        if (s->key() == QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_F8)) key = s;
    ASSERT_NE(key, nullptr);
    emit key->activated();
    EXPECT_TRUE(w->maintenanceShown());
    EXPECT_EQ(w->height(), h + 183);
    EXPECT_FALSE(w->control(IdMaintenance)->isHidden());
    EXPECT_FALSE(w->control(IdFileName)->isHidden());
    EXPECT_TRUE(w->control(IdFull)->isHidden());
    w->toggleMaintenance();
    EXPECT_EQ(w->height(), h);
    EXPECT_TRUE(w->control(IdMaintenance)->isHidden());
}

TEST_F(WindowTest, TheFourButtonsFollowTheLayoutFormula) {
    auto w = open();
    const int bw = w->control(IdReset)->width(), cw = w->width(), ch = w->height();
    const int gap = (cw - 4 * bw - bw / 3) / 3;
    EXPECT_EQ(w->control(IdReset)->pos(), QPoint(bw / 6, ch - 40));
    EXPECT_EQ(w->control(IdOk)->pos(), QPoint(bw + bw / 6 + gap, ch - 40));
    EXPECT_EQ(w->control(IdCancel)->pos(), QPoint(bw / 6 + 2 * (bw + gap), ch - 40));
    EXPECT_EQ(w->control(IdApply)->pos(), QPoint(3 * bw + 3 * gap + bw / 6, ch - 40));
    w->toggleMaintenance();
    EXPECT_EQ(w->control(IdApply)->y(), w->height() - 40);
}

TEST_F(WindowTest, ControlsFollowTheBoardAndARadioClickEnablesApply) {
    auto w = open();
    EXPECT_EQ(w->windowTitle(), "Q-47 Series Setup Utility Ver. 1.01");
    EXPECT_FALSE(w->control(IdOk)->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return w->control(IdOk)->isEnabled(); }));
    EXPECT_TRUE(w->control(IdPrintMatch)->isEnabled());
    EXPECT_FALSE(w->control(IdApply)->isEnabled());
    EXPECT_EQ(w->controlAs<QLabel>(IdFirmVersion)->text(), "Ver 1.00");
    EXPECT_TRUE(w->controlAs<QRadioButton>(IdStampEnable)->isChecked());
    QTest::mouseClick(w->control(IdLetter), Qt::LeftButton);
    EXPECT_TRUE(w->control(IdApply)->isEnabled());
    EXPECT_EQ(w->core().dialogValue(Paper), 1);
    QTest::mouseClick(w->control(IdApply), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] {
        return simulator.withBoard([](const sim::Board& b) { return b.setting(sim::PaperSize); }) ==
               1;
    }));
    // The file name box drives Update.
    w->toggleMaintenance();
    ASSERT_TRUE(waitUntil([&] { return w->control(IdOk)->isEnabled(); }));
    EXPECT_FALSE(w->control(IdUpdate)->isEnabled());
    w->controlAs<QLineEdit>(IdFileName)->setText("Q47_A_1.mot");
    EXPECT_TRUE(w->control(IdUpdate)->isEnabled());
}

TEST_F(WindowTest, ALargerFontInTheLanguageFileEnlargesTheDialog) {
    writeFile(dir / "big.ini", "[General]\r\nMode_Font_Size=12\r\n");
    UtilityTexts big;
    big.loadTexts((dir / "big.ini").string(), true);
    auto small = open();
    const int smallWidth = small->width(), smallFrame = small->control(IdFrameAspect)->height();
    small.reset();  // the board is exclusive
    auto large = open(big);
    EXPECT_GT(large->width(), smallWidth);
    EXPECT_GT(large->control(IdFrameAspect)->height(), smallFrame);
}

TEST_F(WindowTest, TheLanguageSwitchCopiesTheFileShowsDefaultsAndAsksAgain) {
    std::filesystem::create_directories(dir / "Loc" / "JPN");
    writeFile(dir / "Loc" / "JPN" / "Q47Uty.ini",
              "[TitleText]\r\nUtilityDialogTitle=Q-47 JPN\r\n[General]\r\nMode_Font_Size=14\r\n");
    writeFile(dir / "Loc" / "JPN" / "Q47Uty.html", "<p>JPN</p>");
    auto w = open();
    ASSERT_TRUE(waitUntil([&] { return w->control(IdOk)->isEnabled(); }));
    const QSize size = w->size();
    const QFont font = w->font();
    const size_t before = simulator.received().size();
    w->switchLanguage(32772);
    EXPECT_EQ(w->windowTitle(), "Q-47 JPN 1.01");
    EXPECT_EQ(readFile(dir / "Q47Uty.html"), "<p>JPN</p>");
    EXPECT_NE(readFile(dir / "Q47Uty.ini").find("Q-47 JPN"), std::string::npos);
    EXPECT_FALSE(w->control(IdOk)->isEnabled());
    EXPECT_FALSE(w->control(IdApply)->isEnabled());
    EXPECT_EQ(w->size(), size);  // the font changes at the next start only
    EXPECT_EQ(w->font(), font);
    ASSERT_TRUE(waitUntil([&] { return simulator.received().size() >= before + 8; }));
    // A language without files leaves the current ones in place.
    w->switchLanguage(32773);
    EXPECT_EQ(readFile(dir / "Q47Uty.html"), "<p>JPN</p>");
}

TEST_F(WindowTest, AChosenFirmwareFileIsSentByItsBareName) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += "S113" + std::to_string(1000 + i) + "00\n";
    std::filesystem::create_directories(dir / "fw");
    writeFile(dir / "fw" / "Q47_W_2.mot", text);
    const auto cwd = std::filesystem::current_path();
    auto w = open();
    ASSERT_TRUE(waitUntil([&] { return w->control(IdOk)->isEnabled(); }));
    w->toggleMaintenance();
    w->takeChosenFirmwareFile(dir / "fw" / "Q47_W_2.mot");
    EXPECT_EQ(w->controlAs<QLineEdit>(IdFileName)->text(), "Q47_W_2.mot");
    EXPECT_TRUE(w->control(IdUpdate)->isEnabled());
    QTest::mouseClick(w->control(IdUpdate), Qt::LeftButton);
    EXPECT_FALSE(w->control(IdOk)->isEnabled());
    EXPECT_TRUE(w->control(IdCancel)->isEnabled());
    EXPECT_FALSE(w->control(IdProgress)->isHidden());
    ASSERT_TRUE(waitUntil([&] { return simulator.firmwareReceived() == text; }));
    EXPECT_EQ(simulator.withBoard([](const sim::Board& b) { return b.firmwareFileName(); }),
              "Q47_W_2.mot");
    ASSERT_TRUE(waitUntil([&] { return w->control(IdProgress)->isHidden(); }));
    EXPECT_EQ(w->controlAs<QPushButton>(IdCancel)->text(), "Close");
    std::filesystem::current_path(cwd);
}

TEST_F(WindowTest, TheLogFileIsOpenedForAppendWithoutTruncating) {
    writeFile(dir / "Q47_USB.Log", "kept\n");
    auto w = open();
    EXPECT_EQ(readFile(dir / "Q47_USB.Log"), "kept\n");
}

// --- the test image window ---

TestImage boardTestImage(const TempDir& dir) {
    TestImage image;
    const auto picture = sim::Board::testPicture();
    auto coded =
        sim::encodeTestImage(picture, sim::Board::kTestLineCount, sim::Board::kTestLineBytes);
    const uint8_t header[5] = {'W', uint8_t(sim::Board::kTestLineCount >> 8),
                               uint8_t(sim::Board::kTestLineCount), 0, sim::Board::kTestLineBytes};
    image.storeTestImage(header, coded.data(), 1014, uint32_t(coded.size() + 6));
    image.append(coded.data() + 1014, coded.size() - 1014);
    image.decodeTestImage((dir / "rawdata.bin").string());
    return image;
}

TEST(TestImageWindowTest, PaintsFromTheTopLeftKeepingTheAspect) {
    TempDir dir;
    TestImage image = boardTestImage(dir);
    RecordingNotifier n;
    TestImageWindow w(image, "Do you want to save the PCB test image into file ?", "t", n);
    EXPECT_EQ(w.windowTitle(), "PCTestImage(Untitled)");
    w.resize(600, 300);
    EXPECT_EQ(w.pictureRect(), QRect(0, 0, 300 * 2176 / 1504, 300));
    const QImage q = testImageToQImage(image);
    EXPECT_EQ(q.size(), QSize(2176, 1504));
    // Scan line 0's first dot is the bottom-left pixel.
    const auto picture = sim::Board::testPicture();
    EXPECT_EQ(q.pixelIndex(0, 1503), (picture[0] & 0x80) ? 1 : 0);
    EXPECT_EQ(q.pixelIndex(2175, 0), 0);
}

TEST(TestImageWindowTest, TheSaveQuestionDecidesWhetherTheWindowCloses) {
    TempDir dir;
    TestImage image = boardTestImage(dir);
    RecordingNotifier n;
    TestImageWindow w(image, "Do you want to save the PCB test image into file ?", "t", n);
    QString chosen;
    w.chooseFile = [&] { return chosen; };
    w.show();
    n.answer = MsgResult::Cancel;
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(n.boxes.size(), 1u);
    EXPECT_EQ(n.boxes[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(n.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(n.boxes[0].text, "Do you want to save the PCB test image into file ?");
    n.answer = MsgResult::Yes;  // and then the file dialog is cancelled
    w.close();
    EXPECT_TRUE(w.isVisible());
    chosen = QString::fromStdString((dir / "saved.bmp").string());
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(std::filesystem::exists(dir / "saved.bmp"));
    w.show();
    n.answer = MsgResult::No;
    w.close();
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace q47::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // A message box nobody answers would hold a test for ever: boxes go to stderr.
    q47::twain_source::setMessageBoxesUnseen(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
