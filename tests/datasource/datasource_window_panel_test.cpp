// The data source window driven by its core against the simulated board, on real Qt timers:
// layout per mode, enabled states, lamps, status and caption texts, tips, keys and language.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include "tests/datasource/datasource_window_rig.h"
#include "twain_source/view/panel_controls.h"

namespace q47::test {
namespace {

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

const int kKeys[] = {IdPcScan, IdComp, IdDensity, IdColor, IdStop};

QString labelText(const WindowRig& rig, int id) { return rig.control<QLabel>(id)->text(); }

bool enabled(const WindowRig& rig, int id) { return rig.window->control(id)->isEnabled(); }

// --- full mode ---

TEST(FullPanel, IsLaidOutAtItsPixelPlacesOnceTheBoardAnswers) {
    WindowRig rig(WindowMode::Full);
    rig.window->start();
    EXPECT_FALSE(rig.window->isVisible()) << "nothing shows before the firmware version";
    ASSERT_TRUE(waitUntil([&] { return rig.window->core().scan().standby; }));
    AcquireWindow& w = *rig.window;

    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.objectName(), "AcquireDialog");
    EXPECT_EQ(w.size(), QSize(370, 211));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(236, 233, 216));

    const std::pair<int, QRect> places[] = {
        {IdHeader, QRect(20, 2, 324, 36)},      {IdPcScan, QRect(12, 40, 54, 58)},
        {IdComp, QRect(84, 40, 54, 58)},        {IdDensity, QRect(156, 40, 54, 58)},
        {IdColor, QRect(228, 40, 54, 58)},      {IdStop, QRect(300, 40, 54, 58)},
        {IdLabelPcScan, QRect(4, 104, 70, 14)}, {IdLabelComp, QRect(76, 104, 70, 14)},
        {IdLabelDensity, QRect(168, 104, 49, 14)}, {IdLabelColor, QRect(240, 104, 42, 14)},
        {IdLabelStop, QRect(306, 104, 42, 14)}, {IdLabelAspect, QRect(4, 120, 126, 14)},
        {IdStatus, QRect(4, 160, 355, 21)},     {IdFirmVersion, QRect(20, 128, 200, 24)},
        {IdDeviceType, QRect(134, 138, 220, 22)}, {IdGroupRes, QRect(20, 170, 120, 46)},
        {IdRadioRes1, QRect(50, 140, 64, 24)},  {IdProgress, QRect(3, 186, 296, 20)},
        {IdClose, QRect(303, 184, 58, 24)},
    };
    for (const auto& [id, rect] : places) {
        ASSERT_NE(w.control(id), nullptr) << id;
        EXPECT_EQ(w.control(id)->geometry(), rect) << "control " << id;
        EXPECT_EQ(w.control(id)->objectName(), QString("IDC_%1").arg(id));
    }
    auto* densityLamp = w.findChild<QLabel*>("LED_DENSITY");
    auto* colourLamp = w.findChild<QLabel*>("LED_COLOR");
    ASSERT_TRUE(densityLamp && colourLamp);
    EXPECT_EQ(densityLamp->geometry(), QRect(156, 104, 12, 11));
    EXPECT_EQ(colourLamp->geometry(), QRect(228, 104, 12, 11));

    for (int id : {IdHeader, IdPcScan, IdComp, IdDensity, IdColor, IdStop, IdLabelPcScan,
                   IdLabelComp, IdLabelDensity, IdLabelColor, IdLabelStop, IdLabelAspect, IdStatus,
                   IdDeviceType, IdClose})
        EXPECT_TRUE(w.control(id)->isVisible()) << "shown: " << id;
    EXPECT_TRUE(densityLamp->isVisible() && colourLamp->isVisible());
    for (int id : {IdAcquire, IdRadioRes1, IdRadioRes2, IdFirmVersion, IdGroupRes, IdProgress})
        EXPECT_FALSE(w.control(id)->isVisible()) << "never shown in a ready panel: " << id;
}

TEST(FullPanel, ReadyPanelShowsTheBoardAndTheSettingsTexts) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    ASSERT_TRUE(waitUntil([&] { return labelText(rig, IdStatus) == " Ready"; }));
    AcquireWindow& w = *rig.window;
    EXPECT_EQ(w.windowTitle(), "Q-47 Series TWAIN Driver Ver.1.00");
    EXPECT_EQ(labelText(rig, IdHeader), "ZELT SLATEWISE Q-47");
    EXPECT_EQ(labelText(rig, IdLabelPcScan), "PC");
    EXPECT_EQ(labelText(rig, IdLabelComp), "COMP");
    EXPECT_EQ(labelText(rig, IdLabelDensity), "DENSITY");
    EXPECT_EQ(labelText(rig, IdLabelColor), "COLOR");
    EXPECT_EQ(labelText(rig, IdLabelStop), "STOP");
    EXPECT_EQ(labelText(rig, IdLabelAspect), "Aspect Ratio");
    EXPECT_EQ(labelText(rig, IdDeviceType), "Model: Q-47W   Version: Ver 1.00");
    EXPECT_EQ(labelText(rig, IdFirmVersion), "Version: Ver 1.00");
    EXPECT_EQ(rig.control<QPushButton>(IdClose)->text(), "Close");
    EXPECT_EQ(rig.control<QPushButton>(IdAcquire)->text(), "Acquire");
    EXPECT_TRUE(rig.control<QRadioButton>(IdRadioRes1)->isChecked());

    // [FontInfo]: header black 14 pt bold, labels red, the status line grey.
    auto* header = static_cast<ColorLabel*>(w.control(IdHeader));
    EXPECT_EQ(header->textColour(), QColor(0, 0, 0));
    EXPECT_EQ(header->font().pointSize(), 14);
    EXPECT_EQ(header->font().weight(), QFont::Bold);
    for (int id : {IdLabelPcScan, IdLabelComp, IdLabelDensity, IdLabelColor, IdLabelStop,
                   IdLabelAspect}) {
        auto* l = static_cast<ColorLabel*>(w.control(id));
        EXPECT_EQ(l->textColour(), QColor(255, 0, 0)) << id;
        EXPECT_EQ(l->font().pointSize(), 8);
        EXPECT_EQ(l->font().weight(), QFont::Medium);  // 500
    }
    auto* status = static_cast<ColorLabel*>(w.control(IdStatus));
    EXPECT_EQ(status->textColour(), QColor(120, 120, 120));
    EXPECT_EQ(status->font().weight(), QFont::DemiBold);  // 600
    EXPECT_EQ(w.menuAction(IdMenuEnglish)->text(), "ENGLISH");
    EXPECT_EQ(w.menuAction(IdMenuJapanese)->text(), "JAPANESE");
    EXPECT_EQ(w.menuAction(IdMenuChinese)->text(), "CHINESE");
}

TEST(FullPanel, ColoursAndFontsComeFromTheSettingsFile) {
    WindowRig rig(WindowMode::Full);
    writeFile(rig.dir / "Q47Tw.ini",
              "[FontInfo]\nCaptionFontColor____=10,20\nImageFaceFontColor__=300,0,0\n"
              "StatusLblFontSize___=11\nStatusLblFontWeight_=0\n[MainDialog]\n"
              "DefaultFontSize_____=10\nMainCaption_________=Copyboard\n");
    ASSERT_TRUE(rig.openReady());
    AcquireWindow& w = *rig.window;
    EXPECT_EQ(static_cast<ColorLabel*>(w.control(IdHeader))->textColour(), QColor(10, 0, 20));
    EXPECT_EQ(static_cast<ColorLabel*>(w.control(IdLabelStop))->textColour(), QColor(44, 0, 0));
    EXPECT_EQ(w.control(IdStatus)->font().pointSize(), 11);
    EXPECT_EQ(w.control(IdStatus)->font().weight(), QFont::Normal);
    EXPECT_EQ(labelText(rig, IdHeader), "Copyboard");
    // The dialog font: 10 points on the dialog and the template's controls.
    EXPECT_EQ(w.font().pointSize(), 10);
    EXPECT_EQ(w.control(IdClose)->font().pointSize(), 10);
    EXPECT_EQ(w.control(IdDeviceType)->font().pointSize(), 10);
}

TEST(FullPanel, ModelWEnablesCompAndModelSKeepsItDisabled) {
    for (char letter : {'W', 'S'}) {
        WindowRig rig(WindowMode::Full, quickBoard(letter));
        ASSERT_TRUE(rig.openReady()) << letter;
        ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdPcScan); })) << letter;
        EXPECT_EQ(enabled(rig, IdComp), letter == 'W') << letter;
        EXPECT_TRUE(enabled(rig, IdDensity));
        EXPECT_TRUE(enabled(rig, IdColor));
        EXPECT_FALSE(enabled(rig, IdStop));
        EXPECT_TRUE(enabled(rig, IdClose));
        EXPECT_FALSE(rig.window->control(IdProgress)->isVisible());
        auto* comp = static_cast<PictureButton*>(rig.window->control(IdComp));
        EXPECT_EQ(comp->currentFace() == KeyFace::Disabled, letter == 'S');
    }
}

TEST(FullPanel, ABusyBoardBlocksTheKeysUntilStopEndsIt) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    rig.simulator.setState(board::StatePrint, 40);
    ASSERT_TRUE(waitUntil([&] { return labelText(rig, IdStatus) == " Print is in progress..."; }));
    for (int id : {IdPcScan, IdComp, IdDensity, IdColor}) EXPECT_FALSE(enabled(rig, id)) << id;
    EXPECT_TRUE(enabled(rig, IdStop));
    EXPECT_TRUE(rig.window->control(IdProgress)->isVisible());

    // A click on the drawn STOP key reaches the board, which returns to standby.
    QTest::mouseClick(rig.window->control(IdStop), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return labelText(rig, IdStatus) == " Ready"; }));
    EXPECT_TRUE(enabled(rig, IdPcScan));
    EXPECT_FALSE(enabled(rig, IdStop));
    EXPECT_FALSE(rig.window->control(IdProgress)->isVisible());
}

TEST(FullPanel, LampsFollowTheBoardAndTheKeys) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    AcquireWindow& w = *rig.window;
    EXPECT_FALSE(w.lampOn(IdDensity));
    EXPECT_FALSE(w.lampOn(IdColor));
    auto lampColour = [&](const char* name) {
        const QImage img = w.findChild<QLabel*>(name)->pixmap().toImage();
        return QColor(img.pixel(6, 6));
    };
    const QColor offColour = lampColour("LED_DENSITY");

    QTest::mouseClick(w.control(IdDensity), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return w.lampOn(IdDensity); }));
    EXPECT_FALSE(w.lampOn(IdColor));
    EXPECT_GT(lampColour("LED_DENSITY").green(), lampColour("LED_DENSITY").red() + 100);
    EXPECT_EQ(lampColour("LED_COLOR"), offColour);

    rig.simulator.setLamps(true, false);  // COLOR pressed on the board itself
    ASSERT_TRUE(waitUntil([&] { return w.lampOn(IdColor) && !w.lampOn(IdDensity); }));
    EXPECT_EQ(lampColour("LED_DENSITY"), offColour);
}

TEST(FullPanel, PcScanButtonAcquiresTheSheet) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    QTest::mouseClick(rig.window->control(IdPcScan), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return rig.twain.ready == 1; }, 30000));
    EXPECT_TRUE(rig.globals.imageBuffer.pendingImage);
    ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdPcScan); }));
}

TEST(FullPanel, EscapeAndTheCloseBoxCancelButLeaveTheWindowToTheTwainSide) {
    WindowRig rig(WindowMode::Full);
    rig.twain.onClose = nullptr;  // the application does not disable the source yet
    ASSERT_TRUE(rig.openReady());
    QTest::keyClick(rig.window.get(), Qt::Key_Escape);
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_TRUE(rig.window->isVisible());
    // The caption's close box: a close event that comes from the window system.
    QCloseEvent closeBox;
    QSpontaneKeyEvent::setSpontaneous(&closeBox);
    static_cast<QObject*>(rig.window.get())->event(&closeBox);
    EXPECT_FALSE(closeBox.isAccepted());
    EXPECT_EQ(rig.twain.closes, 2);
    EXPECT_TRUE(rig.window->isVisible());
    QTest::mouseClick(rig.window->control(IdClose), Qt::LeftButton);
    EXPECT_EQ(rig.twain.closes, 3);
}

TEST(FullPanel, ACloseAskedByTheProgramIsTakenWithoutCancelling) {
    // An application that quits closes every window first and gives up when one
    // refuses; the window must not hold it up (the thread test quits for real).
    WindowRig rig(WindowMode::Full);
    rig.twain.onClose = nullptr;
    ASSERT_TRUE(rig.openReady());
    EXPECT_TRUE(rig.window->close());
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(rig.twain.closes, 0);
    EXPECT_FALSE(rig.window->core().destroyed());
}

TEST(FullPanel, HoveringAButtonFocusesItAndShowsItsTipMovingAwayHidesIt) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdPcScan); }));
    AcquireWindow& w = *rig.window;
    QWidget* pcScan = w.control(IdPcScan);
    EXPECT_EQ(pcScan->cursor().hotSpot(), QPoint(13, 6)) << "the hand over the buttons";

    QTest::mouseMove(pcScan, QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == IdPcScan; }, 2000));
    EXPECT_TRUE(pcScan->hasFocus());
    EXPECT_EQ(static_cast<PictureButton*>(pcScan)->currentFace(), KeyFace::Focused);
    EXPECT_EQ(w.tips().shownRect(), QRect(39, 69, 130, 25));
    EXPECT_EQ(w.tips().entry(IdPcScan)->lines, QStringList{"Scan image to PC"});
    EXPECT_EQ(w.tips().entry(IdPcScan)->background, QColor(255, 255, 220));

    // The tip is drawn above the buttons.
    const QImage shot = w.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(160, 90)), QColor(255, 255, 220));

    QTest::mouseMove(&w, QPoint(362, 130));  // the dialog itself
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == 0; }, 2000));
    // Over a static text the move goes to the dialog as well.
    QTest::mouseMove(pcScan, QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == IdPcScan; }, 2000));
    QTest::mouseMove(&w, QPoint(200, 150));  // the model line
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == 0; }, 2000));
    EXPECT_NE(QColor(w.grab().toImage().pixel(160, 90)), QColor(255, 255, 220));
}

TEST(FullPanel, TheStopTipOpensToTheLeftOfItsButton) {
    WindowRig rig(WindowMode::Full);
    ASSERT_TRUE(rig.openReady());
    rig.simulator.setState(board::StateFeed);
    ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdStop); }));
    AcquireWindow& w = *rig.window;
    QTest::mouseMove(w.control(IdStop), QPoint(27, 29));
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == IdStop; }, 2000));
    const QRect tip = w.tips().shownRect();
    EXPECT_EQ(tip.x() + tip.width(), 327);
    EXPECT_EQ(tip.width(), 100);  // "Stop ongoing"
}

TEST(FullPanel, RightClickOpensTheLanguageMenu) {
    WindowRig rig(WindowMode::Full);
    AcquireWindow& w = *rig.window;
    EXPECT_EQ(w.menuAction(IdMenuEnglish)->text(), "&English");
    EXPECT_EQ(w.menuAction(IdMenuJapanese)->text(), "&Japanese");
    EXPECT_EQ(w.menuAction(IdMenuChinese)->text(), "&Chinese");
    ASSERT_TRUE(rig.openReady());
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(200, 150),
                            w.mapToGlobal(QPoint(200, 150)));
    QApplication::sendEvent(w.control(IdStatus), &click);  // over a control: it reaches the dialog
    ASSERT_TRUE(waitUntil([&] { return w.languageMenu()->isVisible(); }, 2000));
    EXPECT_EQ(w.languageMenu()->actions().size(), 3);
    w.languageMenu()->hide();
}

// The texts of a shipped language file, read from a copy.
Texts shippedTexts(const TempDir& dir, const std::string& code) {
    writeFile(dir / code / "Q47Tw.ini", readFile(shippedLanguageFile(code)));
    return SettingsFile(dir / code / "Q47Tw.ini").loadTexts();
}

TEST(FullPanel, ChoosingJapaneseReplacesEveryTextAtOnce) {
    WindowRig rig(WindowMode::Full);
    for (const char* code : {"ENG", "JPN", "CHS"})
        writeFile(rig.dir / "Loc" / code / "Q47Tw.ini", readFile(shippedLanguageFile(code)));
    TempDir other;
    const Texts jpn = shippedTexts(other, "JPN");
    const Texts eng = shippedTexts(other, "ENG");
    auto q = [](const Texts& t, const char* key) { return QString::fromStdString(t.text(key)); };
    ASSERT_NE(jpn.text("MainCaption") + jpn.text("ToolTipStop"),
              eng.text("MainCaption") + eng.text("ToolTipStop"));

    ASSERT_TRUE(rig.openReady());
    ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdPcScan); }));
    AcquireWindow& w = *rig.window;
    QTest::mouseMove(w.control(IdPcScan), QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return w.tips().shownId() == IdPcScan; }, 2000));

    w.menuAction(IdMenuJapanese)->trigger();

    EXPECT_EQ(w.windowTitle(), q(jpn, "DialogTitle"));
    EXPECT_EQ(w.menuAction(IdMenuEnglish)->text(), q(jpn, "MenuEnglish"));
    EXPECT_EQ(w.menuAction(IdMenuJapanese)->text(), q(jpn, "MenuJapanese"));
    EXPECT_EQ(w.menuAction(IdMenuChinese)->text(), q(jpn, "MenuChinese"));
    const std::pair<int, const char*> labels[] = {
        {IdHeader, "MainCaption"},        {IdLabelComp, "LabelComp"},
        {IdLabelPcScan, "LabelPCScan"},   {IdLabelDensity, "LabelDensityHigh"},
        {IdLabelColor, "LabelColor"},     {IdLabelStop, "LabelStop"},
        {IdLabelAspect, "LabelAspect"}};
    for (const auto& [id, key] : labels) EXPECT_EQ(labelText(rig, id), q(jpn, key)) << key;
    EXPECT_EQ(labelText(rig, IdDeviceType), q(jpn, "LabelDeviceType") + " Q-47W   " +
                                                 q(jpn, "LabelFirmVersion") + " Ver 1.00");
    EXPECT_EQ(rig.control<QPushButton>(IdClose)->text(), q(jpn, "ButtonClose"));
    const std::pair<int, const char*> tips[] = {{IdComp, "ToolTipComp"},
                                                {IdPcScan, "ToolTipPCScan"},
                                                {IdDensity, "ToolTipDensity"},
                                                {IdColor, "ToolTipColor"},
                                                {IdStop, "ToolTipStop"}};
    for (const auto& [id, key] : tips)
        EXPECT_EQ(w.tips().entry(id)->lines, QStringList{q(jpn, key)}) << key;
    // The tip on screen took its new text and size.
    EXPECT_EQ(w.tips().shownId(), IdPcScan);
    EXPECT_EQ(w.tips().shownRect().width(), int(10 + 7.5 * q(jpn, "ToolTipPCScan").size()));

    // And back: the English texts return.
    w.menuAction(IdMenuEnglish)->trigger();
    EXPECT_EQ(labelText(rig, IdHeader), q(eng, "MainCaption"));
    EXPECT_EQ(w.tips().entry(IdStop)->lines, QStringList{q(eng, "ToolTipStop")});
}

TEST(FullPanel, AFailedOpenShowsTheExclamationBoxAndAsksToBeClosed) {
    // Real boxes, although the offscreen platform would send them to standard error.
    setMessageBoxesUnseen(false);
    struct Restore {
        ~Restore() { setMessageBoxesByPlatform(); }
    } restore;
    TempDir dir;
    RecordingTwainSide twain;
    SourceGlobals globals;
    AcquireWindow w(WindowMode::Full, twain, globals, SettingsFile(dir / "Q47Tw.ini"),
                    "sim:" + (dir / "nobody.sock").string());
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->accept();
        }
    });
    poll.start(20);
    w.start();
    EXPECT_EQ(caption, "Q47tw");
    EXPECT_EQ(text, "USB could not be opened !");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Ok);
    // The close request is posted: it reaches the application after MSG_ENABLEDS.
    EXPECT_EQ(twain.closes, 0);
    EXPECT_TRUE(waitUntil([&] { return twain.closes == 1; }, 2000));
    EXPECT_FALSE(w.isVisible());
}

// --- progress-only and hidden modes ---

TEST(ProgressOnlyWindow, IsSmallCentredWithoutSystemMenuAndCarriesTheStatusInItsCaption) {
    WindowRig rig(WindowMode::ProgressOnly);
    QStringList captions;
    QObject::connect(rig.window.get(), &QWidget::windowTitleChanged,
                     [&](const QString& t) { captions << t; });
    AcquireWindow& w = *rig.window;
    w.start();
    ASSERT_TRUE(waitUntil([&] { return w.isVisible(); }));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w.size(), QSize(460, 100));
    EXPECT_EQ(w.pos(), QPoint((screen.width() - 460) / 2, (screen.height() - 460) / 2));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w.control(IdProgress)->geometry(), QRect(20, 20, 420, 20));
    EXPECT_EQ(w.control(IdClose)->geometry(), QRect(201, 65, 58, 24));
    for (int id : kKeys) EXPECT_FALSE(w.control(id)->isVisible()) << id;
    for (int id : {IdHeader, IdStatus, IdDeviceType, IdFirmVersion, IdGroupRes, IdLabelStop})
        EXPECT_FALSE(w.control(id)->isVisible()) << id;
    EXPECT_FALSE(w.findChild<QLabel*>("LED_COLOR")->isVisible());

    // Without the panel the source scans by itself; Close is the way out meanwhile.
    ASSERT_TRUE(waitUntil([&] { return w.core().scan().busy; }, 20000));
    EXPECT_TRUE(w.control(IdClose)->isEnabled());
    EXPECT_TRUE(w.control(IdProgress)->isVisible());
    ASSERT_TRUE(waitUntil([&] { return rig.twain.ready == 1; }, 30000));
    EXPECT_EQ(rig.control<QPushButton>(IdClose)->text(), "Close");  // ButtonClose2

    const QRegularExpression transfer("^Image transfer is in progress\\.\\.\\.  (\\d+)% Completed\\.$");
    // The image's blocks count up to 100 percent in the caption.
    int partway = 0, lastPercent = -1;
    for (const auto& c : captions) {
        const auto m = transfer.match(c);
        if (!m.hasMatch()) continue;
        lastPercent = m.captured(1).toInt();
        partway += lastPercent > 0 && lastPercent < 100;
    }
    EXPECT_GT(partway, 0) << captions.join(" | ").toStdString();
    EXPECT_EQ(lastPercent, 100);
    EXPECT_FALSE(
        captions.filter(QRegularExpression("^Acquiring image from Q-47\\.\\.\\.  \\d+% Completed\\.$"))
            .isEmpty());
    EXPECT_FALSE(w.control(IdStatus)->isVisible());
}

TEST(ProgressOnlyWindow, CloseCancelsTheRunningScan) {
    sim::Config slow = quickBoard();
    slow.scanPolls = 30;
    WindowRig rig(WindowMode::ProgressOnly, slow);
    rig.twain.onClose = nullptr;
    rig.window->start();
    ASSERT_TRUE(waitUntil([&] { return rig.window->core().scan().busy; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return enabled(rig, IdClose); }));
    QTest::mouseClick(rig.window->control(IdClose), Qt::LeftButton);
    EXPECT_EQ(rig.twain.closes, 1);
    EXPECT_EQ(rig.twain.ready, 0);
    EXPECT_EQ(rig.simulator.withBoard([](const sim::Board& b) { return b.state(); }),
              board::StateStandby);
}

TEST(ProgressOnlyWindow, TheBarStopsAtItsEnds) {
    WindowRig rig(WindowMode::ProgressOnly);
    auto* bar = rig.control<QProgressBar>(IdProgress);
    rig.window->showProgress(255);  // a byte from the board
    EXPECT_EQ(bar->value(), 100);
    rig.window->showProgress(37);
    EXPECT_EQ(bar->value(), 37);
    rig.window->showProgress(-4);
    EXPECT_EQ(bar->value(), 0);
}

TEST(HiddenWindow, NeverShowsYetAcquires) {
    WindowRig rig(WindowMode::Hidden);
    bool everShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { everShown |= rig.window->isVisible(); });
    watch.start(5);
    rig.window->start();
    ASSERT_TRUE(waitUntil([&] { return rig.twain.ready == 1; }, 30000));
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(rig.window->size(), QSize(460, 100));
    // The status goes to the (hidden) status line, not the caption.
    EXPECT_TRUE(labelText(rig, IdStatus).startsWith(" "));
    EXPECT_NE(rig.window->windowTitle(), "Image transfer is in progress...");
}

}  // namespace
}  // namespace q47::test
