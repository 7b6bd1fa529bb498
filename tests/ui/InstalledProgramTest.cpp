#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/ProgramRig.h"
#include "ui/StartPageAddress.h"

namespace {

std::vector<std::string> VisibleWindows(const std::string& title) {
    std::string out = ChildProcess::Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", title}).out;
    std::vector<std::string> ids;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        ids.push_back(out.substr(start, end - start));
    return ids;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The program folder made by `cmake --install`, then moved somewhere else.
class InstalledProgram : public testing::Test {
protected:
    void SetUp() override {
        std::string installed = env.Path("Quor Games");
        ChildProcess::Result install =
            ChildProcess::Run({"/usr/bin/cmake", "--install", QUOR_BINARY_DIR, "--prefix", installed});
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
        std::filesystem::create_directories(env.Path("elsewhere"));
        folder = env.Path("elsewhere/Quor Spiele: 100%/");
        std::filesystem::rename(installed, folder);
        rig = std::make_unique<ProgramRig>(env);
    }

    std::unique_ptr<QuorProcess> Start(const std::string& serviceUrl = std::string()) {
        std::vector<std::string> variables = rig->Environment();
        if (!serviceUrl.empty())
            for (std::string& v : variables)
                if (v.rfind("QUOR_SERVICE_URL=", 0) == 0)
                    v = "QUOR_SERVICE_URL=" + serviceUrl;
        return std::make_unique<QuorProcess>(std::vector<std::string>{}, variables, folder + "Quor");
    }

    // Closes the program's own message box (the second window of that title).
    // Without a window manager the keyboard follows the pointer: over the box,
    // Return presses OK.
    void CloseMessageBox() {
        std::string box = VisibleWindows("^Brindlemoor Quor!$").back();
        std::string geometry = ChildProcess::Run({"/usr/bin/xdotool", "getwindowgeometry", "--shell", box}).out;
        auto field = [&](const std::string& name) {
            return std::stoi(geometry.substr(geometry.find(name + "=") + name.size() + 1));
        };
        ChildProcess::Run({"/usr/bin/xdotool", "mousemove", std::to_string(field("X") + field("WIDTH") / 2),
                           std::to_string(field("Y") + field("HEIGHT") / 2), "key", "Return"});
    }

    TestEnvironment env;
    std::string folder;
    std::unique_ptr<ProgramRig> rig;
};

TEST_F(InstalledProgram, RunsFromWhereverItsFolderIsAndShowsThatFoldersStartPage) {
    auto program = Start();
    std::string page = "page-loaded " + StartPageAddress(folder, "en", false);
    ASSERT_TRUE(rig->WaitForActivity(page)) << program->Output();
    EXPECT_EQ(page, "page-loaded file://" + env.Path("elsewhere") +
                        "/Quor%20Spiele%3a%20100%25/brq_interface.html?lang=en&skin=0&brqVersion=31680");
    for (const std::string& line : rig->Activity())
        EXPECT_EQ(line.rfind("page-failed", 0), std::string::npos) << line;
    EXPECT_TRUE(program->IsRunning());
}

// Without config.xml the program cannot go on: the message is shown in the page
// and in a message box of its own, and the program ends once the box is closed.
TEST_F(InstalledProgram, AMissingConfigurationEndsAfterMessage6) {
    std::filesystem::remove(folder + "config.xml");
    auto program = Start();
    ASSERT_TRUE(WaitUntil([] { return VisibleWindows("^Brindlemoor Quor!$").size() == 2; }, 30000))
        << program->Output();
    EXPECT_TRUE(Contains(rig->PageCalls(),
                         "delivered $('#main-content').brq('showMessage', 'Failed to open configuration "
                         "file.\\n\\nProgram cannot continue.', 1);"));
    EXPECT_TRUE(program->IsRunning());  // until the box is closed

    CloseMessageBox();
    EXPECT_EQ(program->WaitForExit(), 0) << program->Output();
    EXPECT_EQ(rig->Activity().back(), "exit-message 6");
}

// No manifest from the service, no saved copy, none shipped: the manifest
// thread's first refresh (15 s after the start) ends the program with message 7,
// after the box, with its threads stopped (the thread that asked included).
TEST_F(InstalledProgram, NoManifestAnywhereEndsAfterMessage7) {
    TestHttpServer refusing;  // answers 404 to everything
    auto program = Start(refusing.BaseUrl());
    ASSERT_TRUE(rig->WaitForActivity("page-loaded " + StartPageAddress(folder, "en", false)));
    ASSERT_TRUE(WaitUntil([] { return VisibleWindows("^Brindlemoor Quor!$").size() == 2; }, 40000))
        << program->Output();
    bool shown = false;
    for (const std::string& call : rig->PageCalls())
        shown |=
            call.rfind("delivered $('#main-content').brq('showMessage', 'Brindlemoor Quor! cannot download", 0) == 0;
    EXPECT_TRUE(shown);
    CloseMessageBox();
    EXPECT_EQ(program->WaitForExit(), 0) << program->Output();
    EXPECT_EQ(rig->Activity().back(), "exit-message 7");
}

}  // namespace
