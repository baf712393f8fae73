// Hooks: a call's fields reach the command as values only, whatever they hold;
// a hook that hangs is killed.
#include <gtest/gtest.h>

#include <filesystem>

#include "calllog/CallHook.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

TEST(CallHook, HostileFieldsAreOnlyValues) {
    test::TTempDir dir;
    const std::string mark = (dir / "x").string();
    TCallRecord r;
    r.Number = "$(touch " + mark + ")";
    r.Name = "`touch " + mark + "`; touch " + mark + " 'quote\" \\\nline two";
    r.Contact = "\"; touch " + mark + "; echo \"";
    r.HeardUtc = "2026-12-07T08:00:00.000Z";
    r.Kind = "MDMF";
    r.Standard = "bell202";
    r.Raw = test::HexBytes("80 01 FF");
    std::vector<std::string> warnings;
    const std::string out = (dir / "out").string();
    {
        THookRunner hooks(
            "printf '%s|%s|%s|%s|%s|%s|%s' \"$RINGLARK_NUMBER\" \"$RINGLARK_NAME\" "
            "\"$RINGLARK_CONTACT\" \"$RINGLARK_TIME\" \"$RINGLARK_KIND\" "
            "\"$RINGLARK_STANDARD\" \"$RINGLARK_BYTES\" > " +
                out,
            30, [&](const std::string& w) { warnings.push_back(w); });
        ASSERT_TRUE(hooks.Start(HookEnvironment(r)));
        hooks.Finish();
        EXPECT_EQ(hooks.Killed(), 0);
    }
    EXPECT_EQ(test::ReadFile(out), r.Number + "|" + r.Name + "|" + r.Contact +
                                       "|2026-12-07T08:00:00.000Z|MDMF|bell202|80 01 FF");
    EXPECT_FALSE(std::filesystem::exists(mark));
    EXPECT_TRUE(warnings.empty());
}

TEST(CallHook, AHangingHookIsKilledAfterItsTimeout) {
    test::TTempDir dir;
    std::vector<std::string> warnings;
    THookRunner hooks("sleep 600", 0.2, [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_TRUE(hooks.Start({}));
    hooks.Finish();
    EXPECT_EQ(hooks.Killed(), 1);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The hook was still running after 0.2 s and was killed: sleep 600");
}

TEST(CallHook, AFailingHookIsReported) {
    std::vector<std::string> warnings;
    {
        THookRunner hooks("exit 7", 30, [&](const std::string& w) { warnings.push_back(w); });
        ASSERT_TRUE(hooks.Start({}));
    }
    EXPECT_EQ(warnings, std::vector<std::string>{"The hook ended with status 7"});
}

}  // namespace
}  // namespace ringlark
