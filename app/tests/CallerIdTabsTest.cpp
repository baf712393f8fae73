#include "app/CallerIdTabs.h"

#include <gtest/gtest.h>

#include "app/tests/AppTestSupport.h"

namespace ringlark {
namespace {

class CallerIdTabsTest : public ::testing::Test {
  protected:
    test::TFixedClock clock;
    TCallerIdTabs tabs{clock};
};

TEST_F(CallerIdTabsTest, SdmfBoxesExcludeEachOther) {
    tabs.Click(TTabId::Sdmf, TTabBox::Private);
    tabs.Click(TTabId::Sdmf, TTabBox::LongDistance);
    EXPECT_FALSE(tabs.Sdmf.Private);
    EXPECT_TRUE(tabs.Sdmf.LongDistance);
    tabs.Click(TTabId::Sdmf, TTabBox::OutOfArea);
    EXPECT_TRUE(tabs.Sdmf.OutOfArea);
    EXPECT_FALSE(tabs.Sdmf.LongDistance);
    tabs.Click(TTabId::Sdmf, TTabBox::OutOfArea);  // unchecking touches nothing else
    EXPECT_FALSE(tabs.Sdmf.OutOfArea || tabs.Sdmf.Private || tabs.Sdmf.LongDistance);
}

TEST_F(CallerIdTabsTest, MdmfLongDistanceCombinesFreely) {
    tabs.Click(TTabId::Mdmf, TTabBox::LongDistance);
    tabs.Click(TTabId::Mdmf, TTabBox::OutOfArea);
    EXPECT_TRUE(tabs.Mdmf.LongDistance && tabs.Mdmf.OutOfArea);
    tabs.Click(TTabId::Mdmf, TTabBox::Private);
    EXPECT_TRUE(tabs.Mdmf.Private);
    EXPECT_FALSE(tabs.Mdmf.OutOfArea);
    EXPECT_TRUE(tabs.Mdmf.LongDistance);
    EXPECT_TRUE(tabs.Mdmf.NumberBoxEnabled && tabs.Mdmf.NameBoxEnabled);
}

TEST_F(CallerIdTabsTest, CwcidWithNameDisabledLongDistanceExcludesWithheld) {
    tabs.Click(TTabId::Cwcid, TTabBox::NameDisabled);
    EXPECT_FALSE(tabs.Cwcid.NameBoxEnabled);
    tabs.Click(TTabId::Cwcid, TTabBox::OutOfArea);
    EXPECT_FALSE(tabs.Cwcid.NumberBoxEnabled);
    tabs.Click(TTabId::Cwcid, TTabBox::LongDistance);
    EXPECT_TRUE(tabs.Cwcid.LongDistance);
    EXPECT_FALSE(tabs.Cwcid.OutOfArea);
    EXPECT_FALSE(tabs.Cwcid.Private);
    EXPECT_TRUE(tabs.Cwcid.NumberBoxEnabled);
    tabs.Click(TTabId::Cwcid, TTabBox::OutOfArea);
    EXPECT_TRUE(tabs.Cwcid.OutOfArea);
    EXPECT_FALSE(tabs.Cwcid.LongDistance);
    EXPECT_FALSE(tabs.Cwcid.NumberBoxEnabled);
    tabs.Click(TTabId::Cwcid, TTabBox::Private);
    EXPECT_FALSE(tabs.Cwcid.OutOfArea);
    EXPECT_TRUE(tabs.Cwcid.Private);
    EXPECT_FALSE(tabs.Cwcid.NumberBoxEnabled);
    tabs.Click(TTabId::Cwcid, TTabBox::Private);
    EXPECT_TRUE(tabs.Cwcid.NumberBoxEnabled);
}

TEST_F(CallerIdTabsTest, CwcidWithNameEnabledAnyDisableBoxDropsLongDistance) {
    for (auto [tab, box] : {std::pair{TTabId::Cwcid, TTabBox::NumberDisabled},
                            std::pair{TTabId::Cwcid, TTabBox::NameDisabled},
                            std::pair{TTabId::Mdmf, TTabBox::NumberDisabled},
                            std::pair{TTabId::Mdmf, TTabBox::NameDisabled}}) {
        TCallerIdTabs fresh(clock);
        fresh.Click(TTabId::Cwcid, TTabBox::OutOfArea);
        fresh.Click(TTabId::Cwcid, TTabBox::LongDistance);
        EXPECT_TRUE(fresh.Cwcid.OutOfArea && fresh.Cwcid.LongDistance);
        fresh.Click(tab, box);
        EXPECT_FALSE(fresh.Cwcid.LongDistance);
        EXPECT_TRUE(fresh.Cwcid.OutOfArea);
    }
}

TEST_F(CallerIdTabsTest, GenerationFromAnotherTabChangesTheRememberedFlags) {
    tabs.Click(TTabId::Cwcid, TTabBox::OutOfArea);
    tabs.Click(TTabId::Cwcid, TTabBox::LongDistance);
    tabs.RememberGenerated(tabs.Sdmf);  // an SDMF generation with no box checked
    tabs.Click(TTabId::Mdmf, TTabBox::NumberDisabled);
    EXPECT_TRUE(tabs.Cwcid.LongDistance);
}

TEST_F(CallerIdTabsTest, MdmfNameDisableWithCwcidNameDisabledUnchecksMdmfOutOfArea) {
    tabs.Click(TTabId::Cwcid, TTabBox::NameDisabled);
    tabs.Click(TTabId::Mdmf, TTabBox::OutOfArea);
    EXPECT_TRUE(tabs.Mdmf.OutOfArea);
    tabs.Click(TTabId::Mdmf, TTabBox::NameDisabled);
    EXPECT_FALSE(tabs.Mdmf.OutOfArea);
}

TEST_F(CallerIdTabsTest, UseCurrentFreezesAndResumes) {
    tabs.RefreshClock();
    EXPECT_EQ(tabs.Mdmf.DateText, "1207");
    EXPECT_EQ(tabs.Mdmf.TimeText, "0930");
    tabs.Click(TTabId::Mdmf, TTabBox::UseCurrent);
    EXPECT_TRUE(tabs.Mdmf.DateTimeEnabled);
    clock.Set(2026, 12, 7, 9, 31);
    tabs.RefreshClock();
    EXPECT_EQ(tabs.Mdmf.TimeText, "0930");
    EXPECT_EQ(tabs.Sdmf.TimeText, "0931");
    tabs.Mdmf.TimeText = "1515";
    clock.Set(2026, 12, 7, 9, 45);
    tabs.Click(TTabId::Mdmf, TTabBox::UseCurrent);
    EXPECT_EQ(tabs.Mdmf.TimeText, "0945");
    EXPECT_FALSE(tabs.Mdmf.DateTimeEnabled);
}

TEST_F(CallerIdTabsTest, MidnightChangesEveryCurrentField) {
    clock.Set(2026, 12, 31, 23, 59);
    tabs.RefreshClock();
    clock.Set(2027, 1, 1, 0, 0);
    tabs.RefreshClock();
    for (const TCallerIdTab* tab : {&tabs.Sdmf, &tabs.Mdmf, &tabs.Cwcid}) {
        EXPECT_EQ(tab->DateText, "0101");
        EXPECT_EQ(tab->TimeText, "0000");
    }
}

TEST_F(CallerIdTabsTest, MiscKeepsExactlyOneChoice) {
    EXPECT_TRUE(tabs.VmwiOn);
    tabs.ClickMisc(TMiscChoice::TestMessage);
    EXPECT_TRUE(tabs.TestMessage);
    EXPECT_FALSE(tabs.VmwiOn || tabs.VmwiOff);
    tabs.ClickMisc(TMiscChoice::VmwiOff);
    EXPECT_TRUE(tabs.VmwiOff);
    EXPECT_FALSE(tabs.TestMessage || tabs.VmwiOn);
}

}  // namespace
}  // namespace ringlark
