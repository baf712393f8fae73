#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/RinglarkError.h"
#include "diagnosis/Advice.h"
#include "diagnosis/DiagnosisReport.h"

namespace ringlark {
namespace {

TEST(Advice, EntriesApplyWhenEveryKeyTheyNameMatches) {
    const TAdviceBook book = TAdviceBook::FromText(R"({"advice": [
        {"receiver": "modem", "when": {"standard": ["bell", "etsi"]}, "text": "A", "source": "S1"},
        {"receiver": "phone", "when": {"standard": "etsi", "alert": "dtas"}, "text": "B",
         "source": "S2", "sure": false},
        {"receiver": "software", "when": {"finding": "checksum"}, "text": "C", "source": "S3"}
    ]})");
    TAdviceKeys keys{
        {"standard", {"etsi"}}, {"alert", {"none"}}, {"finding", {"checksum", "weak"}}};
    auto found = book.For(keys);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Text, "A");
    EXPECT_EQ(found[1].Text, "C");
    keys["alert"] = {"dtas"};
    keys.erase("finding");
    found = book.For(keys);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].Text, "B");
    EXPECT_FALSE(found[1].Sure);
    EXPECT_EQ(found[1].Source, "S2");
}

TEST(Advice, TheShippedFileLoadsAndEveryEntryHasAReceiverTextAndSource) {
    const TAdviceBook book = TAdviceBook::Load(RINGLARK_ADVICE_SOURCE);
    ASSERT_GE(book.Entries().size(), 15u);
    for (const auto& e : book.Entries()) {
        EXPECT_TRUE(e.Receiver == "phone" || e.Receiver == "modem" || e.Receiver == "software")
            << e.Receiver;
        EXPECT_FALSE(e.Text.empty());
        EXPECT_FALSE(e.Source.empty());
        EXPECT_FALSE(e.When.empty());
    }
    // each standard has advice for every kind of receiver
    for (const char* standard : {"bell", "etsi", "bt", "dtmf"}) {
        SCOPED_TRACE(standard);
        TAdviceKeys keys{{"standard", {standard}}, {"alert", {"dtas", "none"}}};
        std::set<std::string> receivers;
        for (const auto& e : book.For(keys)) {
            receivers.insert(e.Receiver);
        }
        EXPECT_EQ(receivers, (std::set<std::string>{"modem", "phone", "software"}));
    }
}

TEST(Advice, FoundFromTheEnvironmentAndRefusedWhenBroken) {
    const auto folder = std::filesystem::temp_directory_path() / "ringlark-advice-test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "advice.json").string();
    std::ofstream(path) << R"({"advice": [{"receiver": "phone", "when": {"standard": "bell"},
        "text": "Own advice", "source": "here"}]})";
    setenv("RINGLARK_ADVICE", path.c_str(), 1);
    const TAdviceBook own = TAdviceBook::LoadDefault();
    EXPECT_EQ(own.Path(), path);
    ASSERT_EQ(own.Entries().size(), 1u);
    EXPECT_EQ(TAdviceBook::SearchPaths().front(), path);
    unsetenv("RINGLARK_ADVICE");
    // without it: the build tree's copy
    EXPECT_GE(TAdviceBook::LoadDefault().Entries().size(), 15u);
    std::ofstream(path) << R"({"advice": [{"receiver": "phone"}]})";
    try {
        TAdviceBook::Load(path);
        FAIL() << "no error";
    } catch (const RinglarkError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("The advice file " + path + " is not valid: ", 0), 0u)
            << e.what();
    }
    EXPECT_THROW(TAdviceBook::Load((folder / "none.json").string()), RinglarkError);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ringlark
