#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include "app/SingleInstance.h"
#include "platform/FlagEvent.h"
#include "platform/InstanceLock.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/ProgramRig.h"

namespace {

// The plug-ins start the program with the name between three quotes on each side.
TEST(SingleInstance, ASecondStartHandsItsGameToTheFirstAndEnds) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto first = rig.StartFirst({"/silent"});
    ASSERT_TRUE(first->IsRunning()) << first->Output();
    size_t mark = rig.Activity().size();

    auto second = rig.Start({"/game:\"\"\"Space Game\"\"\""});
    EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
    ASSERT_TRUE(rig.WaitForActivity("start-game-by-name Space Game", mark)) << first->Output();
    std::vector<std::string> lines = rig.Activity();
    std::vector<std::string> after(lines.begin() + static_cast<long>(mark), lines.end());
    EXPECT_EQ(after, (std::vector<std::string>{"restore", "start-game-by-name Space Game"}));
    // The request was taken and cleared; the first instance runs on.
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "");
    EXPECT_TRUE(first->IsRunning());

    // A start for a game by id goes the same way.
    size_t next = rig.Activity().size();
    auto third = rig.Start({"-gameId=12"});
    EXPECT_EQ(third->WaitForExit(), 0);
    EXPECT_TRUE(rig.WaitForActivity("start-game-by-id 12", next));
}

TEST(SingleInstance, ASilentSecondStartSignalsNothing) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto first = rig.StartFirst();
    ASSERT_TRUE(first->IsRunning()) << first->Output();
    size_t mark = rig.Activity().size();
    auto second = rig.Start({"/silent", "/game:Quiet Game"});
    EXPECT_EQ(second->WaitForExit(), 0);
    // Written for the first instance's next hand-over or page load, not signalled.
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "Quiet Game");
    WaitUntil([] { return false; }, 1500);  // three of the first instance's timer ticks
    EXPECT_EQ(rig.Activity().size(), mark);
}

TEST(SingleInstance, TwoUsersDoNotSeeEachOther) {
    TestEnvironment env;
    ProgramRig ana(env, "ana");
    ProgramRig ben(env, "ben");
    auto anaFirst = ana.StartFirst();
    auto benFirst = ben.StartFirst();
    ASSERT_TRUE(anaFirst->IsRunning()) << anaFirst->Output();
    ASSERT_TRUE(benFirst->IsRunning()) << benFirst->Output();  // a first instance of its own

    size_t anaMark = ana.Activity().size();
    auto benSecond = ben.Start({"/game:Ben's Game"});
    EXPECT_EQ(benSecond->WaitForExit(), 0);
    EXPECT_TRUE(ben.WaitForActivity("start-game-by-name Ben's Game"));
    WaitUntil([] { return false; }, 1000);
    EXPECT_EQ(ana.Activity().size(), anaMark);
    EXPECT_EQ(ana.PrefString("AutoStartGame"), "");
}

// A second start while the first is still starting: its request is not lost.
TEST(SingleInstance, ASecondStartDuringTheFirstsStartUpKeepsItsRequest) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto first = rig.Start({});
    auto second = rig.Start({"/game:\"\"\"Race Game\"\"\""});
    ASSERT_TRUE(rig.WaitForActivity("start-game-by-name Race Game", 0, 30000)) << first->Output() << second->Output();
    // Exactly one of them runs on.
    EXPECT_TRUE(WaitUntil([&] { return first->IsRunning() != second->IsRunning(); }, 20000));
}

}  // namespace

namespace {

// The protocol from the second start's side, with this test as a first
// instance that is still starting: the second start waits, and writes and
// signals only once the first is ready.
TEST(SingleInstance, ASecondStartWaitsUntilTheFirstIsReady) {
    TestEnvironment env;
    ProgramRig rig(env);
    platform::InstanceLock first(rig.runtime, "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}");
    ASSERT_TRUE(first.IsFirst());
    platform::FlagEvent show(rig.runtime + "/Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show");

    auto second = rig.Start({"/game:Waiting Game"});
    EXPECT_EQ(second->WaitForExit(1500), -1);  // still waiting
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "");
    EXPECT_FALSE(show.IsSet());

    // The first instance writes its own values, makes its event and is ready.
    show.Create();
    first.MarkReady();
    EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "Waiting Game");
    EXPECT_TRUE(show.IsSet());
}

// The second start hands over its activation in the flag: the Wayland token
// when there is one, else the X11 startup id; nothing that is no plain token.
TEST(SingleInstance, ASecondStartHandsOverItsActivation) {
    TestEnvironment env;
    ProgramRig rig(env);
    platform::InstanceLock first(rig.runtime, "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}");
    ASSERT_TRUE(first.IsFirst());
    platform::FlagEvent show(rig.runtime + "/Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show");
    show.Create();
    first.MarkReady();

    struct Case {
        std::vector<std::string> environment;
        std::string text;
    } cases[] = {
        {{"DESKTOP_STARTUP_ID=desk-4711-host_TIME1234"}, "desk-4711-host_TIME1234"},
        {{"DESKTOP_STARTUP_ID=desk-1_TIME1", "XDG_ACTIVATION_TOKEN=wayland-token-0f3c"}, "wayland-token-0f3c"},
        {{"DESKTOP_STARTUP_ID=two words"}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        show.Reset();
        rig.extra = c.environment;
        auto second = rig.Start({"/game:Activated"});
        EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
        EXPECT_TRUE(show.IsSet());
        EXPECT_EQ(show.Text(), c.text);
    }
    EXPECT_EQ(SingleInstance::ValidStartupToken(std::string(512, 'a')), std::string(512, 'a'));
    EXPECT_EQ(SingleInstance::ValidStartupToken(std::string(513, 'a')), "");
    EXPECT_EQ(SingleInstance::ValidStartupToken("tab\tin"), "");
}

// The first instance brings its window forward with the activation it was handed.
TEST(SingleInstance, TheFirstInstancePresentsItsWindowWithTheActivation) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto first = rig.StartFirst({"/silent"});
    ASSERT_TRUE(first->IsRunning()) << first->Output();
    size_t mark = rig.Activity().size();
    rig.extra = {"DESKTOP_STARTUP_ID=quor-test-77_TIME5000"};
    auto second = rig.Start({});
    EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
    ASSERT_TRUE(rig.WaitForActivity("present quor-test-77_TIME5000", mark)) << first->Output();
    std::vector<std::string> lines = rig.Activity();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(mark), lines.end()),
              (std::vector<std::string>{"restore", "present quor-test-77_TIME5000"}));
    EXPECT_TRUE(first->IsRunning());
}

// Arguments are UTF-8 whatever the locale: under LC_ALL=C the name is stored
// whole, and an argument that is not UTF-8 is refused without a hand-over.
TEST(SingleInstance, ArgumentsAreUtf8WhateverTheLocale) {
    TestEnvironment env;
    ProgramRig rig(env);
    rig.extra = {"LC_ALL=C", "LANG=C"};
    platform::InstanceLock first(rig.runtime, "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}");
    ASSERT_TRUE(first.IsFirst());
    platform::FlagEvent show(rig.runtime + "/Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show");
    show.Create();
    first.MarkReady();

    auto refused = rig.Start({"/game:Bad \xff\xfe Name"});
    EXPECT_NE(refused->WaitForExit(), 0) << refused->Output();
    EXPECT_NE(refused->Output().find("UTF-8"), std::string::npos) << refused->Output();
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "");
    EXPECT_FALSE(show.IsSet());

    auto second = rig.Start({"/game:\"\"\"T\u00fcrk\u00e7e Oyun\"\"\""});
    EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
    EXPECT_EQ(rig.PrefString("AutoStartGame"), "T\u00fcrk\u00e7e Oyun");
    EXPECT_TRUE(show.IsSet());
}

// A link, a FIFO or a folder in the flag's place once made the second start end
// without a signal: the first instance neither came forward nor selected the game.
TEST(SingleInstance, ASecondStartSignalsWhateverIsInTheFlagsPlace) {
    TestEnvironment env;
    ProgramRig rig(env);
    platform::InstanceLock first(rig.runtime, "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}");
    ASSERT_TRUE(first.IsFirst());
    const std::string flag = rig.runtime + "/Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show";
    platform::FlagEvent show(flag);
    show.Create();
    first.MarkReady();
    const std::string target = env.WriteFile("target", "kept");

    const std::vector<std::pair<std::string, std::function<void()>>> strays = {
        {"link to a file", [&] { std::filesystem::create_symlink(target, flag); }},
        {"dangling link", [&] { std::filesystem::create_symlink(env.Path("nowhere"), flag); }},
        {"FIFO", [&] { ASSERT_EQ(mkfifo(flag.c_str(), 0600), 0); }},
        {"folder", [&] { std::filesystem::create_directory(flag); }},
    };
    for (const auto& [what, put] : strays) {
        SCOPED_TRACE(what);
        show.Reset();
        put();
        auto second = rig.Start({"/game:Stray Game"});
        EXPECT_EQ(second->WaitForExit(), 0) << second->Output();
        EXPECT_TRUE(show.IsSet());
        EXPECT_EQ(rig.PrefString("AutoStartGame"), "Stray Game");
    }
    EXPECT_EQ(TestEnvironment::ReadFile(target), "kept");
}

}  // namespace
