// The process entry: the crash message of a crashed copy comes first, then the
// single-instance decision before the toolkit, then the toolkit runs the
// application. The process ends without static destructors.
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <wx/app.h>

#include "core/app/Application.h"
#include "core/CrashHandler.h"
#include "core/app/CommandLine.h"
#include "core/app/CrashMessage.h"
#include "core/app/SingleInstance.h"
#include "platform/XdgPaths.h"

wxIMPLEMENT_APP_NO_MAIN(Application);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], CrashHandler::kMessageOption) == 0)
        ShowCrashMessageAndExit(argc, argv, argv[2]);
    SingleInstance::Acquire();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::vector<std::string> plain = CommandLine::ApplyWindowsQuoting(arguments);
    std::vector<char*> args{argv[0]};
    for (std::string& a : plain)
        args.push_back(a.data());
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    platform::AugmentDataDirsForToolkit();
    int result = wxEntry(count, args.data());
    _exit(SingleInstance::HandedOver() ? 0 : result);
}
