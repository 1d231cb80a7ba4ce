// The image window on synthetic sheets under Xvfb: sizing and placement, the default
// placement, mouse editing with synthesized events, saving and overwrite, printing into
// a PDF file, full screen and the close query.
#include <sys/stat.h>

#include <QCursor>
#include <QPrintDialog>
#include <QProgressBar>
#include <QToolButton>
#include <cmath>
#include <ctime>

#include "capture/full_screen_window.h"
#include "capture/mark_detection.h"
#include "imaging/Ikfile.h"
#include "imaging/Ikprint.h"
#include "imaging/display_widget.h"
#include "platform/notifier.h"
#include "tests/capture/image_window_rig.h"

using namespace q47::capture;
using namespace q47::capture::testing;

namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new TwoMonitorXvfb);

int rnd(double v) { return static_cast<int>(std::lround(v)); }

// A window showing a composite of a white sheet and the quadrant picture, with the
// marks of detection as given (all 0: nothing found).
struct Composite {
    explicit Composite(int sheetWidth, int sheetHeight, const int32_t* marks = nullptr, QSize screen = {1024, 768}) {
        TheCaptureState() = CaptureState{};
        TheCaptureState().screenWidth = 1280;
        TheCaptureState().screenHeight = 1024;
        TheMarkDetection() = MarkDetection{};
        if (marks) std::copy(marks, marks + 8, TheMarkDetection().MarkCorners);
        frm.SetNotifier(&notifier);
        LoadSheetAndScreen(frm, WhiteSheet(sheetWidth, sheetHeight), QuadrantPicture(screen.width(), screen.height()));
        frm.ShowIn(true);
        frm.SizeAndPlace();
        frm.ComposeImages();
        (void)QTest::qWaitForWindowExposed(&frm);
        QCoreApplication::processEvents();
    }
    TCRaster* layer(int i) { return frm.VIkDisp1->GetRaster(i); }
    QPoint client(Point p) { return frm.VIkDisp1->ImageToClient(QPoint(p.x, p.y)); }
    q47::RecordingNotifier notifier;
    TfrmImg frm;
};

// ---- Sizing and placement.

TEST(ImageWindowSizing, A1748WideSheetIsTwoThirdsWithTheAspectButtonOff) {
    SKIP_WITHOUT_XVFB();
    Composite c(1748, 1000);
    EXPECT_EQ(c.frm.Aspect(), SheetAspect::TwoThirds);
    EXPECT_FALSE(TheCaptureState().largeSheet);
    EXPECT_FALSE(c.frm.SpeedButton2->isEnabled());
    c.frm.SpeedButton2Click();
    EXPECT_EQ(c.frm.Aspect(), SheetAspect::TwoThirds) << "a narrow sheet cannot switch";
    // On 1280 x 1024: start at rnd(1260 * 0.85) = 1071, whose 2:3 height 714 fits 934,
    // so it grows to 1259 (the last below 1260), 839 high.
    EXPECT_EQ(c.frm.LargestDisplaySize().width, 1259);
    EXPECT_EQ(c.frm.LargestDisplaySize().height, rnd(1259 * 2.0 / 3));
    EXPECT_EQ(c.frm.size(), QSize(1259 + 20, 839 + 110));
    EXPECT_EQ(c.frm.pos(), QPoint((1280 - 1279) / 2, 16));
    EXPECT_EQ(c.frm.VIkDisp1->pos(), QPoint(4, 44));
}

TEST(ImageWindowSizing, A1750WideSheetIsOneToTwoAndTheAspectButtonSwitches) {
    SKIP_WITHOUT_XVFB();
    Composite c(1750, 1000);
    EXPECT_EQ(c.frm.Aspect(), SheetAspect::Half);
    EXPECT_TRUE(TheCaptureState().largeSheet);
    EXPECT_TRUE(c.frm.SpeedButton2->isEnabled());
    EXPECT_EQ(c.frm.size(), QSize(1279, 630 + 110));
    const QSize before = c.frm.VIkDisp1->size();
    QTest::mouseClick(c.frm.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(c.frm.Aspect(), SheetAspect::TwoThirds);
    const QSize after = c.frm.VIkDisp1->size();
    EXPECT_NEAR(double(after.height()) / after.width(), 0.666, 0.01);
    EXPECT_NE(after, before);
    QTest::mouseClick(c.frm.SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(c.frm.Aspect(), SheetAspect::Half);
}

TEST(ImageWindowSizing, TheWindowOpensOnTheMonitorThatHoldsTheBar) {
    SKIP_WITHOUT_XVFB();
    TheCaptureState() = CaptureState{};
    TheCaptureState().barLeft = 1900;
    TheCaptureState().barTop = 50;
    TfrmImg frm;
    LoadSheetAndScreen(frm, WhiteSheet(1748, 1000), QuadrantPicture(64, 48));
    frm.ShowIn(false);
    frm.SizeAndPlace();
    EXPECT_EQ(frm.pos(), QPoint(1280 + (1280 - 1279) / 2, 16));
}

TEST(ImageWindowSizing, ResizingKeepsTheAspectInsideTheClientAndTheLargestDisplay) {
    SKIP_WITHOUT_XVFB();
    Composite c(1748, 1000);
    c.frm.resize(700, 700);
    QCoreApplication::processEvents();
    const QSize d = c.frm.VIkDisp1->size();
    EXPECT_LE(d.width(), c.frm.Panel1->width() - 10);
    EXPECT_NEAR(double(d.height()) / d.width(), 0.666, 0.01);
    c.frm.resize(5000, 5000);
    QCoreApplication::processEvents();
    EXPECT_LE(c.frm.VIkDisp1->width(), 1259);
    c.frm.resize(10, 10);
    EXPECT_GE(c.frm.width(), 130);
    EXPECT_GE(c.frm.height(), 90);
}

// ---- Placement of the screen picture.

TEST(ImageWindowComposition, WithoutMarksTheScreenPictureSitsAtATenthFromTheTopLeft) {
    SKIP_WITHOUT_XVFB();
    Composite c(1748, 1000);
    EXPECT_EQ(c.layer(0)->StartX(), rnd(1748 * 0.1));
    EXPECT_EQ(c.layer(0)->StartY(), rnd(1000 * 0.1));
    // 90 % of the sheet's height, in the picture's own 4:3 aspect.
    EXPECT_NEAR(c.layer(0)->Height(), 900, 1);
    EXPECT_NEAR(c.layer(0)->Width(), rnd(900 * 1024.0 / 768), 1);
    EXPECT_FALSE(c.layer(0)->EnableTrans());
    EXPECT_TRUE(c.layer(1)->EnableTrans());
    for (int i = 2; i <= 9; ++i) EXPECT_TRUE(c.layer(i)->ShowInDisp()) << "handle " << i;
    // The merged picture shows the quadrants where the white sheet lets them through.
    const QImage merged = PictureOf(c.frm.LayerImage(0));
    EXPECT_GT(ShareNear(merged, merged.width() / 4, merged.height() / 4, 5, QColor(0, 160, 0)), 0.9);
    EXPECT_GT(ShareNear(merged, 3 * merged.width() / 4, 3 * merged.height() / 4, 5, QColor(120, 0, 160)), 0.9);
}

TEST(ImageWindowComposition, ImplausibleMarksFallBackToTheDefaultPlacement) {
    SKIP_WITHOUT_XVFB();
    // The right edge slants by 500 pixels: more than a fifth of the outline.
    const int32_t marks[8] = {300, 1400, 900, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    EXPECT_EQ(c.layer(0)->StartX(), rnd(174.8));
    EXPECT_EQ(c.layer(0)->StartY(), 100);
    EXPECT_NEAR(c.layer(0)->Height(), 900, 1);
}

TEST(ImageWindowComposition, PlausibleMarksPlaceTheLayerAtTheirCorners) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1400, 1410, 310, 120, 110, 880, 890};
    Composite c(1748, 1000, marks);
    EXPECT_EQ(c.layer(0)->StartX(), 300);
    EXPECT_EQ(c.layer(0)->StartY(), 110);
    EXPECT_NEAR(c.layer(0)->Width(), 1110, 1);
    EXPECT_NEAR(c.layer(0)->Height(), 780, 1);
    const Quad q = c.frm.CaptureCorners();
    EXPECT_EQ(q.topLeft, (Point{300, 120}));
    EXPECT_EQ(q.bottomRight, (Point{1410, 880}));
}

// ---- Mouse editing.

TEST(ImageWindowEditing, ACornerDragWithinAFifthReshapesAndReWarps) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    const Handles before = c.frm.HandlePositions();
    const IKHANDLE layerBefore = c.frm.LayerImage(0);
    // Press on the top-left handle, drag 60 sheet pixels right and 40 down, release.
    const QPoint from = c.client({before[HTopLeft].x + 5, before[HTopLeft].y + 5});
    const QPoint to = c.client({before[HTopLeft].x + 60, before[HTopLeft].y + 40});
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, from);
    EXPECT_EQ(c.frm.VIkDisp1->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(c.frm.VIkDisp1, to);
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, to);
    const QPoint released = c.frm.VIkDisp1->ClientToImage(to);
    const Handles after = c.frm.HandlePositions();
    EXPECT_EQ(after[HTopLeft], (Point{released.x(), released.y()}));
    EXPECT_NE(c.frm.LayerImage(0), layerBefore) << "re-warped";
    // The layer's corner follows the outline: the smaller x of the left corners, the
    // smaller y of the top ones.
    EXPECT_EQ(c.layer(0)->StartX(), std::min(released.x(), before[HBottomLeft].x));
    EXPECT_EQ(c.layer(0)->StartY(), std::min(released.y(), before[HTopRight].y));
    const Quad outline = c.frm.CaptureCorners();
    EXPECT_NEAR(c.layer(0)->Width(), outline.topRight.x - c.layer(0)->StartX(), 1);
    EXPECT_EQ(c.frm.ProgressPosition(), c.frm.ProgressBar1->maximum());
    // The warped corner: at the new top-left the screen's green shows; the old corner
    // region, now outside the outline, is the white sheet again in the merged layer.
    const QImage layer = PictureOf(c.frm.LayerImage(0));
    EXPECT_TRUE(Near(layer.pixel(layer.width() / 4, layer.height() / 4), QColor(0, 160, 0)));
}

TEST(ImageWindowEditing, ACornerDragBeyondAFifthChangesNothing) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    const Handles before = c.frm.HandlePositions();
    const IKHANDLE layerBefore = c.frm.LayerImage(0);
    // The outline is 1000 wide: 250 to the right is beyond a fifth.
    const QPoint from = c.client({before[HTopLeft].x + 5, before[HTopLeft].y + 5});
    const QPoint to = c.client({before[HTopLeft].x + 250, before[HTopLeft].y});
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, from);
    QTest::mouseMove(c.frm.VIkDisp1, to);
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, to);
    EXPECT_EQ(c.frm.HandlePositions(), before);
    EXPECT_EQ(c.frm.LayerImage(0), layerBefore);
}

TEST(ImageWindowEditing, AnEdgeDragOutsideThreeQuartersToFiveQuartersIsRefused) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    const Handles before = c.frm.HandlePositions();
    const int height = c.layer(0)->Height();
    // The bottom edge pulled up to 60 % of the height: refused.
    const QPoint from = c.client({before[HBottom].x + 5, before[HBottom].y + 5});
    const QPoint shrink = c.client({before[HBottom].x + 5, 100 + rnd(height * 0.6)});
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, from);
    EXPECT_EQ(c.frm.VIkDisp1->cursor().shape(), Qt::SizeVerCursor);
    QTest::mouseMove(c.frm.VIkDisp1, shrink);
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, shrink);
    EXPECT_EQ(c.frm.HandlePositions(), before);
    // To 90 %: taken, the layer is re-warped shorter and its top stays.
    const QPoint inside = c.client({before[HBottom].x + 5, 100 + rnd(height * 0.9)});
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, from);
    QTest::mouseMove(c.frm.VIkDisp1, inside);
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, inside);
    EXPECT_NE(c.frm.HandlePositions(), before);
    const Quad outline = c.frm.CaptureCorners();
    EXPECT_LT(c.layer(0)->Height(), height * 0.95);
    EXPECT_NEAR(c.layer(0)->Height(), outline.bottomLeft.y - outline.topLeft.y, 1);
    EXPECT_EQ(c.layer(0)->StartY(), 100);
}

TEST(ImageWindowEditing, TheLayerMovedPastTheRightEdgeStopsAtEdgeMinusSizePlusTwo) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    const int width = c.layer(0)->Width();
    const Handles before = c.frm.HandlePositions();
    const QPoint from = c.client({700, 450});
    const QPoint to = c.client({1700, 450});
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, from);
    QTest::mouseMove(c.frm.VIkDisp1, to);
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, to);
    EXPECT_EQ(c.layer(0)->StartX(), 1748 - width + 2);
    const Handles after = c.frm.HandlePositions();
    EXPECT_EQ(after[HTopLeft].x - before[HTopLeft].x, 1748 - width + 2 - 300) << "handles keep their offsets";
    // Moving left past 0 stops at 0.
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({1500, 450}));
    QTest::mouseMove(c.frm.VIkDisp1, c.client({10, 450}));
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({10, 450}));
    EXPECT_EQ(c.layer(0)->StartX(), 0);
}

TEST(ImageWindowEditing, ARightPressHidesTheHandlesAndALeftPressShowsThem) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1748, 1000, marks);
    QTest::mousePress(c.frm.VIkDisp1, Qt::RightButton, {}, c.client({700, 450}));
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::RightButton, {}, c.client({700, 450}));
    for (int i = 2; i <= 9; ++i) EXPECT_FALSE(c.layer(i)->ShowInDisp());
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({700, 450}));
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({700, 450}));
    for (int i = 2; i <= 9; ++i) EXPECT_TRUE(c.layer(i)->ShowInDisp());
}

// ---- Saving.

std::string today(int format) {
    char day[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(day, sizeof day, "%y%m%d", std::localtime(&now));
    return std::string("Q47_") + day + (format == kSaveJpeg ? "_01.JPG" : "_01.PNG");
}

TEST(ImageWindowSaving, TheSaveButtonWritesTheDaysFirstNameAndOverwriteRewritesIt) {
    SKIP_WITHOUT_XVFB();
    TempFolder dir;
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1800, 900, marks);
    TheCaptureState().saveFolder = dir.path;
    QString offered;
    AnswerModal([&](QWidget* dialog) {
        offered = static_cast<QFileDialog*>(dialog)->selectedFiles().value(0);
        Accept(dialog);
    });
    int barCalls = 0;
    c.frm.OnEnableBarButtons = [&](bool) { ++barCalls; };
    QTest::mouseClick(c.frm.SpeedButton1, Qt::LeftButton);
    const std::string file = dir.path + "/" + today(kSaveJpeg);
    EXPECT_TRUE(offered.endsWith(QString::fromStdString(today(kSaveJpeg))));
    ASSERT_TRUE(std::filesystem::exists(file)) << offered.toStdString();
    EXPECT_EQ(c.frm.savedFileName, QString::fromStdString(file));
    EXPECT_EQ(barCalls, 2);
    EXPECT_TRUE(c.notifier.boxes.empty());
    // A wide sheet in its 1:2 state is saved 2000 by 1000.
    QImage saved(QString::fromStdString(file));
    EXPECT_EQ(saved.size(), QSize(2000, 1000));

    // Move the layer, overwrite: the same file, new content, no second file.
    QTest::mousePress(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({700, 450}));
    QTest::mouseMove(c.frm.VIkDisp1, c.client({400, 450}));
    QTest::mouseRelease(c.frm.VIkDisp1, Qt::LeftButton, {}, c.client({400, 450}));
    c.frm.OverWrite1Click();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
    QImage again(QString::fromStdString(file));
    EXPECT_NE(again, saved);

    // In the 2:3 state the composite is 1500 by 1000.
    c.frm.SpeedButton2Click();
    c.frm.OverWrite1Click();
    EXPECT_EQ(QImage(QString::fromStdString(file)).size(), QSize(1500, 1000));
}

TEST(ImageWindowSaving, OverwriteWithoutAnEarlierSaveOpensSaveAs) {
    SKIP_WITHOUT_XVFB();
    TempFolder dir;
    Composite c(1748, 1000);
    TheCaptureState().saveFolder = dir.path;
    TheCaptureState().lastSaveType = kSavePng;
    bool asked = false;
    AnswerModal([&](QWidget* dialog) {
        asked = qobject_cast<QFileDialog*>(dialog) != nullptr;
        Reject(dialog);
    });
    c.frm.OverWrite1Click();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(c.frm.savedFileName.isEmpty());
    EXPECT_EQ(c.frm.File()->FileExt(), "*;PNG;JPG;");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST(ImageWindowSaving, AReadOnlyFolderReportsTheErrorOnceAndKeepsTheEarlierFile) {
    SKIP_WITHOUT_XVFB();
    TempFolder dir;
    Composite c(1748, 1000);
    TheCaptureState().saveFolder = dir.path;
    AnswerModal([](QWidget* dialog) { Accept(dialog); });
    c.frm.SpeedButton1Click();
    const std::string earlier = dir.path + "/" + today(kSaveJpeg);
    ASSERT_TRUE(std::filesystem::exists(earlier));
    const auto bytes = std::filesystem::file_size(earlier);

    // A folder nobody may write to. Root ignores the permissions, so for root the
    // target name is also taken by a folder, which no one can open as a file.
    const std::string locked = dir.path + "/locked";
    std::filesystem::create_directory(locked);
    if (::geteuid() == 0) std::filesystem::create_directory(locked + "/" + today(kSaveJpeg));
    ::chmod(locked.c_str(), 0555);
    c.frm.ComposeImages();  // a new composite: not saved
    AnswerModal([&](QWidget* dialog) {
        // Typed as a whole path: the name field wins over the folder being browsed.
        dialog->findChild<QLineEdit*>()->setText(QString::fromStdString(locked + "/" + today(kSaveJpeg)));
        Accept(dialog);
    });
    c.frm.Save1Click();
    ASSERT_EQ(c.notifier.boxes.size(), 1u);
    EXPECT_EQ(c.notifier.boxes[0].text, c.frm.Settings().MsgFileSaveErr);
    EXPECT_EQ(c.notifier.boxes[0].caption, c.frm.Settings().MsgConfirmation);
    EXPECT_TRUE(c.frm.savedFileName.isEmpty());
    EXPECT_EQ(std::filesystem::file_size(earlier), bytes);
    EXPECT_EQ(TheCaptureState().saveFolder, dir.path) << "save as moves the folder only after a save";
}

TEST(ImageWindowSaving, OnlyJpegAndPngAreWritten) {
    SKIP_WITHOUT_XVFB();
    TempFolder dir;
    Composite c(1748, 1000);
    const QString bmp = QString::fromStdString(dir.path + "/x.bmp");
    EXPECT_EQ(c.frm.SaveImage(bmp, c.frm.SheetImage(), 1), 8);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
    const QString png = QString::fromStdString(dir.path + "/x.png");
    EXPECT_EQ(c.frm.SaveImage(png, c.frm.SheetImage(), kSavePng), 0);
    EXPECT_EQ(QImage(png).size(), QSize(1748, 1000));
}

// ---- Printing.

QImage renderPdf(const std::string& pdf, const std::string& folder) {
    const std::string cmd = "pdftoppm -r 30 -png -singlefile '" + pdf + "' '" + folder + "/page' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return QImage(QString::fromStdString(folder + "/page.png")).convertToFormat(QImage::Format_RGB32);
}

QRect inkBox(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (qRed(c) < 200 || qGreen(c) < 200 || qBlue(c) < 200) box |= QRect(x, y, 1, 1);
        }
    return box;
}

TEST(ImageWindowPrinting, TheCompositePrintsLandscapeInsideTheMargins) {
    SKIP_WITHOUT_XVFB();
    if (::access("/usr/bin/pdftoppm", X_OK) != 0) GTEST_SKIP() << "pdftoppm is not installed (poppler-utils)";
    TempFolder dir;
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1800, 900, marks);
    const std::string pdf = dir.path + "/print.pdf";
    c.frm.VIkPrint1->setPrintFileName(QString::fromStdString(pdf));
    bool dialog = false;
    AnswerModal([&](QWidget* d) {
        dialog = qobject_cast<QPrintDialog*>(d) != nullptr;
        Accept(d);
    });
    c.frm.Print1Click();
    EXPECT_TRUE(dialog);
    EXPECT_EQ(c.frm.VIkPrint1->DocName, "SlateWise");
    const QImage page = renderPdf(pdf, dir.path);
    ASSERT_FALSE(page.isNull()) << "nothing printed";
    EXPECT_GT(page.width(), page.height()) << "landscape";
    const QRect box = inkBox(page);
    ASSERT_FALSE(box.isEmpty());
    // 100 device units at 600 dpi are about 1.3 pixels at 30 dpi: the picture keeps
    // off the paper's edge and, being 2:1 on a wider-than-2:1 area, fills the height.
    EXPECT_GE(box.left(), 1);
    EXPECT_GE(box.top(), 1);
    EXPECT_LE(box.right(), page.width() - 2);
    EXPECT_LE(box.bottom(), page.height() - 2);
    EXPECT_GT(box.width(), page.width() / 2);
    // The screen picture's quadrants are printed inside the outline.
    const int x0 = box.left() + box.width() * 300 / 1800, y0 = box.top() + box.height() * 100 / 900;
    const int w = box.width() * 1000 / 1800, h = box.height() * 700 / 900;
    EXPECT_GT(ShareNear(page, x0 + w / 4, y0 + h / 4, 1, QColor(0, 160, 0)), 0.5);
    EXPECT_GT(ShareNear(page, x0 + 3 * w / 4, y0 + 3 * h / 4, 1, QColor(120, 0, 160)), 0.5);
}

TEST(ImageWindowPrinting, ACancelledPrintDialogPrintsNothing) {
    SKIP_WITHOUT_XVFB();
    TempFolder dir;
    Composite c(1748, 1000);
    const std::string pdf = dir.path + "/print.pdf";
    c.frm.VIkPrint1->setPrintFileName(QString::fromStdString(pdf));
    AnswerModal([](QWidget* d) { Reject(d); });
    c.frm.Print1Click();
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_TRUE(c.notifier.boxes.empty());
}

// ---- Full screen.

TEST(FullScreen, OneToTwoIs1280By640AndTwoThirdsIs1280By853CentredVertically) {
    SKIP_WITHOUT_XVFB();
    const int32_t marks[8] = {300, 1300, 1300, 300, 100, 100, 800, 800};
    Composite c(1800, 900, marks);
    TfrmFull full;
    c.frm.SetFullScreenWindow(&full);
    const QImage sheetBefore = PictureOf(c.frm.SheetImage());
    const QImage layerBefore = PictureOf(c.frm.LayerImage(0));

    c.frm.SpeedButton3Click();
    (void)QTest::qWaitForWindowExposed(&full);
    EXPECT_EQ(full.size(), QSize(1280, 1024));
    EXPECT_EQ(full.VIkDisp1->geometry(), QRect(0, (1024 - 640) / 2, 1280, 640));
    ASSERT_NE(full.VIkDisp1->ImgHandle(), 0u);
    EXPECT_NE(full.VIkDisp1->ImgHandle(), c.frm.SheetImage()) << "a copy";
    QTest::mouseClick(full.VIkDisp1, Qt::LeftButton, {}, QPoint(640, 320));
    EXPECT_FALSE(full.isVisible());
    EXPECT_EQ(full.VIkDisp1->ImgHandle(), 0u);

    c.frm.SpeedButton2Click();
    c.frm.SpeedButton3Click();
    (void)QTest::qWaitForWindowExposed(&full);
    EXPECT_EQ(full.VIkDisp1->geometry(), QRect(0, (1024 - 853) / 2, 1280, 853));
    QTest::mouseClick(&full, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(full.isVisible());
    EXPECT_EQ(PictureOf(c.frm.SheetImage()), sheetBefore);
    EXPECT_EQ(PictureOf(c.frm.LayerImage(0)), layerBefore);
}

TEST(FullScreen, DisplaySizeFollowsTheAspect) {
    EXPECT_EQ(FullScreenDisplaySize(1280, SheetAspect::Half).height, 640);
    EXPECT_EQ(FullScreenDisplaySize(1280, SheetAspect::TwoThirds).height, 853);
    EXPECT_EQ(FullScreenDisplaySize(1024, SheetAspect::TwoThirds).height, 683);
}

// ---- Closing.

TEST(ImageWindowClosing, AnUnsavedCompositeAsksAndNoKeepsItOpen) {
    SKIP_WITHOUT_XVFB();
    Composite c(1748, 1000);
    c.notifier.answer = q47::MsgResult::No;
    EXPECT_FALSE(c.frm.close());
    ASSERT_EQ(c.notifier.boxes.size(), 1u);
    EXPECT_EQ(c.notifier.boxes[0].text, c.frm.Settings().MsgFileNotSave);
    EXPECT_EQ(c.notifier.boxes[0].buttons, q47::MsgButtons::YesNo);
    EXPECT_TRUE(c.frm.isVisible());

    QApplication::setOverrideCursor(Qt::WaitCursor);
    EXPECT_FALSE(c.frm.close());
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(c.notifier.boxes.size(), 1u) << "the busy window refuses silently";

    c.notifier.answer = q47::MsgResult::Yes;
    EXPECT_TRUE(c.frm.close());
    EXPECT_EQ(c.frm.SheetImage(), 0u);
    EXPECT_EQ(c.frm.VIkCapCommon->ImgHandle, 0u);
}

}  // namespace
