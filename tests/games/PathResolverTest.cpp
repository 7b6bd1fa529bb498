#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "games/PathResolver.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

TEST(PathResolver, FindsExistingPartsWithoutRegardToCase) {
    TestEnvironment env;
    env.WriteFile("game/Data/Maps/Level1.PAK", "1");
    env.WriteFile("game/Data/readme.txt", "r");
    env.WriteFile("game/both/x", "lower");
    env.WriteFile("game/both/X", "upper");
    env.WriteFile("game/twins/Ab", "1");
    env.WriteFile("game/twins/aB", "2");
    const std::string base = env.Path("game");
    struct {
        const char* relative;
        const char* resolved;
    } cases[] = {
        {"\\data\\maps\\level1.pak", "/Data/Maps/Level1.PAK"},
        {"DATA/MAPS/LEVEL1.PAK", "/Data/Maps/Level1.PAK"},
        {"Data/Maps/Level1.PAK", "/Data/Maps/Level1.PAK"},
        // An exact match wins over another spelling.
        {"both/x", "/both/x"},
        {"both/X", "/both/X"},
        // Two candidates and no exact one: taken as written.
        {"twins/ab", "/twins/ab"},
        // New parts stay as written below the existing ones.
        {"data/New/File.dat", "/Data/New/File.dat"},
        {"DATA/READme.TXT", "/Data/readme.txt"},
        {"nothing/here", "/nothing/here"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveDataPath(base, c.relative), std::optional<std::string>(base + c.resolved)) << c.relative;
    }
    // The join's refusals hold.
    EXPECT_EQ(ResolveDataPath(base, "..\\x"), std::nullopt);
    EXPECT_EQ(ResolveDataPath("", "x"), std::nullopt);
}

TEST(PathResolver, BaseIsTakenAsItIs) {
    TestEnvironment env;
    env.WriteFile("Game/file", "1");
    // The base comes from the registry and is used as written, trailing "/" or not.
    EXPECT_EQ(ResolveDataPath(env.Path("Game/"), "FILE"), std::optional<std::string>(env.Path("Game/file")));
    EXPECT_EQ(ResolveDataPath(env.Path("game"), "FILE"), std::optional<std::string>(env.Path("game/FILE")));
}

}  // namespace
