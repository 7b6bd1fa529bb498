#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "core/text/Messages.h"
#include "games/patching/QuorPatcher.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"
#include "tools/patch-writer/PatchFileWriter.h"

namespace {

namespace fs = std::filesystem;
using patchtest::ZlibCrc;

class PatcherTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(install); }

    std::string Install(const std::string& relative, const std::string& bytes) {
        return env.WriteFile("install/" + relative, bytes);
    }
    std::string Read(const std::string& relative) { return TestEnvironment::ReadFile(install + "/" + relative); }
    bool Exists(const std::string& relative) { return fs::exists(install + "/" + relative); }

    // Runs the patcher as its owner would: start, poll until 1.0, join.
    bool Apply(const std::string& patchBytes, const std::string& folder = {}, FreeSpaceQuery freeSpace = {}) {
        return ApplyFile(env.WriteFile("update.quorpatch", patchBytes), folder, std::move(freeSpace));
    }
    bool ApplyFile(const std::string& patchPath, const std::string& folder = {}, FreeSpaceQuery freeSpace = {}) {
        QuorPatcher patcher(folder.empty() ? install : folder, patchPath);
        if (freeSpace)
            patcher.SetFreeSpaceQuery(std::move(freeSpace));
        EXPECT_TRUE(patcher.Start());
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (patcher.GetProgress() < 1.0f && std::chrono::steady_clock::now() < deadline) {
            EXPECT_FALSE(patcher.IsFinished() && patcher.GetProgress() < 1.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(patcher.GetProgress(), 1.0f);
        EXPECT_TRUE(patcher.IsFinished());
        patcher.Stop();
        return patcher.Succeeded();
    }

    std::vector<std::string> Shown() {
        std::vector<std::string> texts;
        for (const auto& call : page.CallsOf("showMessage"))
            texts.push_back(call.args.at(0));
        return texts;
    }
    static std::vector<std::string> Messages(std::initializer_list<int> ids) {
        std::vector<std::string> texts;
        for (int id : ids)
            texts.push_back(GetLocalizedString(id));
        return texts;
    }

    std::string Diff(const std::string& oldBytes, const std::string& newBytes) {
        return patchtest::DebianBsdiff(env.Path("tools"), oldBytes, newBytes);
    }

    TestEnvironment env;
    RecordingPageCallSink page;
    const std::string install = env.Path("install");
};

TEST_F(PatcherTest, MessagesAreDistinct) {
    // The tests below tell the messages apart by their texts.
    auto texts = Messages({Msg::PatchOpenFailed, Msg::PatchCorrupt, Msg::PatchingError});
    EXPECT_NE(texts[0], texts[1]);
    EXPECT_NE(texts[1], texts[2]);
    EXPECT_NE(texts[2], "");
}

TEST_F(PatcherTest, CountZeroChangesNothing) {
    Install("game.exe", "program");
    EXPECT_TRUE(Apply(PatchFileWriter().Bytes()));
    EXPECT_EQ(Shown(), Messages({}));
    EXPECT_EQ(patchtest::ListFiles(install).size(), 1u);
}

TEST_F(PatcherTest, VersionTwoAppliesNothing) {
    PatchFileWriter w;
    w.AddWrite("", "game.exe", CompressLzmaAlone("new", false), ZlibCrc("new"));
    Install("game.exe", "old");
    EXPECT_FALSE(Apply(w.Bytes(2)));
    EXPECT_EQ(Shown(), Messages({Msg::PatchCorrupt}));
    EXPECT_EQ(Read("game.exe"), "old");
}

TEST_F(PatcherTest, MissingPatchFile) {
    EXPECT_FALSE(ApplyFile(env.Path("nothing.quorpatch")));
    EXPECT_EQ(Shown(), Messages({Msg::PatchOpenFailed}));
}

TEST_F(PatcherTest, WriteEntriesInBothLzmaFormsAndIntoNewFolders) {
    const std::string a = patchtest::SampleData(200000, 1), b = patchtest::SampleData(50000, 2),
                      c = patchtest::SampleData(3000, 3);
    Install("bin/existing.dll", "old dll");
    PatchFileWriter w;
    w.AddWrite("\\bin", "existing.dll", patchtest::XzLzmaAlone(env.Path("tools"), a), ZlibCrc(a));
    // One level below an existing folder, and two.
    w.AddWrite("\\bin\\plugins", "new.dll", patchtest::LzmpLzmaAlone(env.Path("tools"), b), ZlibCrc(b));
    w.AddWrite("\\content\\maps", "m1.map", CompressLzmaAlone(c, true), ZlibCrc(c));
    EXPECT_TRUE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({}));
    EXPECT_TRUE(Read("bin/existing.dll") == a);
    EXPECT_TRUE(Read("bin/plugins/new.dll") == b);
    EXPECT_TRUE(Read("content/maps/m1.map") == c);
    EXPECT_EQ(patchtest::ListFiles(install).size(), 3u);  // no temporary file left
}

TEST_F(PatcherTest, WriteWithWrongChecksumLeavesTheTarget) {
    Install("game.exe", "old");
    PatchFileWriter w;
    w.AddWrite("", "game.exe", CompressLzmaAlone("new", false), ZlibCrc("new") ^ 1);
    w.AddWrite("", "other.exe", CompressLzmaAlone("other", false), ZlibCrc("other"));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_EQ(Read("game.exe"), "old");
    EXPECT_EQ(Read("other.exe"), "other");
    EXPECT_EQ(patchtest::ListFiles(install).size(), 2u);
}

TEST_F(PatcherTest, LzmaStreamOverItsMemoryLimitFailsItsEntry) {
    Install("game.exe", "old");
    // No stored size and a 4 GiB dictionary: more than such a stream may take.
    std::string stream = CompressLzmaAlone("new", false);
    for (int i = 0; i < 4; ++i)
        stream[1 + i] = '\xFF';
    PatchFileWriter w;
    w.AddWrite("", "game.exe", stream, ZlibCrc("new"));
    w.AddWrite("", "next.exe", CompressLzmaAlone("next", false), ZlibCrc("next"));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_EQ(Read("game.exe"), "old");
    EXPECT_EQ(Read("next.exe"), "next");
    EXPECT_EQ(patchtest::ListFiles(install).size(), 2u);
}

TEST_F(PatcherTest, LzmaStreamDeclaringAHugeDictionaryFailsItsEntry) {
    Install("game.exe", "old");
    // A stored size of 4 GiB lets the dictionary stand at 4 GiB: past the ceiling.
    std::string stream = CompressLzmaAlone("new", false);
    for (int i = 0; i < 4; ++i)
        stream[1 + i] = '\xFF';
    const uint64_t declared = 1ull << 32;
    for (int i = 0; i < 8; ++i)
        stream[5 + i] = static_cast<char>(declared >> (8 * i));
    PatchFileWriter w;
    w.AddWrite("", "game.exe", stream, ZlibCrc("new"));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_EQ(Read("game.exe"), "old");
    EXPECT_EQ(patchtest::ListFiles(install).size(), 1u);
}

TEST_F(PatcherTest, BinaryDiffLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
    const std::string oldA = patchtest::SampleData(20000, 21), newA = patchtest::ChangedVersion(oldA, 22);
    Install("a.pak", oldA);
    PatchFileWriter w;
    w.AddBinaryDiff("", "a.pak", Diff(oldA, newA), ZlibCrc(oldA), ZlibCrc(newA));
    int asked = 0;
    auto freeBytes = [&](uint64_t n) {
        return [&asked, n](const std::string&) {
            ++asked;
            DiskFreeBytes free;
            free.freeForUser = free.totalFree = free.total = n;
            return std::optional<DiskFreeBytes>(free);
        };
    };
    EXPECT_FALSE(Apply(w.Bytes(), {}, freeBytes(newA.size() - 1)));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_TRUE(Read("a.pak") == oldA);
    EXPECT_EQ(patchtest::ListFiles(install).size(), 1u);
    EXPECT_TRUE(Apply(w.Bytes(), {}, freeBytes(newA.size())));
    EXPECT_TRUE(Read("a.pak") == newA);
}

TEST_F(PatcherTest, BinaryDiffEntries) {
    const std::string oldA = patchtest::SampleData(300000, 4), newA = patchtest::ChangedVersion(oldA, 5);
    const std::string oldB = patchtest::SampleData(20000, 6), newB = patchtest::ChangedVersion(oldB, 7);
    const std::string oldC = patchtest::SampleData(20000, 8), newC = patchtest::ChangedVersion(oldC, 9);
    Install("data/a.pak", oldA);
    Install("data/b.pak", newB);       // already the new version
    Install("data/c.pak", "neither");  // neither old nor new
    Install("data/d.pak", "after");
    ::chmod((install + "/data/a.pak").c_str(), 0750);
    PatchFileWriter w;
    w.AddBinaryDiff("\\data", "a.pak", Diff(oldA, newA), ZlibCrc(oldA), ZlibCrc(newA));
    w.AddBinaryDiff("\\data", "b.pak", Diff(oldB, newB), ZlibCrc(oldB), ZlibCrc(newB));
    w.AddBinaryDiff("\\data", "c.pak", Diff(oldC, newC), ZlibCrc(oldC), ZlibCrc(newC));
    w.AddWrite("\\data", "d.pak", CompressLzmaAlone("applied", false), ZlibCrc("applied"));
    EXPECT_FALSE(Apply(w.Bytes()));
    // Only c fails; the run goes on to d.
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_TRUE(Read("data/a.pak") == newA);
    EXPECT_TRUE(Read("data/b.pak") == newB);
    EXPECT_EQ(Read("data/c.pak"), "neither");
    EXPECT_EQ(Read("data/d.pak"), "applied");
    struct stat st {};
    ASSERT_EQ(::stat((install + "/data/a.pak").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(patchtest::ListFiles(install).size(), 4u);
}

TEST_F(PatcherTest, MalformedBinaryDiffFailsOnlyItsEntry) {
    const std::string old = "old contents of the file";
    Install("a.dat", old);
    Install("b.dat", "b");
    // A well-formed header whose control block is no bzip2 stream.
    const std::string broken =
        patchtest::BuildBsdiffRaw("not bzip2 at all", patchtest::Bzip2("d"), patchtest::Bzip2("e"), 10);
    // And one whose triples run past the new size.
    const std::string overrun = patchtest::BuildBsdiff({{20, 0, 0}}, std::string(20, '\0'), "", 10);
    PatchFileWriter w;
    w.AddBinaryDiff("", "a.dat", broken, ZlibCrc(old), 1234);
    w.AddBinaryDiff("", "a.dat", overrun, ZlibCrc(old), 1234);
    w.AddWrite("", "b.dat", CompressLzmaAlone("new b", false), ZlibCrc("new b"));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError, Msg::PatchingError}));
    EXPECT_EQ(Read("a.dat"), old);
    EXPECT_EQ(Read("b.dat"), "new b");
    EXPECT_EQ(patchtest::ListFiles(install).size(), 2u);
}

// An operation of a later format touches no file, so its texts are no path:
// whatever they hold, the entry is skipped by its length.
TEST_F(PatcherTest, UnknownOperationIsSkippedByItsLength) {
    const struct {
        const char* folder;
        const char* name;
    } names[] = {{"", "ignored"}, {"", ""}, {"\\data", "."}, {"", ".."}, {"\\..\\outside", "x"}, {"C:\\", "x"}};
    for (const auto& n : names) {
        page.Clear();
        PatchFileWriter w;
        w.AddEntry(7, n.folder, n.name, 0, 0, std::string(10, '\x02'));
        w.AddWrite("", "next.txt", CompressLzmaAlone("next", false), ZlibCrc("next"));
        EXPECT_TRUE(Apply(w.Bytes())) << n.folder << " " << n.name;
        EXPECT_EQ(Shown(), Messages({})) << n.folder << " " << n.name;
        EXPECT_EQ(Read("next.txt"), "next") << n.folder << " " << n.name;
        EXPECT_EQ(patchtest::ListFiles(install).size(), 1u) << n.folder << " " << n.name;
        fs::remove(install + "/next.txt");
    }
    EXPECT_FALSE(fs::exists(env.Path("outside")));
}

TEST_F(PatcherTest, Deletes) {
    Install("old.pak", "x");
    Install("keep.pak", "y");
    PatchFileWriter w;
    w.AddDelete("", "old.pak");
    w.AddDelete("\\nowhere", "missing.pak");  // a missing file is no error
    EXPECT_TRUE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({}));
    EXPECT_FALSE(Exists("old.pak"));
    EXPECT_TRUE(Exists("keep.pak"));
}

TEST_F(PatcherTest, ADeleteThatFailsIsReported) {
    // A folder where the entry names a file: it cannot be deleted as one.
    Install("saves/slot1/data", "progress");
    Install("old.pak", "x");
    PatchFileWriter w;
    w.AddDelete("", "saves");
    w.AddDelete("", "old.pak");
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_EQ(Read("saves/slot1/data"), "progress");
    EXPECT_FALSE(Exists("old.pak"));
}

TEST_F(PatcherTest, WholeFileIsCheckedBeforeTheFirstEntry) {
    Install("a.txt", "old a");
    PatchFileWriter good;
    good.AddWrite("", "a.txt", CompressLzmaAlone("new a", false), ZlibCrc("new a"));
    good.AddWrite("", "b.txt", CompressLzmaAlone("new b", false), ZlibCrc("new b"));
    const std::string full = good.Bytes();

    PatchFileWriter traversal;
    traversal.AddWrite("", "a.txt", CompressLzmaAlone("new a", false), ZlibCrc("new a"));
    traversal.AddWrite("\\..\\outside", "evil.txt", CompressLzmaAlone("evil", false), ZlibCrc("evil"));

    struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"file ends inside the second entry", full.substr(0, full.size() - 3)},
        {"file ends inside the second entry's name", full.substr(0, full.find("b.txt") + 2)},
        {"a traversal name in the second entry", traversal.Bytes()},
    };
    for (const auto& c : cases) {
        page.Clear();
        EXPECT_FALSE(Apply(c.bytes)) << c.what;
        EXPECT_EQ(Shown(), Messages({Msg::PatchCorrupt})) << c.what;
        EXPECT_EQ(Read("a.txt"), "old a") << c.what;
        EXPECT_EQ(patchtest::ListFiles(install).size(), 1u) << c.what;
    }
    EXPECT_FALSE(fs::exists(env.Path("outside")));
}

TEST_F(PatcherTest, EmptyOrMissingInstallFolderIsRefused) {
    PatchFileWriter w;
    w.AddWrite("", "a.txt", CompressLzmaAlone("a", false), ZlibCrc("a"));
    const std::string patch = env.WriteFile("update.quorpatch", w.Bytes());
    for (const std::string& folder : {env.Path("not-installed"), env.Path("update.quorpatch")}) {
        page.Clear();
        EXPECT_FALSE(ApplyFile(patch, folder)) << folder;
        EXPECT_EQ(Shown(), Messages({Msg::PatchingError})) << folder;
    }
    EXPECT_FALSE(fs::exists(env.Path("not-installed")));
    QuorPatcher empty("", patch);
    ASSERT_TRUE(empty.Start());
    empty.Stop();
    EXPECT_TRUE(empty.IsFinished());
    EXPECT_FALSE(empty.Succeeded());
    EXPECT_FALSE(fs::exists("a.txt"));
}

TEST_F(PatcherTest, NamesFromWindowsMatchWithoutRegardToCase) {
    const std::string oldMap = patchtest::SampleData(40000, 10), newMap = patchtest::ChangedVersion(oldMap, 11);
    Install("Data/Maps/Level1.PAK", oldMap);
    Install("Data/Sounds/old.wav", "wave");
    PatchFileWriter w;
    w.AddBinaryDiff("\\DATA\\maps", "level1.pak", Diff(oldMap, newMap), ZlibCrc(oldMap), ZlibCrc(newMap));
    w.AddDelete("\\data\\SOUNDS", "OLD.WAV");
    w.AddWrite("\\data\\NewFolder", "File.TXT", CompressLzmaAlone("new", false), ZlibCrc("new"));
    EXPECT_TRUE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({}));
    EXPECT_TRUE(Read("Data/Maps/Level1.PAK") == newMap);
    EXPECT_FALSE(Exists("Data/Sounds/old.wav"));
    // New parts are created as written, below the existing folder's own spelling.
    EXPECT_EQ(Read("Data/NewFolder/File.TXT"), "new");
    EXPECT_FALSE(Exists("data"));
}

TEST_F(PatcherTest, LinksLeadingOutOfTheInstallFolderAreNotFollowed) {
    // data/ and maps/ lead outside; bin/ is a link inside the install folder.
    const std::string outside = env.Path("outside");
    const std::string secretOld = patchtest::SampleData(20000, 17),
                      secretNew = patchtest::ChangedVersion(secretOld, 18);
    env.WriteFile("outside/kept.txt", "not the game's");
    env.WriteFile("outside/secret.pak", secretOld);
    env.WriteFile(".quorpatch-aB3dE9", "someone else's file");
    Install("real-bin/tool.dll", "old tool");
    fs::create_directory_symlink(outside, install + "/data");
    fs::create_directory_symlink(env.Root(), install + "/maps");
    fs::create_directory_symlink(install + "/real-bin", install + "/bin");
    PatchFileWriter w;
    w.AddWrite("\\data", "new.txt", CompressLzmaAlone("planted", false), ZlibCrc("planted"));
    w.AddWrite("\\data\\sub", "deep.txt", CompressLzmaAlone("planted", false), ZlibCrc("planted"));
    w.AddDelete("\\data", "kept.txt");
    w.AddBinaryDiff("\\data", "secret.pak", Diff(secretOld, secretNew), ZlibCrc(secretOld), ZlibCrc(secretNew));
    w.AddWrite("\\maps", "x.txt", CompressLzmaAlone("planted", false), ZlibCrc("planted"));
    w.AddWrite("\\bin", "tool.dll", CompressLzmaAlone("new tool", false), ZlibCrc("new tool"));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError, Msg::PatchingError, Msg::PatchingError, Msg::PatchingError,
                                 Msg::PatchingError}));
    EXPECT_EQ(patchtest::ListFiles(outside).size(), 2u);
    EXPECT_EQ(TestEnvironment::ReadFile(outside + "/kept.txt"), "not the game's");
    EXPECT_TRUE(TestEnvironment::ReadFile(outside + "/secret.pak") == secretOld);
    EXPECT_FALSE(fs::exists(env.Path("x.txt")));
    EXPECT_TRUE(fs::exists(env.Path(".quorpatch-aB3dE9")));
    EXPECT_EQ(Read("real-bin/tool.dll"), "new tool");
}

TEST_F(PatcherTest, AFileLinkIsReplacedNotWrittenThrough) {
    env.WriteFile("outside/target.dll", "outside");
    ::chmod(env.Path("outside/target.dll").c_str(), 06711);
    fs::create_symlink(env.Path("outside/target.dll"), install + "/game.dll");
    PatchFileWriter w;
    w.AddWrite("", "game.dll", CompressLzmaAlone("new", false), ZlibCrc("new"));
    mode_t mask = ::umask(022);
    EXPECT_TRUE(Apply(w.Bytes()));
    ::umask(mask);
    EXPECT_FALSE(fs::is_symlink(install + "/game.dll"));
    EXPECT_EQ(Read("game.dll"), "new");
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("outside/target.dll")), "outside");
    // The mode is not taken from what the link pointed at.
    struct stat st {};
    ASSERT_EQ(::stat((install + "/game.dll").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(PatcherTest, ABinaryDiffDoesNotReadThroughAFileLink) {
    const std::string secretOld = patchtest::SampleData(20000, 19),
                      secretNew = patchtest::ChangedVersion(secretOld, 20);
    const std::string secret = env.WriteFile("outside/secret.pak", secretOld);
    ::chmod(secret.c_str(), 0600);
    fs::create_symlink(secret, install + "/game.pak");
    PatchFileWriter w;
    w.AddBinaryDiff("", "game.pak", Diff(secretOld, secretNew), ZlibCrc(secretOld), ZlibCrc(secretNew));
    EXPECT_FALSE(Apply(w.Bytes()));
    EXPECT_EQ(Shown(), Messages({Msg::PatchingError}));
    EXPECT_TRUE(fs::is_symlink(install + "/game.pak"));
    EXPECT_TRUE(TestEnvironment::ReadFile(secret) == secretOld);
    EXPECT_EQ(patchtest::ListFiles(install).size(), 1u);
}

TEST_F(PatcherTest, LeftoversOfAnEarlierRunAreRemoved) {
    Install("data/.quorpatch-Zz9Yy8", "half-written by a crash");
    Install("data/a.txt", "a");
    PatchFileWriter w;
    w.AddWrite("\\data", "a.txt", CompressLzmaAlone("new a", false), ZlibCrc("new a"));
    EXPECT_TRUE(Apply(w.Bytes()));
    auto files = patchtest::ListFiles(install);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].first, "data/a.txt");
}

TEST_F(PatcherTest, AppliedAgainReachesTheSameBuild) {
    const std::string oldA = patchtest::SampleData(30000, 12), newA = patchtest::ChangedVersion(oldA, 13);
    Install("a.bin", oldA);
    Install("gone.bin", "x");
    PatchFileWriter w;
    w.AddBinaryDiff("", "a.bin", Diff(oldA, newA), ZlibCrc(oldA), ZlibCrc(newA));
    w.AddDelete("", "gone.bin");
    w.AddWrite("", "c.bin", CompressLzmaAlone("c", false), ZlibCrc("c"));
    EXPECT_TRUE(Apply(w.Bytes()));
    auto first = patchtest::ListFiles(install);
    EXPECT_TRUE(Apply(w.Bytes()));
    EXPECT_EQ(patchtest::ListFiles(install), first);
    EXPECT_EQ(Shown(), Messages({}));
}

TEST_F(PatcherTest, FullDiskLeavesTheTargetIntact) {
    // A child limited to 1 MiB per file (SIGXFSZ ignored, so writes fail with
    // EFBIG) must write a 3 MiB file and patch a file up to 2 MiB.
    const std::string oldBig = patchtest::SampleData(900 * 1024, 14);
    std::string newBig = oldBig + patchtest::SampleData(1200 * 1024, 15);
    const std::string large = patchtest::SampleData(3 << 20, 16);
    Install("big.pak", oldBig);
    Install("large.pak", "small old version");
    PatchFileWriter w;
    w.AddWrite("", "large.pak", CompressLzmaAlone(large, false), ZlibCrc(large));
    w.AddBinaryDiff("", "big.pak", Diff(oldBig, newBig), ZlibCrc(oldBig), ZlibCrc(newBig));
    w.AddWrite("", "fits.txt", CompressLzmaAlone("fits", false), ZlibCrc("fits"));
    const std::string patch = env.WriteFile("update.quorpatch", w.Bytes());
    int status = 0;
    std::string out = patchtest::RunTool({QUOR_PATCH_CHILD, install, patch, std::to_string(1 << 20)}, &status);
    EXPECT_EQ(status, 3) << out;
    EXPECT_NE(out.find("done 0"), std::string::npos) << out;
    EXPECT_EQ(Read("large.pak"), "small old version");
    EXPECT_TRUE(Read("big.pak") == oldBig);
    EXPECT_EQ(Read("fits.txt"), "fits");
    EXPECT_EQ(patchtest::ListFiles(install).size(), 3u);
    // With room again, the same file completes the build.
    EXPECT_TRUE(ApplyFile(patch));
    EXPECT_TRUE(Read("large.pak") == large);
    EXPECT_TRUE(Read("big.pak") == newBig);
}

}  // namespace
