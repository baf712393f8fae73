#include "generation/MessageBuilder.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::HexBytes;
using test::ToHex;

TCidRequest Request(TMessageKind kind, std::string number, std::string name = "") {
    TCidRequest request;
    request.Kind = kind;
    request.NumberText = std::move(number);
    request.NameText = std::move(name);
    request.DateText = "0101";
    request.TimeText = "1200";
    return request;
}

std::string Build(const TCidRequest& request, TFilterOptions options = {}) {
    return ToHex(BuildCidMessage(request, options));
}

unsigned ByteSum(const Bytes& bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), 0u,
                           [](unsigned s, char c) { return s + static_cast<uint8_t>(c); });
}

TEST(MessageBuilderSdmf, HyphenatedNumberKeepsDigitsOnly) {
    EXPECT_EQ(Build(Request(TMessageKind::Sdmf, "12-34")),
              "04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
}

TEST(MessageBuilderSdmf, PrivateSendsP) {
    auto request = Request(TMessageKind::Sdmf, "12-34");
    request.Private = true;
    EXPECT_EQ(Build(request), "04 09 30 31 30 31 31 32 30 30 50 1E");
}

TEST(MessageBuilderSdmf, LongDistanceWinsOverPrivateAndOutOfArea) {
    auto request = Request(TMessageKind::Sdmf, "12-34");
    request.Private = true;
    request.LongDistance = true;
    EXPECT_EQ(Build(request), "04 09 30 31 30 31 31 32 30 30 4C 22");
    request.OutOfArea = true;
    EXPECT_EQ(Build(request), "04 09 30 31 30 31 31 32 30 30 4C 22");
}

TEST(MessageBuilderSdmf, EmptyNumberSendsDateTimeOnly) {
    const Bytes message = BuildCidMessage(Request(TMessageKind::Sdmf, ""), {});
    EXPECT_EQ(ToHex(message.substr(0, 10)), "04 08 30 31 30 31 31 32 30 30");
    EXPECT_EQ(message.size(), 11u);
    EXPECT_EQ(ByteSum(message) % 256, 0u);
}

TEST(MessageBuilderSdmf, NameIsNeverSent) {
    EXPECT_EQ(Build(Request(TMessageKind::Sdmf, "12-34", "bob")),
              "04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
}

TEST(MessageBuilderMdmf, NumberAndUpperCasedName) {
    EXPECT_EQ(Build(Request(TMessageKind::Mdmf, "12-34", "bob")),
              "80 15 01 08 30 31 30 31 31 32 30 30 02 04 31 32 33 34 07 03 42 4F 42 30");
}

TEST(MessageBuilderMdmf, LongDistanceAddsCallQualifier) {
    auto request = Request(TMessageKind::Mdmf, "12-34", "bob");
    request.LongDistance = true;
    EXPECT_EQ(Build(request),
              "80 18 01 08 30 31 30 31 31 32 30 30 02 04 31 32 33 34 07 03 42 4F 42 06 01 4C DA");
}

TEST(MessageBuilderMdmf, PrivateSendsReasonParameters) {
    auto request = Request(TMessageKind::Mdmf, "12-34", "bob");
    request.Private = true;
    EXPECT_EQ(Build(request), "80 10 01 08 30 31 30 31 31 32 30 30 04 01 50 08 01 50 34");
}

TEST(MessageBuilderMdmf, OutOfAreaWinsOverPrivate) {
    auto request = Request(TMessageKind::Mdmf, "12-34", "bob");
    request.Private = true;
    request.OutOfArea = true;
    const Bytes message = BuildCidMessage(request, {});
    EXPECT_EQ(ToHex(message.substr(12, 6)), "04 01 4F 08 01 4F");
}

TEST(MessageBuilderMdmf, BothDisabledLeavesDateTimeOnly) {
    auto request = Request(TMessageKind::Mdmf, "12-34", "bob");
    request.NumberDisabled = true;
    request.NameDisabled = true;
    const Bytes message = BuildCidMessage(request, {});
    EXPECT_EQ(ToHex(message.substr(0, 12)), "80 0A 01 08 30 31 30 31 31 32 30 30");
    EXPECT_EQ(message.size(), 13u);
    EXPECT_EQ(ByteSum(message) % 256, 0u);
}

TEST(MessageBuilderMdmf, EmptyDateTimeKeepsLengthByteEight) {
    auto request = Request(TMessageKind::Mdmf, "12", "A");
    request.DateText.clear();
    request.TimeText.clear();
    const Bytes message = BuildCidMessage(request, {});
    // The date/time length byte says 8 but no bytes follow; the message length
    // counts only the bytes present.
    EXPECT_EQ(ToHex(message), "80 09 01 08 02 02 31 32 07 01 41 BE");
}

TEST(MessageBuilderMdmf, DateTimeIsCutToEightCharacters) {
    auto request = Request(TMessageKind::Mdmf, "", "");
    request.DateText = "123456";
    request.TimeText = "789012";
    const Bytes message = BuildCidMessage(request, {});
    EXPECT_EQ(message.substr(4, 8), "12345678");
    EXPECT_EQ(ToHex(message.substr(12, 4)), "02 00 07 00");
}

TEST(MessageBuilderMdmf, EmptyNumberGivesZeroLengthParameter) {
    const Bytes message = BuildCidMessage(Request(TMessageKind::Mdmf, "", "X"), {});
    EXPECT_EQ(ToHex(message.substr(12, 2)), "02 00");
}

TEST(MessageBuilderFilters, NoFilteringSendsHyphen) {
    TFilterOptions options;
    options.NoFiltering = true;
    const Bytes message = BuildCidMessage(Request(TMessageKind::Mdmf, "12-34", "o'neil"), options);
    EXPECT_EQ(message.substr(12, 7), Bytes("\x02\x05"
                                           "12-34"));
    // Upper case still applies with no filtering.
    EXPECT_EQ(message.substr(19, 8), Bytes("\x07\x06"
                                           "O'NEIL"));
}

TEST(MessageBuilderFilters, AlphaOnlyDropsPunctuationFromNameAndDateTime) {
    TFilterOptions options;
    options.AlphaOnly = true;
    auto request = Request(TMessageKind::Mdmf, "5", "O'Neil");
    request.DateText = "01/01";
    const Bytes message = BuildCidMessage(request, options);
    EXPECT_EQ(message.substr(4, 8), "01011200");
    EXPECT_EQ(message.substr(15, 7), Bytes("\x07\x05"
                                           "ONEIL"));
    EXPECT_EQ(FilterName("O'Neil", options), "ONeil");
}

TEST(MessageBuilderFilters, UpperCaseTouchesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAscii("abz\xE9{"), "ABZ\xE9{");
    TFilterOptions keepCase;
    keepCase.ForceUppercaseName = false;
    const Bytes message = BuildCidMessage(Request(TMessageKind::Mdmf, "", "bob"), keepCase);
    EXPECT_EQ(message.substr(16, 3), "bob");
}

TEST(MessageBuilderFilters, NamesBecomePrintableAscii) {
    EXPECT_EQ(AsciiName("Jos\xE9 M\xFCller").Text, "Jose Muller");
    EXPECT_FALSE(AsciiName("Jos\xE9").Refused.has_value());
    EXPECT_EQ(AsciiName("Stra\xDF"
                        "e \xC6\x8C \x93Q\x94")
                  .Text,
              "Strasse AEOE \"Q\"");
    const TAsciiName euro = AsciiName(
        "A\x80"
        "B");
    EXPECT_EQ(euro.Refused, uint8_t{0x80});
    EXPECT_EQ(euro.Text, "A");
    EXPECT_EQ(AsciiName("Tab\there").Refused, uint8_t{'\t'});
    EXPECT_EQ(AsciiName("O'Neil ~{}").Text, "O'Neil ~{}");
}

TEST(MessageBuilderFixed, TestMessage) {
    EXPECT_EQ(Build(Request(TMessageKind::Test, "999", "x")),
              "81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A");
}

TEST(MessageBuilderFixed, VmwiOnAndOff) {
    EXPECT_EQ(Build(Request(TMessageKind::VmwiOn, "")), "82 03 0B 01 FF 70");
    EXPECT_EQ(Build(Request(TMessageKind::VmwiOff, "")), "82 03 0B 01 00 6F");
}

TEST(MessageBuilderWorkshop, RowsAreSentAsTyped) {
    TCidRequest request;
    request.Workshop = true;
    request.Private = true;  // ignored for workshop rows
    request.Rows = {{"$07", "BOB"}, {"$0B", "\xFF"}};
    EXPECT_EQ(Build(request), "80 08 07 03 42 4F 42 0B 01 FF 90");
}

TEST(MessageBuilderWorkshop, OneBlankRow) {
    EXPECT_EQ(ToHex(EncodeWorkshopRows({{"", ""}})), "80 02 00 00 7E");
}

TEST(MessageBuilderWorkshop, CodeIsLowByteOfHexValue) {
    EXPECT_EQ(ToHex(EncodeWorkshopRows({{"123", ""}})).substr(0, 11), "80 02 23 00");
    EXPECT_EQ(ToHex(EncodeWorkshopRows({{"$09 - Call Type", "\x01"}})).substr(6, 2), "9C");
}

TEST(MessageBuilderLengths, LongValuesWrapModulo256) {
    const Bytes value(300, 'A');
    const Bytes message = EncodeWorkshopRows({{"$07", value}});
    EXPECT_EQ(message.size(), 2u + 302u + 1u);
    EXPECT_EQ(ByteAt(message, 1), (302 % 256));
    EXPECT_EQ(ByteAt(message, 3), (300 % 256));
    EXPECT_EQ(ByteSum(message) % 256, 0u);

    const Bytes mdmf = BuildCidMessage(Request(TMessageKind::Mdmf, "", value), {});
    EXPECT_EQ(ByteAt(mdmf, 15), 300 % 256);
}

TEST(MessageBuilderHelpers, HexTextValueExamples) {
    EXPECT_EQ(HexTextValue("$0B"), 11u);
    EXPECT_EQ(HexTextValue("$80"), 128u);
    EXPECT_EQ(HexTextValue("0b"), 0u);
    EXPECT_EQ(HexTextValue("x1F"), 31u);
    EXPECT_EQ(HexTextValue("123"), 291u);
    EXPECT_EQ(HexTextValue("$09 - Call Type"), 0x09Cu);
    EXPECT_EQ(HexTextValue(""), 0u);
    EXPECT_EQ(HexTextValue("$FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexTextValue("123456789"), 0x23456789u);  // only the last eight digits count
}

TEST(MessageBuilderHelpers, ChecksumIsTwosComplementOfSum) {
    EXPECT_EQ(CidChecksum("abc"), 0xDA);
    EXPECT_EQ(CidChecksum(""), 0x00);
    EXPECT_EQ(CidChecksum(HexBytes("82 03 0B 01 FF")), 0x70);
}

TEST(MessageBuilderHelpers, PrintableTextDotsControlBytes) {
    EXPECT_EQ(PrintableText(HexBytes("80 15 01 08 30 1F 20 FF")), "\x80...0. \xFF");
}

TEST(MessageBuilderHelpers, TablesHoldEveryTypeAndCode) {
    for (uint8_t type : {0x04, 0x80, 0x81, 0x82}) {
        EXPECT_TRUE(IsKnownMessageType(type)) << int(type);
    }
    EXPECT_FALSE(IsKnownMessageType(0x41));
    for (uint8_t code : {0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x08, 0x09, 0x0B}) {
        EXPECT_TRUE(FindParameter(code).has_value()) << int(code);
    }
    EXPECT_FALSE(FindParameter(0x05).has_value());
    EXPECT_FALSE(FindParameter(0x0A).has_value());
}

}  // namespace
}  // namespace ringlark
