#pragma once
#include <string>

#include <wx/menu.h>
#include <wx/taskbar.h>

// The icon in the notification area while the window is hidden, with its menu
// (Open, Diagnostics, Exit in the user's language, taken once). Each use is
// recorded as a "SystemTrayIcon" telemetry event; the choice goes to the
// application as a command event posted to the icon's own queue:
// wxEVT_TEXT_COPY restore, wxEVT_TEXT_CUT exit, wxEVT_TEXT_PASTE restore and
// diagnostics. These event types have nothing to do with the clipboard: they
// are merely event types the icon never sends otherwise, kept as the program
// has always used them. The application shows and removes the icon.
class SystemTrayIcon : public wxTaskBarIcon {
public:
    enum : int { kOpenId = 1, kExitId = 2, kDiagnosticsId = 3 };

    SystemTrayIcon();
    ~SystemTrayIcon() override;

    void OnRightClick(wxTaskBarIconEvent& event);
    void OnMaximize(wxTaskBarIconEvent& event);
    void OnMenuClick(wxCommandEvent& event);

    wxMenu& Menu() { return *menu; }

private:
    void Record(const std::string& action);
    void Post(wxEventType type);

    wxMenu* menu;
};
