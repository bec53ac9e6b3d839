#include "channel/CoreMappedFile.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VerifyReports.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int OpenDescriptorCount() {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return int(std::distance(begin(fds), end(fds)));
}

// Every way of opening, each on a fresh object: the reason given when all of them refused.
std::string RefusalOfEveryOpen(const std::string& path) {
    CoreMappedFile a, b, c;
    const bool opened = a.OpenReadWrite(path.c_str(), 64) || b.OpenRead(path.c_str()) ||
                        c.CreateReadWrite(path.c_str(), 64) || a.IsOpen() || b.IsOpen() ||
                        c.IsOpen();
    return opened ? "" : c.Refusal();
}

TEST(CoreMappedFile, CreateMakesOrResetsInPlaceAPrivateFileOfZeros) {
    TempFolder folder;
    const std::string path = folder / "region";
    const mode_t savedMask = ::umask(0); // the file is private whatever the mask
    // No file yet, then a longer and a shorter one that others may read: a reader that still
    // maps the old file sees the reset, not a detached copy; shorter files are extended.
    for (size_t before : {0, 300, 10}) {
        SCOPED_TRACE(before);
        CoreMappedFile reader, writer;
        if (before) {
            WriteFile(path, std::string(before, 'q'));
            ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
            ASSERT_TRUE(reader.OpenRead(path.c_str()));
        }
        const ino_t inode = before ? StatOf(path).st_ino : 0;
        ASSERT_TRUE(writer.CreateReadWrite(path.c_str(), 200));
        if (before) {
            EXPECT_EQ(StatOf(path).st_ino, inode);
            EXPECT_EQ(static_cast<const char*>(reader.Base())[0], '\0');
        }
        EXPECT_EQ(StatOf(path).st_mode & 07777, 0600u);
        EXPECT_EQ(ReadFile(path), std::string(200, '\0'));
        static_cast<char*>(writer.Base())[199] = 'x'; // the mapping is the file itself
        EXPECT_EQ(ReadFile(path).back(), 'x');
    }
    ::umask(savedMask);
}

TEST(CoreMappedFile, OpenNeedsAnExistingFileOfTheLengthAsked) {
    TempFolder folder;
    const std::string path = folder / "file";
    CoreMappedFile file;
    WriteFile(path, std::string(1000, 's'));
    const int descriptors = OpenDescriptorCount();
    EXPECT_FALSE(file.OpenReadWrite(path.c_str(), 4096));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ReadFile(path), std::string(1000, 's'));

    // The refusal leaves nothing behind; a longer file is mapped at the length asked, and one
    // that others may read is taken back.
    WriteFile(path, std::string(8192, 'L'));
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(file.OpenReadWrite(path.c_str(), 4096));
    EXPECT_EQ(file.Size(), 4096u);
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0600u);
    EXPECT_FALSE(file.OpenRead(path.c_str())) << "an open object refuses every further open";
    CoreMappedFile reader;
    ASSERT_TRUE(reader.OpenRead(path.c_str()));
    EXPECT_EQ(reader.Size(), 8192u);
}

TEST(CoreMappedFile, LinksAndFilesThatAreNotOursAreRefused) {
    TempFolder folder;
    const std::string target = folder / "target", link = folder / "link",
                      hardlink = folder / "hardlink";
    WriteFile(target, "precious contents");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(::symlink((folder / "nowhere").c_str(), (folder / "dangling").c_str()), 0);
    ASSERT_EQ(::link(target.c_str(), hardlink.c_str()), 0);
    ASSERT_EQ(::mkdir((folder / "directory").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    // Opening a FIFO for reading can block for ever: the opens run in a child that an alarm ends.
    testsupport::Child child([&] {
        ::alarm(10);
        const int descriptors = OpenDescriptorCount();
        for (const auto& [name, reason] : {std::pair{"link", "it is a symbolic link"},
                                           {"dangling", "it is a symbolic link"},
                                           {"hardlink", "it has more than one hard link"},
                                           {"directory", "not a regular file"},
                                           {"fifo", "not a regular file"}}) {
            EXPECT_EQ(RefusalOfEveryOpen(folder / name), reason) << name;
        }
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
        return testing::Test::HasFailure() ? 1 : 0;
    });
    ASSERT_TRUE(child.Wait(20));
    EXPECT_EQ(child.exitCode, 0) << child.out << child.err;
    EXPECT_EQ(ReadFile(target), "precious contents");
    // A client asking again and again logs the same refusal about once a second. (The table's
    // refusals were logged by the child.)
    const std::string reports = testsupport::VerifyReports([&] {
        for (int i = 0; i < 20; ++i)
            CoreMappedFile().OpenReadWrite(hardlink.c_str(), 16);
    });
    const std::string line =
        "CoreMappedFile: refused " + hardlink + ": it has more than one hard link";
    EXPECT_TRUE(reports.find(line) != std::string::npos &&
                reports.find(line) == reports.rfind(line))
        << reports;
    EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
    EXPECT_FALSE(testsupport::Exists(folder / "nowhere"));

    // A file of another user needs root to make.
    const std::string foreign = folder / "foreign";
    WriteFile(foreign, std::string(64, 'f'));
    if (::chown(foreign.c_str(), 54321, 54321) != 0) GTEST_SKIP() << "needs root";
    EXPECT_EQ(RefusalOfEveryOpen(foreign), "owned by another user (uid 54321)");
    EXPECT_EQ(ReadFile(foreign), std::string(64, 'f'));
}

// A reader asking while a writer makes the file finds none or the whole file, never a short one,
// and the writer leaves nothing else in the folder.
TEST(CoreMappedFile, ANewFileAppearsWhole) {
    TempFolder folder;
    const std::string path = folder / "region";
    constexpr unsigned long kSize = 4 << 20;
    std::atomic<bool> done{false};
    std::string refusal;
    std::thread reader([&] {
        while (!done && refusal.empty()) {
            CoreMappedFile file;
            if (!file.OpenReadWrite(path.c_str(), kSize)) refusal = file.Refusal();
        }
    });
    for (int i = 0; i < 5; ++i) {
        CoreMappedFile writer;
        EXPECT_TRUE(writer.CreateReadWrite(path.c_str(), kSize));
        writer.Close();
        EXPECT_EQ(::unlink(path.c_str()), 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(refusal, "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

} // namespace
