#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/ProgramRig.h"
#include "tests/ui/SessionBus.h"

namespace {

bool MainWindowVisible() {
    return !ChildProcess::Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^Brindlemoor Quor!$"})
                .out.empty();
}

// What a window manager's close button sends; the test display has none.
void RequestClose() {
    std::string windows =
        ChildProcess::Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^Brindlemoor Quor!$"}).out;
    ASSERT_FALSE(windows.empty());
    ChildProcess::Result sent =
        ChildProcess::Run({"/usr/bin/python3", std::string(QUOR_SOURCE_DIR) + "/tests/ui/SendCloseRequest.py",
                           windows.substr(0, windows.find('\n'))});
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
}

std::vector<std::string> MenuLabels(const SessionBus::Item& item) {
    std::vector<std::string> labels;
    for (const SessionBus::MenuEntry& entry : item.menu)
        labels.push_back(!entry.visible ? "(hidden)" : entry.type == "separator" ? "---" : entry.label);
    return labels;
}

// The program started hidden, on a bus whose panel hosts StatusNotifierItems.
class BusIconTest : public testing::Test {
protected:
    void SetUp() override {
        bus = std::make_unique<SessionBus>(env);
        rig = std::make_unique<ProgramRig>(env);
        rig->extra.push_back(bus->Variable());
        program = rig->StartFirst({"/silent"});
        ASSERT_TRUE(program->IsRunning()) << program->Output();
        ASSERT_TRUE(rig->WaitForActivity("hide"));
        ASSERT_TRUE(bus->WaitForProperty("Status", "Active")) << program->Output();
    }

    bool PageCallSeen(const std::string& call) { return rig->WaitForPageCall(call); }

    TestEnvironment env;
    std::unique_ptr<SessionBus> bus;
    std::unique_ptr<ProgramRig> rig;
    std::unique_ptr<QuorProcess> program;
};

TEST_F(BusIconTest, RegistersOnHideWithTheProgramsTitleAndIcon) {
    EXPECT_FALSE(MainWindowVisible());
    std::vector<std::string> events = bus->Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().rfind("registered ", 0), 0u) << events.front();
    SessionBus::Item item = bus->LastItem();
    EXPECT_EQ(item.properties["Title"], "Brindlemoor Quor! v31680");
    EXPECT_EQ(item.properties["IconAccessibleDesc"], "Brindlemoor Quor! v31680");
    EXPECT_EQ(item.properties["Category"], "ApplicationStatus");
    // The panel finds the image by name in the theme path the item gives.
    ASSERT_EQ(item.properties["IconName"], "IDI_ICON1");
    EXPECT_TRUE(std::filesystem::is_regular_file(item.properties["IconThemePath"] + "/IDI_ICON1.png"))
        << item.properties["IconThemePath"];
    // The watcher reads the menu a moment after the item registers.
    WaitUntil([&] { return !bus->LastItem().menu.empty(); }, 10000);
    EXPECT_EQ(MenuLabels(bus->LastItem()), (std::vector<std::string>{"Open", "Diagnostics", "---", "Exit"}));
    // The window was hidden, not minimised.
    std::vector<std::string> activity = rig->Activity();
    EXPECT_EQ(std::count(activity.begin(), activity.end(), "iconize"), 0);
}

TEST_F(BusIconTest, OpenRestoresTheWindowAndTheItemGoesAway) {
    ASSERT_TRUE(bus->Click("Open"));
    ASSERT_TRUE(rig->WaitForActivity("restore"));
    EXPECT_TRUE(WaitUntil(MainWindowVisible, 10000));
    EXPECT_TRUE(bus->WaitForEvent("status Passive"));
    EXPECT_TRUE(bus->WaitForProperty("Status", "Passive"));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnOpenClick', '', -1);"));
}

TEST_F(BusIconTest, DiagnosticsRestoresTheWindowThenOpensTheReport) {
    ASSERT_TRUE(bus->Click("Diagnostics"));
    ASSERT_TRUE(rig->WaitForActivity("diagnostics"));
    std::vector<std::string> activity = rig->Activity();
    EXPECT_EQ(std::vector<std::string>(activity.end() - 2, activity.end()),
              (std::vector<std::string>{"restore", "diagnostics"}));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('displayDiagnostics', '');"));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnDiagnosticsClick', '', -1);"));
    EXPECT_TRUE(bus->WaitForProperty("Status", "Passive"));
}

TEST_F(BusIconTest, ExitEndsTheProgramNoSoonerThan900Milliseconds) {
    auto chosen = std::chrono::steady_clock::now();
    bus->Click("Exit");  // the program may end before it answers
    EXPECT_EQ(program->WaitForExit(), 0) << program->Output();
    EXPECT_GE(std::chrono::steady_clock::now() - chosen, std::chrono::milliseconds(900));
    EXPECT_EQ(rig->Activity().back(), "exit");
    bool reported = false;
    for (const auto& request : rig->service.RequestsFor("/quor/t.php"))
        reported |= request.query.find("action=OnExitClick") != std::string::npos;
    EXPECT_TRUE(reported);
}

// A click on the icon reaches the item as one of the activations, by panel.
TEST_F(BusIconTest, ActivationRestoresTheWindowAsAClickOnTheIcon) {
    const std::string maximize =
        "delivered $('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnMaximize', '', -1);";
    int clicks = 0;
    for (const char* method : {"Activate", "SecondaryActivate", "XAyatanaSecondaryActivate"}) {
        size_t seen = rig->Activity().size();
        SessionBus::Item item = bus->LastItem();
        ASSERT_TRUE(bus->Call(item.path, std::string("org.kde.StatusNotifierItem.") + method, {"0", "0"})) << method;
        ASSERT_TRUE(rig->WaitForActivity("restore", seen)) << method;
        EXPECT_TRUE(WaitUntil(MainWindowVisible, 10000)) << method;
        EXPECT_TRUE(bus->WaitForProperty("Status", "Passive")) << method;
        ++clicks;
        EXPECT_TRUE(WaitUntil(
            [&] {
                std::vector<std::string> calls = rig->PageCalls();
                return std::count(calls.begin(), calls.end(), maximize) == clicks;
            },
            20000))
            << method;
        // Hidden again for the next one.
        RequestClose();
        ASSERT_TRUE(rig->WaitForActivity("hide", seen)) << method;
        ASSERT_TRUE(bus->WaitForProperty("Status", "Active")) << method;
    }
    for (const std::string& call : rig->PageCalls())
        EXPECT_EQ(call.find("OnOpenClick"), std::string::npos);
}

TEST(BusIcon, MenuInTheUsersLanguage) {
    const std::pair<uint32_t, std::vector<std::string>> cases[] = {
        {1, {"Open", "Diagnostics", "---", "Exit"}},      {2, {"Aç", "Diagnostics", "---", "Kapat"}},
        {3, {"Öffnen", "Diagnostics", "---", "Beenden"}}, {4, {"Abrir", "Diagnostics", "---", "Salir"}},
        {5, {"Abrir", "Diagnostics", "---", "Sair"}},
    };
    for (const auto& [language, labels] : cases) {
        TestEnvironment env;
        SessionBus bus(env);
        ProgramRig rig(env);
        rig.extra.push_back(bus.Variable());
        rig.SetPrefNumber("Language", language);
        auto program = rig.StartFirst({"/silent"});
        ASSERT_TRUE(program->IsRunning()) << program->Output();
        ASSERT_TRUE(bus.WaitForProperty("Status", "Active"))
            << language << "\nactivity: " << testing::PrintToString(rig.Activity())
            << "\nbus: " << testing::PrintToString(bus.Events()) << "\n"
            << program->Output();
        WaitUntil([&] { return !bus.LastItem().menu.empty(); }, 10000);
        EXPECT_EQ(MenuLabels(bus.LastItem()), labels) << language;
    }
}

// A session bus alone is no notification area.
TEST(BusIcon, WithoutAWatcherOrATrayHostTheWindowIconizes) {
    TestEnvironment env;
    SessionBus bus(env, false);
    ProgramRig rig(env);
    rig.extra.push_back(bus.Variable());
    auto program = rig.StartFirst({"/silent"});
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    EXPECT_TRUE(rig.WaitForActivity("iconize"));
    EXPECT_TRUE(MainWindowVisible());
    EXPECT_TRUE(bus.Events().empty());
}

// The notification area is looked for at every hide, not once at the start.
TEST(BusIcon, APanelStartedLaterIsUsedAtTheNextHide) {
    TestEnvironment env;
    SessionBus bus(env, false);
    ProgramRig rig(env);
    rig.extra.push_back(bus.Variable());
    auto program = rig.StartFirst({"/silent"});
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    ASSERT_TRUE(rig.WaitForActivity("iconize"));
    size_t seen = rig.Activity().size();
    bus.StartWatcher();
    RequestClose();
    ASSERT_TRUE(rig.WaitForActivity("hide", seen));
    EXPECT_TRUE(bus.WaitForProperty("Status", "Active"));
    EXPECT_TRUE(WaitUntil([] { return !MainWindowVisible(); }, 10000));
    ASSERT_TRUE(bus.Click("Open"));
    EXPECT_TRUE(rig.WaitForActivity("restore", seen));
    EXPECT_TRUE(WaitUntil(MainWindowVisible, 10000));
}

// A panel with only an XEmbed tray keeps the XEmbed icon, bus or no bus.
TEST(BusIcon, WithOnlyAnXEmbedTrayTheXEmbedIconIsUsed) {
    TestEnvironment env;
    SessionBus bus(env, false);
    ProgramRig rig(env);
    rig.extra.push_back(bus.Variable());
    QuorProcess trayer(
        {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "200", "--height", "32"}, {},
        "/usr/bin/trayer");
    ASSERT_TRUE(WaitUntil(
        [] {
            return !ChildProcess::Run({"/usr/bin/xdotool", "search", "--name", "^panel$"}).out.empty();
        },
        20000));
    auto program = rig.StartFirst({"/silent"});
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    ASSERT_TRUE(rig.WaitForActivity("hide"));
    EXPECT_FALSE(MainWindowVisible());
    std::vector<std::string> activity = rig.Activity();
    EXPECT_EQ(std::count(activity.begin(), activity.end(), "iconize"), 0);
    EXPECT_TRUE(bus.Events().empty());
}

}  // namespace
