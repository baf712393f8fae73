#include "core/FileWriting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "core/RinglarkError.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// Two writers racing for one new name: exactly one wins, every round, and the
// file holds the winner's bytes whole.
TEST(WriteFileIfAbsent, ExactlyOneOfTwoRacingWritersWins) {
    test::TTempDir dir;
    for (int round = 0; round < 50; ++round) {
        const auto path = (dir / ("r" + std::to_string(round) + ".CID")).string();
        std::atomic<int> wins{0};
        std::atomic<bool> go{false};
        const auto writer = [&](char fill) {
            while (!go) {
            }
            if (WriteFileIfAbsent(path, std::string(100000, fill))) {
                ++wins;
            }
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        go = true;
        a.join();
        b.join();
        ASSERT_EQ(wins, 1) << round;
        const Bytes content = test::ReadFile(path);
        ASSERT_EQ(content.size(), 100000u);
        EXPECT_TRUE(content == std::string(100000, 'a') || content == std::string(100000, 'b'));
    }
    // no temporary file is left behind
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 50);
}

TEST(WriteFileIfAbsent, AnExistingNameOrLinkIsLeftAlone) {
    test::TTempDir dir;
    const auto path = (dir / "x").string();
    test::WriteFile(path, "old");
    EXPECT_FALSE(WriteFileIfAbsent(path, "new"));
    EXPECT_EQ(test::ReadFile(path), "old");
    const auto dangling = (dir / "link").string();
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(WriteFileIfAbsent(dangling, "new"));
    EXPECT_EQ(test::ErrorOf([] { WriteFileIfAbsent("", "x"); }),
              "Cannot create file : no file name");
}

TEST(ReadRegularFile, RefusesFifosAndDevicesWithoutBlockingAndBoundsTheSize) {
    test::TTempDir dir;
    const auto fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(test::ErrorOf([&] { ReadRegularFile(fifo, 100, "100 bytes"); }),
              "Cannot open file " + fifo + ": it is not a regular file");
    EXPECT_EQ(test::ErrorOf([] { ReadRegularFile("/dev/zero", 100, "100 bytes"); }),
              "Cannot open file /dev/zero: it is not a regular file");
    EXPECT_EQ(test::ErrorOf([&] { ReadRegularFile(dir.Path().string(), 100, "100 bytes"); }),
              "Cannot open file " + dir.Path().string() + ": it is a folder");
    const auto big = (dir / "big").string();
    test::WriteFile(big, std::string(101, 'x'));
    EXPECT_EQ(test::ErrorOf([&] { ReadRegularFile(big, 100, "100 bytes"); }),
              "Cannot open file " + big + ": it is larger than 100 bytes");
    EXPECT_EQ(ReadRegularFile(big, 101, "101 bytes"), std::string(101, 'x'));
}

TEST(ReadStream, ReadsAPipeToItsEndWithinTheBound) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        const std::string chunk(70000, 'z');
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(write(fds[1], chunk.data(), chunk.size()), 70000);
        }
        close(fds[1]);
    });
    EXPECT_EQ(ReadStream(fds[0], "pipe", 1 << 20, "1 MB").size(), 210000u);
    writer.join();
    close(fds[0]);
    // more than the bound: refused once the bound is passed, not at the end
    ASSERT_EQ(pipe(fds), 0);
    signal(SIGPIPE, SIG_IGN);  // the writer sees EPIPE once the reader gives up
    std::thread flood([&] {
        const std::string chunk(70000, 'z');
        for (int i = 0; i < 3; ++i) {
            if (write(fds[1], chunk.data(), chunk.size()) < 0) {
                break;
            }
        }
        close(fds[1]);
    });
    EXPECT_EQ(test::ErrorOf([&] { ReadStream(fds[0], "pipe", 100000, "100 kB"); }),
              "Cannot open file pipe: it is larger than 100 kB");
    close(fds[0]);
    flood.join();
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileInProgress, TakesItsNameOnlyWhenCommitted) {
    test::TTempDir dir;
    const auto path = (dir / "rec.wav").string();
    test::WriteFile(path, "earlier");
    {
        TFileInProgress file(path);
        file.Append("abcdef");
        file.WriteAt(1, "XY");
        EXPECT_EQ(test::ReadFile(path), "earlier");  // untouched until the commit
        EXPECT_EQ(test::ReadFile(file.TemporaryName()), "aXYdef");
        EXPECT_EQ(Names(dir.Path()).size(), 2u);
        ASSERT_TRUE(file.Commit(true));
    }
    EXPECT_EQ(test::ReadFile(path), "aXYdef");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"rec.wav"});
}

TEST(FileInProgress, WithoutReplacingKeepsBothFiles) {
    test::TTempDir dir;
    const auto path = (dir / "rec.wav").string();
    test::WriteFile(path, "earlier");
    std::string kept;
    {
        TFileInProgress file(path);
        file.Append("new");
        EXPECT_FALSE(file.Commit(false));
        kept = file.TemporaryName();
    }
    EXPECT_EQ(test::ReadFile(path), "earlier");
    EXPECT_EQ(test::ReadFile(kept), "new");  // nothing heard is lost
}

TEST(FileInProgress, AnAbandonedFileLeavesNothingAndBadPlacesAreRefused) {
    test::TTempDir dir;
    {
        TFileInProgress file((dir / "x.wav").string());
        file.Append("abc");
    }
    EXPECT_TRUE(Names(dir.Path()).empty());
    EXPECT_EQ(test::ErrorOf([&] { TFileInProgress((dir / "no/x.wav").string()); }),
              "Cannot create file " + (dir / "no/x.wav").string() + ": No such file or directory");
    EXPECT_EQ(test::ErrorOf([&] { TFileInProgress(dir.Path().string()); }),
              "Cannot create file " + dir.Path().string() + ": it is a folder");
    EXPECT_EQ(test::ErrorOf([] { TFileInProgress(""); }), "Cannot create file : no file name");
}

TEST(FileInProgress, AFailedRenameKeepsTheFileUnderItsTemporaryName) {
    test::TTempDir dir;
    const auto path = (dir / "x.wav").string();
    std::string temporary;
    {
        TFileInProgress file(path);
        file.Append("abc");
        std::filesystem::create_directories(dir / "x.wav" / "inside");  // the name is taken
        EXPECT_EQ(test::ErrorOf([&] { file.Commit(true); }),
                  "Cannot create file " + path + ": Is a directory");
        temporary = file.TemporaryName();
    }
    EXPECT_EQ(test::ReadFile(temporary), "abc");
}

}  // namespace
}  // namespace ringlark
