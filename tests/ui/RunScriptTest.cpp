#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/QuorProcess.h"

namespace {

// "r,g,b" of one pixel of a PNG file.
std::string Pixel(const std::string& png, int x, int y) {
    std::string out =
        ChildProcess::Run({"/usr/bin/convert", png, "-format",
                           "%[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(y) + "}.r)],%[fx:int(255*p{" +
                               std::to_string(x) + "," + std::to_string(y) + "}.g)],%[fx:int(255*p{" +
                               std::to_string(x) + "," + std::to_string(y) + "}.b)]",
                           "info:"})
            .out;
    return out;
}

// The README's run command without a display: the demo publisher, Quor under
// Xvfb, and a screenshot of the window once the start page has loaded.
TEST(RunScript, WithoutADisplayItWritesAScreenshotOfTheStartPage) {
    TestEnvironment env;
    GuiSession::UseSystemMimeTypes();
    unsetenv("DISPLAY");
    std::string shot = env.Path("quor-screenshot.png");
    std::string calls = env.Path("page-calls.log");
    setenv("QUOR_BUILD_DIR", QUOR_BINARY_DIR, 1);
    setenv("QUOR_RUN_SKIP_BUILD", "1", 1);
    setenv("QUOR_SCREENSHOT", shot.c_str(), 1);
    setenv("QUOR_PAGE_CALL_LOG", calls.c_str(), 1);

    ChildProcess::Result run = ChildProcess::Run({"/bin/bash", std::string(QUOR_SOURCE_DIR) + "/scripts/run.sh"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("demo publisher at http://127.0.0.1:"), std::string::npos) << run.out;

    // The start page loaded and the first-load sequence reached it.
    std::vector<std::string> lines = FileLines(calls);
    auto delivered = [&](const std::string& method) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind("delivered $('#main-content').brq('" + method + "'", 0) == 0;
        });
    };
    EXPECT_TRUE(delivered("setUniqueId"));
    EXPECT_TRUE(delivered("clearGamePanels"));

    // 1280 x 800 screen, the 901 x 601 window centred on it.
    EXPECT_EQ(Pixel(shot, 20, 20), "0,0,0");  // the bare screen
    for (auto [x, y] : {std::pair{640, 400}, {195, 105}, {1080, 690}}) {
        std::string colour = Pixel(shot, x, y);
        EXPECT_NE(colour, "0,0,0") << x << "," << y;        // the window is there
        EXPECT_NE(colour, "0,255,255") << x << "," << y;    // and the page covers the frame
        EXPECT_NE(colour, "255,255,255") << x << "," << y;  // with the start page, not a blank one
    }
}

}  // namespace
