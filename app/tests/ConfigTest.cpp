#include "app/Config.h"
#include "core/RinglarkError.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "app/RegistryFile.h"
#include "app/tests/AppTestSupport.h"
#include "core/UserMessages.h"
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

// A store over 4 MB is reported, not read and never overwritten.
TEST(ConfigStore, EnormousFileIsReportedAndKept) {
    test::TTempDir dir;
    const auto path = dir / "big.reg";
    TConfigValues values;
    values.NumberMRU[0] = "first";
    Bytes text = FormatRegistryText(ConfigDocument(values));
    text += "\"junk\"=\"" + Bytes(TRegFileStore::MaxFileSize, 'j') + "\"\r\n";
    test::WriteFile(path, text);
    TRegFileStore store(path.string());
    TConfigValues loaded;
    const std::string refusal = "The configuration file " + path.string() +
                                " was not read: it is larger than 4 MB. It is left as it is, and "
                                "settings changed now are not kept.";
    EXPECT_EQ(GetConfig(store, loaded), std::vector<std::string>{refusal});
    EXPECT_EQ(loaded.NumberMRU[0], "");
    EXPECT_EQ(test::ErrorOf([&] { SaveConfig(store, loaded); }), refusal);
    EXPECT_EQ(test::ReadFile(path), text);
}

// A FIFO in place of the store is neither opened (which would wait for a
// writer) nor replaced.
TEST(ConfigStore, FifoInPlaceOfTheStoreIsReportedAndKept) {
    test::TTempDir dir;
    const auto path = (dir / "ringlark.reg").string();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    TRegFileStore store(path);
    TConfigValues values;
    const auto errors = GetConfig(store, values);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("was not read: it is not a regular file"), std::string::npos);
    EXPECT_THROW(SaveConfig(store, values), RinglarkError);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// What a user may make of the file by hand, or export from the registry
// editor: lower-case key paths, CR-only line ends, UTF-16.
TEST(ConfigStore, HandEditedStoresAreReadWhole) {
    const Bytes reg =
        "REGEDIT4\r[hkey_local_machine\\software\\ringlark\\numbermru]\r\"1\"=\"555\"\r"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ringlark\\NameMRU]\r\"1\"=\"Ann\"\r"
        "[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\Config]\r\"amplitude\"=dword:00000050\r"
        "\"Clip\"=dword:00000040\r";
    Bytes utf16 = "\xFF\xFE";
    for (char c : Bytes("Windows Registry Editor Version 5.00\r\n") + reg.substr(9)) {
        utf16 += c;
        utf16 += '\0';
    }
    for (const Bytes& text : {reg, utf16}) {
        test::TMemoryStore store;
        store.Document = ParseRegistryText(text);
        TConfigValues values;
        EXPECT_TRUE(GetConfig(store, values).empty());
        EXPECT_EQ(values.NumberMRU[0], "555");
        EXPECT_EQ(values.NameMRU[0], "Ann");
        EXPECT_EQ(values.Amplitude, 80);
        EXPECT_EQ(values.Clip, 64);
    }
}

// A store with read errors keeps every value that was read, and the file as
// it was is kept beside it once before it is overwritten.
TEST(ConfigStore, MissingListKeepsTheRestAndTheOldFileIsKept) {
    test::TTempDir dir;
    const auto path = (dir / "ringlark.reg").string();
    const Bytes old = test::StoreWithoutNumberList();
    test::WriteFile(path, old);
    TRegFileStore store(path);
    TConfigValues values;
    EXPECT_EQ(GetConfig(store, values),
              (std::vector<std::string>{"Failed to get data for 'NumberMRU'",
                                        "The configuration file had errors; before it is saved "
                                        "again, it is kept as " +
                                            path + ".bak"}));
    EXPECT_EQ(values.NameMRU[0], "Ann");
    EXPECT_EQ(values.AnalystMRU[0], "/tmp/a.wav");
    EXPECT_EQ(values.Amplitude, 90);
    SaveConfig(store, values);
    EXPECT_EQ(test::ReadFile(path + ".bak"), old);
    values.NameMRU[0] = "Bob";
    SaveConfig(store, values);
    EXPECT_EQ(test::ReadFile(path + ".bak"), old);  // kept once
    TConfigValues again;
    TRegFileStore reopened(path);
    EXPECT_TRUE(GetConfig(reopened, again).empty());
    EXPECT_EQ(again.NameMRU[0], "Bob");
    EXPECT_EQ(again.AnalystMRU[0], "/tmp/a.wav");
}

TEST(ConfigStore, ManySectionsParseInLinearTimeAndLongEntriesAreCut) {
    Bytes text = "REGEDIT4\r\n";
    for (int i = 0; i < 200000; ++i) {
        text +=
            "[HKEY_LOCAL_MACHINE\\Software\\Other\\K" + std::to_string(i) + "]\r\n\"v\"=\"x\"\r\n";
    }
    text += "[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\NumberMRU]\r\n\"1\"=\"" +
            Bytes(10u << 20, '5') + "\"\r\n";
    const TRegistryDocument document = ParseRegistryText(text);
    EXPECT_EQ(document.Keys.size(), 200001u);
    test::TMemoryStore store;
    store.Document = document;
    TConfigValues values;
    GetConfig(store, values);
    EXPECT_EQ(values.NumberMRU[0], Bytes(MaxMruEntryBytes, '5'));
}

// A store kept at the earlier place is read once and then saved at the new
// place; the earlier file is left as it was.
TEST(ConfigStore, StoreAtTheEarlierPlaceMovesToTheNewOne) {
    test::TTempDir dir;
    const auto earlier = (dir / "Ringlark" / "ringlark.reg").string();
    const auto now = (dir / "ringlark.reg").string();
    std::filesystem::create_directories(dir / "Ringlark");
    TConfigValues stored;
    stored.NameMRU[0] = "Ann";
    stored.Clip = 128;
    const Bytes old = FormatRegistryText(ConfigDocument(stored));
    test::WriteFile(earlier, old);
    TRegFileStore store(now, earlier);
    TConfigValues values;
    EXPECT_TRUE(GetConfig(store, values).empty());
    EXPECT_EQ(values.NameMRU[0], "Ann");
    EXPECT_EQ(values.Clip, 128);
    SaveConfig(store, values);
    EXPECT_EQ(test::ReadFile(now), old);
    EXPECT_EQ(test::ReadFile(earlier), old);
    TConfigValues again;
    TRegFileStore reopened(now, earlier);
    EXPECT_TRUE(GetConfig(reopened, again).empty());
    EXPECT_EQ(again.NameMRU[0], "Ann");
}

// Writing through a link whose target does not exist yet creates the target.
TEST(ConfigStore, DanglingLinkIsFollowedWhenWriting) {
    test::TTempDir dir;
    const auto link = (dir / "ringlark.reg").string();
    ASSERT_EQ(symlink("real.reg", link.c_str()), 0);
    TRegFileStore store(link);
    TConfigValues values;
    EXPECT_TRUE(GetConfig(store, values).empty());  // nothing stored yet: defaults saved
    values.NumberMRU[0] = "1";
    SaveConfig(store, values);
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_NE(test::ReadFile(dir / "real.reg").find("\"1\"=\"1\""), Bytes::npos);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

TEST(ConfigStore, TheStandardIsStoredOnlyWhenItIsNotBell202) {
    TConfigValues values;
    const Bytes bell = FormatRegistryText(ConfigDocument(values));
    EXPECT_EQ(bell.find("Standard"), Bytes::npos);  // as an earlier store holds it
    for (TCidStandard standard : {TCidStandard::EtsiV23, TCidStandard::Bt, TCidStandard::Dtmf}) {
        values.Standard = standard;
        test::TMemoryStore store;
        store.Document = ConfigDocument(values);
        EXPECT_NE(FormatRegistryText(*store.Document)
                      .find("\"Standard\"=\"" + std::string(StandardName(standard)) + "\"\r\n"),
                  Bytes::npos);
        TConfigValues read;
        EXPECT_TRUE(GetConfig(store, read).empty());
        EXPECT_EQ(read.Standard, standard);
    }
    // an earlier store reads as Bell 202; a value it cannot name is reported
    test::TMemoryStore earlier;
    earlier.Document = ConfigDocument(TConfigValues{});
    TConfigValues read;
    read.Standard = TCidStandard::Dtmf;
    EXPECT_TRUE(GetConfig(earlier, read).empty());
    EXPECT_EQ(read.Standard, TCidStandard::Bell202);
    earlier.Document->Key(std::string(ConfigRoot) + "\\Config")
        .Set("Standard", TRegValue{TRegType::String, "v23", 0});
    const auto errors = GetConfig(earlier, read);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0], msg::InvalidDataType("Standard"));
    EXPECT_EQ(read.Standard, TCidStandard::Bell202);
}

TEST(ConfigStore, TheLineMonitorsSettingsAreStoredOnlyWhenChanged) {
    TConfigValues values;
    const Bytes plain = FormatRegistryText(ConfigDocument(values));
    EXPECT_EQ(plain.find("Monitor"), Bytes::npos);  // as an earlier store holds it
    values.MonitorLogFile = "/home/ann/calls \"line 2\".sqlite";
    values.MonitorNotify = false;
    values.MonitorHook = "notify-send \"$RINGLARK_NUMBER\"";
    test::TMemoryStore store;
    store.Document = ConfigDocument(values);
    TConfigValues read;
    EXPECT_TRUE(GetConfig(store, read).empty());
    EXPECT_EQ(read.MonitorLogFile, values.MonitorLogFile);
    EXPECT_FALSE(read.MonitorNotify);
    EXPECT_EQ(read.MonitorHook, values.MonitorHook);
    // read back from the text of the file, quotes and backslashes included
    test::TMemoryStore reparsed;
    reparsed.Document = ParseRegistryText(FormatRegistryText(*store.Document));
    TConfigValues again;
    EXPECT_TRUE(GetConfig(reparsed, again).empty());
    EXPECT_EQ(again.MonitorHook, values.MonitorHook);
    EXPECT_EQ(again.MonitorLogFile, values.MonitorLogFile);
    // a value it cannot read is told, and the default kept
    store.Document->Key(std::string(ConfigRoot) + "\\Config")
        .Set("MonitorNotify", TRegValue{TRegType::String, "maybe", 0});
    const auto errors = GetConfig(store, read);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], msg::InvalidDataType("MonitorNotify"));
    EXPECT_TRUE(read.MonitorNotify);
}

TEST(ConfigStore, TestSignalImpairmentsAreAKeyOfTheirOwnThatEarlierStoresLack) {
    // an earlier store, as the first run writes it: every impairment off
    test::TMemoryStore earlier;
    TConfigValues first;
    EXPECT_TRUE(GetConfig(earlier, first).empty());
    const Bytes earlierText = FormatRegistryText(*earlier.Document);
    EXPECT_EQ(earlierText.find("TestSignal"), Bytes::npos);
    TConfigValues read;
    read.TestSignal.TwistDb = 4;  // whatever was there before is replaced
    EXPECT_TRUE(GetConfig(earlier, read).empty());
    EXPECT_FALSE(read.TestSignal.Any());
    SaveConfig(earlier, read);
    EXPECT_EQ(FormatRegistryText(*earlier.Document), earlierText);

    test::TTempDir dir;
    TRegFileStore store((dir / "ringlark.reg").string());
    TConfigValues values;
    values.TestSignal.LevelDbfs = -20.5;
    values.TestSignal.IdleBits = 20;
    values.TestSignal.SnrDb = 12;
    values.TestSignal.Seed = 7;
    values.TestSignal.TelephoneBand = true;
    SaveConfig(store, values);
    EXPECT_NE(test::ReadFile(dir / "ringlark.reg")
                  .find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Ringlark\\TestSignal]\r\n"
                        "\"level-dbfs\"=\"-20.5\"\r\n\"idle-bits\"=\"20\"\r\n\"snr-db\"=\"12\"\r\n"
                        "\"seed\"=\"7\"\r\n\"telephone-band\"=\"1\"\r\n"),
              Bytes::npos)
        << test::ReadFile(dir / "ringlark.reg");
    TConfigValues loaded;
    EXPECT_TRUE(GetConfig(store, loaded).empty());
    EXPECT_EQ(loaded.TestSignal, values.TestSignal);

    // a value out of range or of the wrong type is told and left off; a name
    // a later version may write is passed over
    test::TMemoryStore hand;
    hand.Document = ConfigDocument(values);
    TRegKey& key = hand.Document->Key(std::string(ConfigRoot) + "\\TestSignal");
    key.Set("twist-db", TRegValue{TRegType::String, "30", 0});
    key.Set("idle-bits", TRegValue{TRegType::String, "2.5", 0});
    key.Set("snr-db", TRegValue{TRegType::Dword, "", 12});
    key.Set("ring-ms", TRegValue{TRegType::String, "2000", 0});
    TConfigValues partly;
    EXPECT_EQ(
        GetConfig(hand, partly),
        (std::vector<std::string>{msg::InvalidDataType("idle-bits"), msg::InvalidDataType("snr-db"),
                                  msg::InvalidDataType("twist-db")}));
    EXPECT_EQ(partly.TestSignal.LevelDbfs, -20.5);
    EXPECT_FALSE(partly.TestSignal.TwistDb.has_value());
    EXPECT_FALSE(partly.TestSignal.IdleBits.has_value());
    EXPECT_FALSE(partly.TestSignal.SnrDb.has_value());
    EXPECT_EQ(partly.TestSignal.Seed, 7u);
}

}  // namespace
}  // namespace ringlark
