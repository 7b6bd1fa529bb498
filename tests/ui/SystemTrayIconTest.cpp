#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "core/settings/Prefs.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/ProgramRig.h"
#include "ui/SystemTrayIcon.h"

namespace {

std::vector<std::string> Labels(wxMenu& menu) {
    std::vector<std::string> labels;
    for (wxMenuItem* item : menu.GetMenuItems())
        labels.push_back(
            item->IsSeparator() ? "---" : item->GetItemLabelText().utf8_string() + "#" + std::to_string(item->GetId()));
    return labels;
}

TEST(SystemTrayIcon, MenuLabelsInTheUsersLanguage) {
    TestEnvironment env;
    GuiSession::Ensure();
    const std::pair<uint32_t, std::vector<std::string>> cases[] = {
        {3, {"Öffnen#1", "Diagnostics#3", "---", "Beenden#2"}}, {2, {"Aç#1", "Diagnostics#3", "---", "Kapat#2"}},
        {4, {"Abrir#1", "Diagnostics#3", "---", "Salir#2"}},    {5, {"Abrir#1", "Diagnostics#3", "---", "Sair#2"}},
        {1, {"Open#1", "Diagnostics#3", "---", "Exit#2"}},      {9, {"Open#1", "Diagnostics#3", "---", "Exit#2"}},
    };
    for (const auto& [language, labels] : cases) {
        Prefs::SetNumber("Language", language);
        SystemTrayIcon icon;
        EXPECT_EQ(Labels(icon.Menu()), labels) << language;
    }
}

std::string Xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess::Run(argv).out;
}

bool MainWindowVisible() {
    return !Xdotool({"search", "--onlyvisible", "--name", "^Brindlemoor Quor!$"}).empty();
}

std::vector<std::string> VisibleWindows() {
    std::vector<std::string> ids;
    std::string out = Xdotool({"search", "--onlyvisible", "--name", ""});
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        ids.push_back(out.substr(start, end - start));
    return ids;
}

// A notification area on the test's display, with the program's icon in it.
class TrayTest : public testing::Test {
protected:
    void SetUp() override {
        rig = std::make_unique<ProgramRig>(env);
        trayer = std::make_unique<QuorProcess>(
            std::vector<std::string>{"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "200",
                                     "--height", "32"},
            std::vector<std::string>{}, "/usr/bin/trayer");
        ASSERT_TRUE(WaitUntil([] { return !Xdotool({"search", "--name", "^panel$"}).empty(); }, 20000));
        program = rig->StartFirst({"/silent"});
        ASSERT_TRUE(program->IsRunning()) << program->Output();
        ASSERT_TRUE(rig->WaitForActivity("hide"));
        EXPECT_FALSE(MainWindowVisible());
        // The panel's right end holds the only icon.
        std::string panel = Xdotool({"search", "--name", "^panel$"});
        std::string geometry = Xdotool({"getwindowgeometry", "--shell", panel.substr(0, panel.find('\n'))});
        int x = Field(geometry, "X"), y = Field(geometry, "Y"), w = Field(geometry, "WIDTH"),
            h = Field(geometry, "HEIGHT");
        iconX = std::to_string(x + w - 16);
        iconY = std::to_string(y + h / 2);
    }

    static int Field(const std::string& shell, const std::string& name) {
        size_t at = shell.find(name + "=");
        return at == std::string::npos ? 0 : std::stoi(shell.substr(at + name.size() + 1));
    }

    // Right-clicks the icon and waits for its menu to open.
    void OpenMenu() {
        std::vector<std::string> before = VisibleWindows();
        Xdotool({"mousemove", iconX, iconY, "click", "3"});
        ASSERT_TRUE(WaitUntil([&] { return VisibleWindows().size() > before.size(); }, 10000));
    }

    bool PageCallSeen(const std::string& call) { return rig->WaitForPageCall(call); }

    TestEnvironment env;
    std::unique_ptr<ProgramRig> rig;
    std::unique_ptr<QuorProcess> trayer;
    std::unique_ptr<QuorProcess> program;
    std::string iconX, iconY;
};

TEST_F(TrayTest, OpenRestoresTheWindow) {
    OpenMenu();
    Xdotool({"key", "Down", "Return"});
    ASSERT_TRUE(rig->WaitForActivity("restore"));
    EXPECT_TRUE(WaitUntil(MainWindowVisible, 10000));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnOpenClick', '', -1);"));
}

TEST_F(TrayTest, DiagnosticsRestoresTheWindowThenOpensTheReport) {
    OpenMenu();
    Xdotool({"key", "Down", "Down", "Return"});
    ASSERT_TRUE(rig->WaitForActivity("diagnostics"));
    std::vector<std::string> activity = rig->Activity();
    EXPECT_EQ(std::vector<std::string>(activity.end() - 2, activity.end()),
              (std::vector<std::string>{"restore", "diagnostics"}));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('displayDiagnostics', '');"));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnDiagnosticsClick', '', -1);"));
    // The report follows from the task queue, after the empty call that opened the view.
    const std::string empty = "delivered $('#main-content').brq('displayDiagnostics', '');";
    const std::string report =
        "delivered $('#main-content').brq('displayDiagnostics', 'Quor! Diagnostic Information <br>";
    std::string delivered;
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::vector<std::string> calls = rig->PageCalls();
            auto opened = std::find(calls.begin(), calls.end(), empty);
            auto found =
                std::find_if(opened, calls.end(), [&](const std::string& call) { return call.rfind(report, 0) == 0; });
            if (opened == calls.end() || found == calls.end())
                return false;
            delivered = *found;
            return true;
        },
        30000));
    // Taken from the running program: its manifest, its service's host, its panels.
    for (const char* part : {"Manifest Version: test-1<br>", "<br>Ping to LA (127.0.0.1): ",
                             "<br>-== Active Transfers ==-<br><br>No active downloads<br><br>-== Games ==-<br>",
                             "<br>Game name : Space Game<br>"})
        EXPECT_NE(delivered.find(part), std::string::npos) << part << " in " << delivered;
}

TEST_F(TrayTest, ExitEndsTheProgramNoSoonerThan900Milliseconds) {
    OpenMenu();
    auto chosen = std::chrono::steady_clock::now();
    Xdotool({"key", "Down", "Down", "Down", "Return"});
    EXPECT_EQ(program->WaitForExit(), 0) << program->Output();
    EXPECT_GE(std::chrono::steady_clock::now() - chosen, std::chrono::milliseconds(900));
    EXPECT_EQ(rig->Activity().back(), "exit");
    // The choice was reported before the end.
    bool reported = false;
    for (const auto& request : rig->service.RequestsFor("/quor/t.php"))
        reported |= request.query.find("action=OnExitClick") != std::string::npos;
    EXPECT_TRUE(reported);
}

TEST_F(TrayTest, LeftClickRestoresAndARightClickRecordsNothing) {
    OpenMenu();
    Xdotool({"key", "Escape"});
    Xdotool({"mousemove", iconX, iconY, "click", "1"});
    ASSERT_TRUE(rig->WaitForActivity("restore"));
    EXPECT_TRUE(WaitUntil(MainWindowVisible, 10000));
    EXPECT_TRUE(PageCallSeen("$('#main-content').brq('trackEvent', 'SystemTrayIcon', 'OnMaximize', '', -1);"));
    for (const std::string& call : rig->PageCalls())
        EXPECT_EQ(call.find("OnRightClick"), std::string::npos);
    size_t events = 0;
    for (const std::string& call : rig->PageCalls())
        events += call.find("'SystemTrayIcon'") != std::string::npos;
    EXPECT_EQ(events, 2u);  // OnMinimize at the start, OnMaximize now
}

// Without a notification area the window is never hidden where nobody can reach it.
TEST(SystemTrayIcon, WithoutATrayHostTheWindowStaysReachable) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto program = rig.StartFirst({"/silent"});
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    EXPECT_TRUE(rig.WaitForActivity("iconize"));
    // Xvfb has no window manager to minimise it, so it is simply still there.
    EXPECT_TRUE(MainWindowVisible());
}

}  // namespace
