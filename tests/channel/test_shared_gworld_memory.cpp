#include "channel/SharedGWorldMemory.h"
#include "channel/SharedSemaphore.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

using namespace std::chrono_literals;

// The region's layout, written out here so that a change of the shared format fails the tests.
constexpr size_t kRegionBytes = 2460672;
constexpr size_t kFrameBytes = 1228800;
constexpr size_t kBuffer0Offset = 1024;
constexpr size_t kBuffer1Offset = 1230848;
constexpr size_t kTagOffset = 2460160;
constexpr size_t kAllowanceOffset = 2460164;
constexpr size_t kTrailerOffset = 2460168;
constexpr uint32_t kSignature = 0x56737472; // 'Vstr'
constexpr uint32_t kVersion = 0x312E3030;   // '1.00'

uint32_t WordAt(const std::string& bytes, size_t offset) {
    uint32_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = word << 8 | uint8_t(bytes.at(offset + size_t(i)));
    return word;
}

void PutWord(std::string& bytes, size_t offset, uint32_t word) {
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + size_t(i)) = char(uint8_t(word >> (8 * i)));
}

// Changes a word of the file behind any mapping's back.
void PutWordInFile(const std::string& path, size_t offset, uint32_t word) {
    std::string bytes(4, '\0');
    PutWord(bytes, 0, word);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(::pwrite(fd, bytes.data(), 4, off_t(offset)), 4);
    ::close(fd);
}

std::string RegionBytes(uint32_t signature, uint32_t version, uint32_t tag, uint32_t allowance) {
    std::string bytes(kRegionBytes, '\0');
    PutWord(bytes, 0, signature);
    PutWord(bytes, 4, version);
    PutWord(bytes, kTagOffset, tag);
    PutWord(bytes, kAllowanceOffset, allowance);
    PutWord(bytes, kTrailerOffset, kSignature);
    return bytes;
}

// True when the bytes are a fresh region: header words and zeros everywhere else.
::testing::AssertionResult IsFreshRegion(std::string bytes) {
    if (bytes.size() != kRegionBytes)
        return ::testing::AssertionFailure() << "length " << bytes.size();
    if (WordAt(bytes, 0) != kSignature || WordAt(bytes, 4) != kVersion ||
        WordAt(bytes, kTrailerOffset) != kSignature)
        return ::testing::AssertionFailure()
               << "header " << std::hex << WordAt(bytes, 0) << " " << WordAt(bytes, 4) << " "
               << WordAt(bytes, kTrailerOffset);
    PutWord(bytes, 0, 0);
    PutWord(bytes, 4, 0);
    PutWord(bytes, kTrailerOffset, 0);
    const size_t dirty = bytes.find_first_not_of('\0');
    if (dirty != std::string::npos)
        return ::testing::AssertionFailure() << "non-zero byte at " << dirty;
    return ::testing::AssertionSuccess();
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_ino;
}

uint32_t SemaphoreCount(const char* name) {
    const std::string bytes = ReadFile(std::string("/dev/shm/sem.") + name);
    return bytes.size() >= 4 ? WordAt(bytes, 0) : 0xDEADBEEF;
}

int WaitForChild(pid_t child, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(10ms);
    }
}

// Each test gets its own region file; the buffer semaphores are recreated with count 1.
class SharedGWorldMemoryTest : public testing::Test {
protected:
    void SetUp() override {
        shared_semaphore::sem_unlink(SharedCamera::kSemaphoreName0);
        shared_semaphore::sem_unlink(SharedCamera::kSemaphoreName1);
        SharedGWorldMemory::sFileMappingPath.CreateFileName(
            (mFolder.Path() + "/region-%@-%s.tmp").c_str(), SharedCamera::kFrameFormatName);
        mPath = SharedGWorldMemory::sFileMappingPath.c_str();
        ASSERT_EQ(mPath.rfind(mFolder.Path() + "/region-", 0), 0u) << mPath;
        ASSERT_NE(mPath.find("-640x480-ARGB.tmp"), std::string::npos) << mPath;
    }

    void TearDown() override {
        EXPECT_EQ(SemaphoreCount(SharedCamera::kSemaphoreName0), 1u) << "buffer 0 left locked";
        EXPECT_EQ(SemaphoreCount(SharedCamera::kSemaphoreName1), 1u) << "buffer 1 left locked";
    }

    testsupport::TempFolder mFolder;
    std::string mPath;
};

TEST_F(SharedGWorldMemoryTest, AWriterCreatesAFreshRegion) {
    ASSERT_FALSE(Exists(mPath));
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_TRUE(writer.IsViewOpen());
    EXPECT_TRUE(IsFreshRegion(ReadFile(mPath)));
    EXPECT_TRUE(writer.IsOpenWriteView());

    // Fresh: no current frame, no limit on connections.
    EXPECT_EQ(writer.GetCurrentReadBuffer(), nullptr);
    EXPECT_TRUE(writer.AllowCameraConnection(1000));

    // The buffers lie at their fixed offsets of the shared file.
    uint8_t* buffer0 = writer.GetWriteBuffer_N(0);
    uint8_t* buffer1 = writer.GetWriteBuffer_N(1);
    ASSERT_NE(buffer0, nullptr);
    ASSERT_NE(buffer1, nullptr);
    EXPECT_EQ(writer.GetWriteBuffer_N(2), nullptr);
    buffer0[0] = 0xA0;
    buffer0[kFrameBytes - 1] = 0xA1;
    buffer1[0] = 0xB0;
    buffer1[kFrameBytes - 1] = 0xB1;
    const std::string bytes = ReadFile(mPath);
    EXPECT_EQ(uint8_t(bytes[kBuffer0Offset]), 0xA0);
    EXPECT_EQ(uint8_t(bytes[kBuffer0Offset + kFrameBytes - 1]), 0xA1);
    EXPECT_EQ(uint8_t(bytes[kBuffer1Offset]), 0xB0);
    EXPECT_EQ(uint8_t(bytes[kBuffer1Offset + kFrameBytes - 1]), 0xB1);

    // Both buffer semaphores are open, each a lock of its own.
    EXPECT_TRUE(Exists("/dev/shm/sem.VistrelXXX_0"));
    EXPECT_TRUE(Exists("/dev/shm/sem.VistrelXXX_1"));
    ASSERT_TRUE(writer.TryLockFrameBufferPtr(buffer0));
    EXPECT_EQ(SemaphoreCount("VistrelXXX_0"), 0u);
    EXPECT_EQ(SemaphoreCount("VistrelXXX_1"), 1u);
    ASSERT_TRUE(writer.TryLockFrameBufferPtr(buffer1));
    EXPECT_EQ(SemaphoreCount("VistrelXXX_1"), 0u);
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer0));
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer1));

    EXPECT_TRUE(writer.Close());
    EXPECT_FALSE(writer.IsViewOpen());
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(writer.GetWriteBuffer_N(0), nullptr);
    EXPECT_FALSE(writer.LockFrameBufferPtr(buffer0));
    // Neither the file nor the semaphores are removed.
    EXPECT_TRUE(Exists(mPath));
    EXPECT_TRUE(Exists("/dev/shm/sem.VistrelXXX_0"));
}

TEST_F(SharedGWorldMemoryTest, AWriterReusesAnExistingRegionAsItIs) {
    {
        SharedGWorldMemory first;
        ASSERT_TRUE(first.IsOpenWriteView());
        uint8_t* buffer1 = first.GetWriteBuffer_N(1);
        ASSERT_NE(buffer1, nullptr);
        std::memset(buffer1, 0x5A, SharedCamera::kFrameRowBytes);
        ASSERT_TRUE(first.SetCurrentWriteBuffer(buffer1));
        first.SetAllowCameraConnections(3);
    }
    const std::string before = ReadFile(mPath);
    const ino_t inode = InodeOf(mPath);

    SharedGWorldMemory second;
    ASSERT_TRUE(second.IsOpenWriteView());
    EXPECT_EQ(InodeOf(mPath), inode);
    EXPECT_TRUE(ReadFile(mPath) == before) << "the writer rewrote an existing region";
    const uint8_t* current = second.GetCurrentReadBuffer();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current, second.GetWriteBuffer_N(1));
    EXPECT_EQ(current[0], 0x5A);
    EXPECT_EQ(current[SharedCamera::kFrameRowBytes - 1], 0x5A);
    EXPECT_EQ(current[SharedCamera::kFrameRowBytes], 0);
    EXPECT_TRUE(second.AllowCameraConnection(3));
    EXPECT_FALSE(second.AllowCameraConnection(4));

    // A reader sees the same region through a mapping of its own.
    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadWriteView());
    const uint8_t* seen = reader.GetCurrentReadBuffer();
    ASSERT_NE(seen, nullptr);
    EXPECT_NE(seen, current);
    EXPECT_EQ(seen[0], 0x5A);
    second.GetWriteBuffer_N(1)[0] = 0x77;
    EXPECT_EQ(seen[0], 0x77);
}

TEST_F(SharedGWorldMemoryTest, AForeignRegionIsNeitherUsedNorRepaired) {
    const uint32_t otherVersion = 0x322E3030; // '2.00'
    for (const auto& [signature, version] :
         {std::pair{0x58585858u, kVersion}, std::pair{kSignature, otherVersion}}) {
        SCOPED_TRACE(::testing::Message() << std::hex << signature << " " << version);
        const std::string foreign = RegionBytes(signature, version, 0x11111111, 0);
        WriteFile(mPath, foreign);

        SharedGWorldMemory writer;
        writer.IsOpenWriteView();
        SharedGWorldMemory reader;
        reader.OpenReadWriteView();
        SharedGWorldMemory viewer;
        viewer.OpenReadView();
        for (SharedGWorldMemory* memory : {&writer, &reader, &viewer}) {
            EXPECT_EQ(memory->GetWriteBuffer_N(0), nullptr);
            EXPECT_EQ(memory->GetWriteBuffer_N(1), nullptr);
            EXPECT_EQ(memory->GetCurrentReadBuffer(), nullptr);
            EXPECT_FALSE(memory->SetCurrentWriteBuffer(nullptr));
            EXPECT_FALSE(memory->AllowCameraConnection(0));
            EXPECT_FALSE(memory->AllowCameraConnection(1));
            memory->SetAllowCameraConnections(0xFFFFFFFF);
        }
        EXPECT_TRUE(ReadFile(mPath) == foreign) << "the foreign region was changed";
    }
}

TEST_F(SharedGWorldMemoryTest, TheTagNamesTheCurrentBuffer) {
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    uint8_t* buffer0 = writer.GetWriteBuffer_N(0);
    uint8_t* buffer1 = writer.GetWriteBuffer_N(1);
    ASSERT_NE(buffer0, nullptr);
    ASSERT_NE(buffer1, nullptr);

    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer0));
    EXPECT_EQ(WordAt(ReadFile(mPath), kTagOffset), 0x11111111u);
    EXPECT_EQ(writer.GetCurrentReadBuffer(), buffer0);
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer1));
    EXPECT_EQ(WordAt(ReadFile(mPath), kTagOffset), 0x22222222u);
    EXPECT_EQ(writer.GetCurrentReadBuffer(), buffer1);

    // Addresses near a buffer but not at its start name no buffer.
    uint8_t* const region = buffer0 - kBuffer0Offset;
    for (const uint8_t* inner : {buffer0 + 1, buffer0 + 4, buffer1 + kFrameBytes - 4,
                                 buffer1 + kFrameBytes, buffer1 - 1024, region}) {
        EXPECT_FALSE(writer.SetCurrentWriteBuffer(inner)) << inner - region;
    }
    EXPECT_EQ(WordAt(ReadFile(mPath), kTagOffset), 0x22222222u);

    ASSERT_TRUE(writer.SetCurrentWriteBuffer(nullptr));
    EXPECT_EQ(WordAt(ReadFile(mPath), kTagOffset), 0u);
    EXPECT_EQ(writer.GetCurrentReadBuffer(), nullptr);

    // Only the two buffer tags name a buffer.
    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadWriteView());
    for (uint32_t tag : {0x33333333u, 0x11111112u, 0x22222221u, 0x11112222u, 0xFFFFFFFFu}) {
        PutWordInFile(mPath, kTagOffset, tag);
        EXPECT_EQ(writer.GetCurrentReadBuffer(), nullptr) << std::hex << tag;
        EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr) << std::hex << tag;
    }
    PutWordInFile(mPath, kTagOffset, 0x11111111);
    EXPECT_EQ(reader.GetCurrentReadBuffer(), reader.GetWriteBuffer_N(0));
}

TEST_F(SharedGWorldMemoryTest, TheAllowanceLimitsConnections) {
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadWriteView());

    writer.SetAllowCameraConnections(0);
    EXPECT_EQ(WordAt(ReadFile(mPath), kAllowanceOffset), 0u);
    for (uint32_t count : {0u, 1u, 2u, 1000u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        EXPECT_TRUE(reader.AllowCameraConnection(count)) << count;

    writer.SetAllowCameraConnections(0xFFFFFFFF);
    EXPECT_EQ(WordAt(ReadFile(mPath), kAllowanceOffset), 0xFFFFFFFFu);
    EXPECT_FALSE(reader.AllowCameraConnection(0));
    EXPECT_FALSE(reader.AllowCameraConnection(1));

    writer.SetAllowCameraConnections(3);
    EXPECT_EQ(WordAt(ReadFile(mPath), kAllowanceOffset), 3u);
    EXPECT_TRUE(reader.AllowCameraConnection(0));
    EXPECT_TRUE(reader.AllowCameraConnection(3));
    EXPECT_FALSE(reader.AllowCameraConnection(4));
    EXPECT_FALSE(reader.AllowCameraConnection(0xFFFFFFFF));
}

TEST_F(SharedGWorldMemoryTest, AReaderWithoutARegionGetsNothing) {
    SharedGWorldMemory reader;
    EXPECT_FALSE(reader.OpenReadWriteView());
    EXPECT_FALSE(reader.OpenReadView());
    EXPECT_FALSE(reader.IsViewOpen());
    EXPECT_FALSE(Exists(mPath));
    EXPECT_FALSE(Exists("/dev/shm/sem.VistrelXXX_0"));

    uint8_t somewhere[16] = {};
    EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr);
    EXPECT_EQ(reader.GetWriteBuffer_N(0), nullptr);
    EXPECT_FALSE(reader.AllowCameraConnection(0));
    EXPECT_EQ(reader.SemaphoreForBuffer(somewhere), nullptr);
    EXPECT_FALSE(reader.LockFrameBufferPtr(somewhere));
    EXPECT_FALSE(reader.TryLockFrameBufferPtr(somewhere));
    EXPECT_FALSE(reader.UnLockFrameBufferPtr(somewhere));
    EXPECT_FALSE(reader.LockFrameBufferPtr(nullptr));
    EXPECT_FALSE(reader.Close());

    // Once a writer has run, the same object opens.
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_TRUE(reader.OpenReadWriteView());
}

TEST_F(SharedGWorldMemoryTest, AReadOnlyViewReadsButNeverWrites) {
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    uint8_t* buffer0 = writer.GetWriteBuffer_N(0);
    ASSERT_NE(buffer0, nullptr);
    buffer0[100] = 0x42;
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer0));
    writer.SetAllowCameraConnections(2);

    SharedGWorldMemory viewer;
    ASSERT_TRUE(viewer.OpenReadView());
    const uint8_t* current = viewer.GetCurrentReadBuffer();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current[100], 0x42);
    EXPECT_EQ(viewer.GetWriteBuffer_N(0), nullptr);
    EXPECT_EQ(viewer.GetWriteBuffer_N(1), nullptr);
    EXPECT_FALSE(viewer.SetCurrentWriteBuffer(nullptr));
    viewer.SetAllowCameraConnections(0xFFFFFFFF);
    EXPECT_EQ(WordAt(ReadFile(mPath), kTagOffset), 0x11111111u);
    EXPECT_EQ(WordAt(ReadFile(mPath), kAllowanceOffset), 2u);
    EXPECT_TRUE(viewer.AllowCameraConnection(2));
    EXPECT_FALSE(viewer.AllowCameraConnection(3));

    // Its buffer is locked by the same semaphore as the writer's.
    ASSERT_TRUE(viewer.TryLockFrameBufferPtr(current));
    EXPECT_FALSE(writer.TryLockFrameBufferPtr(buffer0));
    EXPECT_TRUE(viewer.UnLockFrameBufferPtr(current));
}

TEST_F(SharedGWorldMemoryTest, EachBufferIsALockOfItsOwn) {
    SharedGWorldMemory writer, reader;
    ASSERT_TRUE(writer.IsOpenWriteView());
    ASSERT_TRUE(reader.OpenReadWriteView());
    uint8_t* w0 = writer.GetWriteBuffer_N(0);
    uint8_t* w1 = writer.GetWriteBuffer_N(1);
    uint8_t* r0 = reader.GetWriteBuffer_N(0);
    uint8_t* r1 = reader.GetWriteBuffer_N(1);
    ASSERT_TRUE(w0 && w1 && r0 && r1);

    ASSERT_TRUE(writer.LockFrameBufferPtr(w0));
    EXPECT_FALSE(reader.TryLockFrameBufferPtr(r0));
    ASSERT_TRUE(reader.TryLockFrameBufferPtr(r1));
    EXPECT_TRUE(reader.UnLockFrameBufferPtr(r1));
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(w0));
    ASSERT_TRUE(reader.TryLockFrameBufferPtr(r0));
    EXPECT_TRUE(reader.UnLockFrameBufferPtr(r0));

    // Only a buffer's start address names its lock; another process's address names none here.
    EXPECT_NE(writer.SemaphoreForBuffer(w0), nullptr);
    EXPECT_NE(writer.SemaphoreForBuffer(w0), writer.SemaphoreForBuffer(w1));
    for (const uint8_t* other : {w0 + 1, w1 + 64, w0 - kBuffer0Offset, r0, r1}) {
        EXPECT_EQ(writer.SemaphoreForBuffer(other), nullptr);
        EXPECT_FALSE(writer.LockFrameBufferPtr(other));
        EXPECT_FALSE(writer.TryLockFrameBufferPtr(other));
        EXPECT_FALSE(writer.UnLockFrameBufferPtr(other));
    }
    EXPECT_FALSE(writer.TryLockFrameBufferPtr(nullptr));
}

TEST_F(SharedGWorldMemoryTest, ALockIsHeldAgainstOtherProcesses) {
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    uint8_t* buffer1 = writer.GetWriteBuffer_N(1);
    ASSERT_TRUE(writer.LockFrameBufferPtr(buffer1));

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        SharedGWorldMemory reader;
        if (!reader.OpenReadWriteView()) ::_exit(1);
        uint8_t* mine = reader.GetWriteBuffer_N(1);
        if (reader.TryLockFrameBufferPtr(mine)) ::_exit(2);
        if (!reader.LockFrameBufferPtr(mine)) ::_exit(3);
        ::_exit(reader.UnLockFrameBufferPtr(mine) ? 0 : 4);
    }
    const int early = WaitForChild(child, 200ms);
    EXPECT_EQ(early, -1) << "the other process did not wait for the lock";
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer1));
    if (early == -1) {
        const int status = WaitForChild(child, 10s);
        if (status == -1) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        EXPECT_EQ(status, 0) << "1: no view, 2: took a held lock, 3: lock failed, 4: unlock";
    }
}

TEST_F(SharedGWorldMemoryTest, AShortRegionFileIsRefusedThenRecreatedInPlace) {
    // A valid header in front, so that only the length tells it from a region.
    std::string shortRegion(1000, 'S');
    PutWord(shortRegion, 0, kSignature);
    PutWord(shortRegion, 4, kVersion);
    WriteFile(mPath, shortRegion);
    const ino_t inode = InodeOf(mPath);

    SharedGWorldMemory reader;
    EXPECT_FALSE(reader.OpenReadWriteView());
    EXPECT_FALSE(reader.IsViewOpen());
    EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr);
    SharedGWorldMemory viewer;
    viewer.OpenReadView();
    EXPECT_EQ(viewer.GetCurrentReadBuffer(), nullptr);
    EXPECT_FALSE(viewer.AllowCameraConnection(0));
    EXPECT_EQ(ReadFile(mPath), shortRegion);

    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_EQ(InodeOf(mPath), inode);
    EXPECT_TRUE(IsFreshRegion(ReadFile(mPath)));
    EXPECT_NE(writer.GetWriteBuffer_N(1), nullptr);
    EXPECT_TRUE(reader.OpenReadWriteView());
}

} // namespace
