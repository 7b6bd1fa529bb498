// The main frame's timer with the real managers in this process: the first
// load builds the panels, and a tick that opens a modal folder dialog (a nested
// event loop in which the timer may fire again) is never entered a second time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "core/settings/ConfigManager.h"
#include "games/catalogue/ManifestManager.h"
#include "games/downloads/FolderDialog.h"
#include "games/downloads/TransferManager.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/ui/GuiSession.h"
#include "tests/ui/panels/PanelStatePrinter.h"
#include "ui/FrameOwner.h"
#include "ui/MainFrame.h"

namespace {

// A dialog that stays open for a while, running the event loop as a modal
// dialog does, and notes how deeply dialogs were nested.
struct LingeringDialog final : FolderDialog {
    std::function<void()> whileOpen;
    int shown = 0;
    int depth = 0;
    int deepest = 0;
    Result Show(const std::string&) override {
        ++shown;
        ++depth;
        deepest = std::max(deepest, depth);
        if (whileOpen)
            whileOpen();
        GuiSession::RunFor(1600);  // three ticks or more
        --depth;
        return {Outcome::Cancelled, {}};
    }
};

// What the window asks of the application, each noted with the number of
// panels the window holds at that moment.
struct RecordingOwner final : FrameOwner {
    MainFrame* frame = nullptr;
    std::vector<std::string> calls;
    void Note(const std::string& what) {
        calls.push_back(what + " with " + std::to_string(frame->GetGamePanels().size()) + " panels");
    }
    void StartTaskQueue() override { Note("task queue"); }
    void StartManifestThread() override { Note("manifest thread"); }
    bool IsUpdateRefused(const std::string&) override { return false; }
    void RefuseUpdate(const std::string&) override {}
    [[noreturn]] void EndProcessNow(int) override { std::abort(); }
};

std::string Manifest(const TestHttpServer& server, const std::vector<std::string>& games) {
    std::string text = "<manifest>";
    for (size_t i = 0; i < games.size(); ++i) {
        std::string file = games[i];
        std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
        text += "<download name=\"" + games[i] + "\" id=\"" + std::to_string(i + 1) + "\" url=\"" + server.BaseUrl() +
                "/" + file + ".exe\"/>";
    }
    return text + "</manifest>";
}

class MainFrameTimer : public ::testing::Test {
protected:
    void SetUp() override {
        GuiSession::UseSystemMimeTypes();
        GuiSession::Ensure();
        server.Serve("/alpha.exe", std::string(4096, 'a'));
        server.Serve("/beta.exe", std::string(4096, 'b'));
        std::string folder = env.Path("program/");
        env.WriteFile("program/config.xml", "<config><homeUrl>http://127.0.0.1/</homeUrl></config>");
        env.WriteFile("program/manifest-test.xml", Manifest(server, {"Alpha", "Beta"}));
        config = std::make_unique<ConfigManager>();
        ManifestManager::Services services;
        services.configuration = config.get();
        services.programFolder = folder;
        manifest = std::make_unique<ManifestManager>(services);
        TransferSettings settings;
        settings.startManagerThread = false;
        // No room in the default folder: every start asks for another one.
        settings.freeSpace = [](const std::string&) -> std::optional<DiskFreeBytes> {
            return DiskFreeBytes{0, 1 << 30, 0};
        };
        settings.folderDialog = &dialog;
        transfers = std::make_unique<TransferManager>(settings);
    }

    void TearDown() override {
        if (frame)
            frame->Destroy();
        GuiSession::RunFor(50);
        manifest.reset();
        transfers.reset();
        config.reset();
    }

    TestEnvironment env;
    TestHttpServer server;
    LingeringDialog dialog;
    RecordingOwner owner;
    std::unique_ptr<ConfigManager> config;
    std::unique_ptr<ManifestManager> manifest;
    std::unique_ptr<TransferManager> transfers;
    MainFrame* frame = nullptr;
};

// The first completed load of the start page starts the application's task
// queue before the panels are built and its manifest thread after them; a
// later load builds the panels anew and starts neither again.
TEST_F(MainFrameTimer, TheFirstPageLoadStartsEachThreadOnceInOrder) {
    frame = new MainFrame("Brindlemoor Quor!", &owner,
                          {.config = config.get(), .transfers = transfers.get(), .manifest = manifest.get()});
    owner.frame = frame;
    EXPECT_TRUE(owner.calls.empty()) << "nothing before a load";
    frame->SetPageLoaded();
    ASSERT_TRUE(GuiSession::RunUntil([&] { return frame->GetGamePanels().size() == 2; }));
    const std::vector<std::string> started = {"task queue with 0 panels", "manifest thread with 2 panels"};
    EXPECT_EQ(owner.calls, started);

    env.WriteFile("program/manifest-test.xml", Manifest(server, {"Alpha", "Beta", "Gamma"}));
    frame->SetPageLoaded();
    ASSERT_TRUE(GuiSession::RunUntil([&] { return frame->GetGamePanels().size() == 3; }));
    GuiSession::RunFor(600);  // and another tick
    EXPECT_EQ(owner.calls, started);
}

TEST_F(MainFrameTimer, ATickInsideAFolderDialogOfTheTimerDoesNotRun) {
    frame = new MainFrame("Brindlemoor Quor!", nullptr,
                          {.config = config.get(), .transfers = transfers.get(), .manifest = manifest.get()});
    frame->SetPageLoaded();
    ASSERT_TRUE(GuiSession::RunUntil([&] { return frame->GetGamePanels().size() == 2; }));

    // The page asks for a second download while the first one's dialog is open,
    // and the timer fires in the dialog's loop. (GLib holds a timer back while
    // its own callback runs; other toolkits' loops do not, so the tick says so.)
    dialog.whileOpen = [&] {
        if (dialog.shown != 1)
            return;
        frame->QueueDownload("Beta");
        wxTimer timer;
        wxTimerEvent tick(timer);
        frame->OnTimer(tick);
    };
    frame->QueueDownload("Alpha");
    ASSERT_TRUE(GuiSession::RunUntil([&] { return dialog.shown == 2 && dialog.depth == 0; }, 30000)) << dialog.shown;
    EXPECT_EQ(dialog.deepest, 1) << "the second dialog opened inside the first";
    EXPECT_TRUE(frame->PendingDownloads().empty());
    for (const PanelSnapshot& panel : frame->GetGamePanels())
        EXPECT_EQ(panel.state, PanelState::NotInstalled) << panel.gameName;  // both cancelled: not started
}

}  // namespace
