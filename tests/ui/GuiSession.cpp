#include "tests/ui/GuiSession.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>

#include "tests/ui/XvfbDisplay.h"

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

XvfbDisplay* display = nullptr;
wxGUIEventLoop* loop = nullptr;

}  // namespace

void GuiSession::EnsureDisplay() {
    if (!display)
        display = new XvfbDisplay();
    // Again each time: a test's environment ends with the variables it found.
    const char* named = std::getenv("DISPLAY");
    if (!named || display->Name() != named)
        setenv("DISPLAY", display->Name().c_str(), 1);
}

void GuiSession::Ensure() {
    EnsureDisplay();
    if (loop)
        return;
    wxApp::SetInstance(new TestApp());
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit())
        throw std::runtime_error("the toolkit did not start on " + display->Name());
    delete wxLog::SetActiveTarget(new wxLogStderr());
    loop = new wxGUIEventLoop();
    wxEventLoopBase::SetActive(loop);
}

std::string GuiSession::Display() {
    return display ? display->Name() : std::string();
}

bool GuiSession::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    Ensure();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        loop->DispatchTimeout(10);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    }
}

void GuiSession::RunFor(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    RunUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
}

void GuiSession::UseSystemMimeTypes() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string value = dirs && *dirs ? std::string(dirs) + ":" : std::string();
    if (value.find("/usr/share") == std::string::npos)
        setenv("XDG_DATA_DIRS", (value + "/usr/local/share:/usr/share").c_str(), 1);
}

void GuiSession::End() {
    delete display;
    display = nullptr;
}
