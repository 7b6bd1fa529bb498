#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/text/Messages.h"
#include "games/patching/PatchCatalog.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/games/patching/PatchTestSupport.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;

const char* kShibboleth =
    "<shibboleth installkey=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemoor\\Orrin\" installpathsubkey=\"Path\" "
    "file=\"\\Bin\\Game.exe\"/>";

struct BuildSpec {
    std::string version;
    std::string checksum;
    std::string latest;  // "" for no attribute
};
struct PatchSpec {
    std::string start, end;
};

std::string Catalogue(const std::vector<BuildSpec>& builds, const std::vector<PatchSpec>& patches) {
    std::string text = "<?xml version=\"1.0\"?>\n<catalog>\n";
    text += kShibboleth;
    // Patches before builds: links must not depend on element order.
    for (const auto& p : patches)
        text += "<patch start=\"" + p.start + "\" end=\"" + p.end + "\" url=\"http://127.0.0.1/" + p.start + "-" +
                p.end + ".quorpatch\"/>\n";
    for (const auto& b : builds) {
        text += "<build version=\"" + b.version + "\" checksum=\"" + b.checksum + "\"";
        if (!b.latest.empty())
            text += " latest=\"" + b.latest + "\"";
        text += "/>\n";
    }
    return text + "</catalog>\n";
}

std::string Url(const CatalogPatch* p) {
    return p ? p->url : std::string("none");
}
std::string UrlOf(const std::string& start, const std::string& end) {
    return "http://127.0.0.1/" + start + "-" + end + ".quorpatch";
}

TEST(PatchCatalog, ReadsTheDocument) {
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(Catalogue({{"1.0", "1a2b3c4d", ""}, {"1.1", "0XFFFF", "true"}, {"1.2", "10", "TRUE"}},
                                      {{"1.0", "1.1"}, {"1.1", "1.2"}, {"0.9", "1.0"}, {"1.0", "2.0"}})));
    EXPECT_EQ(c.InstallKey(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemoor\\Orrin");
    EXPECT_EQ(c.InstallPathSubkey(), "Path");
    EXPECT_EQ(c.ShibbolethFile(), "\\Bin\\Game.exe");
    EXPECT_TRUE(c.HasShibboleth());
    ASSERT_EQ(c.Builds().size(), 3u);
    EXPECT_EQ(c.Builds()[0]->checksum, 0x1a2b3c4du);
    EXPECT_EQ(c.Builds()[1]->checksum, 0xFFFFu);
    EXPECT_FALSE(c.Builds()[0]->latest);
    EXPECT_TRUE(c.Builds()[1]->latest);
    EXPECT_TRUE(c.Builds()[2]->latest);
    ASSERT_EQ(c.Patches().size(), 4u);
    // Linked to builds, in document order; a patch from an unknown build is kept
    // but starts nowhere, one to an unknown build leads nowhere.
    const CatalogBuild* b10 = c.FindBuild("1.0");
    ASSERT_NE(b10, nullptr);
    ASSERT_EQ(b10->outgoing.size(), 2u);
    EXPECT_EQ(b10->outgoing[0]->endBuild, c.FindBuild("1.1"));
    EXPECT_EQ(b10->outgoing[1]->endBuild, nullptr);
    EXPECT_EQ(c.Patches()[2]->start, "0.9");
    EXPECT_EQ(c.FindBuild("1.0 "), nullptr);  // versions are exact texts
}

TEST(PatchCatalog, LatestInAnyAsciiCase) {
    struct {
        const char* value;
        bool latest;
    } cases[] = {{"true", true}, {"TRUE", true},   {"True", true}, {"tRuE", true},  {"yes", false},
                 {"1", false},   {"true ", false}, {"", false},    {"false", false}};
    for (const auto& c : cases) {
        PatchCatalog catalog;
        std::string text = std::string("<catalog>") + kShibboleth + "<build version=\"1\" checksum=\"1\" latest=\"" +
                           c.value + "\"/></catalog>";
        ASSERT_TRUE(catalog.ParseText(text)) << c.value;
        EXPECT_EQ(catalog.Builds().at(0)->latest, c.latest) << c.value;
    }
}

TEST(PatchCatalog, ChecksumsReadLikeA32BitStrtoul) {
    struct {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"1a2b3c4d", 0x1a2b3c4d},
        {"0x1A2B3C4D", 0x1a2b3c4d},
        {"0XABC", 0xabc},
        {"  \tff", 0xff},
        {"+ff", 0xff},
        {"-1", 0xFFFFFFFF},
        {"-2", 0xFFFFFFFE},
        {"12g4", 0x12},
        {"0x", 0},
        {"0xg", 0},
        {"", 0},
        {"xyz", 0},
        {"ffffffff", 0xFFFFFFFF},
        {"100000000", 0xFFFFFFFF},
        {"123456789abc", 0xFFFFFFFF},
        {"-123456789", 0xFFFFFFFF},
        {"0000000000ffffffff", 0xFFFFFFFF},
        {"0x0x12", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCatalogChecksum(c.text), c.value) << '"' << c.text << '"';
}

TEST(PatchCatalog, DocumentsThatAreNoCatalogueLeaveItEmpty) {
    const std::string b = "<build version=\"1\" checksum=\"1\"/>";
    const std::string cases[] = {
        "",
        "not xml at all",
        std::string("<catalog>") + kShibboleth + b,             // not closed
        "<other>" + std::string(kShibboleth) + b + "</other>",  // no catalog
        "<catalog>" + b + "</catalog>",                         // no shibboleth
        "<catalog><shibboleth installkey=\"k\" file=\"f\"/>" + b + "</catalog>",
        std::string("<catalog>") + kShibboleth + "<build version=\"1\"/></catalog>",
        std::string("<catalog>") + kShibboleth + b + "<patch start=\"1\" end=\"2\"/></catalog>",
        "<catalog>" + std::string(5000, 'x') + std::string(100000, '<') + "</catalog>",
        std::string(3000, ' ') +
            [] {
                std::string deep;
                for (int i = 0; i < 5000; ++i)
                    deep += "<a>";
                return deep;
            }(),
    };
    for (const std::string& text : cases) {
        PatchCatalog c;
        EXPECT_FALSE(c.ParseText(text)) << text.substr(0, 80);
        EXPECT_TRUE(c.Builds().empty());
        EXPECT_TRUE(c.Patches().empty());
        EXPECT_FALSE(c.HasShibboleth());
    }
}

TEST(PatchCatalog, ShortestChainWithTheTieRule) {
    PatchCatalog c;
    // From A: A->B and A->C both reach a latest build at once: the first wins;
    // A->X leads to no build and is ignored.
    ASSERT_TRUE(c.ParseText(
        Catalogue({{"A", "1", ""}, {"B", "2", "true"}, {"C", "3", "true"}}, {{"A", "X"}, {"A", "B"}, {"A", "C"}})));
    EXPECT_EQ(Url(c.NextPatchFrom(c.FindBuild("A"))), UrlOf("A", "B"));
    EXPECT_EQ(c.NextPatchFrom(c.FindBuild("B")), nullptr);  // already the latest
    EXPECT_EQ(c.ChainLength(c.FindBuild("A")), 1);
    EXPECT_EQ(c.ChainLength(c.FindBuild("B")), 0);

    // A->B->C->D against A->E->D with only D latest: equal length, first kept;
    // a shorter chain found later wins.
    PatchCatalog d;
    ASSERT_TRUE(d.ParseText(
        Catalogue({{"A", "1", ""}, {"B", "2", ""}, {"C", "3", ""}, {"D", "4", "true"}, {"E", "5", ""}, {"F", "6", ""}},
                  {{"A", "F"}, {"F", "B"}, {"B", "C"}, {"C", "D"}, {"A", "B"}, {"A", "E"}, {"E", "D"}})));
    EXPECT_EQ(Url(d.NextPatchFrom(d.FindBuild("A"))), UrlOf("A", "E"));
    EXPECT_EQ(d.ChainLength(d.FindBuild("A")), 2);
    EXPECT_EQ(d.ChainLength(d.FindBuild("F")), 3);
}

TEST(PatchCatalog, CyclesEndWithoutAPath) {
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(
        Catalogue({{"A", "1", ""}, {"B", "2", ""}, {"C", "3", ""}}, {{"A", "B"}, {"B", "A"}, {"B", "B"}, {"C", "A"}})));
    EXPECT_EQ(c.NextPatchFrom(c.FindBuild("A")), nullptr);
    EXPECT_EQ(c.ChainLength(c.FindBuild("A")), PatchCatalog::kNoChain);
    EXPECT_EQ(c.ChainLength(c.FindBuild("C")), PatchCatalog::kNoChain);
}

TEST(PatchCatalog, ChainsAreCappedAt999Patches) {
    // b0 -> b1 -> ... -> bN, bN latest.
    auto chain = [](int n) {
        std::vector<BuildSpec> builds;
        std::vector<PatchSpec> patches;
        for (int i = 0; i <= n; ++i) {
            builds.push_back({"b" + std::to_string(i), std::to_string(i + 1), i == n ? "true" : ""});
            if (i < n)
                patches.push_back({"b" + std::to_string(i), "b" + std::to_string(i + 1)});
        }
        return Catalogue(builds, patches);
    };
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(chain(1000)));
    EXPECT_EQ(c.ChainLength(c.FindBuild("b1")), 999);
    EXPECT_EQ(c.ChainLength(c.FindBuild("b0")), PatchCatalog::kNoChain);
    // From b1 the next build is 998 patches away: within the cap.
    EXPECT_EQ(Url(c.NextPatchFrom(c.FindBuild("b1"))), UrlOf("b1", "b2"));
    // From b0 it is 999 away: no path.
    EXPECT_EQ(c.NextPatchFrom(c.FindBuild("b0")), nullptr);
}

// The search as first written: depth first, marking the builds on its path.
int ReferenceChain(const CatalogBuild* b, std::set<const CatalogBuild*>& onPath) {
    if (b->latest)
        return 0;
    onPath.insert(b);
    int best = 999;
    for (const CatalogPatch* p : b->outgoing) {
        if (!p->endBuild || onPath.count(p->endBuild))
            continue;
        int n = ReferenceChain(p->endBuild, onPath);
        if (n < best)
            best = n;
    }
    onPath.erase(b);
    return best + 1;
}

const CatalogPatch* ReferenceNext(const CatalogBuild* b) {
    if (b->latest)
        return nullptr;
    int best = 999;
    const CatalogPatch* chosen = nullptr;
    for (const CatalogPatch* p : b->outgoing) {
        if (!p->endBuild)
            continue;
        std::set<const CatalogBuild*> onPath;
        int n = ReferenceChain(p->endBuild, onPath);
        if (n < best) {
            best = n;
            chosen = p;
        }
    }
    return chosen;
}

TEST(PatchCatalog, SameAnswersAsTheDepthFirstSearchOnRandomCatalogues) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        int n = 2 + static_cast<int>(random() % 7);
        std::vector<BuildSpec> builds;
        for (int i = 0; i < n; ++i)
            builds.push_back({"v" + std::to_string(i), std::to_string(i), random() % 5 == 0 ? "true" : ""});
        std::vector<PatchSpec> patches;
        int m = static_cast<int>(random() % (3 * n));
        for (int k = 0; k < m; ++k)
            patches.push_back({"v" + std::to_string(random() % (n + 1)), "v" + std::to_string(random() % (n + 1))});
        PatchCatalog c;
        ASSERT_TRUE(c.ParseText(Catalogue(builds, patches)));
        for (const auto& b : c.Builds()) {
            std::set<const CatalogBuild*> onPath;
            EXPECT_EQ(c.ChainLength(b.get()), ReferenceChain(b.get(), onPath)) << round << " " << b->version;
            EXPECT_EQ(c.NextPatchFrom(b.get()), ReferenceNext(b.get())) << round << " " << b->version;
        }
    }
}

TEST(PatchCatalog, FullyConnectedFortyBuilds) {
    // Every build patches to every other; the last two are latest. The first
    // search would walk 40! paths; the answer is the first patch straight to a
    // latest build.
    std::vector<BuildSpec> builds;
    std::vector<PatchSpec> patches;
    for (int i = 0; i < 40; ++i)
        builds.push_back({"v" + std::to_string(i), std::to_string(i + 1), i >= 38 ? "true" : ""});
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j)
            if (i != j)
                patches.push_back({"v" + std::to_string(i), "v" + std::to_string(j)});
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(Catalogue(builds, patches)));
    for (int i = 0; i < 38; ++i) {
        const CatalogBuild* b = c.FindBuild("v" + std::to_string(i));
        EXPECT_EQ(c.ChainLength(b), 1);
        EXPECT_EQ(Url(c.NextPatchFrom(b)), UrlOf("v" + std::to_string(i), "v38"));
    }
}

class CatalogueInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegistryStore::ForHive(Hive::LocalMachine)
            .WriteValue("SOFTWARE\\Brindlemoor\\Orrin", "Path", RegistryValue::Text(env.Path("Orrin")));
    }
    void Installed(const std::string& content) { env.WriteFile("Orrin/bin/game.exe", content); }
    std::string Crc(const std::string& content) {
        char text[16];
        std::snprintf(text, sizeof text, "%08x", patchtest::ZlibCrc(content));
        return text;
    }
    std::vector<std::string> Shown() {
        std::vector<std::string> texts;
        for (const auto& call : page.CallsOf("showMessage"))
            texts.push_back(call.args.at(0));
        return texts;
    }

    TestEnvironment env;
    RecordingPageCallSink page;
};

TEST_F(CatalogueInstallTest, WalksTheChainAsPatchesAreApplied) {
    PatchCatalog c;
    ASSERT_TRUE(
        c.ParseText(Catalogue({{"A", Crc("build A"), ""}, {"B", Crc("build B"), ""}, {"C", Crc("build C"), "true"}},
                              {{"A", "B"}, {"B", "C"}})));
    // The catalogue names \Bin\Game.exe; the installed file is bin/game.exe.
    Installed("build A");
    EXPECT_EQ(c.IdentifyBuild(), c.FindBuild("A"));
    EXPECT_EQ(c.NextPatchUrl(), UrlOf("A", "B"));
    Installed("build B");
    EXPECT_EQ(c.NextPatchUrl(), UrlOf("B", "C"));
    Installed("build C");
    EXPECT_EQ(c.NextPatchUrl(), "");
    Installed("a build nobody knows");
    EXPECT_EQ(c.IdentifyBuild(), nullptr);
    EXPECT_EQ(c.NextPatchUrl(), "");
    EXPECT_TRUE(Shown().empty());
}

TEST_F(CatalogueInstallTest, SameChecksumIdentifiesTheFirstBuild) {
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(Catalogue({{"A", Crc("x"), ""}, {"A2", Crc("x"), "true"}}, {})));
    Installed("x");
    EXPECT_EQ(c.IdentifyBuild(), c.FindBuild("A"));
}

TEST_F(CatalogueInstallTest, FailuresShowTheirMessages) {
    const std::string doc = Catalogue({{"A", Crc("build A"), ""}, {"B", Crc("build B"), ""}}, {{"A", "B"}, {"B", "A"}});
    PatchCatalog c;
    ASSERT_TRUE(c.ParseText(doc));
    Installed("build A");
    EXPECT_EQ(c.NextPatchUrl(), "");  // a cycle without a latest build
    EXPECT_EQ(Shown(), std::vector<std::string>{GetLocalizedString(Msg::NoPatchPath)});

    page.Clear();
    std::filesystem::remove(env.Path("Orrin/bin/game.exe"));
    EXPECT_EQ(c.NextPatchUrl(), "");
    EXPECT_EQ(Shown(), std::vector<std::string>{GetLocalizedString(Msg::ShibbolethChecksumFailed)});

    // A shibboleth path that leaves the install folder is never read.
    page.Clear();
    env.WriteFile("secret", "build A");
    std::string escaping = doc;
    escaping.replace(escaping.find("\\Bin\\Game.exe"), 13, "..\\secret");
    PatchCatalog e;
    ASSERT_TRUE(e.ParseText(escaping));
    EXPECT_EQ(e.IdentifyBuild(), nullptr);
    EXPECT_EQ(Shown(), std::vector<std::string>{GetLocalizedString(Msg::ShibbolethChecksumFailed)});

    page.Clear();
    RegistryStore::ForHive(Hive::LocalMachine).DeleteKey("SOFTWARE\\Brindlemoor\\Orrin");
    EXPECT_EQ(c.NextPatchUrl(), "");
    EXPECT_EQ(Shown(), std::vector<std::string>{GetLocalizedString(Msg::RegistryKeyMissing)});
}

TEST(PatchCatalogFetch, ParsesWhatTheServerSends) {
    TestEnvironment env;
    TestHttpServer server;
    server.Serve("/catalog.xml", Catalogue({{"A", "1", ""}, {"B", "2", "true"}}, {{"A", "B"}}));
    server.Serve("/broken.xml", "<catalog><shibbol");
    server.Serve("/missing.xml", "<catalog/>", FaultMode{.status = 404});
    PatchCatalog c;
    c.Parse(server.Url("/catalog.xml"));
    EXPECT_EQ(c.Builds().size(), 2u);
    EXPECT_EQ(c.Patches().size(), 1u);
    for (const char* path : {"/broken.xml", "/missing.xml", "/nothing.xml"}) {
        c.Parse(server.Url(path));
        EXPECT_FALSE(c.HasShibboleth()) << path;
        EXPECT_TRUE(c.Builds().empty()) << path;
    }
}

}  // namespace
