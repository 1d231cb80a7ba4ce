// Apply, OK, Reset and change tracking of the five board settings and the board clock.
#include <gtest/gtest.h>

#include "tests/utility/utility_rig.h"

namespace q47::test {
namespace {

using B = std::vector<uint8_t>;

TEST(Apply, TwiceQueuesTwelveSetCommandsEachSentAndAcknowledged) {
    Rig rig;
    rig.start();
    rig.dialog->selectSetting(Paper, 1);
    rig.dialog->selectSetting(Stamp, 0);
    rig.dialog->setPickerClock({2031, 7, 4, 13, 45});
    EXPECT_TRUE(rig.view.controls.apply);
    rig.simulator.clearReceived();
    rig.dialog->apply();
    rig.dialog->apply();
    EXPECT_FALSE(rig.view.controls.apply);
    EXPECT_FALSE(rig.view.controls.ok);  // disabled until the board reports ready again
    ASSERT_TRUE(rig.runUntil([&] { return rig.commands().size() >= 12; }, 5000));
    rig.clock.advance(50);
    const std::vector<B> once = {{2, 0, 0, 0, 6, 1},  {2, 0, 0, 0, 17, 1},
                                 {2, 0, 0, 0, 18, 1}, {2, 0, 0, 0, 19, 0},
                                 {2, 0, 0, 0, 20, 0}, {7, 0, 0, 0, 5, 0xEF, 0x07, 7, 4, 13, 45}};
    std::vector<B> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(rig.commands(), twice);
    EXPECT_EQ(rig.dialog->mismatches(), 0);
    EXPECT_EQ(rig.dialog->committedValue(Paper), 1);
    EXPECT_EQ(rig.dialog->committedValue(Stamp), 0);
    rig.simulator.withBoard([](const sim::Board& b) {
        EXPECT_EQ(b.setting(sim::PaperSize), 1);
        EXPECT_EQ(b.setting(sim::TimeStamp), 0);
        EXPECT_EQ(b.clock().year, 2031);
        EXPECT_EQ(b.clock().minute, 45);
    });
    // The link goes back to polling and the controls come back with the next ready status.
    ASSERT_TRUE(rig.runUntil([&] { return rig.view.controls.ok; }, 5000));
    EXPECT_FALSE(rig.dialog->dirty());
}

TEST(Ok, EndsOnlyWhenTheClockCommandIsAcknowledged) {
    Rig rig;
    rig.start();
    rig.dialog->selectSetting(Margin, 1);
    size_t commandsAtEnd = 0;
    rig.simulator.clearReceived();
    rig.dialog->ok();
    EXPECT_TRUE(rig.dialog->closeAfterClock());
    ASSERT_TRUE(rig.runUntil(
        [&] {
            if (!rig.dialog->ended()) EXPECT_FALSE(rig.view.saw("end"));
            commandsAtEnd = rig.commands().size();
            return rig.dialog->ended();
        },
        5000));
    EXPECT_TRUE(rig.view.saw("end"));
    ASSERT_EQ(commandsAtEnd, 6u);
    EXPECT_EQ(rig.commands().back()[4], BoardClock);
    EXPECT_TRUE(rig.dialog->linkTimerStopped());
    rig.simulator.withBoard(
        [](const sim::Board& b) { EXPECT_EQ(b.setting(sim::BindingMargin), 1); });
}

TEST(Ok, WithoutABoardTheDialogStaysOpen) {
    Rig rig;
    rig.start();
    rig.simulator.stop();
    rig.dialog->ok();
    rig.clock.advance(10000);
    EXPECT_FALSE(rig.dialog->ended());
    EXPECT_FALSE(rig.view.saw("end"));
}

TEST(Apply, ApplyAfterOkClearsTheWishToClose) {
    Rig rig;
    rig.start();
    rig.dialog->ok();
    rig.dialog->apply();
    EXPECT_FALSE(rig.dialog->closeAfterClock());
    rig.clock.advance(2000);
    EXPECT_FALSE(rig.dialog->ended());
}

TEST(ChangeTracking, ChoosingTheCommittedValueAgainKeepsApplyEnabled) {
    Rig rig;
    rig.start();
    EXPECT_FALSE(rig.view.controls.apply);
    rig.dialog->selectSetting(Paper, 0);  // the committed value: nothing changes
    EXPECT_FALSE(rig.view.controls.apply);
    rig.dialog->selectSetting(Paper, 1);
    EXPECT_TRUE(rig.view.controls.apply);
    rig.dialog->selectSetting(Paper, 0);
    EXPECT_TRUE(rig.view.controls.apply);
    EXPECT_TRUE(rig.dialog->dirty());
}

TEST(ChangeTracking, AnyPickerChangeEnablesApply) {
    Rig rig;
    rig.start();
    rig.dialog->setPickerClock(rig.dialog->pickerClock());
    EXPECT_TRUE(rig.view.controls.apply);
}

TEST(Reset, DefaultsWithoutSendingAndApplyFollowsTheDifference) {
    Rig rig;
    rig.start();
    rig.dialog->selectSetting(Paper, 1);
    rig.dialog->selectSetting(PrintMode, 0);
    rig.simulator.clearReceived();
    rig.dialog->reset();
    EXPECT_EQ(rig.view.radios, (std::array<uint8_t, kSettingCount>{1, 1, 0, 0, 1}));
    EXPECT_FALSE(rig.dialog->dirty());  // the board holds the defaults
    EXPECT_FALSE(rig.view.controls.apply);
    rig.clock.advance(100);
    EXPECT_TRUE(rig.commands().empty());

    // With the board holding other values, Reset leaves a difference to apply.
    Rig other;
    other.simulator.withBoard([](sim::Board& b) {
        const uint8_t set[] = {2, 0, 0, 0, sim::PaperSize, 1};
        b.handle(set, sizeof set);
    });
    other.start();
    EXPECT_EQ(other.dialog->committedValue(Paper), 1);
    other.dialog->reset();
    EXPECT_EQ(other.dialog->dialogValue(Paper), 0);
    EXPECT_TRUE(other.dialog->dirty());
    EXPECT_TRUE(other.view.controls.apply);
}

TEST(LanguageSwitch, SettingsShowDefaultsAndTheQueriesGoOutAgain) {
    Rig rig;
    rig.simulator.withBoard([](sim::Board& b) {
        const uint8_t set[] = {2, 0, 0, 0, sim::BindingMargin, 1};
        b.handle(set, sizeof set);
    });
    rig.start();
    EXPECT_EQ(rig.view.radios[Margin], 1);
    rig.dialog->selectSetting(Paper, 1);
    rig.simulator.clearReceived();
    rig.dialog->applyTexts();
    rig.dialog->restartQueries();
    EXPECT_EQ(rig.view.radios[Margin], 0);
    EXPECT_FALSE(rig.view.controls.apply);
    EXPECT_FALSE(rig.view.controls.ok);
    ASSERT_TRUE(rig.runUntil([&] { return rig.requestCodes().size() >= 8; }, 5000));
    auto codes = rig.requestCodes();
    // A status poll may already have been queued before the switch.
    if (codes.front() == board::Status) codes.erase(codes.begin());
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 7),
              (std::vector<int>{1, 13, 6, 17, 18, 19, 20}));
    ASSERT_TRUE(rig.runUntil([&] { return rig.view.radios[Margin] == 1; }, 5000));
}

}  // namespace
}  // namespace q47::test
