#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

TEST(ConfigManager, LanguageTable) {
    TestEnvironment env;
    struct Case {
        uint32_t stored;
        const char* code;
    } cases[] = {{0, "en"}, {1, "en"}, {2, "tr"}, {3, "de"}, {4, "es"}, {5, "pt"}, {6, "en"}, {9, "en"}};
    for (const auto& c : cases) {
        Prefs::SetNumber("Language", c.stored);
        EXPECT_EQ(ConfigManager::GetLanguage(), c.code) << c.stored;
    }
    Prefs::SetLanguage("de");
    EXPECT_EQ(Prefs::GetNumber("Language"), 3u);
    Prefs::SetLanguage("fr");
    EXPECT_EQ(Prefs::GetNumber("Language"), 0u);
}

TEST(ConfigManager, SkinIsReadOncePerRun) {
    TestEnvironment env;
    ConfigManager config;
    Prefs::SetNumber("Skin", 2);
    EXPECT_TRUE(config.GetSkin());
    Prefs::SetNumber("Skin", 0);
    EXPECT_TRUE(config.GetSkin());
}

TEST(ConfigManager, ServiceAddressesComeFromTheEnvironment) {
    TestEnvironment env;
    setenv("QUOR_SERVICE_URL", "http://127.0.0.1:9/", 1);
    ConfigManager config;
    EXPECT_EQ(config.ManifestUrl(), "http://127.0.0.1:9/quor/manifest.php");
    EXPECT_EQ(config.TelemetryUrl(), "http://127.0.0.1:9/quor/t.php");
    EXPECT_EQ(config.ErrorUrl(), "http://127.0.0.1:9/quor/error.php");
}

TEST(ConfigManager, DataFolderIsCreatedWithItsParents) {
    TestEnvironment env;
    setenv("XDG_DATA_HOME", env.Path("fresh/share").c_str(), 1);
    std::string folder = ConfigManager::GetAppDataFolder();
    EXPECT_EQ(folder, env.Path("fresh/share/Brindlemoor Quor!/"));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(ConfigManager::SaveToAppDataFile("m.xml", "abc"));
    EXPECT_EQ(ConfigManager::ReadFileBytes(folder + "m.xml"), "abc");
}

TEST(ConfigManager, NoDataFolderWritesNothing) {
    TestEnvironment env;
    // Unset, or relative (which would land wherever the program happens to run).
    for (const char* dataHome : {static_cast<const char*>(nullptr), "relative/share"}) {
        SCOPED_TRACE(dataHome ? dataHome : "unset");
        if (dataHome)
            setenv("XDG_DATA_HOME", dataHome, 1);
        else
            unsetenv("XDG_DATA_HOME");
        unsetenv("HOME");
        EXPECT_EQ(ConfigManager::GetAppDataFolder(), "");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ConfigManager::SaveToAppDataFile("m.xml", "abc"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("m.xml"), std::string::npos) << err;
        struct stat st {};
        EXPECT_NE(stat("/m.xml", &st), 0);
        EXPECT_NE(stat("/Brindlemoor Quor!", &st), 0);
        EXPECT_NE(stat("relative", &st), 0);
    }
}

TEST(ConfigManager, ReadFileBytesOfMissingAndEmptyFiles) {
    TestEnvironment env;
    EXPECT_EQ(ConfigManager::ReadFileBytes(env.Path("missing")), "");
    EXPECT_EQ(ConfigManager::ReadFileBytes(env.WriteFile("empty", "")), "");
    EXPECT_EQ(ConfigManager::ReadFileBytes(env.Root()), "");  // a folder is no file
}

}  // namespace
