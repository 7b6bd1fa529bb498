// quor-mkpatch's builder, checked against Debian's own tools (xz for the LZMA
// entries, bspatch for the binary diffs) and against the launcher's patcher,
// which must take the old build to the new one byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "games/patching/QuorPatcher.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/tools/PublisherProcess.h"
#include "tools/quor-mkpatch/PatchBuilder.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;
using Op = PatchBuilder::Operation;

std::string Bytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

Files ReadTree(const std::string& folder) {
    Files files;
    std::vector<std::string> paths;
    PatchBuilder::ListFiles(folder, paths);
    for (const std::string& p : paths)
        files[p] = TestEnvironment::ReadFile(folder + "/" + p);
    return files;
}

void WriteTree(const TestEnvironment& env, const std::string& folder, const Files& files) {
    fs::create_directories(env.Path(folder));
    for (const auto& [path, bytes] : files)
        env.WriteFile(folder + "/" + path, bytes);
}

uint32_t U32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

// The entries of a patch file, read with nothing but the format.
struct RawEntry {
    int op;
    std::string folder, name;
    uint32_t oldCrc, newCrc;
    std::string data;
};
std::vector<RawEntry> ReadEntries(const std::string& file) {
    std::vector<RawEntry> out;
    if (file.size() < 16 || file.compare(0, 8, "QUORPATC") != 0 || U32(file, 8) != 1)
        return out;
    size_t at = 16;
    for (uint32_t i = 0, n = U32(file, 12); i < n; ++i) {
        RawEntry e;
        e.op = static_cast<uint8_t>(file.at(at++));
        size_t z = file.find('\0', at);
        e.folder = file.substr(at, z - at);
        at = z + 1;
        z = file.find('\0', at);
        e.name = file.substr(at, z - at);
        at = z + 1;
        e.oldCrc = U32(file, at);
        e.newCrc = U32(file, at + 4);
        uint32_t length = U32(file, at + 8);
        at += 12;
        e.data = file.substr(at, length);
        at += length;
        out.push_back(e);
    }
    EXPECT_EQ(at, file.size()) << "nothing after the last entry";
    return out;
}

bool ApplyWithPatcher(const std::string& folder, const std::string& patch) {
    QuorPatcher patcher(folder + "/", patch);
    if (!patcher.Start())
        return false;
    bool finished = WaitUntil([&] { return patcher.IsFinished(); }, 60000);
    patcher.Stop();
    return finished && patcher.Succeeded() && patcher.GetProgress() == 1.0f;
}

class PatchBuilderTest : public ::testing::Test {
protected:
    TestEnvironment env;
    const Files oldFiles = {
        {"game.exe", "#!/bin/sh\necho game\n"}, {"build.id", "build 1"},
        {"data/big.pak", Bytes(80000, 1)},      {"data/gone.txt", "this goes"},
        {"data/same.txt", "unchanged"},         {"old folder/only here.txt", "a whole folder goes"},
    };
    Files NewFiles() const {
        Files f = oldFiles;
        f.erase("data/gone.txt");
        f.erase("old folder/only here.txt");
        f["build.id"] = "build 2, a longer text";
        f["data/big.pak"].replace(4000, 50, Bytes(50, 2));
        f["data/big.pak"] += Bytes(300, 3);
        f["data/maps/level two.dat"] = Bytes(5000, 4);
        f["new/deep/empty.txt"] = "";
        return f;
    }
};

TEST_F(PatchBuilderTest, EntriesOfEachKindInTheFormat) {
    WriteTree(env, "old", oldFiles);
    WriteTree(env, "new", NewFiles());
    PatchBuilder builder;
    ASSERT_TRUE(builder.Build(env.Path("old"), env.Path("new"), env.Path("p.quorpatch"))) << builder.Error();
    std::string file = TestEnvironment::ReadFile(env.Path("p.quorpatch"));
    std::vector<RawEntry> entries = ReadEntries(file);
    std::map<std::string, RawEntry> byPath;
    for (const RawEntry& e : entries)
        byPath[e.folder + "|" + e.name] = e;
    ASSERT_EQ(entries.size(), 6u) << "unchanged files have no entry";
    EXPECT_EQ(byPath.count("\\data|same.txt"), 0u);

    const RawEntry& gone = byPath.at("\\data|gone.txt");
    EXPECT_EQ(gone.op, 1);
    EXPECT_EQ(gone.oldCrc, PatchBuilder::Crc32("this goes"));
    EXPECT_EQ(gone.newCrc, 0u);
    EXPECT_TRUE(gone.data.empty());
    EXPECT_EQ(byPath.at("\\old folder|only here.txt").op, 1);
    EXPECT_EQ(entries[0].op, 1) << "deletions come first";

    const RawEntry& added = byPath.at("\\data\\maps|level two.dat");
    EXPECT_EQ(added.op, 0);
    EXPECT_EQ(added.oldCrc, 0u);
    EXPECT_EQ(added.newCrc, PatchBuilder::Crc32(NewFiles().at("data/maps/level two.dat")));
    // The LZMA data is what Debian's xz reads as the lzma-alone format, size unstored.
    EXPECT_EQ(added.data.substr(5, 8), std::string(8, '\xff'));
    env.WriteFile("added.lzma", added.data);
    ChildProcess::Result xz = ChildProcess::Run({"/usr/bin/xz", "--format=lzma", "-dc", env.Path("added.lzma")});
    EXPECT_EQ(xz.exitCode, 0) << xz.err;
    EXPECT_EQ(xz.out, NewFiles().at("data/maps/level two.dat"));
    EXPECT_EQ(byPath.at("\\new\\deep|empty.txt").op, 0);
    EXPECT_EQ(byPath.at("|build.id").op, 0) << "a small file changed throughout is smaller written whole";

    const RawEntry& diff = byPath.at("\\data|big.pak");
    EXPECT_EQ(diff.op, 2);
    EXPECT_EQ(diff.oldCrc, PatchBuilder::Crc32(oldFiles.at("data/big.pak")));
    EXPECT_EQ(diff.newCrc, PatchBuilder::Crc32(NewFiles().at("data/big.pak")));
    EXPECT_EQ(diff.data.substr(0, 8), "BSDIFF40");
    EXPECT_LT(diff.data.size(), 20000u);
    env.WriteFile("big.diff", diff.data);
    ASSERT_EQ(
        ChildProcess::Run({"/usr/bin/bspatch", env.Path("old/data/big.pak"), env.Path("big.new"), env.Path("big.diff")})
            .exitCode,
        0);
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("big.new")), NewFiles().at("data/big.pak"));

    ASSERT_EQ(builder.Entries().size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(static_cast<int>(builder.Entries()[i].operation), entries[i].op);
        EXPECT_EQ(builder.Entries()[i].dataSize, entries[i].data.size());
    }
}

// Each rule for changed files gives a patch the launcher applies to the new build exactly.
TEST_F(PatchBuilderTest, LaunchersPatcherReachesTheNewBuild) {
    for (auto rule : {PatchBuilder::ChangedFiles::Smallest, PatchBuilder::ChangedFiles::AlwaysDiff,
                      PatchBuilder::ChangedFiles::AlwaysWrite}) {
        SCOPED_TRACE(static_cast<int>(rule));
        fs::remove_all(env.Path("old"));
        fs::remove_all(env.Path("new"));
        WriteTree(env, "old", oldFiles);
        WriteTree(env, "new", NewFiles());
        WriteTree(env, "game", oldFiles);
        PatchBuilder builder;
        builder.SetChangedFiles(rule);
        ASSERT_TRUE(builder.Build(env.Path("old"), env.Path("new"), env.Path("p.quorpatch"))) << builder.Error();
        ASSERT_TRUE(ApplyWithPatcher(env.Path("game"), env.Path("p.quorpatch")));
        EXPECT_EQ(ReadTree(env.Path("game")), NewFiles());
    }
}

TEST_F(PatchBuilderTest, SameFoldersGiveAnEmptyPatch) {
    WriteTree(env, "a", oldFiles);
    WriteTree(env, "b", oldFiles);
    PatchBuilder builder;
    ASSERT_TRUE(builder.Build(env.Path("a"), env.Path("b"), env.Path("p.quorpatch")));
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("p.quorpatch")), std::string("QUORPATC\x01\0\0\0\0\0\0\0", 16));
}

TEST_F(PatchBuilderTest, FailuresLeaveNoPatchFile) {
    WriteTree(env, "old", oldFiles);
    WriteTree(env, "new", NewFiles());
    PatchBuilder missing;
    EXPECT_FALSE(missing.Build(env.Path("old"), env.Path("nowhere"), env.Path("p.quorpatch")));
    EXPECT_NE(missing.Error().find("nowhere"), std::string::npos);
    PatchBuilder noDiff("/nonexistent/bsdiff");
    EXPECT_FALSE(noDiff.Build(env.Path("old"), env.Path("new"), env.Path("p.quorpatch")));
    EXPECT_NE(noDiff.Error().find("/nonexistent/bsdiff"), std::string::npos) << noDiff.Error();
    env.WriteFile("new/back\\slash.txt", "x");
    PatchBuilder slash;
    slash.SetChangedFiles(PatchBuilder::ChangedFiles::AlwaysWrite);
    EXPECT_FALSE(slash.Build(env.Path("old"), env.Path("new"), env.Path("p.quorpatch")));
    EXPECT_FALSE(fs::exists(env.Path("p.quorpatch")));
    std::vector<std::string> left;
    PatchBuilder::ListFiles(env.Root(), left);
    for (const std::string& f : left)
        EXPECT_EQ(f.find(".tmp"), std::string::npos) << f;
}

TEST_F(PatchBuilderTest, CommandLine) {
    WriteTree(env, "old", oldFiles);
    WriteTree(env, "new", NewFiles());
    const std::string tool = QUOR_BINARY_DIR "/tools/quor-mkpatch/quor-mkpatch";
    ChildProcess::Result r = ChildProcess::Run({tool, env.Path("old"), env.Path("new"), env.Path("p.quorpatch")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("diff "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("delete "), std::string::npos) << r.out;
    EXPECT_EQ(ChildProcess::Run({tool, env.Path("old")}).exitCode, 2);
    EXPECT_EQ(ChildProcess::Run({tool, "--bogus", env.Path("old"), env.Path("new"), env.Path("q")}).exitCode, 2);
    EXPECT_EQ(ChildProcess::Run({tool, env.Path("old"), env.Path("missing"), env.Path("q")}).exitCode, 1);
}

// The demo publisher's patches 1 -> 2 -> 3, applied by the launcher's patcher to
// an installed build 1, give build 2 and then build 3, byte for byte.
TEST_F(PatchBuilderTest, PublishersChainReachesEachBuild) {
    fs::create_directories(env.Path("publisher"));
    PublisherProcess publisher(env.Path("publisher"), {"--catalogue-latest", "3"});
    ASSERT_TRUE(publisher.Ready());
    for (const std::string slug : {"starcourier", "lanternkeep"}) {
        SCOPED_TRACE(slug);
        std::string builds = publisher.DataFolder() + "/builds/" + slug + "/";
        std::string game = env.Path("Games/" + slug);
        fs::create_directories(game);
        fs::copy(builds + "1", game, fs::copy_options::recursive);
        for (int from = 1; from <= 2; ++from) {
            std::string patch =
                env.WriteFile("dl/" + slug + std::to_string(from),
                              publisher
                                  .Get("/quor/games/" + slug + "/patches/" + slug + "-" + std::to_string(from) + "-" +
                                       std::to_string(from + 1) + ".quorpatch")
                                  .body);
            std::vector<RawEntry> entries = ReadEntries(TestEnvironment::ReadFile(patch));
            std::set<int> kinds;
            for (const RawEntry& e : entries)
                kinds.insert(e.op);
            EXPECT_EQ(kinds, (std::set<int>{0, 1, 2})) << "write, delete and binary-diff entries";
            ASSERT_TRUE(ApplyWithPatcher(game, patch)) << from;
            EXPECT_EQ(ReadTree(game), ReadTree(builds + std::to_string(from + 1))) << "build " << from + 1;
        }
    }
}

}  // namespace
