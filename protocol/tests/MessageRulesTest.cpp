#include "protocol/MessageRules.h"

#include <gtest/gtest.h>

#include "generation/MessageBuilder.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

Bytes Built(TMessageKind kind, const char* number, const char* name, bool isPrivate = false,
            bool outOfArea = false, bool longDistance = false) {
    TCidRequest request;
    request.Kind = kind;
    request.NumberText = number;
    request.NameText = name;
    request.DateText = "1207";
    request.TimeText = "0930";
    request.Private = isPrivate;
    request.OutOfArea = outOfArea;
    request.LongDistance = longDistance;
    return BuildCidMessage(request, {});
}

TEST(MessageRules, EveryMessageTheBuilderMakesFromTypedFieldsPasses) {
    const std::vector<Bytes> messages = {
        Built(TMessageKind::Sdmf, "800-555-1212", ""),
        Built(TMessageKind::Sdmf, "5551234", "", true),
        Built(TMessageKind::Sdmf, "5551234", "", false, false, true),
        Built(TMessageKind::Mdmf, "8005551212", "John Doe"),
        Built(TMessageKind::Mdmf, "8005551212", "John Doe", true),
        Built(TMessageKind::Mdmf, "8005551212", "John Doe", false, true),
        Built(TMessageKind::Mdmf, "8005551212", "Ann", false, false, true),
        Built(TMessageKind::VmwiOn, "", ""),
        Built(TMessageKind::VmwiOff, "", ""),
        Built(TMessageKind::Test, "", ""),
    };
    for (const Bytes& message : messages) {
        const TMessageCheck check = CheckMessage(message);
        EXPECT_TRUE(check.Passed) << test::ToHex(message) << ": " << check.Reason;
    }
}

TEST(MessageRules, CorruptionsThatKeepTheChecksumAreRefused) {
    const Bytes good = Built(TMessageKind::Mdmf, "8005551212", "JOHN DOE");
    // bit 7 of a date digit and of a name letter flipped: the checksum still passes
    Bytes digit = good;
    digit[4] = static_cast<char>(digit[4] | 0x80);
    digit[27] = static_cast<char>(digit[27] ^ 0x80);
    ASSERT_EQ(CidChecksum(Bytes(digit, 0, digit.size() - 1)), ByteAt(digit, digit.size() - 1));
    EXPECT_EQ(CheckMessage(digit).Reason, "invalid date/time");

    const struct {
        Bytes Message;
        const char* Reason;
    } cases[] = {
        // a date/time whose length byte reads 0x28
        {FrameMessage(0x80, Bytes("\x01\x28", 2) + "12070930"),
         "parameter lengths exceed the message length"},
        {FrameMessage(0x80, Bytes("\x01\x08", 2) + "13070930"), "invalid date/time"},
        {FrameMessage(0x80, Bytes("\x01\x08", 2) + "12072460"), "invalid date/time"},
        {FrameMessage(0x80, Bytes("\x02\x03", 2) + "5A5"),
         "number holds a character that is not a digit"},
        {FrameMessage(0x80, Bytes("\x07\x03", 2) + "A\x07" + "B"),
         "name holds a character that cannot be shown"},
        {FrameMessage(0x80, Bytes("\x07\x03", 2) + "A\xC1" + "B"),
         "name holds a character that cannot be shown"},
        {FrameMessage(0x82, Bytes("\x0B\x01\x7F", 3)), "invalid VMWI status"},
        {FrameMessage(0x80, Bytes("\x04\x01", 2) + "Q"), "unknown absence reason"},
        {FrameMessage(0x80, Bytes("\x01\x07", 2) + "1207093"),
         "parameter length does not fit its type"},
        {FrameMessage(0x80, Bytes("\x02", 1)), "parameter header cut off"},
        {FrameMessage(0x04, "1207093"), "invalid date/time"},
        {FrameMessage(0x04, "12070930555O"), "number holds a character that is not a digit"},
        {FrameMessage(0x41, "12070930"), "unknown message type"},
        {good.substr(0, good.size() - 1), "length byte does not match the message"},
        {Bytes("\x80\x00\x81", 3), "checksum fails"},
        {Bytes("\x80\x00\x80", 3), "message carries no parameter"},
        {Bytes("\x80\x00", 2), "message too short"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckMessage(c.Message).Reason, c.Reason) << test::ToHex(c.Message);
        EXPECT_FALSE(CheckMessage(c.Message).Passed);
    }
}

TEST(MessageRules, UnknownParametersNeedOnlyConsistentLengths) {
    EXPECT_TRUE(CheckMessage(FrameMessage(0x80, Bytes("\x22\x02\x00\x01", 4))).Passed);
    EXPECT_TRUE(CheckMessage(FrameMessage(0x80, Bytes("\x00\x00", 2))).Passed);
    EXPECT_FALSE(CheckMessage(FrameMessage(0x80, Bytes("\x22\x05\x00\x01", 4))).Passed);
}

TEST(MessageRules, DateTimeBounds) {
    EXPECT_TRUE(IsValidDateTime("01010000"));
    EXPECT_TRUE(IsValidDateTime("12312359"));
    EXPECT_FALSE(IsValidDateTime("00010000"));
    EXPECT_FALSE(IsValidDateTime("01000000"));
    EXPECT_FALSE(IsValidDateTime("01320000"));
    EXPECT_FALSE(IsValidDateTime("0101000"));
    EXPECT_FALSE(IsValidDateTime("0101 000"));
}

}  // namespace
}  // namespace ringlark
