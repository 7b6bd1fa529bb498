#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "games/catalogue/DesktopEntry.h"
#include "games/catalogue/GameLocation.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;

std::string MakeProgram(const TestEnvironment& env, const std::string& relative) {
    std::string path = env.WriteFile(relative, "#!/bin/sh\n");
    chmod(path.c_str(), 0755);
    return path;
}

TEST(GameLocation, LocationRules) {
    TestEnvironment env;
    unsetenv("WINEPREFIX");
    RegistryStore& machine = RegistryStore::ForHive(Hive::LocalMachine);
    ASSERT_EQ(machine.WriteValue("SOFTWARE\\Dusk", "InstallDir", RegistryValue::Text("/opt/dusk")), 0);
    ASSERT_EQ(machine.WriteValue("SOFTWARE\\Dusk", "Exe", RegistryValue::Text("bin/dusk")), 0);
    ASSERT_EQ(machine.WriteValue("SOFTWARE\\Dusk", "Slashed", RegistryValue::Text("/opt/dusk/")), 0);
    ASSERT_EQ(machine.WriteValue("SOFTWARE\\Dusk", "Count", RegistryValue::Number(3)), 0);
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Dusk";

    struct Case {
        std::string installkey, path, file, expected;
    } cases[] = {
        {key, "!/opt/games/G", "!g.exe", "/opt/games/G/g.exe"},                      // literals, no registry
        {"HKEY_CLASSES_ROOT\\X", "!/opt/games/G/", "!g.exe", "/opt/games/G/g.exe"},  // no doubled separator
        {key, "!C:\\Games\\G\\", "!g.exe", "C:\\Games\\G\\g.exe"},                   // one separator, the folder's own
        {key, "!C:\\Games\\G\\", "!\\g.exe", "C:\\Games\\G\\g.exe"},
        {key, "!C:\\Games\\G\\", "!bin\\g.exe", "C:\\Games\\G\\bin/g.exe"},
        {key, "!/opt/games/G//", "!g.exe", "/opt/games/G/g.exe"},
        {key, "!C:\\Games\\G\\\\", "!g.exe", "C:\\Games\\G\\g.exe"},
        {key, "!/", "!g.exe", "/g.exe"},
        {key, "InstallDir", "Exe", "/opt/dusk/bin/dusk"},
        {key, "Slashed", "!dusk", "/opt/dusk/dusk"},
        {key, "Missing", "!dusk.exe", "dusk.exe"},  // only the file part
        {key, "Count", "!dusk.exe", "dusk.exe"},    // a number is no folder
        {key, "InstallDir", "", "/opt/dusk/"},
        {key, "", "", ""},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing", "InstallDir", "Exe", ""},
        {"hkey_local_machine\\SOFTWARE\\Dusk", "InstallDir", "Exe", ""},  // the root is case-sensitive
        {key, "!/opt/games/G", "!../../bin/sh", ""},                      // may not leave the folder
        {key, "!/opt/games/G", "!/bin/sh", "/opt/games/G/bin/sh"},        // stays under the folder
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveGameLocation(c.installkey, c.path, c.file), c.expected)
            << c.installkey << " | " << c.path << " | " << c.file;
    EXPECT_EQ(ResolveGameLocation(ManifestLocation{key, "InstallDir", "Exe"}), "/opt/dusk/bin/dusk");
}

TEST(GameLocation, ShortcutMarkersReadDesktopFiles) {
    TestEnvironment env;
    std::string dusk = MakeProgram(env, "games/Duskmarch/dusk.bin");
    std::string bin = MakeProgram(env, "bin/ironvale-launcher");
    setenv("PATH", (env.Path("nothing") + ":" + env.Path("bin")).c_str(), 1);
    env.WriteFile("home/.local/share/applications/Duskmarch/Duskmarch.desktop",
                  "[Desktop Entry]\nType=Application\nName=Duskmarch\nExec=\"" + dusk + "\" %U\n");
    env.WriteFile("data-dirs/applications/Ironvale/Ironvale.desktop",
                  "[Desktop Entry]\nName=Ironvale\nExec=env LANG=C GAME_MODE=1 ironvale-launcher --fullscreen %f\n");

    EXPECT_EQ(ShortcutTarget("!DMK_HACK!"), dusk);
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), bin);
    EXPECT_EQ(ShortcutTarget("!OTHER!"), "");
    // The marker ignores both subkeys.
    EXPECT_EQ(ResolveGameLocation("!IVX_HACK!", "!/elsewhere", "!x"), bin);

    // The user's own file comes first and wins, even when it names nothing usable.
    env.WriteFile("home/.local/share/applications/Ironvale/Ironvale.desktop",
                  "[Desktop Entry]\nExec=not-installed-anywhere\n");
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), "");
    env.WriteFile("home/.local/share/applications/Ironvale/Ironvale.desktop",
                  "[Desktop Entry]\nHidden=true\nExec=ironvale-launcher\n");
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), "");
    std::filesystem::remove(env.Path("home/.local/share/applications/Ironvale/Ironvale.desktop"));
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), bin);

    // The program named by the entry must exist.
    std::filesystem::remove(dusk);
    EXPECT_EQ(ShortcutTarget("!DMK_HACK!"), "");
}

TEST(GameLocation, DataDirsAreSearchedInOrder) {
    TestEnvironment env;
    std::string first = MakeProgram(env, "first/iron");
    std::string second = MakeProgram(env, "second/iron");
    env.WriteFile("a/applications/Ironvale/Ironvale.desktop", "[Desktop Entry]\nExec=" + first + "\n");
    env.WriteFile("b/applications/Ironvale/Ironvale.desktop", "[Desktop Entry]\nExec=" + second + "\n");
    setenv("XDG_DATA_DIRS", ("relative/ignored:" + env.Path("b") + ":" + env.Path("a")).c_str(), 1);
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), second);
    setenv("XDG_DATA_DIRS", (env.Path("a") + ":" + env.Path("b")).c_str(), 1);
    EXPECT_EQ(ShortcutTarget("!IVX_HACK!"), first);
}

TEST(DesktopEntry, SplitExecQuotingAndFieldCodes) {
    using V = std::vector<std::string>;
    struct Case {
        const char* exec;
        V expected;
    } cases[] = {
        {"game", {"game"}},
        {"  game   -a  -b ", {"game", "-a", "-b"}},
        {"\"/opt/My Games/run\" --x", {"/opt/My Games/run", "--x"}},
        {R"("a \"quoted\" \$HOME \\ \`x\`")", {R"(a "quoted" $HOME \ `x`)"}},
        {"game %f %F %u %U %i %c %k", {"game"}},
        {"game --file=%f 100%%", {"game", "--file=", "100%"}},
        {"game \"\"", {"game", ""}},
        {R"(/opt/Start\ Menu/game)", {"/opt/Start Menu/game"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopEntry::SplitExec(c.exec), c.expected) << c.exec;
}

TEST(DesktopEntry, ValueAndProgram) {
    const std::string file =
        "# comment\n[Other Group]\nExec=wrong\n[Desktop Entry]\nName=x\nExec = /usr/games/a\\sb %u\r\n"
        "[Desktop Action new]\nExec=also-wrong\n";
    EXPECT_EQ(DesktopEntry::Value(file, "Exec"), "/usr/games/a b %u");
    EXPECT_EQ(DesktopEntry::Value(file, "Missing"), "");
    struct Case {
        const char* exec;
        const char* program;
    } cases[] = {
        {"env A=1 B=2 game -x", "game"},
        {"/usr/bin/env WINEPREFIX=\"/home/u/.wine\" wine start.exe", "wine"},
        {"env", ""},
        {"%U", ""},
        {"game", "game"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopEntry::ExecProgram(c.exec), c.program) << c.exec;
}

TEST(DesktopEntry, ResolveProgramThroughPath) {
    TestEnvironment env;
    std::string tool = MakeProgram(env, "b/tool");
    env.WriteFile("a/tool", "not executable");
    std::filesystem::create_directories(env.Path("c/tool"));  // a folder is no program
    std::string path = env.Path("c") + "::relative:" + env.Path("a") + ":" + env.Path("b");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(DesktopEntry::ResolveProgram("tool"), tool);
    EXPECT_EQ(DesktopEntry::ResolveProgram("missing"), "");
    EXPECT_EQ(DesktopEntry::ResolveProgram(tool), tool);
    EXPECT_EQ(DesktopEntry::ResolveProgram("b/tool"), "");  // relative with a folder
    EXPECT_EQ(DesktopEntry::ResolveProgram(""), "");
}

}  // namespace
