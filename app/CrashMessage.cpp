#include "app/CrashMessage.h"

#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/msgdlg.h>

#include "app/Application.h"
#include "core/diagnostics/CrashHandler.h"
#include "platform/Log.h"

void ShowCrashMessageAndExit(int argc, char** argv, const std::string& dumpPath) {
    const std::string text = CrashHandler::MessageText(dumpPath);
    // A plain toolkit application: the program's own would create the managers.
    wxApp::SetInstance(new wxApp());
    int count = argc > 0 ? 1 : 0;  // the toolkit must not read the crash option
    if (!wxEntryStart(count, argv)) {
        Log::Plain(text);
        _exit(1);
    }
    wxMessageDialog box(nullptr, wxString::FromUTF8(text), Application::kProductName, wxOK | wxICON_NONE);
    box.ShowModal();
    _exit(0);
}
