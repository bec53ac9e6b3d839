// The channel's shared region: its per-user path, its layout and who may change it.
#include "channel/SharedGWorldMemory.h"
#include "channel/SharedSemaphore.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The component's load-time set-up owns these in the product. The tests keep the path empty
// until a test points it into its own temporary folder.
CoreUserFileName SharedGWorldMemory::sFileMappingPath;
SharedGWorldMemory SharedGWorldMemory::sSingleton;

namespace {

// The region's layout, written out here so that a change of the shared format fails the tests
// (buffer 0 sits 1229824 bytes before buffer 1: the entry points' records check that).
constexpr size_t kBuffer1 = 1230848, kTag = 2460160;
constexpr uint32_t kSignature = 0x56737472, kVersion = 0x312E3030; // 'Vstr', '1.00'

uint32_t WordAt(const std::string& bytes, size_t offset) {
    uint32_t word = 0;
    std::memcpy(&word, bytes.data() + offset, 4);
    return word;
}

// A fresh region: the header words, the trailing signature and zeros everywhere else.
std::string Region(uint32_t signature = kSignature, uint32_t version = kVersion) {
    std::string bytes(2460672, '\0');
    std::memcpy(bytes.data(), &signature, 4);
    std::memcpy(bytes.data() + 4, &version, 4);
    std::memcpy(bytes.data() + 2460168, &kSignature, 4);
    return bytes;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_ino;
}

// Each test gets its own region file and fresh buffer semaphores.
class SharedGWorldMemoryTest : public testing::Test {
protected:
    void SetUp() override {
        for (unsigned n : {0, 1})
            shared_semaphore::sem_unlink(SharedCamera::SemaphoreName(n, ::geteuid()).c_str());
        SharedGWorldMemory::sFileMappingPath.CreateFileName(
            (mFolder.Path() + "/region-%@-%s.tmp").c_str(), SharedCamera::kFrameFormatName);
        mPath = SharedGWorldMemory::sFileMappingPath.c_str();
    }

    testsupport::TempFolder mFolder;
    std::string mPath;
};

// Readers never create the region nor its locks, and a read-only view never writes.
TEST_F(SharedGWorldMemoryTest, AWriterCreatesAFreshRegionThenReusesItAsItIs) {
    SharedGWorldMemory first, viewer;
    EXPECT_FALSE(viewer.OpenReadWriteView() || viewer.OpenReadView());
    // The locks' names, per user, are shared with every build of the channel.
    const std::string locks = "/dev/shm/sem.VistrelXXX_", user = "." + std::to_string(::geteuid());
    EXPECT_FALSE(Exists(mPath) || Exists(locks + "0" + user));
    ASSERT_TRUE(first.IsOpenWriteView());
    EXPECT_TRUE(Exists(locks + "0" + user) && Exists(locks + "1" + user));
    EXPECT_TRUE(ReadFile(mPath) == Region()) << "not a fresh region";
    uint8_t* buffer1 = first.GetWriteBuffer_N(1);
    buffer1[0] = 0x5A; // lands at buffer 1's offset in the file
    ASSERT_TRUE(first.SetCurrentWriteBuffer(buffer1));
    first.SetAllowCameraConnections(3);
    const std::string before = ReadFile(mPath);
    EXPECT_EQ(before[kBuffer1], 0x5A);
    ASSERT_TRUE(viewer.OpenReadView());
    EXPECT_EQ(viewer.GetWriteBuffer_N(0), nullptr);
    EXPECT_FALSE(viewer.SetCurrentWriteBuffer(nullptr));
    viewer.SetAllowCameraConnections(0xFFFFFFFF);
    EXPECT_TRUE(first.Close());
    const ino_t inode = InodeOf(mPath);

    // (That readers in other processes see what is written, the tool's and the hosts' tests
    // show.)
    SharedGWorldMemory second;
    ASSERT_TRUE(second.IsOpenWriteView());
    EXPECT_EQ(InodeOf(mPath), inode);
    EXPECT_TRUE(ReadFile(mPath) == before) << "the viewer or the writer rewrote the region";
}

// A region of another version belongs to that version's writer; a header no build wrote, or a
// file too short for a region, is damage, which the writer resets in place.
TEST_F(SharedGWorldMemoryTest, AnotherVersionIsLeftAloneAndADamagedRegionReset) {
    for (const std::string& foreign : {Region(0, 0), Region(0x58585858),
                                       Region(kSignature, 0x322E3030), Region().substr(0, 1000)}) {
        const bool damaged = WordAt(foreign, 0) != kSignature || foreign.size() < kTag;
        SCOPED_TRACE(testing::Message()
                     << std::hex << WordAt(foreign, 0) << " " << WordAt(foreign, 4));
        WriteFile(mPath, foreign);
        const ino_t inode = InodeOf(mPath);
        SharedGWorldMemory reader, viewer, writer;
        reader.OpenReadWriteView();
        viewer.OpenReadView();
        for (SharedGWorldMemory* memory : {&reader, &viewer}) {
            EXPECT_EQ(memory->GetWriteBuffer_N(0), nullptr);
            EXPECT_EQ(memory->GetCurrentReadBuffer(), nullptr);
            EXPECT_FALSE(memory->SetCurrentWriteBuffer(nullptr));
            EXPECT_FALSE(memory->AllowCameraConnection(0));
            memory->SetAllowCameraConnections(0xFFFFFFFF);
        }
        EXPECT_TRUE(ReadFile(mPath) == foreign) << "a reader changed the region";
        EXPECT_TRUE(writer.IsOpenWriteView());
        EXPECT_EQ(writer.GetWriteBuffer_N(0) != nullptr, damaged);
        EXPECT_TRUE(ReadFile(mPath) == (damaged ? Region() : foreign));
        EXPECT_EQ(InodeOf(mPath), inode);
    }
}

TEST_F(SharedGWorldMemoryTest, TheTagNamesTheCurrentBuffer) {
    SharedGWorldMemory writer, reader;
    ASSERT_TRUE(writer.IsOpenWriteView());
    ASSERT_TRUE(reader.OpenReadWriteView());
    uint8_t* buffer0 = writer.GetWriteBuffer_N(0);
    uint8_t* buffer1 = writer.GetWriteBuffer_N(1);
    // Addresses near a buffer but not at its start name no buffer. (Which buffer a reader gets
    // after each, and no tag after none, the entry points' tests show.)
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer1));
    for (const uint8_t* inner : {buffer0 + 1, buffer0 + 4, buffer1 + 1228800, buffer1 - 1024})
        EXPECT_FALSE(writer.SetCurrentWriteBuffer(inner)) << inner - buffer0;
    EXPECT_EQ(WordAt(ReadFile(mPath), kTag), 0x22222222u);

    // Only the two buffer tags name a buffer.
    for (uint32_t tag : {0x33333333u, 0x11111112u, 0x11112222u, 0xFFFFFFFFu}) {
        ASSERT_TRUE(binding::PutAt(mPath, kTag, tag));
        EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr) << std::hex << tag;
    }
    ASSERT_TRUE(binding::PutAt(mPath, kTag, 0x11111111u));
    EXPECT_EQ(reader.GetCurrentReadBuffer(), reader.GetWriteBuffer_N(0));
}

// A lock that cannot be opened closes the view, so the next open tries it afresh.
TEST_F(SharedGWorldMemoryTest, AnOpenThatFailedAtTheLocksIsTriedAgain) {
    const std::string lock = "/dev/shm/sem." + SharedCamera::SemaphoreName(1, ::geteuid());
    ASSERT_EQ(::mkdir(lock.c_str(), 0700), 0);
    SharedGWorldMemory writer;
    EXPECT_FALSE(writer.IsOpenWriteView());
    EXPECT_TRUE(writer.AreLocksRefused());
    ASSERT_EQ(::rmdir(lock.c_str()), 0);
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_TRUE(writer.TryLockFrameBufferPtr(writer.GetWriteBuffer_N(1))) << "the lock was not";
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(writer.GetWriteBuffer_N(1)));
}

} // namespace
