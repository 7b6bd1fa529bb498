// The shipped start page in a real browser: every page method the launcher
// calls, the calls the page makes back on a recording bridge, and the layout
// in the launcher's fixed window.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/settings/ConfigManager.h"
#include "core/system/FileUtils.h"
#include "games/catalogue/ConfigDocument.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/resources/HeadlessBrowser.h"

namespace {

const std::string kProgramFolder = QUOR_BINARY_DIR "/app/";
const std::string kPageTests = QUOR_SOURCE_DIR "/tests/resources/page/";

std::string FileAddress(const std::string& path) {
    std::string out = "file://";
    for (char c : path)
        out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
}

std::string ReadText(const std::string& path) {
    return TestEnvironment::ReadFile(path);
}

// The shipped page with the recording bridge put in before its scripts and the
// scenario after them; its own files still come from the program folder.
std::string WriteHarness(const TestEnvironment& env, const std::string& scenario) {
    std::string page = ReadText(kProgramFolder + "brq_interface.html");
    size_t head = page.find("<head>");
    size_t body = page.rfind("</body>");
    if (head == std::string::npos || body == std::string::npos)
        return "";
    page.insert(body, "<script>window.QUOR_SCENARIO = '" + scenario + "';</script>\n<script src=\"" +
                          FileAddress(kPageTests + "scenarios.js") + "\"></script>\n");
    page.insert(head + 6, "\n<base href=\"" + FileAddress(kProgramFolder) + "\">\n<script src=\"" +
                              FileAddress(kPageTests + "bridge_stub.js") + "\"></script>");
    return env.WriteFile("harness/brq_interface.html", page);
}

struct Scenario {
    std::string name;
    std::string query;
};

std::ostream& operator<<(std::ostream& os, const Scenario& s) {
    return os << s.name << s.query;
}

class StartPageTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(StartPageTest, Scenario) {
    ASSERT_TRUE(HeadlessBrowser::Available()) << "chromium is missing: run scripts/setup-deps.sh";
    TestEnvironment env;
    std::string harness = WriteHarness(env, GetParam().name);
    ASSERT_FALSE(harness.empty()) << "brq_interface.html has no <head> or </body>";
    HeadlessBrowser browser(env.Path("profile"));
    std::string document = browser.DumpDocument(FileAddress(harness) + GetParam().query, 900, 600);
    ASSERT_FALSE(document.empty()) << "the browser failed";
    std::string results = HeadlessBrowser::PreText(document, "quor-test-results");
    ASSERT_FALSE(results.empty()) << "the scenario wrote no results; the page's scripts failed?";

    std::istringstream lines(results);
    std::string line;
    int passed = 0;
    bool done = false;
    while (std::getline(lines, line)) {
        if (line == "DONE")
            done = true;
        else if (line.rfind("PASS ", 0) == 0)
            ++passed;
        else
            ADD_FAILURE() << line;
    }
    EXPECT_TRUE(done) << results;
    EXPECT_GT(passed, 0);
}

INSTANTIATE_TEST_SUITE_P(Page, StartPageTest,
                         ::testing::Values(Scenario{"methods", ""},
                                           Scenario{"panels", "?lang=en&skin=0&brqVersion=31680"},
                                           Scenario{"update", ""}, Scenario{"clickGameButton", ""},
                                           Scenario{"catalogue", ""}, Scenario{"progress", ""}, Scenario{"message", ""},
                                           Scenario{"folderDialog", ""}, Scenario{"login", ""},
                                           Scenario{"diagnostics", ""}, Scenario{"tracking", ""}, Scenario{"links", ""},
                                           Scenario{"bridge", ""}, Scenario{"escaping", ""},
                                           Scenario{"layout", "?lang=pt&skin=0&brqVersion=31680"},
                                           Scenario{"languages", "?lang=en&skin=0&brqVersion=31680"},
                                           Scenario{"languages", "?lang=de&skin=1&brqVersion=31680"},
                                           Scenario{"languages", "?lang=tr&skin=0&brqVersion=31680"},
                                           Scenario{"languages", "?lang=es&skin=0&brqVersion=31680"},
                                           Scenario{"languages", "?lang=pt&skin=1&brqVersion=31680"}),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             std::string name = info.param.name;
                             size_t lang = info.param.query.find("lang=");
                             if (lang != std::string::npos)
                                 name += "_" + info.param.query.substr(lang + 5, 2);
                             if (info.param.query.find("skin=1") != std::string::npos)
                                 name += "_skin";
                             return name;
                         });

// The error page that the launcher generates, with the shipped style sheet: its
// only element, the refresh link, must say what happened and be clickable.
TEST(ErrorPageTest, StyleSheetGivesTheRefreshLinkItsText) {
    ASSERT_TRUE(HeadlessBrowser::Available());
    TestEnvironment env;
    std::string page =
        "<html xmlns='http://www.w3.org/1999/xhtml'><head>"
        "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
        "<meta http-equiv='Cache-Control' content='no-cache' />"
        "<title>Brindlemoor Quor!</title>"
        "<link rel='stylesheet' href='Content/v2/_inc/styles.css' type='text/css' />"
        "</head><body id='technical-difficulties'>"
        "<a class='refresh' href='' onclick=\"window.parent.postMessage({'type' : 'refresh-interface'}, '*');\"></a>"
        "</body></html>";
    // The launcher loads it under the program folder's address; a base does the same here.
    page.insert(page.find("<head>") + 6, "<base href=\"" + FileAddress(kProgramFolder) + "\">");
    page.insert(page.find("</body>"),
                "<script>var a = document.querySelector('a.refresh'); var r = a.getBoundingClientRect();"
                "var before = getComputedStyle(a, '::before').content;"
                "var p = document.createElement('pre'); p.id = 'out';"
                "p.textContent = [Math.round(r.width), Math.round(r.height), before,"
                " document.documentElement.scrollHeight <= innerHeight].join('|');"
                "document.body.appendChild(p);</script>");
    std::string file = env.WriteFile("error/fake.html", page);
    HeadlessBrowser browser(env.Path("profile"));
    std::string out = HeadlessBrowser::PreText(browser.DumpDocument(FileAddress(file), 900, 600), "out");
    std::vector<std::string> parts;
    std::istringstream in(out);
    for (std::string p; std::getline(in, p, '|');)
        parts.push_back(p);
    ASSERT_EQ(parts.size(), 4u) << out;
    EXPECT_GT(std::stoi(parts[0]), 100);
    EXPECT_GT(std::stoi(parts[1]), 30);
    EXPECT_NE(parts[2].find("technical difficulties"), std::string::npos) << parts[2];
    EXPECT_EQ(parts[3], "true");
}

// What the build puts beside the program: the page, its scripts (jQuery from
// Debian), the error page's style sheet and a config.xml the program reads.
TEST(ProgramFolderTest, HoldsThePageAndItsFiles) {
    for (const char* f : {"brq_interface.html", "Content/v2/_inc/brq.js", "Content/v2/_inc/brq.css",
                          "Content/v2/_inc/styles.css", "Content/v2/_inc/jquery.min.js"})
        EXPECT_FALSE(ReadText(kProgramFolder + f).empty()) << f;
    EXPECT_NE(ReadText(kProgramFolder + "Content/v2/_inc/jquery.min.js").find("jQuery"), std::string::npos);
}

TEST(ProgramFolderTest, ConfigDocumentReadsWithThreeAddresses) {
    TestEnvironment env;
    ConfigManager configuration;
    ASSERT_TRUE(ConfigDocument::Read(kProgramFolder + "config.xml", configuration));
    for (const std::string* url : {&configuration.homeUrl, &configuration.helpUrl, &configuration.registerUrl})
        EXPECT_EQ(url->rfind("http://", 0), 0u) << *url;
    EXPECT_EQ(ReadText(kProgramFolder + "config.xml").find('@'), std::string::npos) << "an unreplaced setting";
}

}  // namespace
