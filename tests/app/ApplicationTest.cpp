// The application in the real program: what it keeps for the whole run, beyond
// the window's panels, which every manifest refresh builds anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/ProgramRig.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kPage = "$('#main-content').brq('";

size_t Count(const Lines& lines, const std::string& part, size_t from = 0) {
    return static_cast<size_t>(std::count_if(lines.begin() + static_cast<long>(std::min(from, lines.size())),
                                             lines.end(),
                                             [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// A newer launcher whose installer is a Windows program, on a machine without
// wine: the refusal is shown and reported once, and the manifest refreshes that
// rebuild the panels neither show it again nor put a progress bar on the
// update's panel, which offers the installer for installing.
TEST(Application, AnUpdateThatCannotStartIsRefusedOnceForTheRun) {
    TestEnvironment env;
    ProgramRig rig(env);
    std::filesystem::create_directories(env.Path("no-wine"));
    rig.extra.push_back("PATH=" + env.Path("no-wine"));
    rig.service.Serve("/QuorSetup.exe", std::string("MZ\x90\0\3\0\0\0", 8) + std::string(4096, 'x'));
    rig.service.Serve("/quor/manifest.php",
                      "<manifest><autoupdate version=\"31700\" httpurl=\"" + rig.service.Url("/QuorSetup.exe") +
                          "\" manifestrefreshtime=\"1\" gameurl=\"\" allgamesurl=\"\"/>"
                          "<download name=\"Space Game\" id=\"7\" homepage=\"http://127.0.0.1/sg\" "
                          "banner=\"sg.png\"/></manifest>");
    auto program = rig.StartFirst();
    ASSERT_TRUE(program->IsRunning()) << program->Output();

    const std::string refusal = kPage + "showMessage', 'QuorSetup.exe is a Windows program, and wine is not installed'";
    ASSERT_TRUE(WaitUntil([&] { return Count(rig.PageCalls(), refusal) > 0; }, 30000)) << program->Output();
    Lines calls = rig.PageCalls();
    size_t refused = static_cast<size_t>(
        std::find_if(calls.begin(), calls.end(), [&](const std::string& l) { return l.find(refusal) != l.npos; }) -
        calls.begin());
    // The first refresh comes 15 s after the start, the next one a second later.
    size_t loads = Count(calls, kPage + "clearGamePanels');");
    ASSERT_TRUE(WaitUntil([&] { return Count(rig.PageCalls(), kPage + "clearGamePanels');") >= loads + 2; }, 60000))
        << program->Output();
    WaitUntil([] { return false; }, 1500);  // three more ticks of the rebuilt panels

    calls = rig.PageCalls();
    EXPECT_EQ(Count(calls, refusal), 1u);
    EXPECT_EQ(Count(calls, kPage + "trackEvent', 'InstallLauncherFailed'"), 1u);
    size_t reports = 0;
    for (const LoggedRequest& request : rig.service.RequestsFor("/quor/t.php"))
        reports += request.query.find("InstallLauncherFailed") != std::string::npos;
    EXPECT_EQ(reports, 1u);
    EXPECT_EQ(Count(calls, kPage + "updateProgress', 0,", refused), 0u);
    EXPECT_EQ(Count(calls, kPage + "startProgress', 0)", refused), 0u);
    EXPECT_GE(Count(calls, kPage + "setGamePanelState', 0, '5');", refused), 3u) << "each rebuild offers it";
    EXPECT_EQ(Count(calls, kPage + "setGamePanelState', 0,", refused),
              Count(calls, kPage + "setGamePanelState', 0, '5');", refused));
    EXPECT_TRUE(program->IsRunning());
}

}  // namespace
