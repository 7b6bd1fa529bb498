// A real window whose popup menu is open, holding the pointer and keyboard
// grab, when the program crashes: on the window's own thread ("gui") or on a
// worker ("worker"), as the first argument says. The crash handler writes its
// dump to the second argument and starts the program of the third argument with
// "--crash-message" (the real Quor). Once the menu is up it writes
// "menu open, grabbed: yes" (or "no") on standard output.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "core/diagnostics/CrashHandler.h"

// Read at run time, so the compiler can neither see the null nor drop the store.
volatile int* volatile nullTarget = nullptr;

namespace {

std::string mode;
std::string dumpPath;
std::string messageProgram;

bool PointerIsGrabbed() {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
    return seat && gdk_display_device_is_grabbed(display, gdk_seat_get_pointer(seat));
}

class MenuFrame : public wxFrame {
public:
    MenuFrame() : wxFrame(nullptr, wxID_ANY, "menu crash", wxPoint(0, 0), wxSize(400, 300)) {
        menu.Append(wxID_ANY, "First");
        menu.Append(wxID_ANY, "Second");
        openTimer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            crashTimer.StartOnce(700);  // fires inside the menu's own loop
            PopupMenu(&menu, wxPoint(50, 50));
        });
        crashTimer.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            std::printf("menu open, grabbed: %s\n", PointerIsGrabbed() ? "yes" : "no");
            std::fflush(stdout);
            if (mode == "gui") {
                *nullTarget = 42;
            } else {
                std::thread([] { *nullTarget = 42; }).detach();
            }
        });
        openTimer.StartOnce(300);
    }

private:
    wxMenu menu;
    wxTimer openTimer;
    wxTimer crashTimer;
};

class MenuApp : public wxApp {
public:
    bool OnInit() override {
        CrashHandler::Install(dumpPath, messageProgram);
        (new MenuFrame())->Show();
        return true;
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(MenuApp);

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    mode = argv[1];
    dumpPath = argv[2];
    messageProgram = argv[3];
    int count = 1;
    return wxEntry(count, argv);
}
