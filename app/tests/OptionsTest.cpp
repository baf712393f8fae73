#include "app/OptionsModel.h"

#include <gtest/gtest.h>

#include "app/tests/AppTestSupport.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

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

TEST(OptionsSystemChoices, ShownTakenOnOkAndStoredOnlyWhenNotTheDefault) {
    TConfigValues config;
    TFormOptions dialog;
    ShowSystemChoices(dialog, config);
    EXPECT_FALSE(dialog.Settings.EtsiAlert);
    EXPECT_EQ(dialog.Settings.DtmfFraming, TDtmfFraming::StartAEndC);
    EXPECT_EQ(dialog.Settings.DtmfUnavailableCode, "00");
    EXPECT_EQ(dialog.Settings.DtmfPrivateCode, "10");
    EXPECT_EQ(dialog.Settings.DbmAtFullScale, "");
    // the defaults store nothing new: an earlier store's text is unchanged
    const Bytes plain = FormatRegistryText(ConfigDocument(config));
    for (const char* name :
         {"EtsiAlert", "DtmfFraming", "DtmfUnavailableCode", "DtmfPrivateCode", "DbmAtFullScale"}) {
        EXPECT_EQ(plain.find(name), Bytes::npos) << name;
    }

    dialog.Settings.Standard = TCidStandard::EtsiV23;
    dialog.Settings.EtsiAlert = true;
    dialog.Settings.DtmfFraming = TDtmfFraming::StartAEndHash;
    dialog.Settings.DtmfUnavailableCode = "01";
    dialog.Settings.DtmfPrivateCode = "02";
    dialog.Settings.DbmAtFullScale = "-7.3";
    ApplySystemChoices(dialog, TDialogResult::Cancel, config);
    EXPECT_EQ(config.Standard, TCidStandard::Bell202);
    EXPECT_FALSE(config.EtsiAlert);
    ApplySystemChoices(dialog, TDialogResult::Ok, config);
    EXPECT_EQ(config.Standard, TCidStandard::EtsiV23);
    EXPECT_TRUE(config.EtsiAlert);
    EXPECT_EQ(config.DtmfFraming, TDtmfFraming::StartAEndHash);
    EXPECT_EQ(config.DtmfCodes.Unavailable, "01");
    EXPECT_EQ(config.DtmfCodes.Private, "02");
    EXPECT_EQ(config.DbmAtFullScale, -7.3);

    test::TMemoryStore store;
    store.Document = ConfigDocument(config);
    const Bytes text = FormatRegistryText(*store.Document);
    for (const char* line :
         {"\"EtsiAlert\"=\"dtas\"", "\"DtmfFraming\"=\"a-hash\"", "\"DtmfUnavailableCode\"=\"01\"",
          "\"DtmfPrivateCode\"=\"02\"", "\"DbmAtFullScale\"=\"-7.3\""}) {
        EXPECT_NE(text.find(line), Bytes::npos) << line;
    }
    TConfigValues read;
    EXPECT_TRUE(GetConfig(store, read).empty());
    EXPECT_TRUE(read.EtsiAlert);
    EXPECT_EQ(read.DtmfFraming, TDtmfFraming::StartAEndHash);
    EXPECT_EQ(read.DtmfCodes.Unavailable, "01");
    EXPECT_EQ(read.DtmfCodes.Private, "02");
    EXPECT_EQ(read.DbmAtFullScale, -7.3);
    TFormOptions again;
    ShowSystemChoices(again, read);
    EXPECT_EQ(again.Settings.DbmAtFullScale, "-7.3");

    // texts that cannot be read are refused, and nothing is taken
    dialog.Settings.Standard = TCidStandard::Dtmf;
    dialog.Settings.DtmfPrivateCode = "1";
    EXPECT_THROW(
        {
            try {
                ApplySystemChoices(dialog, TDialogResult::Ok, config);
            } catch (const RinglarkError& e) {
                EXPECT_STREQ(e.what(), "'1' is not a two-digit absence code");
                throw;
            }
        },
        RinglarkError);
    EXPECT_EQ(config.Standard, TCidStandard::EtsiV23);
    dialog.Settings.DtmfPrivateCode = "10";
    dialog.Settings.DbmAtFullScale = "-7,3";
    EXPECT_THROW(ApplySystemChoices(dialog, TDialogResult::Ok, config), RinglarkError);
    dialog.Settings.DbmAtFullScale = "";
    ApplySystemChoices(dialog, TDialogResult::Ok, config);
    EXPECT_EQ(config.DbmAtFullScale, std::nullopt);

    // a stored value that cannot be read is told, its default kept
    store.Document->Key(std::string(ConfigRoot) + "\\Config")
        .Set("DtmfFraming", TRegValue{TRegType::String, "star", 0});
    const auto errors = GetConfig(store, read);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0], msg::InvalidDataType("DtmfFraming"));
    EXPECT_EQ(read.DtmfFraming, TDtmfFraming::StartAEndC);
}

}  // namespace
}  // namespace ringlark
