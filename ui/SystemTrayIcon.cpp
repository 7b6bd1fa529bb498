#include "ui/SystemTrayIcon.h"

#include <memory>

#include <wx/utils.h>

#include "core/telemetry/EventTask.h"
#include "core/text/Messages.h"
#include "core/threads/TaskManager.h"

SystemTrayIcon::SystemTrayIcon() : menu(new wxMenu()) {
    menu->Append(kOpenId, wxString::FromUTF8(GetLocalizedString(Msg::TrayOpen)), wxString());
    menu->Append(kDiagnosticsId, "Diagnostics", wxString());
    menu->AppendSeparator();
    menu->Append(kExitId, wxString::FromUTF8(GetLocalizedString(Msg::TrayExit)), wxString());
    Bind(wxEVT_TASKBAR_LEFT_DOWN, &SystemTrayIcon::OnMaximize, this);
    Bind(wxEVT_TASKBAR_RIGHT_UP, &SystemTrayIcon::OnRightClick, this);
    // GTK's status icon reports the right button as its menu request only.
    Bind(wxEVT_TASKBAR_CLICK, &SystemTrayIcon::OnRightClick, this);
    Bind(wxEVT_MENU, &SystemTrayIcon::OnMenuClick, this);
}

SystemTrayIcon::~SystemTrayIcon() {
    delete menu;
}

void SystemTrayIcon::Record(const std::string& action) {
    TaskManager::Queue(std::make_unique<EventTask>("SystemTrayIcon", action, ""));
}

void SystemTrayIcon::Post(wxEventType type) {
    // Queued, so the application's handlers run after this handler has returned.
    QueueEvent(new wxCommandEvent(type, 0));
}

void SystemTrayIcon::OnRightClick(wxTaskBarIconEvent&) {
    PopupMenu(menu);
}

void SystemTrayIcon::OnMaximize(wxTaskBarIconEvent&) {
    Record("OnMaximize");
    Post(wxEVT_TEXT_COPY);
}

void SystemTrayIcon::OnMenuClick(wxCommandEvent& event) {
    switch (event.GetId()) {
    case kOpenId:
        Record("OnOpenClick");
        Post(wxEVT_TEXT_COPY);
        break;
    case kExitId:
        Record("OnExitClick");
        wxMilliSleep(900);
        Post(wxEVT_TEXT_CUT);
        break;
    default:
        Record("OnDiagnosticsClick");
        if (event.GetId() == kDiagnosticsId)
            Post(wxEVT_TEXT_PASTE);
        break;
    }
}
