#include "app/OptionsModel.h"

#include <gtest/gtest.h>

#include "core/RinglarkError.h"

namespace ringlark {
namespace {

std::string Apply(const TFormOptions& dialog, TDialogResult result, int32_t& amplitude,
                  int32_t& clip) {
    try {
        ApplyOptions(dialog, result, amplitude, clip);
    } catch (const RinglarkError& error) {
        return error.what();
    }
    return "";
}

TEST(OptionsDialog, ShowsTheValuesInForce) {
    TFormOptions dialog;
    dialog.Initialise(40, 20);
    EXPECT_EQ(dialog.Settings.OptionAmplitude, "40");
    EXPECT_EQ(dialog.Settings.OptionClip, "20");
    EXPECT_FALSE(dialog.Settings.DisableClipping);
    EXPECT_TRUE(dialog.Settings.OptionClipEnabled);
    TFormOptions unclipped;
    unclipped.Initialise(63, 128);
    EXPECT_TRUE(unclipped.Settings.DisableClipping);
    EXPECT_FALSE(unclipped.Settings.OptionClipEnabled);
}

TEST(OptionsDialog, CancelKeepsTheClipLevelOfTheStart) {
    TFormOptions dialog;
    dialog.Initialise(63, 63);
    int32_t amplitude = 63, clip = 63;
    EXPECT_EQ(Apply(dialog, TDialogResult::Cancel, amplitude, clip), "");
    EXPECT_EQ(clip, 63);
}

TEST(OptionsDialog, DisableClippingTakesEffectEvenOnCancel) {
    TFormOptions dialog;
    dialog.Initialise(63, 63);
    dialog.Click(TOptionsBox::DisableClipping);
    EXPECT_FALSE(dialog.Settings.OptionClipEnabled);
    int32_t amplitude = 63, clip = 63;
    Apply(dialog, TDialogResult::Cancel, amplitude, clip);
    EXPECT_EQ(clip, 128);
    EXPECT_EQ(dialog.Settings.OptionClip, "63");  // the edit keeps the last clip text
}

TEST(OptionsDialog, TypedAmplitudeAppliesOnlyWithOk) {
    TFormOptions dialog;
    dialog.Initialise(63, 63);
    dialog.Settings.OptionAmplitude = "50";
    int32_t amplitude = 63, clip = 63;
    Apply(dialog, TDialogResult::Cancel, amplitude, clip);
    EXPECT_EQ(amplitude, 63);
    EXPECT_EQ(dialog.Settings.OptionAmplitude, "50");
    dialog.Settings.OptionAmplitude = "200";
    dialog.Settings.OptionClip = "$10";
    Apply(dialog, TDialogResult::Ok, amplitude, clip);
    EXPECT_EQ(amplitude, 200);
    EXPECT_EQ(clip, 16);
}

TEST(OptionsDialog, NotAnIntegerIsReportedAndEarlierAssignmentsStay) {
    TFormOptions dialog;
    dialog.Initialise(63, 63);
    dialog.Settings.OptionAmplitude = "loud";
    int32_t amplitude = 63, clip = 63;
    EXPECT_EQ(Apply(dialog, TDialogResult::Ok, amplitude, clip),
              "'loud' is not a valid integer value");
    EXPECT_EQ(amplitude, 63);
    dialog.Settings.OptionAmplitude = "70";
    dialog.Settings.OptionClip = "";
    EXPECT_EQ(Apply(dialog, TDialogResult::Ok, amplitude, clip), "'' is not a valid integer value");
    EXPECT_EQ(amplitude, 70);
    EXPECT_EQ(clip, 63);
    dialog.Click(TOptionsBox::DisableClipping);
    dialog.Settings.OptionAmplitude = "x";
    EXPECT_EQ(Apply(dialog, TDialogResult::Ok, amplitude, clip),
              "'x' is not a valid integer value");
    EXPECT_EQ(clip, 128);
}

TEST(OptionsDialog, FilteringRules) {
    TFormOptions dialog;
    dialog.Click(TOptionsBox::AlphaOnly);
    EXPECT_TRUE(dialog.Settings.AlphaOnly && dialog.Settings.ForceUppercaseName);
    dialog.Click(TOptionsBox::NoFiltering);
    EXPECT_TRUE(dialog.Settings.NoFiltering);
    EXPECT_FALSE(dialog.Settings.AlphaOnly || dialog.Settings.ForceUppercaseName);
    dialog.Click(TOptionsBox::ForceUppercaseName);
    EXPECT_FALSE(dialog.Settings.NoFiltering);
    const TFilterOptions filters = dialog.Filters();
    EXPECT_TRUE(filters.ForceUppercaseName);
    EXPECT_FALSE(filters.NoFiltering);
}

}  // namespace
}  // namespace ringlark
