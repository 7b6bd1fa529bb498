#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "core/settings/Prefs.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/QuorProcess.h"

namespace {

struct CommandLineCase {
    std::vector<std::string> arguments;  // as the program receives them, one per argv entry
    bool accepted;
    std::string game;  // "-" when absent
    int32_t gameId;    // 0 when absent
    bool silent;
    bool uninstall;
};

TEST(CommandLine, TheFormsTheProgramIsStartedWith) {
    const CommandLineCase cases[] = {
        {{}, true, "-", 0, false, false},
        {{"/game:\"\"\"Space Game\"\"\""}, true, "Space Game", 0, false, false},  // the plug-ins' form
        {{"/game:\"Space Game\""}, true, "Space Game", 0, false, false},
        {{"-game=Space Game"}, true, "Space Game", 0, false, false},
        {{"/game", "Space Game"}, true, "Space Game", 0, false, false},
        {{"-game:Ünï 游戏"}, true, "Ünï 游戏", 0, false, false},
        {{"/game:a:b=c"}, true, "a:b=c", 0, false, false},
        {{"/game:"}, true, "", 0, false, false},
        {{"/gameId:12"}, true, "-", 12, false, false},
        {{"-gameId=-5", "/silent"}, true, "-", -5, true, false},
        {{"/gameId", "2147483647"}, true, "-", 2147483647, false, false},
        {{"/silent", "/game:\"X\"", "/gameId:3"}, true, "X", 3, true, false},
        {{"-uninstall"}, true, "-", 0, false, true},
        {{"/manifest_param:abc"}, true, "-", 0, false, false},
        {{"/gameId:x"}, false, "-", 0, false, false},
        {{"/gameId:12abc"}, false, "-", 0, false, false},
        {{"/gameId:2147483648"}, false, "-", 0, false, false},
        {{"/gameId"}, false, "-", 0, false, false},
        {{"/game"}, false, "-", 0, false, false},
        {{"/unknown"}, false, "-", 0, false, false},
        {{"/GAME:x"}, false, "-", 0, false, false},  // option names keep their case
        {{"--game=x"}, false, "-", 0, false, false},
        {{"Space Game"}, false, "-", 0, false, false},
    };
    for (const CommandLineCase& c : cases) {
        std::string joined;
        for (const std::string& a : c.arguments)
            joined += "[" + a + "]";
        CommandLine::Request request;
        std::string errors;
        bool accepted = CommandLine::Parse(c.arguments, request, errors);
        EXPECT_EQ(accepted, c.accepted) << joined << "\n" << errors;
        if (!c.accepted) {
            EXPECT_NE(errors.find("Usage:"), std::string::npos) << joined;
            continue;
        }
        EXPECT_EQ(request.hasGame ? request.game : "-", c.game) << joined;
        EXPECT_EQ(request.hasGameId ? request.gameId : 0, c.gameId) << joined;
        EXPECT_EQ(request.silent, c.silent) << joined;
        EXPECT_EQ(request.uninstall, c.uninstall) << joined;
    }
}

TEST(CommandLine, QuotingRuleAppliesToEachArgument) {
    EXPECT_EQ(CommandLine::ApplyWindowsQuoting({"/game:\"\"\"Space Game\"\"\"", "\"-silent\"", "a\"b\"c"}),
              (std::vector<std::string>{"/game:Space Game", "-silent", "abc"}));
}

// The program itself: uninstall ends it before anything is stored, and a
// rejected command line stores nothing and prints the usage text.
TEST(CommandLine, UninstallAndRejectionsStoreNothing) {
    TestEnvironment env;
    GuiSession::EnsureDisplay();
    Prefs::SetString("AutoStartGame", "Earlier");
    Prefs::SetNumber("AutoStartGameId", 4);
    std::string before = TestEnvironment::ReadFile(env.HkcuFile());

    QuorProcess uninstall({"/game:Other", "/gameId:9", "/uninstall"});
    EXPECT_EQ(uninstall.WaitForExit(), 0) << uninstall.Output();
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile()), before);

    for (std::vector<std::string> arguments : {std::vector<std::string>{"/game:Other", "/gameId:x"},
                                               {"/game:Other", "/nonsense"},
                                               {"/gameId:99999999999"}}) {
        QuorProcess rejected(arguments);
        EXPECT_NE(rejected.WaitForExit(), -1);
        EXPECT_NE(rejected.Output().find("Usage:"), std::string::npos) << rejected.Output();
        EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile()), before);
    }
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "Earlier");
    EXPECT_EQ(Prefs::GetNumber("AutoStartGameId"), 4u);
}

}  // namespace
