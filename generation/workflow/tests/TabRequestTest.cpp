#include "generation/workflow/TabRequest.h"

#include <gtest/gtest.h>

#include "generation/MessageBuilder.h"

namespace ringlark {
namespace {

TCallerIdTab FilledTab() {
    TCallerIdTab tab;
    tab.NumberText = "5551234";
    tab.NameText = "Ann";
    tab.DateText = "0101";
    tab.TimeText = "1200";
    tab.NumberDisabled = true;
    tab.NameDisabled = true;
    return tab;
}

TEST(TabRequest, SdmfIgnoresNameAndDisableBoxes) {
    const TCidRequest request = RequestFromTab(FilledTab(), TCallerIdTabKind::Sdmf);
    EXPECT_EQ(request.Kind, TMessageKind::Sdmf);
    EXPECT_EQ(request.NameText, "");
    EXPECT_FALSE(request.NumberDisabled);
    EXPECT_FALSE(request.NameDisabled);
    EXPECT_EQ(request.Signalling, TSignalling::OnHook);
    // The SDMF message: type, length, date/time, number, checksum.
    const Bytes message = BuildCidMessage(request, TFilterOptions{});
    EXPECT_EQ(message.substr(0, 17), Bytes("\x04\x0F"
                                           "01011200"
                                           "5551234",
                                           17));
    EXPECT_EQ(message.size(), 18u);
}

TEST(TabRequest, MdmfAndCwcidCarryTheDisableBoxes) {
    const TCidRequest mdmf = RequestFromTab(FilledTab(), TCallerIdTabKind::Mdmf);
    EXPECT_EQ(mdmf.Kind, TMessageKind::Mdmf);
    EXPECT_EQ(mdmf.NameText, "Ann");
    EXPECT_TRUE(mdmf.NumberDisabled);
    EXPECT_TRUE(mdmf.NameDisabled);
    EXPECT_EQ(mdmf.Signalling, TSignalling::OnHook);
    const TCidRequest cwcid = RequestFromTab(FilledTab(), TCallerIdTabKind::Cwcid);
    EXPECT_EQ(cwcid.Kind, TMessageKind::Mdmf);
    EXPECT_EQ(cwcid.Signalling, TSignalling::CallWaiting);
}

}  // namespace
}  // namespace ringlark
