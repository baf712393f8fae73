#include "testsignal/settings/TestSignalSettings.h"

#include <gtest/gtest.h>

#include "core/RinglarkError.h"

namespace ringlark {
namespace {

std::string Thrown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const RinglarkError& e) {
        return e.what();
    }
    return "nothing thrown";
}

TEST(TestSignalSettings, EveryImpairmentHasALabelledFieldAndAllOffIsNone) {
    TTestSignalSettings settings;
    ASSERT_EQ(settings.Fields.size(), ImpairmentRanges().size() + 1);
    EXPECT_EQ(settings.Fields[0].Label, "Level (dBFS)");
    EXPECT_EQ(settings.Fields[0].Range, "-90 to 0");
    EXPECT_EQ(settings.Find("idle-bits")->Label, "Marks after each byte (bits)");
    EXPECT_EQ(settings.Find("snr-db")->Range, "-20 to 80");
    EXPECT_EQ(settings.Fields.back().Label, "Noise seed");
    for (const auto& field : settings.Fields) {
        EXPECT_NE(field.Label, field.Option) << "no label for " << field.Option;
        EXPECT_EQ(field.Text, "");
    }
    EXPECT_FALSE(settings.Read().Any());
}

TEST(TestSignalSettings, ValuesShownAndReadBack) {
    TImpairments m;
    m.LevelDbfs = -20.5;
    m.TwistDb = -6;
    m.IdleBits = 20;
    m.SnrDb = 12;
    m.Seed = 7;
    m.TelephoneBand = true;
    TTestSignalSettings settings;
    settings.Show(m);
    EXPECT_EQ(settings.Find("level-dbfs")->Text, "-20.5");
    EXPECT_EQ(settings.Find("twist-db")->Text, "-6");
    EXPECT_EQ(settings.Find("idle-bits")->Text, "20");
    EXPECT_EQ(settings.Find("seed")->Text, "7");
    EXPECT_EQ(settings.Find("alert-ms")->Text, "");
    EXPECT_TRUE(settings.TelephoneBand);
    EXPECT_EQ(settings.Read(), m);
    // spaces around a value are no part of it; a blank field is off
    settings.Find("level-dbfs")->Text = " -3 ";
    settings.Find("snr-db")->Text = "  ";
    const TImpairments read = settings.Read();
    EXPECT_EQ(read.LevelDbfs, -3);
    EXPECT_FALSE(read.SnrDb.has_value());
    settings.AllOff();
    EXPECT_EQ(settings.Read(), TImpairments{});
}

TEST(TestSignalSettings, AValueThatCannotBeUsedChangesNothing) {
    TTestSignalSettings settings;
    TImpairments inForce;
    inForce.TwistDb = 3;
    settings.Show(inForce);
    settings.Find("twist-db")->Text = "30";
    EXPECT_EQ(Thrown([&] { settings.Apply(true, inForce); }),
              "Twist (dB): '30' is out of range: -20 to 20");
    settings.Find("twist-db")->Text = "3,5";
    EXPECT_EQ(Thrown([&] { settings.Read(); }), "Twist (dB): '3,5' is not a valid number");
    settings.Find("twist-db")->Text = "";
    settings.Find("seizure-bits")->Text = "150.5";
    EXPECT_EQ(Thrown([&] { settings.Read(); }),
              "Channel seizure (bits): '150.5' is out of range: 0 to 1000, a whole number");
    settings.Find("seizure-bits")->Text = "";
    settings.Find("seed")->Text = "-1";
    EXPECT_EQ(Thrown([&] { settings.Read(); }),
              "Noise seed: '-1' is out of range: 0 to 4294967295, a whole number");
    EXPECT_EQ(inForce.TwistDb, 3);
    settings.Apply(false, inForce);  // Cancel: nothing read
    EXPECT_EQ(inForce.TwistDb, 3);
    settings.Find("seed")->Text = "";
    settings.Find("seizure-bits")->Text = "96";
    settings.Apply(true, inForce);
    EXPECT_FALSE(inForce.TwistDb.has_value());
    EXPECT_EQ(inForce.SeizureBits, 96);
}

TEST(Impairments, ValuesByOptionName) {
    TImpairments m;
    SetImpairmentValue(m, "mark-bits", 126.4);
    SetImpairmentValue(m, "alert-twist-db", -2.5);
    SetImpairmentValue(m, "no-such", 1);
    EXPECT_EQ(m.MarkBits, 126);
    EXPECT_EQ(m.AlertTwistDb, -2.5);
    EXPECT_EQ(ImpairmentValue(m, "mark-bits"), 126);
    EXPECT_EQ(ImpairmentValue(m, "twist-db"), std::nullopt);
    EXPECT_EQ(ImpairmentValue(m, "no-such"), std::nullopt);
    SetImpairmentValue(m, "mark-bits", std::nullopt);
    EXPECT_FALSE(m.MarkBits.has_value());
}

}  // namespace
}  // namespace ringlark
