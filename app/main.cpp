// The process entry: the crash message of a crashed copy comes first, then the
// single-instance decision before the toolkit, then the toolkit runs the
// application. The process ends without static destructors.
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <wx/app.h>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/CrashMessage.h"
#include "app/SingleInstance.h"
#include "core/diagnostics/CrashHandler.h"
#include "core/text/StringUtils.h"
#include "platform/Log.h"
#include "platform/XdgPaths.h"

wxIMPLEMENT_APP_NO_MAIN(Application);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], CrashHandler::kMessageOption) == 0)
        ShowCrashMessageAndExit(argc, argv, argv[2]);
    // Arguments are bytes; the plug-ins and desktop entries write them in UTF-8
    // whatever the locale says, so they reach the toolkit already decoded.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& argument : arguments) {
        if (!IsValidUtf8(argument)) {
            Log::Error("an argument is not valid UTF-8; nothing was done.");
            return 1;
        }
    }
    SingleInstance::Acquire();
    std::vector<std::string> plain = CommandLine::ApplyWindowsQuoting(arguments);
    std::vector<wxString> texts{wxString::FromUTF8(argc > 0 ? argv[0] : "quor")};
    for (const std::string& a : plain)
        texts.push_back(wxString::FromUTF8(a));
    std::vector<wchar_t*> args;
    for (wxString& text : texts)
        args.push_back(const_cast<wchar_t*>(text.wc_str()));
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    platform::AugmentDataDirsForToolkit();
    int result = wxEntry(count, args.data());
    Application::ExitProcess(SingleInstance::HandedOver() ? 0 : result);
}
