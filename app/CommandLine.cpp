#include "app/CommandLine.h"

#include <limits>

#include <wx/cmdline.h>
#include <wx/msgout.h>

namespace CommandLine {

namespace {

// Collects what the parser would print.
class CollectingOutput : public wxMessageOutput {
public:
    explicit CollectingOutput(std::string& text) : text(text) {}
    void Output(const wxString& str) override { text += str.utf8_string() + "\n"; }

private:
    std::string& text;
};

}  // namespace

std::vector<std::string> ApplyWindowsQuoting(const std::vector<std::string>& arguments) {
    std::vector<std::string> result;
    result.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        std::string plain;
        for (char c : argument)
            if (c != '"')
                plain += c;
        result.push_back(plain);
    }
    return result;
}

void Declare(wxCmdLineParser& parser) {
    parser.SetSwitchChars("-/");
    parser.AddOption("game", wxEmptyString, wxEmptyString, wxCMD_LINE_VAL_STRING);
    parser.AddOption("gameId", wxEmptyString, wxEmptyString, wxCMD_LINE_VAL_NUMBER);
    parser.AddSwitch("silent");
    parser.AddSwitch("uninstall");
    parser.AddOption("manifest_param", wxEmptyString, wxEmptyString, wxCMD_LINE_VAL_STRING);
}

bool Read(const wxCmdLineParser& parser, Request& request, std::string& error) {
    request = Request();
    request.uninstall = parser.Found("uninstall");
    wxString game;
    if (parser.Found("game", &game)) {
        request.hasGame = true;
        request.game = game.utf8_string();
    }
    long id = 0;
    if (parser.Found("gameId", &id)) {
        if (id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max()) {
            error = "'" + std::to_string(id) + "' is not a correct numeric value for option 'gameId'.";
            return false;
        }
        request.hasGameId = true;
        request.gameId = static_cast<int32_t>(id);
    }
    request.silent = parser.Found("silent");
    return true;
}

bool Parse(const std::vector<std::string>& arguments, Request& request, std::string& errorText) {
    std::vector<wxString> texts{"Quor"};
    for (const std::string& argument : ApplyWindowsQuoting(arguments))
        texts.push_back(wxString::FromUTF8(argument));
    std::vector<const wchar_t*> argv;
    for (const wxString& text : texts)
        argv.push_back(text.wc_str());
    argv.push_back(nullptr);

    wxCmdLineParser parser(static_cast<int>(texts.size()), const_cast<wchar_t**>(argv.data()));
    Declare(parser);
    CollectingOutput output(errorText);
    wxMessageOutput* previous = wxMessageOutput::Set(&output);
    bool accepted = parser.Parse(true) == 0;
    std::string error;
    if (accepted && !Read(parser, request, error)) {
        parser.Usage();
        errorText += error + "\n";
        accepted = false;
    }
    wxMessageOutput::Set(previous);
    return accepted;
}

}  // namespace CommandLine
