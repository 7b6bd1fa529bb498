#include <gtest/gtest.h>

#include <wx/app.h>

#include "core/system/SystemPaths.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/ui/GuiSession.h"
#include "ui/ClientHandler.h"
#include "ui/MainFrame.h"
#include "ui/StartPageAddress.h"

namespace {

// A frame of the test, destroyed with it: one left on the display would be
// the "Brindlemoor Quor!" window that the tests after it look for.
struct TestFrame {
    MainFrame* frame = new MainFrame("Brindlemoor Quor!");
    ~TestFrame() {
        frame->Destroy();
        GuiSession::RunFor(50);
    }
};

TEST(StartPageAddress, ProgramFolderIsUrlEncodedWithItsSlashes) {
    EXPECT_EQ(StartPageAddress("/opt/Quor Games/", "en", false),
              "file:///opt/Quor%20Games/brq_interface.html?lang=en&skin=0&brqVersion=31680");
    EXPECT_EQ(StartPageAddress("/home/ana/Jogos: 100%/", "pt", true),
              "file:///home/ana/Jogos%3a%20100%25/brq_interface.html?lang=pt&skin=1&brqVersion=31680");
    EXPECT_EQ(StartPageAddress("/srv/Spiele-\xc3\xa4/", "de", false),
              "file:///srv/Spiele-%c3%a4/brq_interface.html?lang=de&skin=0&brqVersion=31680");
    EXPECT_EQ(ProgramFolderAddress("C:\\Games\\Launcher\\"), "file://C%3a/Games/Launcher/");
}

TEST(MainFrame, FixedSizeAndTheBrowserCoversTheClientArea) {
    TestEnvironment env;
    GuiSession::UseSystemMimeTypes();
    GuiSession::Ensure();
    TestFrame owned;
    MainFrame* frame = owned.frame;
    frame->Show();
    GuiSession::RunFor(300);
    wxSize client = frame->GetClientSize();
    wxSize outer = frame->GetSize();
    EXPECT_EQ(client, wxSize(MainFrame::kWidth, MainFrame::kHeight));
    EXPECT_EQ(frame->GetMinSize(), wxSize(outer.x - 1, outer.y));
    EXPECT_EQ(frame->GetMaxSize(), wxSize(outer.x - 1, outer.y));
    long style = frame->GetWindowStyleFlag();
    EXPECT_FALSE(style & wxRESIZE_BORDER);
    EXPECT_FALSE(style & wxMAXIMIZE_BOX);
    EXPECT_TRUE(style & wxMINIMIZE_BOX);
    EXPECT_EQ(frame->GetName(), "frame");
    wxWindow* view = frame->GetClientHandler()->GetBrowserWindow();
    ASSERT_NE(view, nullptr);
    wxRect rect = view->GetRect();
    EXPECT_EQ(rect.GetPosition(), frame->GetClientAreaOrigin());
    EXPECT_EQ(rect.GetSize(), client);
    EXPECT_EQ(frame->StartPageUrl(), StartPageAddress(GetProgramDirectory(), "en", false));
}

TEST(MainFrame, DownloadsWaitForTheTimerOncePerGame) {
    TestEnvironment env;
    GuiSession::UseSystemMimeTypes();
    GuiSession::Ensure();
    TestFrame owned;
    MainFrame* frame = owned.frame;
    frame->QueueDownload("Space Game");
    frame->QueueDownload("Space Game");
    frame->QueueDownload("none");  // reads as the idle marker
    EXPECT_EQ(frame->PendingDownloads(), std::vector<std::string>{"Space Game"});
    EXPECT_FALSE(frame->IsAnyGamePatching());
}

}  // namespace
