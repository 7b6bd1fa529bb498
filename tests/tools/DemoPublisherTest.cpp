// The demo publisher as the launcher meets it: a real process on 127.0.0.1
// serving a manifest that names its own address, the reports, banners,
// installers, patch catalogues, install manifests and the launcher's update,
// logging each request and changing what it offers through its control endpoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "core/settings/ConfigManager.h"
#include "games/catalogue/Manifest.h"
#include "games/patching/PatchCatalog.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/tools/PublisherProcess.h"
#include "tools/quor-mkpatch/PatchBuilder.h"

namespace {

const std::vector<std::string> kGames = {"Star Courier", "Moss Garden", "Lantern Keep"};

class DemoPublisherTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& options = {}) {
        publisher = std::make_unique<PublisherProcess>(env.Root(), options);
        ASSERT_TRUE(publisher->Ready()) << TestEnvironment::ReadFile(env.Path("stderr"));
    }
    ManifestDocument Manifest() {
        PublisherProcess::Reply r = publisher->Get("/quor/manifest.php?us=123&prev=");
        EXPECT_EQ(r.status, 200);
        return ParseManifestDocument(r.body, kBannerFolder, "en");
    }
    bool Logged(const std::string& line) {
        std::vector<std::string> lines = publisher->LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TestEnvironment env;
    std::unique_ptr<PublisherProcess> publisher;
};

TEST_F(DemoPublisherTest, TellsItsPortAndStopsOnSigterm) {
    Start();
    std::string out = publisher->Output();
    EXPECT_EQ(out.substr(0, out.find('\n')), "PORT " + std::to_string(publisher->Port()));
    EXPECT_NE(out.find("\nDATA " + publisher->DataFolder() + "\n"), std::string::npos) << out;
    // SIGTERM as soon as the port is known: often before its accept loop has begun.
    EXPECT_EQ(publisher->Stop(), 0) << "-1: it did not end and was killed";
}

TEST_F(DemoPublisherTest, ManifestNamesItsOwnAddressAndParses) {
    Start();
    ManifestDocument doc = Manifest();
    ASSERT_TRUE(doc.hasAutoUpdate);
    ASSERT_EQ(doc.entries.size(), 1 + kGames.size());
    const ManifestEntry& update = doc.entries[0];
    EXPECT_TRUE(update.isAutoUpdate);
    EXPECT_EQ(update.version, 31680) << "no update by default";
    EXPECT_EQ(doc.manifestVersion, "demo-1");
    std::string base = publisher->Base() + "/quor/";
    EXPECT_EQ(update.gameUrl.rfind(base, 0), 0u);
    EXPECT_EQ(update.allGamesUrl.rfind(base, 0), 0u);
    for (size_t i = 0; i < kGames.size(); ++i) {
        const ManifestEntry& e = doc.entries[i + 1];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.name, kGames[i]);
        EXPECT_GT(e.id, 0);
        for (const std::string* address :
             {&e.homepage, &e.banner, &e.iconurl, &e.url, &e.patchcatalog, &e.installmanifest, &e.installlocation})
            EXPECT_EQ(address->rfind(base, 0), 0u) << *address;
        EXPECT_EQ(e.url.substr(e.url.size() - 4), ".exe");
        ASSERT_EQ(e.locations.size(), 1u);
        EXPECT_EQ(e.locations[0].installkey, "HKEY_CURRENT_USER\\Software\\Brindlemoor Demo\\" + e.name);
        EXPECT_EQ(e.locations[0].launchpathsubkey, "InstallPath");
        EXPECT_EQ(e.locations[0].launchfilesubkey, "Program");
        EXPECT_FALSE(e.exename.empty());
        // What the manifest names is there.
        for (const std::string* address :
             {&e.homepage, &e.banner, &e.iconurl, &e.url, &e.patchcatalog, &e.installmanifest})
            EXPECT_EQ(publisher->Get(address->substr(publisher->Base().size())).status, 200) << *address;
        EXPECT_EQ(publisher->Get(e.banner.substr(publisher->Base().size())).body.substr(0, 8), "\x89PNG\r\n\x1a\n");
    }
    // One game plays without parameters, one needs a login: the launcher's other roads.
    EXPECT_TRUE(std::any_of(doc.entries.begin() + 1, doc.entries.end(),
                            [](const ManifestEntry& e) { return e.exeparams.empty(); }));
    EXPECT_TRUE(
        std::any_of(doc.entries.begin() + 1, doc.entries.end(), [](const ManifestEntry& e) { return e.requireLogin; }));
}

TEST_F(DemoPublisherTest, LogsEveryRequestOneLineEach) {
    Start();
    publisher->Get("/quor/manifest.php?us=42&prev=7");
    publisher->Get("/quor/t.php?serialNumber=42&category=GamePanel&action=OnDownloadClick&label=Star%20Courier");
    publisher->Get("/quor/error.php?serialNumber=42&errorMessage=Patch%20file%20is%20corrupt%2E");
    publisher->Get("/quor/nothing-here");
    publisher->Get("/quor/games/starcourier/StarCourierSetup.exe", "bytes=10-19");
    EXPECT_EQ(publisher->Get("/quor/t.php?x=1").status, 200);
    // A line is written once its reply has gone out.
    EXPECT_TRUE(WaitUntil([&] { return publisher->LogLines().size() >= 6; }));
    EXPECT_TRUE(Logged("GET /quor/manifest.php?us=42&prev=7 200"));
    EXPECT_TRUE(
        Logged("GET /quor/t.php?serialNumber=42&category=GamePanel&action=OnDownloadClick&label=Star%20Courier 200"));
    EXPECT_TRUE(Logged("GET /quor/error.php?serialNumber=42&errorMessage=Patch%20file%20is%20corrupt%2E 200"));
    EXPECT_TRUE(Logged("GET /quor/nothing-here 404"));
    EXPECT_TRUE(Logged("GET /quor/games/starcourier/StarCourierSetup.exe 206 range=bytes=10-19"));
    EXPECT_EQ(publisher->LogLines().size(), 6u);
}

TEST_F(DemoPublisherTest, InstallerResumesWithRanges) {
    Start();
    PublisherProcess::Reply whole = publisher->Get("/quor/games/mossgarden/MossGardenSetup.exe");
    ASSERT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.rfind("#!/bin/sh\n", 0), 0u);
    PublisherProcess::Reply part = publisher->Get("/quor/games/mossgarden/MossGardenSetup.exe", "bytes=1000-");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, whole.body.substr(1000));
    EXPECT_EQ(part.contentRange,
              "bytes 1000-" + std::to_string(whole.body.size() - 1) + "/" + std::to_string(whole.body.size()));
}

// A slowed download still gives the same bytes, whole or from an offset; its
// pace is the publisher's own sleeps, so a lower bound on the time holds.
TEST_F(DemoPublisherTest, SlowedDownloadKeepsItsBytesAndRanges) {
    Start();
    std::string whole = publisher->Get("/quor/games/lanternkeep/LanternKeepSetup.exe").body;
    ASSERT_EQ(publisher->Post("/control/rate?value=100").status, 200);
    auto begin = std::chrono::steady_clock::now();
    PublisherProcess::Reply slow = publisher->Get("/quor/games/lanternkeep/LanternKeepSetup.exe");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(slow.body, whole);
    EXPECT_GE(seconds, 0.9 * (static_cast<double>(whole.size()) / (100 * 1024) - 0.1)) << whole.size();
    PublisherProcess::Reply part = publisher->Get("/quor/games/lanternkeep/LanternKeepSetup.exe", "bytes=120000-");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, whole.substr(120000));
}

TEST_F(DemoPublisherTest, CatalogueOffersBuildOneUntilTold) {
    Start();
    for (const char* slug : {"starcourier", "mossgarden", "lanternkeep"}) {
        SCOPED_TRACE(slug);
        PatchCatalog catalogue;
        ASSERT_TRUE(
            catalogue.ParseText(publisher->Get("/quor/games/" + std::string(slug) + "/patches/catalog.xml").body));
        ASSERT_EQ(catalogue.Builds().size(), 1u);
        EXPECT_TRUE(catalogue.Builds()[0]->latest);
        EXPECT_TRUE(catalogue.Patches().empty());
    }
    ManifestDocument before = Manifest();
    ASSERT_EQ(publisher->Post("/control/catalogue-latest?value=3").status, 200);
    EXPECT_NE(Manifest().manifestVersion, before.manifestVersion) << "a change shows in the manifest's version";

    PatchCatalog catalogue;
    ASSERT_TRUE(catalogue.ParseText(publisher->Get("/quor/games/lanternkeep/patches/catalog.xml").body));
    EXPECT_EQ(catalogue.InstallKey(), "HKEY_CURRENT_USER\\Software\\Brindlemoor Demo\\Lantern Keep");
    EXPECT_EQ(catalogue.InstallPathSubkey(), "InstallPath");
    ASSERT_EQ(catalogue.Builds().size(), 3u);
    for (int b = 1; b <= 3; ++b) {
        const CatalogBuild& build = *catalogue.Builds()[b - 1];
        EXPECT_EQ(build.version, std::to_string(b));
        EXPECT_EQ(build.latest, b == 3);
        std::string shibboleth = TestEnvironment::ReadFile(publisher->DataFolder() + "/builds/lanternkeep/" +
                                                           std::to_string(b) + "/" + catalogue.ShibbolethFile());
        ASSERT_FALSE(shibboleth.empty());
        EXPECT_EQ(build.checksum, PatchBuilder::Crc32(shibboleth)) << "build " << b;
    }
    ASSERT_EQ(catalogue.Patches().size(), 2u);
    EXPECT_EQ(catalogue.Builds()[0]->outgoing.size(), 1u);
    EXPECT_EQ(catalogue.Builds()[0]->outgoing[0]->endBuild, catalogue.Builds()[1].get());
    for (const auto& patch : catalogue.Patches()) {
        // Saved under its address's file name: unique among all games' patches.
        EXPECT_EQ(patch->url.substr(patch->url.rfind('/') + 1),
                  "lanternkeep-" + patch->start + "-" + patch->end + ".quorpatch");
        PublisherProcess::Reply file = publisher->Get(patch->url.substr(publisher->Base().size()));
        EXPECT_EQ(file.status, 200);
        EXPECT_EQ(file.body.substr(0, 8), "QUORPATC");
    }
}

// The install manifest describes the newest build offered, file by file.
TEST_F(DemoPublisherTest, InstallManifestListsTheLatestBuildsFiles) {
    Start({"--catalogue-latest", "2"});
    std::string text = publisher->Get("/quor/games/starcourier/install.txt").body;
    std::string folder = publisher->DataFolder() + "/builds/starcourier/2/";
    std::vector<std::string> files;
    ASSERT_TRUE(PatchBuilder::ListFiles(folder, files));
    size_t lines = 0;
    for (size_t at = 0; at < text.size(); ++lines) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "lines end in CR LF";
        std::string line = text.substr(at, end - at);
        at = end + 2;
        size_t comma = line.find(',');
        ASSERT_EQ(line[0], '\\') << line;
        std::string path = line.substr(1, comma - 1);
        std::replace(path.begin(), path.end(), '\\', '/');
        std::string bytes = TestEnvironment::ReadFile(folder + path);
        EXPECT_EQ(std::stoul(line.substr(comma + 1)), PatchBuilder::Crc32(bytes)) << path;
        std::string address = path;
        for (size_t s; (s = address.find(' ')) != std::string::npos;)
            address.replace(s, 1, "%20");
        PublisherProcess::Reply served = publisher->Get("/quor/games/starcourier/files/" + address);
        EXPECT_EQ(served.status, 200) << path;
        EXPECT_EQ(served.body, bytes) << path;
    }
    EXPECT_EQ(lines, files.size());
    EXPECT_NE(text.find("\\data\\level one.dat,"), std::string::npos) << "a name with a blank";
    EXPECT_EQ(publisher->Get("/quor/games/starcourier/files/../../builds/starcourier/1/readme.txt").status, 404);

    // Pinned to build 1 while build 2 is offered, the check describes build 1.
    ASSERT_EQ(publisher->Post("/control/install-manifest-build?value=1").status, 200);
    text = publisher->Get("/quor/games/starcourier/install.txt").body;
    EXPECT_NE(text.find("\\intro\\old intro.txt,"), std::string::npos) << text;
    EXPECT_EQ(publisher->Get("/quor/games/starcourier/files/intro/old%20intro.txt").status, 200);
    EXPECT_EQ(publisher->Get("/quor/games/starcourier/files/data/maps/new%20map.dat").status, 404);
}

TEST_F(DemoPublisherTest, FailedDownloadAnswers404UntilRestored) {
    Start({"--fail-download", "Star Courier"});
    EXPECT_EQ(publisher->Get("/quor/games/starcourier/StarCourierSetup.exe").status, 404);
    EXPECT_EQ(publisher->Get("/quor/games/mossgarden/MossGardenSetup.exe").status, 200);
    ASSERT_EQ(publisher->Post("/control/fail-download?game=Star%20Courier&value=0").status, 200);
    EXPECT_EQ(publisher->Get("/quor/games/starcourier/StarCourierSetup.exe").status, 200);
    ASSERT_EQ(publisher->Post("/control/fail-download?game=Moss%20Garden&value=1").status, 200);
    EXPECT_EQ(publisher->Get("/quor/games/mossgarden/MossGardenSetup.exe").status, 404);
    EXPECT_NE(publisher->Get("/control/state").body.find("fail-download=Moss Garden\n"), std::string::npos);
}

TEST_F(DemoPublisherTest, OffersANewerLauncherWhenTold) {
    Start({"--update-version", "31681"});
    ManifestDocument doc = Manifest();
    ASSERT_FALSE(doc.entries.empty());
    EXPECT_EQ(doc.entries[0].version, 31681);
    PublisherProcess::Reply installer = publisher->Get(doc.entries[0].url.substr(publisher->Base().size()));
    EXPECT_EQ(installer.status, 200);
    EXPECT_EQ(installer.body.rfind("#!/bin/sh\n", 0), 0u);
    ASSERT_EQ(publisher->Post("/control/update-version?value=31680").status, 200);
    EXPECT_EQ(Manifest().entries[0].version, 31680);
}

TEST_F(DemoPublisherTest, ControlRefusesBadSettings) {
    Start();
    for (const char* target : {"/control/catalogue-latest?value=4", "/control/catalogue-latest?value=x",
                               "/control/update-version?value=-1", "/control/fail-download?game=Nobody&value=1",
                               "/control/fail-download?game=Star%20Courier&value=2", "/control/no-such-thing?value=1"})
        EXPECT_EQ(publisher->Post(target).status, 400) << target;
    EXPECT_EQ(publisher->Get("/control/state").body.find("generation=1\n") != std::string::npos, true);
}

TEST_F(DemoPublisherTest, RefusesBadOptions) {
    TestEnvironment other;
    for (std::vector<std::string> options : std::vector<std::vector<std::string>>{
             {"--catalogue-latest", "0"}, {"--fail-download", "Nobody"}, {"--port", "70000"}, {"--what", "1"}}) {
        PublisherProcess p(other.Root(), options);
        EXPECT_FALSE(p.Ready()) << options[0];
        EXPECT_EQ(p.Stop(), 2) << options[0];
    }
}

}  // namespace
