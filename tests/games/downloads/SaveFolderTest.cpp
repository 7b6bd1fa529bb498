#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/SaveFolder.h"
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
    EXPECT_EQ(DownloadLock::Take(folder, "alice"), DownloadLock::Result::Owned);
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), "alice");
    // Nothing of the exclusive creation is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(DownloadLock, ExistingLockIsJudgedByItsFirstLine) {
    struct Case {
        const char* content;
        DownloadLock::Result expected;
    } cases[] = {
        {"alice", DownloadLock::Result::Owned},        // the same user, on every later start
        {"bob", DownloadLock::Result::OtherUser},      // another user, even in an empty folder
        {"alice\n", DownloadLock::Result::OtherUser},  // the line end takes part
        {"alice\r\n", DownloadLock::Result::OtherUser},
        {"", DownloadLock::Result::Owned},  // an empty lock counts as one's own
        {"alic", DownloadLock::Result::OtherUser},
        {"alice2", DownloadLock::Result::OtherUser},
    };
    for (const Case& c : cases) {
        TestEnvironment env;
        std::string folder = Folder(env);
        env.WriteFile("save/download.lock", c.content);
        EXPECT_EQ(DownloadLock::Take(folder, "alice"), c.expected) << "lock holds '" << c.content << "'";
        EXPECT_EQ(TestEnvironment::ReadFile(folder + "download.lock"), c.content) << "never rewritten";
    }
}

TEST(DownloadLock, OfTwoUsersStartingAtOnceOnlyOneOwnsTheFolder) {
    for (int round = 0; round < 50; ++round) {
        TestEnvironment env;
        std::string folder = Folder(env);
        std::atomic<bool> go{false};
        DownloadLock::Result a{}, b{};
        std::thread ta([&] {
            while (!go) {
            }
            a = DownloadLock::Take(folder, "alice");
        });
        std::thread tb([&] {
            while (!go) {
            }
            b = DownloadLock::Take(folder, "bob");
        });
        go = true;
        ta.join();
        tb.join();
        EXPECT_NE(a, b) << "round " << round;
        std::string owner = TestEnvironment::ReadFile(folder + "download.lock");
        EXPECT_EQ(owner, a == DownloadLock::Result::Owned ? "alice" : "bob");
    }
}

TEST(DownloadLock, FolderThatCannotHoldALockIsNotTested) {
    TestEnvironment env;
    // A "folder" whose path runs through a file: nothing can be made or read there.
    env.WriteFile("plain", "x");
    EXPECT_EQ(DownloadLock::Take(env.Path("plain") + "/", "alice"), DownloadLock::Result::Owned);
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
