#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "games/catalogue/GameLocation.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::RegistryValue;

// A prefix as wine leaves it after a Windows installer ran.
const char* const kSystemReg =
    "WINE REGISTRY Version 2\n"
    "\n"
    "[Software\\\\Duskmarch Games\\\\Duskmarch] 1700000000\n"
    "\"InstallDir\"=\"C:\\\\Games\\\\Duskmarch\"\n"
    "\"Exe\"=\"bin\\\\dusk.exe\"\n";

TEST(GameLocation, GameInstalledThroughWineIsFound) {
    TestEnvironment env;
    std::string prefix = env.Path("home/.wine");
    env.WriteFile("home/.wine/system.reg", kSystemReg);
    env.WriteFile("home/.wine/drive_c/Games/Duskmarch/bin/dusk.exe", "MZ");
    std::filesystem::create_directories(prefix + "/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    unsetenv("WINEPREFIX");

    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Duskmarch Games\\Duskmarch";
    std::string path = ResolveGameLocation(key, "InstallDir", "Exe");
    EXPECT_EQ(path, prefix + "/dosdevices/c:/Games/Duskmarch/bin/dusk.exe");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    // The key test and the folder read that the panels and the catalogue use.
    EXPECT_TRUE(GameKeyExists(key));
    EXPECT_EQ(ReadGameFolder(key, "InstallDir"), prefix + "/dosdevices/c:/Games/Duskmarch");
    EXPECT_EQ(ReadGameFolder(key, "Missing"), "");
    EXPECT_FALSE(GameKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Duskmarch Games\\Other"));
    EXPECT_TRUE(GameKeyExists("!DMK_HACK!"));

    // Our own registry comes first.
    ASSERT_EQ(platform::RegistryStore::ForHive(platform::Hive::LocalMachine)
                  .WriteValue("SOFTWARE\\Duskmarch Games\\Duskmarch", "InstallDir", RegistryValue::Text("/opt/dusk")),
              0);
    EXPECT_EQ(ResolveGameLocation(key, "InstallDir", "!dusk"), "/opt/dusk/dusk");
}

}  // namespace
