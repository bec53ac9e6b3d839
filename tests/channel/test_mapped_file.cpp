#include "channel/CoreMappedFile.h"
#include "core/CoreMachDebugLog.h"
#include "tests/support/TestSupport.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
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
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

bool AllZero(const std::string& bytes) {
    return bytes.find_first_not_of('\0') == std::string::npos;
}

// Log texts go to standard error while a capture is running.
class LogCapture {
public:
    LogCapture() : mSaved(CoreMachDebugLogGetUseLogger()) {
        CoreMachDebugLogSetUseLogger(kCoreLogToASL);
        testing::internal::CaptureStderr();
    }
    ~LogCapture() { Finish(); }
    std::string Finish() {
        if (!mDone) {
            mText = testing::internal::GetCapturedStderr();
            CoreMachDebugLogSetUseLogger(mSaved);
            mDone = true;
        }
        return mText;
    }

private:
    kCoreLogOutput mSaved;
    bool mDone = false;
    std::string mText;
};

// Every way of opening, each on a fresh object; true when any of them succeeded.
bool AnyOpenSucceeds(const std::string& path) {
    CoreMappedFile a, b, c;
    return a.OpenReadWrite(path.c_str(), 64) || a.IsOpen() || b.OpenRead(path.c_str()) ||
           b.IsOpen() || c.CreateReadWrite(path.c_str(), 64) || c.IsOpen();
}

TEST(CoreMappedFile, CreateWritesExactlyTheRequestedZeroBytes) {
    TempFolder folder;
    for (unsigned long size : {4096ul, 100ul, 1ul}) {
        SCOPED_TRACE(size);
        const std::string path = folder / ("created-" + std::to_string(size));
        CoreMappedFile file;
        ASSERT_TRUE(file.CreateReadWrite(path.c_str(), size));
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(file.Size(), size);
        EXPECT_EQ(file.Protection(), CoreMappedFile::kProtectReadWrite);
        const std::string bytes = ReadFile(path);
        EXPECT_EQ(bytes.size(), size);
        EXPECT_TRUE(AllZero(bytes));

        // The mapping is shared with the file itself.
        static_cast<char*>(file.Base())[size - 1] = 'x';
        EXPECT_EQ(ReadFile(path).back(), 'x');
        EXPECT_EQ(file.Close(), 0);
    }
}

TEST(CoreMappedFile, CreatedFileIsPrivateToItsUserWhateverTheUmask) {
    TempFolder folder;
    const mode_t savedMask = ::umask(0);
    CoreMappedFile file;
    const bool created = file.CreateReadWrite((folder / "fresh").c_str(), 64);
    ::umask(savedMask);
    ASSERT_TRUE(created);
    EXPECT_EQ(StatOf(folder / "fresh").st_mode & 07777, 0600u);

    const std::string open = folder / "open";
    WriteFile(open, std::string(64, 'a'));
    ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
    CoreMappedFile reset;
    ASSERT_TRUE(reset.CreateReadWrite(open.c_str(), 64));
    EXPECT_EQ(StatOf(open).st_mode & 07777, 0600u);
}

TEST(CoreMappedFile, CreateResetsAnExistingFileInPlace) {
    TempFolder folder;
    const std::string path = folder / "existing";
    WriteFile(path, std::string(300, 'q'));
    const ino_t inode = StatOf(path).st_ino;

    // A reader that still maps the old file must see the reset, not a detached copy.
    CoreMappedFile reader;
    ASSERT_TRUE(reader.OpenRead(path.c_str()));
    ASSERT_EQ(reader.Size(), 300u);

    CoreMappedFile writer;
    ASSERT_TRUE(writer.CreateReadWrite(path.c_str(), 200));
    EXPECT_EQ(StatOf(path).st_ino, inode);
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.size(), 200u);
    EXPECT_TRUE(AllZero(bytes));
    EXPECT_TRUE(AllZero(std::string(static_cast<const char*>(reader.Base()), 200)));

    // A shorter file is extended with zeros.
    writer.Close();
    WriteFile(path, std::string(10, 'q'));
    ASSERT_TRUE(writer.CreateReadWrite(path.c_str(), 100));
    const std::string extended = ReadFile(path);
    EXPECT_EQ(extended.size(), 100u);
    EXPECT_TRUE(AllZero(extended));
}

TEST(CoreMappedFile, OpenReadWriteNeedsAnExistingFileOfTheRequestedLength) {
    TempFolder folder;
    const std::string missing = folder / "missing";
    CoreMappedFile file;
    EXPECT_FALSE(file.OpenReadWrite(missing.c_str(), 64));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(testsupport::Exists(missing));

    // A longer file is mapped at the requested length, with its contents.
    const std::string longer = folder / "longer";
    WriteFile(longer, std::string(8192, 'L'));
    ASSERT_TRUE(file.OpenReadWrite(longer.c_str(), 4096));
    EXPECT_EQ(file.Size(), 4096u);
    EXPECT_EQ(file.Protection(), CoreMappedFile::kProtectReadWrite);
    EXPECT_EQ(static_cast<const char*>(file.Base())[4095], 'L');
    static_cast<char*>(file.Base())[0] = 'w';
    EXPECT_EQ(ReadFile(longer)[0], 'w');
    EXPECT_EQ(ReadFile(longer).size(), 8192u);
    file.Close();

    const std::string shorter = folder / "shorter";
    WriteFile(shorter, std::string(1000, 's'));
    const int descriptors = OpenDescriptorCount();
    LogCapture log;
    EXPECT_FALSE(file.OpenReadWrite(shorter.c_str(), 4096));
    const std::string text = log.Finish();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Base(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_NE(text.find(shorter), std::string::npos) << text;
    EXPECT_EQ(ReadFile(shorter), std::string(1000, 's'));
    EXPECT_EQ(file.Close(), -1);

    // The refusal leaves nothing behind: the same object opens a good file afterwards.
    EXPECT_TRUE(file.OpenReadWrite(shorter.c_str(), 1000));
}

TEST(CoreMappedFile, OpenReadMapsTheWholeFileReadOnly) {
    TempFolder folder;
    const std::string path = folder / "data";
    WriteFile(path, std::string(5000, 'r'));
    CoreMappedFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_EQ(file.Size(), 5000u);
    EXPECT_EQ(file.Protection(), CoreMappedFile::kProtectReadOnly);
    EXPECT_EQ(static_cast<const char*>(file.Base())[4999], 'r');

    CoreMappedFile missing;
    EXPECT_FALSE(missing.OpenRead((folder / "missing").c_str()));
    EXPECT_FALSE(missing.IsOpen());
}

TEST(CoreMappedFile, AnOpenObjectRefusesEveryFurtherOpen) {
    TempFolder folder;
    const std::string first = folder / "first", second = folder / "second";
    WriteFile(second, std::string(128, 'z'));
    CoreMappedFile file;
    ASSERT_TRUE(file.CreateReadWrite(first.c_str(), 256));
    void* const base = file.Base();
    static_cast<char*>(base)[0] = 'k';

    EXPECT_FALSE(file.CreateReadWrite(second.c_str(), 128));
    EXPECT_FALSE(file.OpenReadWrite(second.c_str(), 128));
    EXPECT_FALSE(file.OpenRead(second.c_str()));
    EXPECT_EQ(file.Base(), base);
    EXPECT_EQ(file.Size(), 256u);
    EXPECT_EQ(file.Protection(), CoreMappedFile::kProtectReadWrite);
    EXPECT_EQ(static_cast<const char*>(file.Base())[0], 'k');
    EXPECT_EQ(ReadFile(second), std::string(128, 'z'));
}

TEST(CoreMappedFile, CloseReportsWhetherADescriptorWasOpen) {
    TempFolder folder;
    CoreMappedFile file;
    EXPECT_EQ(file.Close(), -1);
    const int descriptors = OpenDescriptorCount();
    ASSERT_TRUE(file.CreateReadWrite((folder / "f").c_str(), 64));
    EXPECT_EQ(file.Close(), 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Base(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(file.Close(), -1);
    // The file itself stays.
    EXPECT_EQ(ReadFile(folder / "f").size(), 64u);
}

TEST(CoreMappedFile, SymbolicLinksAreNeverFollowed) {
    TempFolder folder;
    const std::string target = folder / "target", link = folder / "link";
    WriteFile(target, "precious contents");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const int descriptors = OpenDescriptorCount();
    EXPECT_FALSE(AnyOpenSucceeds(link));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ReadFile(target), "precious contents");
    EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));

    // A dangling link must not make the writer create its target either.
    const std::string dangling = folder / "dangling";
    ASSERT_EQ(::symlink((folder / "nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(AnyOpenSucceeds(dangling));
    EXPECT_FALSE(testsupport::Exists(folder / "nowhere"));
}

TEST(CoreMappedFile, OnlyRegularFilesAreMapped) {
    TempFolder folder;
    const std::string directory = folder / "directory";
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    EXPECT_FALSE(AnyOpenSucceeds(directory));

    // Opening a FIFO for reading can block for ever: try it in a child that an alarm ends.
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::alarm(10);
        ::_exit(AnyOpenSucceeds(fifo) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "an open of a FIFO did not return";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));

    // A device that maps like memory is refused as well.
    const std::string device = folder / "zero";
    if (::geteuid() != 0 || ::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    EXPECT_FALSE(AnyOpenSucceeds(device));
}

TEST(CoreMappedFile, FilesOfAnotherUserAreRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    TempFolder folder;
    const std::string path = folder / "foreign";
    WriteFile(path, std::string(64, 'f'));
    ASSERT_EQ(::chown(path.c_str(), 54321, 54321), 0);
    const int descriptors = OpenDescriptorCount();
    EXPECT_FALSE(AnyOpenSucceeds(path));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ReadFile(path), std::string(64, 'f'));
    EXPECT_EQ(StatOf(path).st_uid, 54321u);
}

TEST(CoreMappedFile, SizeQueryKeepsTheOffsetAndFillStartsAtIt) {
    TempFolder folder;
    const std::string path = folder / "raw";
    WriteFile(path, std::string(10, 'a'));
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(::lseek(fd, 4, SEEK_SET), 4);
    EXPECT_EQ(CoreMappedFile::DiskFile_GetSizeBytes(fd), 10);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 4);
    EXPECT_TRUE(CoreMappedFile::DiskFile_ZeroFillData(fd, 70));
    ::close(fd);
    EXPECT_EQ(ReadFile(path), std::string(4, 'a') + std::string(70, '\0'));
}

TEST(CoreMappedFile, SyncMemoryDelaySleeps) {
    CoreMappedFile file;
    EXPECT_TRUE(file.SyncMemoryDelay(0.05));
    EXPECT_TRUE(file.SyncMemoryDelay(0));
}

} // namespace
