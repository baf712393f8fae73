#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/RinglarkError.h"
#include "testsignal/TestPlan.h"

namespace ringlark {
namespace {

std::string ErrorOf(const std::string& text) {
    try {
        PlanFromJson(text, "p.json");
    } catch (const RinglarkError& e) {
        return e.what();
    }
    return "";
}

TEST(TestPlan, BellPlanHoldsTheReceiverLimits) {
    const TPlan plan = *BuiltInPlan("bell");
    std::map<std::string, const TPlanCondition*> byName;
    for (const auto& c : plan.Conditions) {
        byName[c.Name] = &c;
    }
    ASSERT_TRUE(byName.count("level-max"));
    EXPECT_NEAR(*byName["level-max"]->Impairments.LevelDbfs, -4.23 - 3.14, 1e-9);
    EXPECT_NEAR(*byName["level-min"]->Impairments.LevelDbfs, -36.2 - 3.14, 1e-9);
    EXPECT_EQ(byName["level-below-no-response"]->Expect, TExpect::Reject);
    EXPECT_EQ(*byName["twist+10dB"]->Impairments.TwistDb, 10);
    EXPECT_EQ(*byName["twist-10dB"]->Impairments.TwistDb, -10);
    EXPECT_EQ(*byName["mark+1%"]->Impairments.MarkErrorPct, 1);
    EXPECT_EQ(*byName["baud-1%"]->Impairments.BaudErrorPct, -1);
    EXPECT_EQ(*byName["seizure-150"]->Impairments.SeizureBits, 150);
    EXPECT_EQ(*byName["mark-run-126"]->Impairments.MarkBits, 126);
    EXPECT_TRUE(byName["bad-checksum"]->Message.CorruptChecksum);
    EXPECT_EQ(byName["bad-checksum"]->Expect, TExpect::Reject);
    EXPECT_EQ(plan.Conditions.size(), 17u);
    for (const auto& name : BuiltInPlanNames()) {
        const TPlan p = *BuiltInPlan(name);
        for (const auto& c : p.Conditions) {
            EXPECT_NO_THROW(PlanSignal(p, c, 0, 8000)) << name << " " << c.Name;
        }
    }
}

TEST(TestPlan, EveryBuiltInPlanSurvivesItsOwnJson) {
    for (const auto& name : BuiltInPlanNames()) {
        const TPlan plan = *BuiltInPlan(name);
        const TPlan again = PlanFromJson(PlanJson(plan).dump(), name);
        EXPECT_EQ(PlanJson(again), PlanJson(plan)) << name;
    }
}

TEST(TestPlan, PlanFileWithDbmLevelsAndItsErrors) {
    const TPlan plan = PlanFromJson(R"({"name": "mine", "standard": "etsi", "dbm_at_fs": 3,
        "runs": 2, "message": {"number": "0123456789"},
        "conditions": [{"name": "low", "impairments": {"level_dbm": -30, "snr_db": 20}},
                       {"expect": "reject", "runs": 1, "message": {"corrupt_checksum": true}}]})",
                                    "mine.json");
    ASSERT_EQ(plan.Conditions.size(), 2u);
    EXPECT_EQ(*plan.Conditions[0].Impairments.LevelDbfs, -33);
    EXPECT_EQ(plan.Conditions[0].Runs, 2);
    EXPECT_EQ(plan.Conditions[1].Name, "condition-2");
    EXPECT_EQ(plan.Conditions[1].Message.Number, "0123456789");
    const TPlanSignal two = PlanSignal(plan, plan.Conditions[0], 1, 8000);
    EXPECT_EQ(two.Number, "0123456789");
    EXPECT_EQ(*two.Signal.Impairments.Seed, 2u);

    EXPECT_EQ(ErrorOf(R"({"conditions": [{"impairments": {"twist_db": 30}}]})"),
              "Plan p.json: condition condition-1: --twist-db 30 is out of range: -20 to 20 dB");
    EXPECT_EQ(ErrorOf(R"({"conditions": [{"impairments": {"seizure_bits": 1.5}}]})"),
              "Plan p.json: condition condition-1: \"seizure_bits\" must be a whole number");
    EXPECT_EQ(ErrorOf(R"({"conditions": [{"impairments": {"hum": 1}}]})"),
              "Plan p.json: condition condition-1: unknown impairment \"hum\"");
    EXPECT_EQ(ErrorOf(R"({"conditions": []})"),
              "Plan p.json: \"conditions\" must be a list of at least one condition");
    EXPECT_EQ(ErrorOf(R"({"standard": "dtmf", "conditions": [{"impairments": {"idle_bits": 2}}]})"),
              "Plan p.json: condition condition-1: --idle-bits applies to FSK (--standard bell, "
              "etsi or bt)");
    EXPECT_EQ(ErrorOf(R"({"conditions": [{"impairments": {"level_dbfs": -1, "twist_db": -3}}]})"),
              "Plan p.json: condition condition-1: The level and twist put the FSK tones above "
              "full scale (peak 1.26 of 1)");
    EXPECT_EQ(ErrorOf(R"({"conditions": [{"expect": "maybe"}]})"),
              "Plan p.json: condition condition-1: \"expect\" must be accept, reject or any");
    EXPECT_EQ(ErrorOf("{").rfind("Plan p.json: [json.exception.parse_error", 0), 0u);
}

}  // namespace
}  // namespace ringlark
