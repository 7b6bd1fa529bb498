#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "games/patching/FileChecksum.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"

namespace {

struct ChecksumCase {
    const char* name;
    std::string bytes;
    uint32_t crc;
};

TEST(FileChecksum, KnownValues) {
    TestEnvironment env;
    const ChecksumCase cases[] = {
        {"empty", "", 0},
        {"abc", "abc", 0x352441C2},
        {"check string", "123456789", 0xCBF43926},
    };
    for (const auto& c : cases) {
        uint32_t crc = 0xDEADBEEF;
        EXPECT_EQ(ComputeFileCrc32(env.WriteFile(c.name, c.bytes), crc), 0u) << c.name;
        EXPECT_EQ(crc, c.crc) << c.name;
    }
}

TEST(FileChecksum, EqualsZlibAcrossBlockBoundaries) {
    TestEnvironment env;
    // Sizes around the read block, and one several blocks long.
    for (size_t size : {size_t{1}, size_t{4095}, size_t{4096}, size_t{131071}, size_t{131072}, size_t{131073},
                        size_t{3 * 1024 * 1024 + 17}}) {
        std::string bytes = patchtest::SampleData(size, static_cast<uint32_t>(size));
        uint32_t crc = 0;
        ASSERT_EQ(ComputeFileCrc32(env.WriteFile("f", bytes), crc), 0u);
        EXPECT_EQ(crc, patchtest::ZlibCrc(bytes)) << size;
        EXPECT_EQ(Crc32Update(0, bytes.data(), bytes.size()), crc) << size;
    }
}

// The read tells which file it was, links followed, and how it begins.
TEST(FileChecksum, FactsOfTheFileRead) {
    TestEnvironment env;
    const std::string path = env.WriteFile("program", "\177ELF and more");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(symlink(path.c_str(), env.Path("link").c_str()), 0);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    for (const std::string& name : {path, env.Path("link")}) {
        FileReadFacts facts;
        uint32_t crc = 0;
        ASSERT_EQ(ComputeFileCrc32(name, crc, {}, &facts), 0u) << name;
        EXPECT_EQ(facts.device, st.st_dev) << name;
        EXPECT_EQ(facts.inode, st.st_ino) << name;
        EXPECT_EQ(facts.mode, st.st_mode) << name;
        EXPECT_EQ(facts.head, "\177ELF") << name;
    }
    FileReadFacts facts;
    uint32_t crc = 0;
    ASSERT_EQ(ComputeFileCrc32(env.WriteFile("short", "#!"), crc, {}, &facts), 0u);
    EXPECT_EQ(facts.head, "#!");
}

TEST(FileChecksum, RunningChecksumInPieces) {
    std::string bytes = patchtest::SampleData(10000, 3);
    uint32_t crc = Crc32Update(0, bytes.data(), 1234);
    crc = Crc32Update(crc, bytes.data() + 1234, bytes.size() - 1234);
    EXPECT_EQ(crc, patchtest::ZlibCrc(bytes));
}

TEST(FileChecksum, FailuresGiveTheErrorAndNoChecksum) {
    TestEnvironment env;
    env.WriteFile("folder/inside", "x");
    struct {
        const char* what;
        std::string path;
        uint32_t error;
    } cases[] = {
        {"missing file", env.Path("missing"), ENOENT},
        {"missing folder", env.Path("nowhere/file"), ENOENT},
        // A folder is no file with checksum 0.
        {"folder", env.Path("folder"), EISDIR},
        // Under a file, not a folder.
        {"below a file", env.Path("folder/inside/x"), ENOTDIR},
    };
    for (const auto& c : cases) {
        uint32_t crc = 0xDEADBEEF;
        EXPECT_EQ(ComputeFileCrc32(c.path, crc), c.error) << c.what;
        EXPECT_EQ(crc, 0u) << c.what;
    }
}

TEST(FileChecksum, ReadErrorIsAnErrorNotAChecksum) {
    // /proc/self/mem opens as a regular file, but reading its first page (never
    // mapped) fails with EIO.
    uint32_t crc = 0xDEADBEEF;
    EXPECT_EQ(ComputeFileCrc32("/proc/self/mem", crc), static_cast<uint32_t>(EIO));
    EXPECT_EQ(crc, 0u);
}

}  // namespace
