#pragma once
#include <functional>
#include <string>

// The wx application of one UI test process, on a private Xvfb display of its
// own (started on first use, so tests without a window need none). Logging goes
// to standard error, never into a modal dialog.
class GuiSession {
public:
    // Starts the display and the toolkit once; later calls only name the
    // display in DISPLAY again (a test's environment ends with the values it found).
    static void Ensure();
    // Only the display (for tests that run the program in child processes),
    // named in DISPLAY.
    static void EnsureDisplay();
    static std::string Display();

    // Runs the event loop until the condition holds or the time is up; true
    // when it held.
    static bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000);
    static void RunFor(int ms);

    // WebKit tells a file's type (text/html for a .html page) from the MIME
    // database under XDG_DATA_DIRS; a test environment's private data folder
    // alone would have every page shown as plain text. Keeps that folder first.
    static void UseSystemMimeTypes();

    // Ends the display (the test program's end).
    static void End();
};
