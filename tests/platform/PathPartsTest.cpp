#include <gtest/gtest.h>

#include <string>

#include "platform/PathParts.h"

namespace {

TEST(PathParts, FolderOfGivesTheCallersWordForABareName) {
    struct Case {
        std::string path, bare, folder;
    };
    const Case cases[] = {
        {"/a/b/c.txt", ".", "/a/b"}, {"a/b", ".", "a"}, {"/top", ".", "/"}, {"/", ".", "/"},
        {"name", ".", "."},          {"name", "", ""},  {"", ".", "."},     {"a/b/", "", "a/b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::FolderOf(c.path, c.bare), c.folder) << c.path << " bare \"" << c.bare << "\"";
}

TEST(PathParts, BaseNameCutsAtTheLastOfTheGivenSeparators) {
    struct Case {
        std::string path, separators, name;
    };
    const Case cases[] = {
        {"/usr/bin/env", "/", "env"},
        {"env", "/", "env"},
        {"a/b/", "/", ""},
        {"C:\\Games\\x.exe", "/", "C:\\Games\\x.exe"},
        {"C:\\Games\\x.exe", "/\\", "x.exe"},
        {"a\\b/c", "/\\", "c"},
        {"", "/", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::BaseName(c.path, c.separators), c.name) << c.path << " by \"" << c.separators << "\"";
}

}  // namespace
