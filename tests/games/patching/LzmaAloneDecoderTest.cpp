#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "games/patching/LzmaAloneDecoder.h"
#include "games/patching/MemoryByteSource.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"
#include "tools/patch-writer/PatchFileWriter.h"

namespace {

using patchtest::StringSink;

LzmaResult Decode(const std::string& stream, std::string& out, uint64_t offset = 0, uint64_t length = UINT64_MAX) {
    MemoryByteSource source(stream);
    StringSink sink;
    LzmaResult r = DecodeLzmaAlone(source, offset, length == UINT64_MAX ? stream.size() - offset : length, sink);
    out = sink.bytes;
    return r;
}

// The header's dictionary field (bytes 1 to 4) set to a value of our own.
std::string WithDictionary(std::string stream, uint32_t dictionary) {
    for (int i = 0; i < 4; ++i)
        stream[1 + i] = static_cast<char>(dictionary >> (8 * i));
    return stream;
}

TEST(LzmaAloneDecoder, BothFormsOfTheDebianTools) {
    TestEnvironment env;
    const std::string data = patchtest::SampleData(300000, 9);
    struct {
        const char* tool;
        std::string stream;
        bool sizeStored;
    } cases[] = {
        {"xz --format=lzma", patchtest::XzLzmaAlone(env.Root(), data), false},
        {"lzmp -z", patchtest::LzmpLzmaAlone(env.Root(), data), true},
        {"writer, size unknown", CompressLzmaAlone(data, false), false},
        {"writer, size stored", CompressLzmaAlone(data, true), true},
    };
    for (const auto& c : cases) {
        ASSERT_GE(c.stream.size(), 13u) << c.tool;
        EXPECT_EQ(c.stream.substr(5, 8) == std::string(8, '\xFF'), !c.sizeStored) << c.tool;
        std::string out;
        EXPECT_EQ(Decode(c.stream, out), LzmaResult::Ok) << c.tool;
        EXPECT_TRUE(out == data) << c.tool;
        // Inside a larger file, with other bytes after it.
        std::string container = "entry header" + c.stream + "next entry";
        EXPECT_EQ(Decode(container, out, 12, c.stream.size()), LzmaResult::Ok) << c.tool;
        EXPECT_TRUE(out == data) << c.tool;
    }
}

TEST(LzmaAloneDecoder, EmptyData) {
    TestEnvironment env;
    for (const std::string& stream : {patchtest::XzLzmaAlone(env.Root(), ""), CompressLzmaAlone("", true)}) {
        std::string out = "x";
        EXPECT_EQ(Decode(stream, out), LzmaResult::Ok);
        EXPECT_EQ(out, "");
    }
}

TEST(LzmaAloneDecoder, CutShortOrMalformed) {
    const std::string data = patchtest::SampleData(100000, 10);
    const std::string unknown = CompressLzmaAlone(data, false);
    const std::string stored = CompressLzmaAlone(data, true);
    std::string out;
    EXPECT_EQ(Decode(unknown, out, 0, 12), LzmaResult::Corrupt);                  // header cut short
    EXPECT_EQ(Decode(unknown, out, 0, unknown.size() / 2), LzmaResult::Corrupt);  // stream cut short
    EXPECT_LT(out.size(), data.size());
    EXPECT_EQ(Decode(stored, out, 0, stored.size() / 2), LzmaResult::Corrupt);
    std::string badProperties = unknown;
    badProperties[0] = static_cast<char>(225);
    EXPECT_EQ(Decode(badProperties, out), LzmaResult::Corrupt);
    std::string garbage = unknown.substr(0, 13) + std::string(5000, '\x55');
    EXPECT_EQ(Decode(garbage, out), LzmaResult::Corrupt);
    // A range outside the source.
    MemoryByteSource source(unknown);
    StringSink sink;
    EXPECT_EQ(DecodeLzmaAlone(source, 10, unknown.size(), sink), LzmaResult::ReadFailed);
}

TEST(LzmaAloneDecoder, UnknownSizeWithHugeDictionaryIsOverTheLimit) {
    const std::string data = "small";
    std::string out;
    // 4 GiB of dictionary and no stored size: more than the 1 GiB such a stream may take.
    EXPECT_EQ(Decode(WithDictionary(CompressLzmaAlone(data, false), 0xFFFFFFFF), out), LzmaResult::MemoryLimit);
    // Within the limit it decodes.
    EXPECT_EQ(Decode(WithDictionary(CompressLzmaAlone(data, false), 64u << 20), out), LzmaResult::Ok);
    EXPECT_EQ(out, data);
}

TEST(LzmaAloneDecoder, StoredSizeLowersACraftedDictionary) {
    // The header claims a 4 GiB dictionary for 20 kB of data. The decoder must
    // not reserve it: in a child whose address space is capped at 256 MiB the
    // stream still decodes, and to the same bytes.
    const std::string data = patchtest::SampleData(20000, 11);
    const std::string stream = WithDictionary(CompressLzmaAlone(data, true), 0xFFFFFFFF);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit r = {256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &r);
        std::string out;
        LzmaResult result = Decode(stream, out);
        _exit(result == LzmaResult::Ok && out == data ? 0 : 1 + static_cast<int>(result));
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LzmaAloneDecoder, RefusedWriteStops) {
    class Refusing : public ByteSink {
    public:
        bool Write(const void*, size_t) override { return false; }
    } sink;
    const std::string stream = CompressLzmaAlone("some data", false);
    MemoryByteSource source(stream);
    EXPECT_EQ(DecodeLzmaAlone(source, 0, stream.size(), sink), LzmaResult::WriteFailed);
}

}  // namespace
