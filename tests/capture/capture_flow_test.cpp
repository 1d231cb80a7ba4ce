// The scan button's capture flow over recording windows: which steps run in which order,
// which message each failure shows, and that Timer1 and the buttons come back on every path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_flow.h"
#include "capture/monitor_names.h"

namespace q47::capture {
namespace {

// Bar and image window in one recorder: every call appends a word to `log`.
struct Windows : CaptureBar, CaptureImages {
    std::vector<std::string> log;
    void note(const std::string& s) { log.push_back(s); }

    // What the rig answers.
    CaptureKind kind = CaptureKind::Composite;
    bool imgVisible = false, unsaved = true;
    int capture = 0, open = 0, scanResult = 0, detect = 0, save = 0;
    bool busyAfterScan = false;
    SaveChoice choice;
    std::string dialogFolder, dialogName, dialogExt;
    bool timerRunning = true, buttonsOn = true, barShown = true;

    void stopTimer1() override { timerRunning = false, note("stopTimer1"); }
    void startTimer1() override { timerRunning = true, note("startTimer1"); }
    void enableBarButtons(bool on) override { buttonsOn = on, note(on ? "buttonsOn" : "buttonsOff"); }
    CaptureKind askCaptureKind() override { return note("ask"), kind; }
    void showBar(bool shown) override { barShown = shown, note(shown ? "showBar" : "hideBar"); }
    void rememberBarPosition() override { note("remember"); }
    void restoreBarPosition() override { note("restorePos"); }
    void processEvents() override {}
    void waitMilliseconds(int ms) override { note("wait" + std::to_string(ms)); }
    void cycleTopmost() override { note("cycleTopmost"); }
    SaveChoice saveDialog(const std::string& folder, const std::string& name,
                          const std::string& ext) override {
        dialogFolder = folder, dialogName = name, dialogExt = ext;
        note("saveDialog");
        return choice;
    }
    void restoreApplication() override {}

    bool visible() const override { return imgVisible; }
    bool compositeUnsaved() const override { return unsaved; }
    void resetProgress() override { note("resetProgress"); }
    void setProgress(int) override {}
    void progressToMaximum() override {}
    int CaptureMonitor(int i) override { return note("capture" + std::to_string(i)), capture; }
    int OpenAcquisition() override { return note("open"), open; }
    int ScanSheet() override { return note("scan"), scanResult; }
    bool scanBusy() const override { return busyAfterScan; }
    void closeFullScreenIfVisible() override { note("closeFull"); }
    void redisplay() override { note("redisplay"); }
    void ReleaseAllImages() override { note("release"); }
    void TakeSheetImage(bool keep) override { note(keep ? "takeKeep" : "takeDiscard"); }
    void showComposite() override { note("showComposite"); }
    int DetectMarks(int c) override { return note("detect" + std::to_string(c)), detect; }
    void restoreFromMinimised() override {}
    void ComposeImages() override { note("compose"); }
    int SaveImage(const std::string& n, int t) override {
        return note("save " + std::filesystem::path(n).filename().string() + " " + std::to_string(t)), save;
    }
};

struct Rig {
    AppSettings settings;
    Windows w;
    RecordingNotifier notifier;
    CaptureState state;
    CaptureFlow flow{settings, state, w, w, notifier};
    Rig() {
        settings.SelectMonitor = 1;
        settings.SelectMark = 3;
        settings.CaptureWait = 120;
    }
    bool has(const std::string& s) const {
        for (const auto& l : w.log)
            if (l == s) return true;
        return false;
    }
    size_t at(const std::string& s) const {
        for (size_t i = 0; i < w.log.size(); ++i)
            if (w.log[i] == s) return i;
        return w.log.size();
    }
    // Timer, buttons and bar are as before the flow.
    void expectBarRestored() const {
        EXPECT_TRUE(w.timerRunning);
        EXPECT_TRUE(w.buttonsOn);
        EXPECT_TRUE(w.barShown);
        EXPECT_EQ(w.log.back(), "startTimer1");
    }
};

TEST(CaptureFlow, CompositeHidesTheBarForTheScreenCopyThenScansDetectsAndComposes) {
    Rig r;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::Composed);
    const std::vector<std::string> expected = {
        "stopTimer1", "remember", "resetProgress", "buttonsOff", "ask", "hideBar", "wait120",
        "capture1", "showBar", "restorePos", "open", "scan", "closeFull", "release", "takeKeep",
        "showComposite", "detect3", "compose", "buttonsOn", "startTimer1"};
    EXPECT_EQ(r.w.log, expected);
    EXPECT_TRUE(r.notifier.boxes.empty());
    r.expectBarRestored();
}

TEST(CaptureFlow, ACompositeAlreadyShownIsReusedAndAFailedDetectionComposesNothing) {
    Rig r;
    r.w.imgVisible = true;
    r.w.unsaved = false;  // saved: no question
    r.w.detect = -1;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::Composed);
    EXPECT_FALSE(r.has("showComposite"));
    EXPECT_FALSE(r.has("compose"));
    EXPECT_TRUE(r.notifier.boxes.empty());
    r.expectBarRestored();
}

TEST(CaptureFlow, NoToTheUnsavedQuestionEndsBeforeTheScreenIsCopied) {
    Rig r;
    r.w.imgVisible = true;
    r.notifier.answer = MsgResult::No;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::KeptUnsaved);
    ASSERT_EQ(r.notifier.boxes.size(), 1u);
    EXPECT_EQ(r.notifier.boxes[0].text, r.settings.MsgFileNotSave);
    EXPECT_EQ(r.notifier.boxes[0].caption, r.settings.MsgConfirmation);
    EXPECT_EQ(r.notifier.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_FALSE(r.has("hideBar"));
    EXPECT_FALSE(r.has("capture1"));
    r.expectBarRestored();

    r.w.log.clear();
    r.notifier.answer = MsgResult::Yes;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::Composed);
    EXPECT_TRUE(r.has("capture1"));
}

TEST(CaptureFlow, TheQuestionClosedWithoutAnswerStartsNoCapture) {
    Rig r;
    r.w.kind = CaptureKind::NoAnswer;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::NoAnswer);
    EXPECT_EQ(r.w.log, (std::vector<std::string>{"stopTimer1", "remember", "resetProgress",
                                                 "buttonsOff", "ask", "buttonsOn", "startTimer1"}));
    EXPECT_TRUE(r.notifier.boxes.empty());
}

// Each failure shows its own text once, with the caption and an OK button, and leaves the
// bar usable; nothing after the failing step runs.
TEST(CaptureFlow, EveryFailureShowsItsMessageAndGivesTheBarBack) {
    struct Case {
        const char* name;
        CaptureKind kind;
        void (*arrange)(Windows&);
        CaptureOutcome outcome;
        std::string AppSettings::*text;
        const char* notAfter;
    };
    const Case cases[] = {
        {"capture", CaptureKind::Composite, [](Windows& w) { w.capture = 1; },
         CaptureOutcome::CaptureFailed, &AppSettings::MsgCaptureErr, "open"},
        {"init", CaptureKind::Composite, [](Windows& w) { w.open = 3; }, CaptureOutcome::InitFailed,
         &AppSettings::MsgInitScanErr, "scan"},
        {"init sheet", CaptureKind::SheetOnly, [](Windows& w) { w.open = 3; },
         CaptureOutcome::InitFailed, &AppSettings::MsgInitScanErr, "scan"},
        {"no source", CaptureKind::Composite, [](Windows& w) { w.scanResult = 4; },
         CaptureOutcome::ScanFailed, &AppSettings::MsgExecScanErr, "takeKeep"},
        {"open source", CaptureKind::SheetOnly, [](Windows& w) { w.scanResult = 5; },
         CaptureOutcome::ScanFailed, &AppSettings::MsgExecScanErr, "saveDialog"},
        {"scan", CaptureKind::SheetOnly, [](Windows& w) { w.scanResult = 6; },
         CaptureOutcome::ScanFailed, &AppSettings::MsgExecScanErr, "saveDialog"},
        {"save", CaptureKind::SheetOnly,
         [](Windows& w) {
             w.save = 8;
             w.choice = {true, "/tmp/x/Q47.PNG", kSavePng};
         },
         CaptureOutcome::SaveFailed, &AppSettings::MsgFileSaveErr, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.w.kind = c.kind;
        c.arrange(r.w);
        EXPECT_EQ(r.flow.SpeedButton1Click(), c.outcome);
        ASSERT_EQ(r.notifier.boxes.size(), 1u);
        EXPECT_EQ(r.notifier.boxes[0].text, r.settings.*c.text);
        EXPECT_EQ(r.notifier.boxes[0].caption, r.settings.MsgConfirmation);
        EXPECT_EQ(r.notifier.boxes[0].buttons, MsgButtons::Ok);
        EXPECT_FALSE(r.has(c.notAfter));
        r.expectBarRestored();
    }
}

TEST(CaptureFlow, AFailedScreenCopyOnTheProjectorMonitorStillBringsTheBarBack) {
    Rig r;
    r.settings.SelectMonitor = 7;
    r.w.capture = 1;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::CaptureFailed);
    EXPECT_TRUE(r.has("capture7"));
    EXPECT_GT(r.at("showBar"), r.at("capture7"));
    r.expectBarRestored();
}

TEST(CaptureFlow, AScanWithoutAnImageOnlyRedisplays) {
    Rig r;
    r.w.busyAfterScan = true;
    r.w.imgVisible = true;
    r.w.unsaved = false;
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::NoImage);
    EXPECT_TRUE(r.has("redisplay"));
    EXPECT_FALSE(r.has("release"));
    EXPECT_TRUE(r.notifier.boxes.empty());
    r.expectBarRestored();
}

TEST(CaptureFlow, SheetOnlySavesUnderTheGeneratedNameAndRemembersFolderAndType) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("q47_flow_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir / "chosen");
    Rig r;
    r.state.saveFolder = dir.string();
    r.w.kind = CaptureKind::SheetOnly;
    r.w.choice = {true, (dir / "chosen" / "sheet.PNG").string(), kSavePng};
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::Saved);
    EXPECT_FALSE(r.has("hideBar"));  // the screen is not photographed
    EXPECT_EQ(r.w.dialogFolder, dir.string());
    EXPECT_EQ(r.w.dialogName, MakeFileName(dir, kSaveJpeg));
    EXPECT_EQ(r.w.dialogExt, "*;JPG;PNG;");
    EXPECT_TRUE(r.has("save sheet.PNG 5"));
    EXPECT_GT(r.at("takeDiscard"), r.at("save sheet.PNG 5"));
    EXPECT_LT(r.at("cycleTopmost"), r.at("saveDialog"));
    EXPECT_EQ(r.state.saveFolder, (dir / "chosen").string());
    EXPECT_EQ(r.state.lastSaveType, kSavePng);
    r.expectBarRestored();

    // The next dialog starts where the last one ended, PNG first.
    r.w.log.clear();
    r.w.choice = {};
    EXPECT_EQ(r.flow.SpeedButton1Click(), CaptureOutcome::SaveCancelled);
    EXPECT_EQ(r.w.dialogFolder, (dir / "chosen").string());
    EXPECT_EQ(r.w.dialogExt, "*;PNG;JPG;");
    EXPECT_EQ(r.w.dialogName, MakeFileName(dir / "chosen", kSavePng));
    EXPECT_TRUE(r.has("takeDiscard"));
    EXPECT_EQ(r.state.saveFolder, (dir / "chosen").string());  // unchanged by a cancel
    std::filesystem::remove_all(dir);
}

TEST(MonitorNames, DeviceNamesGetTheEntryOfTheFirstDigitTested) {
    EXPECT_EQ(MonitorDeviceName(0), "\\\\.\\DISPLAY1");
    EXPECT_EQ(ComboDisplayIndex(MonitorDeviceName(0)), 0);
    EXPECT_EQ(ComboDisplayIndex(MonitorDeviceName(1)), 1);
    EXPECT_EQ(ComboDisplayIndex("\\\\.\\DISPLAY12"), 0);
    EXPECT_EQ(ComboDisplayIndex("\\\\.\\DISPLAY5"), 4);
    EXPECT_EQ(ComboDisplayIndex("\\\\.\\DISPLAY7"), -1);
    EXPECT_EQ(ComboDisplayIndex("\\\\1\\DISPLAY"), -1);  // only the part after the last backslash
}

}  // namespace
}  // namespace q47::capture
