#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "games/patching/FolderListings.h"
#include "games/patching/PathResolver.h"
#include "platform/SafePath.h"
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

// Folders read once for many paths give the answers of reading them each time,
// and learn the names created since through Added.
TEST(PathResolver, ListingsKeptForManyPaths) {
    TestEnvironment env;
    env.WriteFile("game/Data/Maps/Level1.PAK", "1");
    env.WriteFile("game/Data/readme.txt", "r");
    env.WriteFile("game/twins/Ab", "1");
    env.WriteFile("game/twins/aB", "2");
    const std::string base = env.Path("game");
    FolderListings listings;
    for (const char* relative : {"\\data\\maps\\level1.pak", "DATA/READme.TXT", "twins/ab", "data/New/File.dat",
                                 "Data/Maps/Level1.PAK", "nothing/here"}) {
        const std::string joined = *platform::SafeJoin(base, relative);
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(ResolveExistingCase(base, joined, &listings), ResolveExistingCase(base, joined))
                << relative << " " << pass;
        }
    }
    // A folder once read is not read again: what is created is told.
    env.WriteFile("game/Data/Maps/Level2.pak", "2");
    env.WriteFile("game/Data/New/File.dat", "3");
    const std::string level2 = *platform::SafeJoin(base, "data/maps/LEVEL2.PAK");
    const std::string file = *platform::SafeJoin(base, "DATA/NEW/FILE.DAT");
    EXPECT_EQ(ResolveExistingCase(base, level2, &listings), base + "/Data/Maps/LEVEL2.PAK");
    listings.Added(base + "/Data/Maps/Level2.pak");
    listings.Added(base + "/Data/New/File.dat");
    EXPECT_EQ(ResolveExistingCase(base, level2, &listings), base + "/Data/Maps/Level2.pak");
    EXPECT_EQ(ResolveExistingCase(base, file, &listings), base + "/Data/New/File.dat");
    // A second spelling added makes a name ambiguous: taken as written.
    env.WriteFile("game/Data/Maps/LEVEL2.pak", "4");
    listings.Added(base + "/Data/Maps/LEVEL2.pak");
    EXPECT_EQ(ResolveExistingCase(base, level2, &listings), base + "/Data/Maps/LEVEL2.PAK");
}

// A folder that could not be read (here: no descriptor left) is read again at
// the next look, not taken for an empty one for the rest of the check.
TEST(PathResolver, AFolderThatCouldNotBeReadIsReadAgain) {
    TestEnvironment env;
    env.WriteFile("game/Data/readme.txt", "r");
    const std::string data = env.Path("game/Data");
    FolderListings listings;

    struct rlimit was {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
    struct rlimit low = was;
    low.rlim_cur = std::min<rlim_t>(was.rlim_cur, 64);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(0)) >= 0;)
        taken.push_back(fd);
    const std::string whileOut = listings.SingleMatch(data, "README.TXT");
    for (int fd : taken)
        close(fd);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &was), 0);

    EXPECT_EQ(whileOut, "");
    EXPECT_EQ(listings.SingleMatch(data, "README.TXT"), "readme.txt");
}

TEST(PathResolver, BaseIsTakenAsItIs) {
    TestEnvironment env;
    env.WriteFile("Game/file", "1");
    // The base comes from the registry and is used as written, trailing "/" or not.
    EXPECT_EQ(ResolveDataPath(env.Path("Game/"), "FILE"), std::optional<std::string>(env.Path("Game/file")));
    EXPECT_EQ(ResolveDataPath(env.Path("game"), "FILE"), std::optional<std::string>(env.Path("game/FILE")));
}

}  // namespace

namespace {

TEST(PathResolver, StaysInsideFollowsLinks) {
    TestEnvironment env;
    namespace fs = std::filesystem;
    env.WriteFile("game/data/file", "1");
    env.WriteFile("game/readme", "r");
    env.WriteFile("elsewhere/file", "2");
    const std::string game = env.Path("game");
    fs::create_directory_symlink(env.Path("elsewhere"), game + "/out");
    fs::create_directory_symlink(game + "/data", game + "/in");
    fs::create_directory_symlink(env.Path("nothing"), game + "/dangling");
    fs::create_directory_symlink(game, env.Path("game-link"));
    struct {
        std::string base, folder;
        bool inside;
    } cases[] = {
        {game, game, true},
        {game, game + "/", true},
        {game, game + "/data", true},
        {game, game + "/data/new/deeper", true},  // created as written, inside
        {game, game + "/in", true},               // a link that stays inside
        {game, game + "/in/new", true},
        {game, game + "/out", false},
        {game, game + "/out/new/deeper", false},
        {game, game + "/dangling", false},
        {game, game + "/dangling/new", false},
        {game, game + "/readme/x", true},  // below a file: nothing can be made there, nothing leaves
        {game, env.Path("game2"), false},
        {game, env.Root(), false},
        // The install folder may itself be a link.
        {env.Path("game-link"), env.Path("game-link/data"), true},
        {env.Path("game-link"), env.Path("game-link/out"), false},
        {env.Path("missing"), env.Path("missing/x"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StaysInside(c.base, c.folder), c.inside) << c.base << " | " << c.folder;
}

}  // namespace
