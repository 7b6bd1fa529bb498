#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/SaveFolder.h"
#include "games/downloads/TransferSettings.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

std::string Folder(const TestEnvironment& env) {
    fs::create_directories(env.Path("save"));
    return env.Path("save") + "/";
}

TEST(DownloadLock, FirstStartWritesTheUserNameWithoutLineEnd) {
    TestEnvironment env;
    std::string folder = Folder(env);
    EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), DownloadLock::Result::Owned);
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), "alice");
    // Nothing of the exclusive creation is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(DownloadLock, ExistingLockIsJudgedByItsFirstLine) {
    struct Case {
        std::string content;
        DownloadLock::Result expected;
        std::string after;  // the lock afterwards
    } cases[] = {
        {"alice", DownloadLock::Result::Owned, "alice"},          // the same user, on every later start
        {"bob", DownloadLock::Result::OtherUser, "bob"},          // another user, even in an empty folder
        {"alice\n", DownloadLock::Result::OtherUser, "alice\n"},  // the line end takes part
        {"alice\r\n", DownloadLock::Result::OtherUser, "alice\r\n"},
        {"alic", DownloadLock::Result::OtherUser, "alic"},
        {"alice2", DownloadLock::Result::OtherUser, "alice2"},
        {"bob\nalice", DownloadLock::Result::OtherUser, "bob\nalice"},  // the first line only
        {std::string(300, 'a'), DownloadLock::Result::OtherUser, std::string(300, 'a')},
        // An empty lock counts as one's own, and is one's own from then on.
        {"", DownloadLock::Result::Owned, "alice"},
        {std::string(5, '\0'), DownloadLock::Result::Owned, "alice"},  // what reads as empty
    };
    for (const Case& c : cases) {
        TestEnvironment env;
        std::string folder = Folder(env);
        env.WriteFile("save/download.lock", c.content);
        EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), c.expected) << "lock holds '" << c.content << "'";
        EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), c.after) << "lock held '" << c.content << "'";
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "nothing beside it";
    }
}

// An empty lock, as a power cut may leave one, is claimed by the next start:
// the folder then belongs to that user and no other.
TEST(DownloadLock, AnEmptyLockLeftByAPowerCutIsClaimedByTheNextStart) {
    TestEnvironment env;
    std::string folder = Folder(env);
    env.WriteFile("save/download.lock", "");
    EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), DownloadLock::Result::Owned);
    EXPECT_EQ(DownloadLock::Take(folder, "bob", {}), DownloadLock::Result::OtherUser);
    EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), DownloadLock::Result::Owned);
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), "alice");
}

// What a start killed between writing the lock's content and publishing it
// left beside the lock goes at the next start that writes one; a running
// process's stays, as does anything else.
TEST(DownloadLock, LeftoversOfAKilledStartAreRemoved) {
    for (bool emptyBefore : {false, true}) {
        TestEnvironment env;
        std::string folder = Folder(env);
        if (emptyBefore)
            env.WriteFile("save/download.lock", "");
        const std::string ended = "download.lock.new-" + std::to_string(ChildProcess::EndedPid()) + "-0";
        const std::string running = "download.lock.new-" + std::to_string(getppid()) + "-0";
        const std::string other = "game.exe.new-" + std::to_string(ChildProcess::EndedPid()) + "-0";
        for (const std::string& name : {ended, running, other})
            env.WriteFile("save/" + name, "alice");
        EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), DownloadLock::Result::Owned);
        EXPECT_FALSE(fs::exists(folder + ended)) << emptyBefore;
        EXPECT_TRUE(fs::exists(folder + running)) << emptyBefore;
        EXPECT_TRUE(fs::exists(folder + other)) << emptyBefore;
        EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), "alice");
    }
}

// A sync of the lock through the settings' seam: the file synced, whether the
// lock's name exists at that moment, and what it holds.
struct LockSync {
    std::string path;
    std::string content;  // of a file; "" for the folder
    std::optional<std::string> lock;
};

// The name reaches the disk before the link (or rename) that publishes it, the
// folder after it: a power cut leaves no lock, or one that names the user.
TEST(DownloadLock, TheNameIsSyncedBeforeTheLockIsPublishedAndTheFolderAfter) {
    for (bool emptyBefore : {false, true}) {
        SCOPED_TRACE(emptyBefore ? "claiming an empty lock" : "making the lock");
        TestEnvironment env;
        std::string folder = Folder(env);
        if (emptyBefore)
            env.WriteFile("save/download.lock", "");
        std::vector<LockSync> syncs;
        TransferSettings settings;
        settings.syncFile = [&](int fd) {
            std::error_code ec;
            LockSync sync{fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string(), {}, {}};
            if (!fs::is_directory(sync.path))
                sync.content = TestEnvironment::ReadFile(sync.path);
            if (fs::exists(folder + "download.lock"))
                sync.lock = TestEnvironment::ReadFile(folder + "download.lock");
            syncs.push_back(sync);
            return TransferSettings{}.SyncFile(fd);
        };
        EXPECT_EQ(DownloadLock::Take(folder, "alice", settings), DownloadLock::Result::Owned);
        ASSERT_EQ(syncs.size(), 2u);
        EXPECT_NE(syncs[0].path.find("download.lock.new-"), std::string::npos) << syncs[0].path;
        EXPECT_EQ(syncs[0].content, "alice");
        EXPECT_EQ(syncs[0].lock, emptyBefore ? std::optional<std::string>("") : std::nullopt);
        EXPECT_EQ(syncs[1].path, fs::canonical(folder).string());
        EXPECT_EQ(syncs[1].lock, std::optional<std::string>("alice"));
    }
}

TEST(DownloadLock, OfTwoUsersStartingAtOnceOnlyOneOwnsTheFolder) {
    for (bool emptyBefore : {false, true}) {
        for (int round = 0; round < 50; ++round) {
            TestEnvironment env;
            std::string folder = Folder(env);
            if (emptyBefore)
                env.WriteFile("save/download.lock", "");
            std::atomic<bool> go{false};
            DownloadLock::Result a{}, b{};
            std::thread ta([&] {
                while (!go) {
                }
                a = DownloadLock::Take(folder, "alice", {});
            });
            std::thread tb([&] {
                while (!go) {
                }
                b = DownloadLock::Take(folder, "bob", {});
            });
            go = true;
            ta.join();
            tb.join();
            EXPECT_NE(a, b) << "round " << round << (emptyBefore ? ", empty lock" : "");
            std::string owner = TestEnvironment::ReadFile(folder + "download.lock");
            EXPECT_EQ(owner, a == DownloadLock::Result::Owned ? "alice" : "bob");
        }
    }
}

// Never read through a link, never wait on a pipe: either at the lock's name
// makes the folder unusable, at once, and leaves the victim as it was.
TEST(DownloadLock, ALinkOrAPipeAtTheLocksNameIsUnusable) {
    for (bool pipe : {false, true}) {
        TestEnvironment env;
        std::string folder = Folder(env);
        std::string victim = env.WriteFile("victim.txt", "");
        std::string lock = folder + "download.lock";
        if (pipe)
            ASSERT_EQ(mkfifo(lock.c_str(), 0644), 0);
        else
            fs::create_symlink(victim, lock);
        auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(DownloadLock::Take(folder, "alice", {}), DownloadLock::Result::Unusable) << pipe;
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
        EXPECT_EQ(TestEnvironment::ReadFile(victim), "") << "an empty victim is not claimed";
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
}

TEST(DownloadLock, FolderThatCannotHoldALockIsNotTested) {
    TestEnvironment env;
    // A "folder" whose path runs through a file: nothing can be made or read there.
    env.WriteFile("plain", "x");
    EXPECT_EQ(DownloadLock::Take(env.Path("plain") + "/", "alice", {}), DownloadLock::Result::Owned);
}

TEST(SaveFolder, UserNameIsTheLoginNameOfTheRealUser) {
    TestEnvironment env;
    setenv("USER", "someone-else", 1);
    setenv("LOGNAME", "someone-else", 1);
    struct passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(GetCurrentUserName(), pw->pw_name);
}

TEST(SaveFolder, DefaultFolderIsCreatedWithItsParentsOnANewAccount) {
    TestEnvironment env;
    fs::remove_all(env.Path("home/.local"));
    unsetenv("XDG_DATA_HOME");
    std::string folder = DefaultSaveFolder();
    EXPECT_EQ(folder, env.Path("home/.local/share/Brindlemoor Quor!/"));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST(SaveFolder, NoDataFolderGivesNoDefaultFolder) {
    TestEnvironment env;
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_EQ(DefaultSaveFolder(), "");
}

TEST(SaveFolder, PlainFileNames) {
    struct Case {
        std::string name;
        bool plain;
    } cases[] = {
        {"game.exe", true},
        {"my game.exe", true},
        {".hidden", true},
        {"a..b", true},
        {"", false},
        {".", false},
        {"..", false},
        {"a\\b", false},
        {"..\\x", false},
        {"a/b", false},
        {std::string("a\0b", 3), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPlainFileName(c.name), c.plain) << "'" << c.name << "'";
}

TEST(SaveFolder, DriveIsTheMountPointHoldingTheFolder) {
    TestEnvironment env;
    std::string folder = Folder(env);
    std::string drive = DriveOfFolder(folder + "not/made/yet/");
    struct stat a {
    }, b{};
    ASSERT_EQ(stat(drive.c_str(), &a), 0);
    ASSERT_EQ(stat(folder.c_str(), &b), 0);
    EXPECT_EQ(a.st_dev, b.st_dev);
    EXPECT_TRUE(folder.rfind(drive, 0) == 0) << drive;
    EXPECT_EQ(DriveOfFolder("/proc/self/"), "/proc");
}

TEST(SaveFolder, PromptFollowsTheInterfaceLanguage) {
    TestEnvironment env;
    Prefs::SetLanguage("tr");
    EXPECT_EQ(SaveFolderPrompt(), "Indirilen dosyayi kaydetmek istediginiz klasörü seçin.");
    Prefs::SetLanguage("en");
    EXPECT_EQ(SaveFolderPrompt(), "Please select a location to save the download.");
}

}  // namespace
