#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "games/patching/BinaryPatch.h"
#include "games/patching/FileByteSource.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/MemoryByteSource.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"

namespace {

using patchtest::BuildBsdiff;
using patchtest::BuildBsdiffRaw;
using patchtest::Bzip2;
using patchtest::EncodeBsdiffNumber;
using patchtest::StringSink;
using patchtest::Triple;

BsdiffResult Apply(const std::string& old, const std::string& patch, std::string& out, uint64_t offset = 0,
                   uint64_t length = UINT64_MAX) {
    MemoryByteSource oldSource(old);
    MemoryByteSource patchSource(patch);
    StringSink sink;
    if (length == UINT64_MAX)
        length = patch.size() - offset;
    BsdiffResult r = ApplyBsdiff(oldSource, patchSource, offset, length, sink);
    out = sink.bytes;
    return r;
}

TEST(BinaryPatch, NumbersUseAll63BitsAndTheSignBit) {
    struct {
        unsigned char bytes[8];
        int64_t value;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{5, 0, 0, 0, 0, 0, 0, 0x80}, -5},
        {{0, 0, 0, 0x80, 0, 0, 0, 0}, int64_t{1} << 31},
        // Byte 4 counts: bsdiff writes sizes over 4 GiB this way.
        {{0, 0, 0, 0, 1, 0, 0, 0}, int64_t{1} << 32},
        {{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0x7E}, 0x7EDCBA9876543210},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -INT64_MAX},
        {{0, 0, 0, 0, 0, 0, 0, 0x80}, 0},  // minus zero
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeBsdiffNumber(c.bytes), c.value);
        if (c.value != 0) {
            std::string encoded = EncodeBsdiffNumber(c.value);
            EXPECT_EQ(DecodeBsdiffNumber(reinterpret_cast<const unsigned char*>(encoded.data())), c.value);
        }
    }
}

TEST(BinaryPatch, DebianPatchGivesBspatchOutput) {
    TestEnvironment env;
    const std::string old = patchtest::SampleData(700000, 1);
    const std::string wanted = patchtest::ChangedVersion(old, 2);
    const std::string patch = patchtest::DebianBsdiff(env.Root(), old, wanted);
    ASSERT_EQ(patchtest::DebianBspatch(env.Root(), old, patch), wanted);

    std::string out;
    ASSERT_EQ(Apply(old, patch, out), BsdiffResult::Ok);
    EXPECT_TRUE(out == wanted);

    // The same patch at offset 1000 of a larger file, with bytes after it that
    // belong to the next entry: they are never read.
    const std::string container = std::string(1000, 'P') + patch + std::string(5000, '\xFF');
    ASSERT_EQ(Apply(old, container, out, 1000, patch.size()), BsdiffResult::Ok);
    EXPECT_TRUE(out == wanted);

    // And through files, as the patcher reads them.
    FileByteSource oldFile, patchFile;
    ASSERT_EQ(oldFile.Open(env.WriteFile("old", old)), 0);
    ASSERT_EQ(patchFile.Open(env.WriteFile("container", container)), 0);
    StringSink sink;
    ASSERT_EQ(ApplyBsdiff(oldFile, patchFile, 1000, patch.size(), sink), BsdiffResult::Ok);
    EXPECT_TRUE(sink.bytes == wanted);
}

TEST(BinaryPatch, EmptyNewFileReadsNoTriple) {
    const std::string old = patchtest::SampleData(5000, 4);
    std::string out = "x";
    // N = 0 with an empty control block: nothing is read from it.
    ASSERT_EQ(Apply(old, BuildBsdiffRaw("", "", "", 0), out), BsdiffResult::Ok);
    EXPECT_EQ(out, "");
}

TEST(BinaryPatch, TriplesCoveringTheNewSizeExactly) {
    const std::string old = "ABCDEFGH";
    // 4 diff bytes on old[0..3], 3 extra bytes, skip 2 old bytes, 2 diff bytes on old[6..7].
    std::string diff = std::string("\x01\x01\x01\x01", 4) + std::string("\x00\x02", 2);
    std::string out;
    ASSERT_EQ(Apply(old, BuildBsdiff({{4, 3, 2}, {2, 0, 0}}, diff, "xyz", 9), out), BsdiffResult::Ok);
    EXPECT_EQ(out, "BCDExyzGJ");
}

TEST(BinaryPatch, OldPositionsOutsideTheOldFileAddNothing) {
    const std::string old = "abcd";
    std::string diff = "\x01\x01\x01\x01\x01\x01";
    std::string out;
    // Start two bytes before the old file: the first two diff bytes stay as they are.
    ASSERT_EQ(Apply(old, BuildBsdiff({{0, 0, -2}, {6, 0, 0}}, diff, "", 6), out), BsdiffResult::Ok);
    EXPECT_EQ(out, std::string("\x01\x01"
                               "bcde",
                               6));
    // Run past its end.
    ASSERT_EQ(Apply(old, BuildBsdiff({{0, 0, 2}, {6, 0, 0}}, diff, "", 6), out), BsdiffResult::Ok);
    EXPECT_EQ(out, std::string("de\x01\x01\x01\x01", 6));
    // Far past the end, beyond 4 GiB: nothing wraps back into the file.
    ASSERT_EQ(Apply(old, BuildBsdiff({{0, 0, (int64_t{1} << 32) + 1}, {6, 0, 0}}, diff, "", 6), out), BsdiffResult::Ok);
    EXPECT_EQ(out, diff);
}

TEST(BinaryPatch, OldFileBeyond2GiBIsReadAtItsTrueOffset) {
    TestEnvironment env;
    // A sparse old file of 5 GiB with known bytes just past 2^31 and 2^32.
    const std::string path = env.Path("sparse");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "HIGH", 4, (off_t{1} << 31) + 10), 4);
    ASSERT_EQ(::pwrite(fd, "TOP!", 4, (off_t{1} << 32) + 20), 4);
    ASSERT_EQ(::ftruncate(fd, off_t{5} << 30), 0);
    ::close(fd);
    FileByteSource old;
    ASSERT_EQ(old.Open(path), 0);

    std::string diff(8, '\0');
    std::string patch =
        BuildBsdiff({{0, 0, (int64_t{1} << 31) + 10}, {4, 0, (int64_t{1} << 31) + 6}, {4, 0, 0}}, diff, "", 8);
    MemoryByteSource patchSource(patch);
    StringSink sink;
    ASSERT_EQ(ApplyBsdiff(old, patchSource, 0, patch.size(), sink), BsdiffResult::Ok);
    EXPECT_EQ(sink.bytes, "HIGHTOP!");
}

TEST(BinaryPatch, NeitherFileIsHeldWhole) {
    // 384 MiB old and new files, patched in a child whose address space is capped
    // at 256 MiB: holding either file whole could not work there.
    TestEnvironment env;
    const int64_t size = int64_t{384} << 20;
    const std::string path = env.Path("old");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "START", 5, 0), 5);
    ASSERT_EQ(::pwrite(fd, "MIDDLE", 6, size / 2 + 3), 6);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    uint32_t expected = 0;
    ASSERT_EQ(ComputeFileCrc32(path, expected), 0u);
    // All diff bytes zero: the new file is the old one, read all the way through.
    std::string patch;
    {
        std::string zeros(static_cast<size_t>(size), '\0');
        patch = BuildBsdiffRaw(Bzip2(EncodeBsdiffNumber(size) + EncodeBsdiffNumber(0) + EncodeBsdiffNumber(0)),
                               Bzip2(zeros), Bzip2(""), size);
    }
    class CrcSink : public ByteSink {
    public:
        bool Write(const void* data, size_t n) override {
            crc = Crc32Update(crc, data, n);
            written += n;
            return true;
        }
        uint32_t crc = 0;
        uint64_t written = 0;
    };
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit r = {256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &r);
        FileByteSource old;
        MemoryByteSource patchSource(patch);
        CrcSink sink;
        if (old.Open(path) != 0)
            _exit(2);
        BsdiffResult result = ApplyBsdiff(old, patchSource, 0, patch.size(), sink);
        _exit(result != BsdiffResult::Ok                    ? 3
              : sink.written != static_cast<uint64_t>(size) ? 4
              : sink.crc != expected                        ? 5
                                                            : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(BinaryPatch, MalformedPatchesAreRefusedNotFollowed) {
    const std::string old = "0123456789";
    const std::string good = BuildBsdiff({{4, 2, 0}}, std::string(4, '\0'), "xy", 6);
    std::string out;
    ASSERT_EQ(Apply(old, good, out), BsdiffResult::Ok);
    ASSERT_EQ(out, "0123xy");

    const int64_t big = INT64_MAX;
    struct {
        const char* what;
        std::string patch;
    } cases[] = {
        {"wrong magic", "BSDIFF41" + good.substr(8)},
        {"header cut short", good.substr(0, 31)},
        {"negative control length", "BSDIFF40" + EncodeBsdiffNumber(-1) + good.substr(16)},
        {"negative new size", good.substr(0, 24) + EncodeBsdiffNumber(-6) + good.substr(32)},
        {"control length past the patch", "BSDIFF40" + EncodeBsdiffNumber(1 << 20) + good.substr(16)},
        {"lengths that wrap when added",
         "BSDIFF40" + EncodeBsdiffNumber(big) + EncodeBsdiffNumber(big) + good.substr(24)},
        {"negative x", BuildBsdiff({{-1, 2, 0}}, "", "xy", 6)},
        {"negative y", BuildBsdiff({{4, -2, 0}}, std::string(4, '\0'), "", 6)},
        {"x past the new size", BuildBsdiff({{7, 0, 0}}, std::string(7, '\0'), "", 6)},
        {"y past the new size", BuildBsdiff({{4, 3, 0}}, std::string(4, '\0'), "xyz", 6)},
        {"huge x that would wrap", BuildBsdiff({{big, 0, 0}}, "", "", 6)},
        {"old position that would wrap",
         BuildBsdiff({{0, 0, big}, {0, 0, big}, {6, 0, 0}}, std::string(6, '\0'), "", 6)},
        {"control block ends early", BuildBsdiff({{4, 0, 0}}, std::string(4, '\0'), "", 6)},
        {"diff block short", BuildBsdiff({{4, 2, 0}}, std::string(3, '\0'), "xy", 6)},
        {"extra block short", BuildBsdiff({{4, 2, 0}}, std::string(4, '\0'), "x", 6)},
        {"control block not bzip2", BuildBsdiffRaw("garbage!", Bzip2(std::string(4, '\0')), Bzip2("xy"), 6)},
        {"diff stream cut short",
         BuildBsdiffRaw(Bzip2(EncodeBsdiffNumber(4) + EncodeBsdiffNumber(2) + EncodeBsdiffNumber(0)),
                        Bzip2(std::string(4, '\0')).substr(0, 20), Bzip2("xy"), 6)},
    };
    for (const auto& c : cases) {
        out.clear();
        EXPECT_NE(Apply(old, c.patch, out), BsdiffResult::Ok) << c.what;
    }
}

TEST(BinaryPatch, ControlBlockThatMakesNoProgressEnds) {
    // Millions of empty triples compress to a few bytes; they must not spin for ever.
    std::string control;
    const std::string empty = EncodeBsdiffNumber(0) + EncodeBsdiffNumber(0) + EncodeBsdiffNumber(0);
    control.reserve(empty.size() * ((1 << 20) + 2));
    for (int i = 0; i < (1 << 20) + 2; ++i)
        control += empty;
    std::string out;
    EXPECT_EQ(Apply("old", BuildBsdiffRaw(Bzip2(control), Bzip2(""), Bzip2("x"), 1), out), BsdiffResult::Corrupt);
}

TEST(BinaryPatch, ReadsNothingOutsideItsRange) {
    const std::string old = "0123456789";
    const std::string patch = BuildBsdiff({{4, 2, 0}}, std::string(4, '\0'), "xy", 6);
    std::string out;
    // The same patch with most of its extra stream outside the given range: the
    // stream is cut short, even though its bytes are there in the source.
    EXPECT_EQ(Apply(old, patch, out, 0, patch.size() - Bzip2("xy").size() + 10), BsdiffResult::Corrupt);
    // A range that runs past the source.
    EXPECT_EQ(Apply(old, patch, out, 1, patch.size()), BsdiffResult::Corrupt);
}

class RefusingSink : public ByteSink {
public:
    bool Write(const void*, size_t) override { return false; }
};

TEST(BinaryPatch, RefusedWriteStops) {
    const std::string old = "0123456789";
    const std::string patch = BuildBsdiff({{4, 2, 0}}, std::string(4, '\0'), "xy", 6);
    MemoryByteSource oldSource(old), patchSource(patch);
    RefusingSink sink;
    EXPECT_EQ(ApplyBsdiff(oldSource, patchSource, 0, patch.size(), sink), BsdiffResult::WriteFailed);
}

}  // namespace
