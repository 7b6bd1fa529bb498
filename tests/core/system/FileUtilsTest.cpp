#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/system/FileUtils.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

TEST(MatchesWildcard, StarsQuestionMarksAndCase) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"manifest*.xml", "manifest.xml", true},
        {"manifest*.xml", "MANIFEST_2.XML", true},
        {"manifest*.xml", "manifest.xml.bak", false},
        {"*", "anything", true},
        {"*a*b", "xaxxb", true},
        {"*a*b", "xaxxbc", false},
        {"a*b*c", "abbbc", true},
        {"?", "\xc3\xa4", true},  // one character of two bytes
        {"??", "\xc3\xa4", false},
        {"?rger.dat", "\xc3\xa4rger.dat", true},
        {"\xc3\xa4*", "\xc3\x84rger", false},  // only ASCII letters fold
        {"setup.exe", "SETUP.EXE", true},
        {"setup?.exe", "setup.exe", false},
        {"*.*", "noext", false},
        {"", "", true},
        {"", "a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
}

TEST(FindFileInFolder, FirstVisiblePlainFileInByteOrder) {
    TestEnvironment env;
    for (const char* name :
         {"manifest.xml", "Manifest_2.XML", "manifest-old.txt", ".manifest-hidden.xml", "a.b.c", "\xc3\xa4rger.dat"})
        env.WriteFile(std::string("f/") + name, "x");
    fs::create_directories(env.Path("f/manifest-dir.xml"));
    fs::create_directory_symlink(env.Path("f/manifest-dir.xml"), env.Path("f/linked-dir.xml"));
    fs::create_symlink(env.Path("f/a.b.c"), env.Path("f/linked-file.xml"));
    const std::string folder = env.Path("f");
    const struct {
        const char* pattern;
        const char* found;
    } cases[] = {
        {"manifest*.xml", "Manifest_2.XML"},  // "M" sorts before "m"
        {"MANIFEST.XML", "manifest.xml"},
        {"*.txt", "manifest-old.txt"},
        {"*hidden*", ""},          // names starting with "." are hidden
        {"manifest-dir.xml", ""},  // a folder is no file
        {"linked-dir.xml", ""},
        {"linked-*.xml", "linked-file.xml"},  // a link to a file is a file
        {"?rger.dat", "\xc3\xa4rger.dat"},
        {"*", "Manifest_2.XML"},
        {"*.*.*", "a.b.c"},
        {"nothing*", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindFileInFolder(c.pattern, folder), c.found) << c.pattern;
        EXPECT_EQ(FindFileInFolder(c.pattern, folder + "/"), c.found) << c.pattern;
    }
    EXPECT_EQ(FindFileInFolder("*", env.Path("missing")), "");
    EXPECT_EQ(FindFileInFolder("*", env.Path("f/a.b.c")), "");
    EXPECT_EQ(FindFileInFolder("*", ""), "");
}

TEST(FileExists, FilesAndFoldersExist) {
    TestEnvironment env;
    std::string file = env.WriteFile("d/file", "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(env.Path("d")));
    EXPECT_FALSE(FileExists(env.Path("d/missing")));
    EXPECT_FALSE(FileExists(""));
}

TEST(GetFileSize64, SizeOfFilesBeyondFourGigabytes) {
    TestEnvironment env;
    EXPECT_EQ(GetFileSize64(env.WriteFile("five", "12345")), 5);
    EXPECT_EQ(GetFileSize64(env.WriteFile("empty", "")), 0);
    std::string big = env.WriteFile("big", "");
    ASSERT_EQ(truncate(big.c_str(), 5LL << 30), 0);  // sparse: no space taken
    EXPECT_EQ(GetFileSize64(big), 5LL << 30);
    EXPECT_EQ(GetFileSize64(env.Path("missing")), -1);
    EXPECT_EQ(GetFileSize64(env.Root()), -1);
}

TEST(CreateDirectoryTree, CreatesTheFoldersButNotTheLastName) {
    TestEnvironment env;
    const mode_t saved = umask(002);
    EXPECT_TRUE(CreateDirectoryTree(env.Path("a/b/c/file.txt")));
    EXPECT_TRUE(fs::is_directory(env.Path("a/b/c")));
    EXPECT_FALSE(fs::exists(env.Path("a/b/c/file.txt")));
    // The umask decides the mode, as for any new folder.
    struct stat st {};
    ASSERT_EQ(stat(env.Path("a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0775u);
    umask(saved);

    EXPECT_TRUE(CreateDirectoryTree(env.Path("x/y/")));
    EXPECT_TRUE(fs::is_directory(env.Path("x/y")));
    EXPECT_TRUE(CreateDirectoryTree(env.Path("x/y/")));

    // Below a file nothing can be created; nothing breaks either.
    std::string file = env.WriteFile("plain", "x");
    EXPECT_FALSE(CreateDirectoryTree(file + "/sub/name"));
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(TestEnvironment::ReadFile(file), "x");
}

}  // namespace
