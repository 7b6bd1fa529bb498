#include <gtest/gtest.h>

#include <string>

#include "core/settings/ConfigManager.h"
#include "core/settings/Prefs.h"
#include "core/threads/TaskManager.h"
#include "games/catalogue/GameMonitor.h"
#include "games/catalogue/Manifest.h"
#include "games/catalogue/ManifestManager.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

const char* const kFullManifest = R"(<?xml version="1.0" encoding="UTF-8"?>
<manifest>
  <autoupdate httpurl="http://127.0.0.1/quor/setup.exe" version="31700" manifestversion="2026.12.1"
              monitorrefreshtime="300000" exeparams="silent" gameurl="http://127.0.0.1/game"
              allgamesurl="http://127.0.0.1/all" iconurl="http://127.0.0.1/quor.png"
              manifestrefreshtime="60" campaignurl=""/>
  <download name="Duskmarch" homepage="http://127.0.0.1/dusk" id="12abc" exename="dusk.exe"
            exeparams="-windowed" banner="dusk.png" iconurl="http://127.0.0.1/dusk.ico"
            patchcatalog="http://127.0.0.1/dusk/catalog.xml" installmanifest="http://127.0.0.1/dusk/files.txt"
            installlocation="/opt/dusk" url="http://127.0.0.1/dusk1.exe,http://127.0.0.1/dusk2.bin"
            requirelogin="2" showonlyifinstalled="1" downloadpopupdelay="-3" downloadpopupurl="http://127.0.0.1/pop">
    <install_exe_keys><key>dusk_setup.exe</key><key></key><key>dusk.exe</key></install_exe_keys>
    <volume_names><name>DUSK_DISC1</name><name>DUSK_DISC2</name></volume_names>
    <location installkey="HKEY_LOCAL_MACHINE\SOFTWARE\Dusk" launchpathsubkey="InstallDir" launchfilesubkey="!dusk.exe"/>
    <location installkey="!DMK_HACK!" launchpathsubkey="" launchfilesubkey=""/>
  </download>
  <download name="Ironvale" homepage="http://127.0.0.1/iron" banner="https://cdn.example.invalid/iron.png" requirelogin="yes"/>
  <download name="Third" homepage="" banner="art/http://x.png"/>
</manifest>
)";

ManifestDocument Parse(const std::string& text, const std::string& language = "en") {
    return ParseManifestDocument(text, kBannerFolder, language);
}

TEST(ManifestDocument, FullManifestFieldByField) {
    ManifestDocument doc = Parse(kFullManifest);
    ASSERT_EQ(doc.entries.size(), 4u);

    const ManifestEntry& update = doc.entries[0];
    EXPECT_TRUE(update.isAutoUpdate);
    EXPECT_EQ(update.name, "Auto-Update");
    EXPECT_EQ(update.url, "http://127.0.0.1/quor/setup.exe");
    EXPECT_EQ(update.banner, "~autoupdate~");
    EXPECT_EQ(update.version, 31700);
    EXPECT_EQ(update.manifestversion, "2026.12.1");
    EXPECT_EQ(update.monitorRefreshTime, 300000);
    EXPECT_EQ(update.exeparams, "silent");
    EXPECT_EQ(update.gameUrl, "http://127.0.0.1/game");
    EXPECT_EQ(update.allGamesUrl, "http://127.0.0.1/all");
    EXPECT_EQ(update.iconurl, "http://127.0.0.1/quor.png");
    EXPECT_EQ(update.manifestRefreshTime, 60);
    EXPECT_TRUE(update.installmanifest.empty());
    EXPECT_TRUE(update.installlocation.empty());
    EXPECT_TRUE(doc.hasAutoUpdate);
    EXPECT_EQ(doc.manifestVersion, "2026.12.1");
    EXPECT_EQ(doc.monitorRefreshTime, 300000);
    EXPECT_TRUE(doc.hasCampaignUrl);
    EXPECT_EQ(doc.campaignUrl, "");

    const ManifestEntry& dusk = doc.entries[1];
    EXPECT_FALSE(dusk.isAutoUpdate);
    EXPECT_EQ(dusk.name, "Duskmarch");
    EXPECT_EQ(dusk.homepage, "http://127.0.0.1/dusk");
    EXPECT_EQ(dusk.id, 12);
    EXPECT_EQ(dusk.exename, "dusk.exe");
    EXPECT_EQ(dusk.exeparams, "-windowed");
    EXPECT_EQ(dusk.banner, "../banners/dusk.png");
    EXPECT_EQ(dusk.iconurl, "http://127.0.0.1/dusk.ico");
    EXPECT_EQ(dusk.patchcatalog, "http://127.0.0.1/dusk/catalog.xml");
    EXPECT_EQ(dusk.installmanifest, "http://127.0.0.1/dusk/files.txt");
    EXPECT_EQ(dusk.installlocation, "/opt/dusk");
    EXPECT_EQ(dusk.url, "http://127.0.0.1/dusk1.exe,http://127.0.0.1/dusk2.bin");
    EXPECT_TRUE(dusk.requireLogin);
    EXPECT_TRUE(dusk.showOnlyIfInstalled);
    EXPECT_EQ(dusk.downloadPopupDelay, -3);
    EXPECT_EQ(dusk.downloadPopupUrl, "http://127.0.0.1/pop");
    EXPECT_EQ(dusk.installExeKeys, (std::vector<std::string>{"dusk_setup.exe", "dusk.exe"}));
    EXPECT_EQ(dusk.volumeNames, (std::vector<std::string>{"DUSK_DISC1", "DUSK_DISC2"}));
    ASSERT_EQ(dusk.locations.size(), 2u);
    EXPECT_EQ(dusk.locations[0].installkey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Dusk");
    EXPECT_EQ(dusk.locations[0].launchpathsubkey, "InstallDir");
    EXPECT_EQ(dusk.locations[0].launchfilesubkey, "!dusk.exe");
    EXPECT_EQ(dusk.locations[1].installkey, "!DMK_HACK!");
    EXPECT_EQ(dusk.version, 0);
    EXPECT_EQ(dusk.manifestRefreshTime, 7200);
    EXPECT_TRUE(dusk.manifestversion.empty());

    const ManifestEntry& iron = doc.entries[2];
    EXPECT_EQ(iron.banner, "https://cdn.example.invalid/iron.png");
    EXPECT_FALSE(iron.requireLogin);  // no digits
    EXPECT_EQ(iron.id, 0);
    EXPECT_TRUE(iron.locations.empty());
    EXPECT_TRUE(iron.installExeKeys.empty());

    EXPECT_EQ(doc.entries[3].banner, "art/http://x.png");  // "http://" further on: unchanged
}

TEST(ManifestDocument, AutoUpdateNameInEachLanguage) {
    struct Case {
        const char* code;
        const char* name;
    } cases[] = {
        {"en", "Auto-Update"},
        {"tr", "Otomatik-G\xC3\xBCncelleme"},
        {"de", "automatisches Update"},
        {"es", "Actualizaci\xC3\xB3n Autom\xC3\xA1tica"},
        {"pt", "Atualiza\xC3\xA7\xC3\xA3o Autom\xC3\xA1tica"},
        {"fr", "Auto-Update"},
    };
    for (const auto& c : cases) {
        ManifestDocument doc = Parse(kFullManifest, c.code);
        ASSERT_FALSE(doc.entries.empty());
        EXPECT_EQ(doc.entries[0].name, c.name) << c.code;
    }
}

TEST(ManifestDocument, GamesOnlyWhenNoAutoUpdate) {
    ManifestDocument doc = Parse(R"(<manifest><download name="A" homepage="h" banner="a.png"/></manifest>)");
    ASSERT_EQ(doc.entries.size(), 1u);
    EXPECT_FALSE(doc.entries[0].isAutoUpdate);
    EXPECT_FALSE(doc.hasAutoUpdate);
    EXPECT_FALSE(doc.hasCampaignUrl);
}

TEST(ManifestDocument, AutoUpdateDefaultsAndMissingRequiredAttributes) {
    ManifestDocument doc = Parse("<manifest><autoupdate/></manifest>");
    ASSERT_EQ(doc.entries.size(), 1u);
    const ManifestEntry& update = doc.entries[0];
    EXPECT_EQ(update.url, "");
    EXPECT_EQ(update.version, 0);
    EXPECT_EQ(update.gameUrl, "");
    EXPECT_EQ(update.monitorRefreshTime, 600000);
    EXPECT_EQ(update.manifestRefreshTime, 7200);
    EXPECT_EQ(doc.monitorRefreshTime, 600000);
    EXPECT_FALSE(doc.hasCampaignUrl);

    doc = Parse(R"(<manifest><download><location/></download></manifest>)");
    ASSERT_EQ(doc.entries.size(), 1u);
    EXPECT_EQ(doc.entries[0].name, "");
    EXPECT_EQ(doc.entries[0].banner, "../banners/");  // read as an empty name
    ASSERT_EQ(doc.entries[0].locations.size(), 1u);
    EXPECT_EQ(doc.entries[0].locations[0].installkey, "");
}

TEST(ManifestDocument, BannerFolderRule) {
    struct Case {
        const char* banner;
        const char* expected;
    } cases[] = {
        {"x.png", "../banners/x.png"},
        {"http://127.0.0.1/x.png", "http://127.0.0.1/x.png"},
        {"https://127.0.0.1/x.png", "https://127.0.0.1/x.png"},
        {"art/http://x.png", "art/http://x.png"},  // "http://" further on
        {"art/https://x.png", "art/https://x.png"},
        {"HTTP://127.0.0.1/x.png", "../banners/HTTP://127.0.0.1/x.png"},  // matched exactly
        {"http:/x.png", "../banners/http:/x.png"},
        {"", "../banners/"},
    };
    for (const auto& c : cases) {
        std::string text = std::string(R"(<manifest><download name="g" banner=")") + c.banner + R"("/></manifest>)";
        ManifestDocument doc = Parse(text);
        ASSERT_EQ(doc.entries.size(), 1u) << c.banner;
        EXPECT_EQ(doc.entries[0].banner, c.expected) << c.banner;
    }
}

TEST(ManifestDocument, NumbersReadAsAtoiSaturating) {
    struct Case {
        const char* text;
        int32_t id;
    } cases[] = {
        {"12abc", 12},
        {"  -7", -7},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"2147483648", 2147483647},
    };
    for (const auto& c : cases) {
        std::string text = std::string(R"(<manifest><download name="g" id=")") + c.text + R"("/></manifest>)";
        ManifestDocument doc = Parse(text);
        ASSERT_EQ(doc.entries.size(), 1u) << c.text;
        EXPECT_EQ(doc.entries[0].id, c.id) << c.text;
    }
}

TEST(ManifestDocument, BadInputGivesNoEntries) {
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    const std::string cases[] = {
        "",
        "not xml at all",
        "<manifest><download name='a'></manifest>",                // malformed
        "<html><body>Sign in to the network</body></html>",        // a captive portal
        "<root><manifest><download name='a'/></manifest></root>",  // wrong root
        "<manifest/>",
        "<manifest>" + deep,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest><autoupdate version=\"3\"/><k>x</k>i\xC2",  // cut short
        "<manifest><download name='a'/></manifest>" + deep,
    };
    for (const std::string& text : cases)
        EXPECT_TRUE(Parse(text).entries.empty()) << text.substr(0, 60);
}

TEST(ManifestDocument, TextsAreValidUtf8) {
    // Latin-1 bytes with no declaration: TinyXML keeps them; they come out as UTF-8.
    ManifestDocument doc = Parse("<manifest><download name=\"Caf\xE9\" homepage=\"&#233;\"/></manifest>");
    ASSERT_EQ(doc.entries.size(), 1u);
    EXPECT_EQ(doc.entries[0].name, "Caf\xC3\xA9");
    EXPECT_EQ(doc.entries[0].homepage, "\xC3\xA9");
    doc = Parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest><download name=\"&#233;\xC3\xA9\"/></manifest>");
    ASSERT_EQ(doc.entries.size(), 1u);
    EXPECT_EQ(doc.entries[0].name, "\xC3\xA9\xC3\xA9");
}

TEST(ManifestDocument, LargeManifestKeepsDocumentOrder) {
    std::string text = "<manifest>";
    for (int i = 0; i < 2000; ++i)
        text += "<download name=\"g" + std::to_string(i) + "\" id=\"" + std::to_string(i) + "\"/>";
    text += "</manifest>";
    ManifestDocument doc = Parse(text);
    ASSERT_EQ(doc.entries.size(), 2000u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(doc.entries[i].id, i);
}

// What loading applies: page view, page call, stored version, monitor period, campaign address.
TEST(ParseManifest, AppliesTheAutoUpdateFacts) {
    TestEnvironment env;
    RecordingPageCallSink page;
    ConfigManager config;
    TaskManager tasks;
    FakeClock clock;
    ManifestManager::Services services;
    services.configuration = &config;
    services.clock = &clock;
    ManifestManager manager(services);
    GameMonitor monitor(clock, [] {});
    config.SetCampaignUrl("http://127.0.0.1/old-campaign");
    Prefs::SetNumber("Language", 3);

    std::vector<ManifestEntry> entries = ParseManifest(
        kFullManifest, kBannerFolder, config, [&](const std::string& version) { manager.SetManifestVersion(version); });
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "automatisches Update");
    EXPECT_EQ(page.CallsOf("setManifestVersion"),
              (std::vector<RecordingPageCallSink::Call>{{"setManifestVersion", {"2026.12.1"}}}));
    EXPECT_EQ(manager.GetManifestVersion(), "2026.12.1");
    EXPECT_EQ(monitor.Period(), 300000);
    EXPECT_EQ(config.GetCampaignUrl(), "");  // present and empty replaces it
    ASSERT_EQ(tasks.WaitingCount(), 1u);
    tasks.TakeNext()->Run();
    EXPECT_EQ(page.CallsOf("trackPageView"),
              (std::vector<RecordingPageCallSink::Call>{{"trackPageView", {"", "2026.12.1"}}}));
}

TEST(ParseManifest, WithoutAutoUpdateNothingIsApplied) {
    TestEnvironment env;
    RecordingPageCallSink page;
    ConfigManager config;
    TaskManager tasks;
    FakeClock clock;
    GameMonitor monitor(clock, [] {});
    monitor.SetPeriod(1234);
    config.SetCampaignUrl("http://127.0.0.1/kept");

    auto entries = ParseManifest(R"(<manifest><download name="A"/></manifest>)", kBannerFolder, config);
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_TRUE(page.Calls().empty());
    EXPECT_EQ(tasks.WaitingCount(), 0u);
    EXPECT_EQ(monitor.Period(), 1234);
    EXPECT_EQ(config.GetCampaignUrl(), "http://127.0.0.1/kept");

    // An absent campaign address keeps the old one; a present one replaces it.
    ParseManifest(R"(<manifest><autoupdate monitorrefreshtime="0"/></manifest>)", kBannerFolder, config);
    EXPECT_EQ(config.GetCampaignUrl(), "http://127.0.0.1/kept");
    EXPECT_EQ(monitor.Period(), 0);
    EXPECT_EQ(page.CallsOf("setManifestVersion"),
              (std::vector<RecordingPageCallSink::Call>{{"setManifestVersion", {""}}}));
    ParseManifest(R"(<manifest><autoupdate campaignurl="http://127.0.0.1/new"/></manifest>)", kBannerFolder, config);
    EXPECT_EQ(config.GetCampaignUrl(), "http://127.0.0.1/new");
}

}  // namespace
