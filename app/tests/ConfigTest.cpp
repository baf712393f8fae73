#include "app/Config.h"

#include <gtest/gtest.h>

#include "app/RegistryFile.h"
#include "app/tests/AppTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

TMRU List(std::initializer_list<const char*> entries) {
    TMRU list{};
    std::size_t i = 0;
    for (const char* entry : entries) {
        list[i++] = entry;
    }
    return list;
}

TEST(BubbleMru, EntryAtFiveMovesToFront) {
    TMRU list = List({"1", "2", "3", "4", "X", "6", "7", "8", "9", "10"});
    EXPECT_TRUE(BubbleMRU(list, "X"));
    EXPECT_EQ(list, List({"X", "1", "2", "3", "4", "6", "7", "8", "9", "10"}));
}

TEST(BubbleMru, NewEntryDropsTheTenth) {
    TMRU list = List({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
    BubbleMRU(list, "new");
    EXPECT_EQ(list, List({"new", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

TEST(BubbleMru, CaseOnlyDifferenceKeepsBothForms) {
    TMRU list = List({"a", "b", "Bob", "d"});
    BubbleMRU(list, "BOB");
    EXPECT_EQ(list, List({"BOB", "Bob", "a", "b", "d"}));
    BubbleMRU(list, "Bob");
    EXPECT_EQ(list, List({"Bob", "BOB", "a", "b", "d"}));
}

TEST(BubbleMru, EmptyEntryChangesNothing) {
    TMRU list = List({"a"});
    EXPECT_FALSE(BubbleMRU(list, ""));
    EXPECT_EQ(list, List({"a"}));
}

TEST(ConfigStore, FirstRunCreatesTheFourKeys) {
    test::TMemoryStore store;
    TConfigValues values;
    values.Amplitude = 5;
    EXPECT_TRUE(GetConfig(store, values).empty());
    ASSERT_TRUE(store.Document.has_value());
    EXPECT_EQ(values.Amplitude, 63);
    const Bytes text = FormatRegistryText(*store.Document);
    Bytes expected = "REGEDIT4\r\n";
    for (const char* key : {"NumberMRU", "NameMRU", "AnalystMRU"}) {
        expected += std::string("\r\n[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\") + key + "]\r\n";
        for (int n = 1; n <= 10; ++n) {
            expected += "\"" + std::to_string(n) + "\"=\"\"\r\n";
        }
    }
    expected +=
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\Config]\r\n"
        "\"Amplitude\"=dword:0000003f\r\n\"Clip\"=dword:0000003f\r\n";
    EXPECT_EQ(text, expected);
}

TEST(ConfigStore, MissingAmplitudeIsReportedAndTheRestIsRead) {
    TConfigValues saved;
    saved.NumberMRU[0] = "555";
    saved.NameMRU[0] = "Ann";
    saved.Clip = 20;
    test::TMemoryStore store;
    store.Document = ConfigDocument(saved);
    auto& values = store.Document->Keys.back().second.Values;
    values.erase(values.begin());  // "Amplitude"
    TConfigValues loaded;
    loaded.Amplitude = 99;
    EXPECT_EQ(GetConfig(store, loaded),
              std::vector<std::string>{"Failed to get data for 'Amplitude'"});
    EXPECT_EQ(loaded.NumberMRU[0], "555");
    EXPECT_EQ(loaded.NameMRU[0], "Ann");
    EXPECT_EQ(loaded.Amplitude, 63);
    EXPECT_EQ(loaded.Clip, 20);
    EXPECT_EQ(store.Saves, 0);
}

TEST(ConfigStore, WrongTypesAreReported) {
    test::TMemoryStore store;
    store.Document = ParseRegistryText(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\NumberMRU]\r\n"
        "\"1\"=\"kept\"\r\n\"2\"=dword:00000001\r\n\"3\"=\"unterminated\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\Config]\r\n"
        "\"Amplitude\"=\"63\"\r\n\"Clip\"=dword:1ffffffff\r\n");
    TConfigValues values;
    EXPECT_EQ(GetConfig(store, values),
              (std::vector<std::string>{"Invalid data type for '2'", "Invalid data type for '3'",
                                        "Invalid data type for 'Amplitude'",
                                        "Invalid data type for 'Clip'"}));
    EXPECT_EQ(values.NumberMRU[0], "kept");
    EXPECT_EQ(values.Amplitude, 63);
}

TEST(ConfigStore, GarbageIsReportedNotSilentlyReset) {
    test::TMemoryStore store;
    store.Document = ParseRegistryText("this is not a configuration\n\x01\x02\x03");
    TConfigValues values;
    EXPECT_EQ(GetConfig(store, values),
              std::vector<std::string>{"Failed to get data for 'NumberMRU'"});
    EXPECT_EQ(store.Saves, 0);
}

TEST(ConfigStore, TruncatedLineInAListIsReported) {
    test::TMemoryStore store;
    store.Document = ParseRegistryText(
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\NumberMRU]\r\n\"1\"=\"a\"\r\n\"2");
    TConfigValues values;
    const auto errors = GetConfig(store, values);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0], "Failed to get data for 'NumberMRU'");
    EXPECT_EQ(values.NumberMRU[0], "a");
}

TEST(ConfigStore, FileRoundTripKeepsEveryByte) {
    test::TTempDir dir;
    TRegFileStore store((dir / "sub" / "ringlark.reg").string());
    EXPECT_FALSE(store.Load().has_value());
    TConfigValues values;
    values.NumberMRU =
        List({"800-555-1212", "a\"b", "back\\slash", "x=y", "\xE9\xFF\x80", "two\r\nlines"});
    values.NameMRU[2] = "=\"\\";
    values.AnalystMRU[0] = "/home/user/caller id.wav";
    values.Amplitude = -5;
    values.Clip = 128;
    SaveConfig(store, values);
    TConfigValues loaded;
    EXPECT_TRUE(GetConfig(store, loaded).empty());
    EXPECT_EQ(loaded.NumberMRU, values.NumberMRU);
    EXPECT_EQ(loaded.NameMRU, values.NameMRU);
    EXPECT_EQ(loaded.AnalystMRU, values.AnalystMRU);
    EXPECT_EQ(loaded.Amplitude, -5);
    EXPECT_EQ(loaded.Clip, 128);
    const Bytes text = test::ReadFile(dir / "sub" / "ringlark.reg");
    EXPECT_NE(text.find("\"2\"=\"a\\\"b\"\r\n"), Bytes::npos);
    EXPECT_NE(text.find("\"Amplitude\"=dword:fffffffb\r\n"), Bytes::npos);
}

TEST(ConfigStore, UnwritableStoreReportsFailedToSetData) {
    test::TMemoryStore store;
    store.Writable = false;
    TConfigValues values;
    EXPECT_EQ(GetConfig(store, values), std::vector<std::string>{"Failed to set data for '1'"});
    test::TTempDir dir;
    test::WriteFile(dir / "file", "x");
    TRegFileStore blocked((dir / "file" / "ringlark.reg").string());
    EXPECT_FALSE(blocked.Save(ConfigDocument(values)));
}

TEST(ConfigStore, EnormousFileIsReadUpToItsLimit) {
    test::TTempDir dir;
    const auto path = dir / "big.reg";
    TConfigValues values;
    values.NumberMRU[0] = "first";
    Bytes text = FormatRegistryText(ConfigDocument(values));
    text += "\"junk\"=\"" + Bytes(TRegFileStore::MaxFileSize, 'j') + "\"\r\n";
    test::WriteFile(path, text);
    TRegFileStore store(path.string());
    TConfigValues loaded;
    const auto errors = GetConfig(store, loaded);
    EXPECT_EQ(loaded.NumberMRU[0], "first");
    EXPECT_EQ(errors, std::vector<std::string>{"Failed to get data for 'Config'"});
}

}  // namespace
}  // namespace ringlark
