#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/RegistryStore.h"
#include "tests/e2e/RoadRig.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/plugins/npapi/NpapiBrowser.h"

namespace {

namespace fs = std::filesystem;

const std::string kPage = "$('#main-content').brq('";

std::string Text(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

// A web page embeds the NPAPI plug-in with game "Lantern Keep": the plug-in of the
// installed program starts Quor from the folder the install wrote, and the
// running Quor selects that game in its page.
TEST(BrowserPlugin, APageNamingAGameMakesTheRunningInstalledQuorSelectIt) {
    RoadRig rig;
    const DemoGame& game = RoadRig::Game("Lantern Keep");
    const std::string installed = rig.env.Path("Quor Games");
    const auto install = ChildProcess::Run({"/usr/bin/cmake", "--install", QUOR_BINARY_DIR, "--prefix", installed});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    platform::RegistryStore hklm(rig.env.HklmFile(), platform::Hive::LocalMachine);
    ASSERT_EQ(hklm.ReadValue("SOFTWARE\\Brindlemoor\\Orrinmere", "Install_Dir")->data, installed);
    // The scripted page in place of the shipped one, so that its calls are logged.
    for (const char* file : {"brq_interface.html", "script.js"})
        fs::copy_file(rig.programFolder + file, installed + "/" + file, fs::copy_options::overwrite_existing);
    rig.programFolder = installed + "/";

    auto first = rig.Start();
    ASSERT_TRUE(rig.WaitForStates(game.id, {2})) << Text(rig.Calls()) << first->Output();
    const size_t before = rig.Calls().size();

    // The browser's own environment, which the started Quor inherits.
    setenv("DISPLAY", rig.display.Name().c_str(), 1);
    setenv("QUOR_SERVICE_URL", rig.publisher.Base().c_str(), 1);
    setenv("QUOR_PAGE_CALL_LOG", rig.pageCallLog.c_str(), 1);
    setenv("QUOR_ACTIVITY_LOG", rig.activityLog.c_str(), 1);
    NpapiBrowser browser(installed + "/browser-plugins/libnpmirovane.so");
    ASSERT_TRUE(browser.Loaded());
    ASSERT_EQ(browser.Start(), NPERR_NO_ERROR);
    NPP_t instance{};
    ASSERT_EQ(browser.New(instance, {"type", "game"}, {"application/quorlauncher-plugin", game.name}), NPERR_NO_ERROR);

    const int click = rig.WaitForCall(kPage + "clickPanel', " + std::to_string(game.id) + ");", before);
    ASSERT_GE(click, 0) << Text(rig.Calls());
    EXPECT_GE(
        rig.WaitForCall(kPage + "clickGameButton', " + std::to_string(game.id) + ");", static_cast<size_t>(click) + 1),
        0);
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(browser.plugin.destroy(&instance, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(browser.Shutdown(), NPERR_NO_ERROR);
}

}  // namespace
