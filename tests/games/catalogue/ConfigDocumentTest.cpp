#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/ExitRequester.h"
#include "core/settings/ConfigManager.h"
#include "games/catalogue/ConfigDocument.h"
#include "games/catalogue/ManifestManager.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingExitRequester.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

class ConfigDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Nothing listens here: a fetch fails at once.
        setenv("QUOR_SERVICE_URL", "http://127.0.0.1:9", 1);
        config = std::make_unique<ConfigManager>();
        config->machineSerial = "1";
        config->homeUrl = "old-home";
        config->helpUrl = "old-help";
        config->registerUrl = "old-register";
        std::filesystem::create_directories(env.Path("program"));
        ManifestManager::Services services;
        services.configuration = config.get();
        services.clock = &clock;
        services.exitRequester = &exit;
        services.programFolder = env.Path("program/");
        manager = std::make_unique<ManifestManager>(services);
    }
    void WriteConfig(const std::string& text) { env.WriteFile("program/config.xml", text); }

    TestEnvironment env;
    FakeClock clock;
    RecordingExitRequester exit;
    std::unique_ptr<ConfigManager> config;
    std::unique_ptr<ManifestManager> manager;
};

TEST_F(ConfigDocumentTest, ReadsTheThreeAddressesAndLoadsTheManifest) {
    WriteConfig(
        "<?xml version=\"1.0\"?><config><homeUrl>http://127.0.0.1/home</homeUrl>"
        "<helpUrl>http://127.0.0.1/help</helpUrl><registerUrl>http://127.0.0.1/reg</registerUrl></config>");
    env.WriteFile("program/manifest.xml", "<manifest><download name=\"G\"/></manifest>");
    auto entries = ConfigDocument::LoadConfiguration(*config, *manager);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "G");
    EXPECT_EQ(config->homeUrl, "http://127.0.0.1/home");
    EXPECT_EQ(config->helpUrl, "http://127.0.0.1/help");
    EXPECT_EQ(config->registerUrl, "http://127.0.0.1/reg");
    EXPECT_TRUE(exit.Ids().empty());

    // A changed file takes effect at the next load.
    WriteConfig("<config><homeUrl>http://127.0.0.1/home2</homeUrl></config>");
    ConfigDocument::LoadConfiguration(*config, *manager);
    EXPECT_EQ(config->homeUrl, "http://127.0.0.1/home2");
}

TEST_F(ConfigDocumentTest, MissingPartsReadAsEmptyText) {
    struct Case {
        const char* text;
        const char* home;
        const char* help;
    } cases[] = {
        {"<config><homeUrl>h</homeUrl></config>", "h", ""},
        {"<config><homeUrl/><helpUrl></helpUrl></config>", "", ""},
        {"<config><homeUrl><!-- none --></homeUrl><helpUrl>&amp;x</helpUrl></config>", "", "&x"},
        {"<other><homeUrl>h</homeUrl></other>", "", ""},
        {"<?xml version=\"1.0\"?><!-- only a comment -->", "", ""},
    };
    for (const auto& c : cases) {
        WriteConfig(c.text);
        ASSERT_TRUE(ConfigDocument::Read(env.Path("program/config.xml"), *config)) << c.text;
        EXPECT_EQ(config->homeUrl, c.home) << c.text;
        EXPECT_EQ(config->helpUrl, c.help) << c.text;
        EXPECT_EQ(config->registerUrl, "") << c.text;
    }
}

TEST_F(ConfigDocumentTest, UnreadableDocumentEndsWithMessageSix) {
    std::string deep = "<config>";
    for (int i = 0; i < 300; ++i)
        deep += "<a>";
    const std::string cases[] = {"", "<config><homeUrl>h</config>", "plain text", deep};
    for (const std::string& text : cases) {
        exit.Clear();
        WriteConfig(text);
        EXPECT_TRUE(ConfigDocument::LoadConfiguration(*config, *manager).empty()) << text;
        EXPECT_EQ(exit.Ids(), std::vector<int>{6}) << text;
        EXPECT_EQ(config->homeUrl, "old-home");
    }
    // Missing, and a folder in its place.
    std::filesystem::remove(env.Path("program/config.xml"));
    exit.Clear();
    ConfigDocument::LoadConfiguration(*config, *manager);
    EXPECT_EQ(exit.Ids(), std::vector<int>{6});
    std::filesystem::create_directories(env.Path("program/config.xml"));
    exit.Clear();
    ConfigDocument::LoadConfiguration(*config, *manager);
    EXPECT_EQ(exit.Ids(), std::vector<int>{6});
}

}  // namespace
