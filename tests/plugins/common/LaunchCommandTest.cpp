#include <gtest/gtest.h>

#include "plugins/common/GameParameter.h"
#include "plugins/common/LaunchCommand.h"

namespace {

TEST(LaunchCommand, BuildsTheProgramAndTheOneQuotedArgument) {
    auto c = LaunchCommand::Build("/opt/Quor Games/", "Ironvale");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/opt/Quor Games/Quor");
    EXPECT_EQ(c->workingFolder, "/opt/Quor Games");
    EXPECT_EQ(c->argv, (std::vector<std::string>{"/opt/Quor Games/Quor", "/game:\"\"\"Ironvale\"\"\""}));
}

TEST(LaunchCommand, RefusesNamesAndFoldersFromWhichNoSafeStartFollows) {
    struct Case {
        const char* why;
        std::string folder;
        std::string game;
        bool launches;
    };
    // /game:""" + name + """ + terminator = 2048 bytes
    const std::string longest(2048 - 13, 'a');
    const Case cases[] = {
        {"plain", "/opt/q", "Ironvale", true},
        {"blanks and UTF-8", "/opt/q", "My Gäme 2", true},
        {"longest name that fits", "/opt/q", longest, true},
        {"one byte too long", "/opt/q", longest + "a", false},
        {"2047-byte value", "/opt/q", std::string(2047, 'a'), false},
        {"empty name", "/opt/q", "", false},
        {"double quote", "/opt/q", "My\" /silent \"Game", false},
        {"newline", "/opt/q", "Iron\nvale", false},
        {"tab", "/opt/q", "Iron\tvale", false},
        {"delete", "/opt/q", "Iron\x7fvale", false},
        {"C1 control", "/opt/q", "Iron\xc2\x85vale", false},
        {"invalid UTF-8", "/opt/q", "Iron\xffvale", false},
        {"empty folder", "", "Ironvale", false},
        {"relative folder", "Games/Quor", "Ironvale", false},
        {"NUL in the folder", std::string("/usr/bin/env\0", 13), "Ironvale", false},
        {"folder too long", "/" + std::string(2048, 'f'), "Ironvale", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(LaunchCommand::Build(c.folder, c.game).has_value(), c.launches);
    }
}

TEST(GameParameter, TakesTheFirstParameterNamedGameInAnyCase) {
    struct Case {
        const char* why;
        std::vector<const char*> names;
        std::vector<const char*> values;
        std::optional<std::string> game;
    };
    const Case cases[] = {
        {"lower case", {"src", "game"}, {"x.scr", "Ironvale"}, "Ironvale"},
        {"upper case", {"GAME"}, {"Ironvale"}, "Ironvale"},
        {"mixed case", {"Game"}, {"Ironvale"}, "Ironvale"},
        {"the first counts", {"game", "game"}, {"First", "Second"}, "First"},
        {"no game parameter", {"src", "gameId"}, {"x", "4"}, std::nullopt},
        {"null value of the first", {"game", "game"}, {nullptr, "Second"}, std::nullopt},
        {"null name skipped", {nullptr, "game"}, {"x", "Ironvale"}, "Ironvale"},
        {"longer name", {"games"}, {"Ironvale"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FindGameParameter(static_cast<int>(c.names.size()), c.names.data(), c.values.data()), c.game);
    }
    const char* names[] = {"game"};
    const char* values[] = {"Ironvale"};
    EXPECT_EQ(FindGameParameter(-1, names, values), std::nullopt);
    EXPECT_EQ(FindGameParameter(1, nullptr, values), std::nullopt);
    EXPECT_EQ(FindGameParameter(1, names, nullptr), std::nullopt);
}

}  // namespace
