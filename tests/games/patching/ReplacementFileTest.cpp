#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>

#include "games/patching/ReplacementFile.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(ReplacementFile, TargetChangesOnlyAtCommit) {
    TestEnvironment env;
    const std::string target = env.WriteFile("game/file.dat", "old");
    ::chmod(target.c_str(), 0751);
    {
        ReplacementFile r(target);
        ASSERT_EQ(r.Open(), 0);
        ASSERT_TRUE(r.Write("new ", 4));
        ASSERT_TRUE(r.Write("content", 7));
        EXPECT_EQ(r.Crc(), patchtest::ZlibCrc("new content"));
        EXPECT_EQ(r.Size(), 11u);
        EXPECT_EQ(TestEnvironment::ReadFile(target), "old");
        EXPECT_EQ(patchtest::ListFiles(env.Path("game")).size(), 2u);  // the target and one temporary file
        ASSERT_EQ(r.Commit(), 0);
    }
    EXPECT_EQ(TestEnvironment::ReadFile(target), "new content");
    EXPECT_EQ(ModeOf(target), 0751u);  // the old file's mode is kept
    EXPECT_EQ(patchtest::ListFiles(env.Path("game")).size(), 1u);
}

TEST(ReplacementFile, LargeFileInOddPieces) {
    // Several buffers' worth, so that the writing thread takes part.
    TestEnvironment env;
    const std::string target = env.WriteFile("game/big.pak", "old");
    const std::string bytes = patchtest::SampleData((5 << 20) + 17, 21);
    ReplacementFile r(target);
    ASSERT_EQ(r.Open(), 0);
    for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 % 700001 + 1)
        ASSERT_TRUE(r.Write(bytes.data() + at, std::min(piece, bytes.size() - at)));
    EXPECT_EQ(r.Crc(), patchtest::ZlibCrc(bytes));
    EXPECT_EQ(TestEnvironment::ReadFile(target), "old");
    ASSERT_EQ(r.Commit(), 0);
    EXPECT_TRUE(TestEnvironment::ReadFile(target) == bytes);
    EXPECT_EQ(patchtest::ListFiles(env.Path("game")).size(), 1u);
}

TEST(ReplacementFile, DiscardedOrDestroyedLeavesNothing) {
    TestEnvironment env;
    const std::string target = env.WriteFile("game/file.dat", "old");
    {
        ReplacementFile r(target);
        ASSERT_EQ(r.Open(), 0);
        r.Write("half", 4);
    }
    {
        ReplacementFile r(target);
        ASSERT_EQ(r.Open(), 0);
        r.Write("half", 4);
        r.Discard();
        EXPECT_NE(r.Commit(), 0);
    }
    {
        // Destroyed while its writing thread has buffers in hand.
        ReplacementFile r(target);
        ASSERT_EQ(r.Open(), 0);
        const std::string bytes = patchtest::SampleData(3 << 20, 22);
        ASSERT_TRUE(r.Write(bytes.data(), bytes.size()));
    }
    EXPECT_EQ(TestEnvironment::ReadFile(target), "old");
    EXPECT_EQ(patchtest::ListFiles(env.Path("game")).size(), 1u);
}

TEST(ReplacementFile, NewFileGetsTheUsualMode) {
    TestEnvironment env;
    env.WriteFile("game/other", "");
    const std::string target = env.Path("game/new.dat");
    mode_t mask = ::umask(022);
    ReplacementFile r(target);
    ASSERT_EQ(r.Open(), 0);
    r.Write("x", 1);
    ASSERT_EQ(r.Commit(), 0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(target), 0644u);
}

TEST(ReplacementFile, OpenFailsWithoutItsFolder) {
    TestEnvironment env;
    ReplacementFile r(env.Path("missing/file"));
    EXPECT_EQ(r.Open(), ENOENT);
    EXPECT_FALSE(r.Write("x", 1));
}

TEST(ReplacementFile, LeftoversAreRecognisedAndRemoved) {
    TestEnvironment env;
    env.WriteFile("game/.quorpatch-aB3dE9", "left by a crash");
    env.WriteFile("game/.quorpatch-short", "not ours");
    env.WriteFile("game/.quorpatch-abcdef.pak", "not ours");
    env.WriteFile("game/quorpatch-abcdef", "not ours");
    env.WriteFile("game/data.pak", "game data");
    EXPECT_TRUE(ReplacementFile::IsTemporaryName(".quorpatch-aB3dE9"));
    EXPECT_FALSE(ReplacementFile::IsTemporaryName(".quorpatch-ab.dE9"));
    ReplacementFile::RemoveLeftovers(env.Path("game"));
    auto files = patchtest::ListFiles(env.Path("game"));
    ASSERT_EQ(files.size(), 4u);
    for (const auto& f : files)
        EXPECT_NE(f.first, ".quorpatch-aB3dE9");
}

}  // namespace
