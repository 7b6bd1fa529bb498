#pragma once
#include <cstdint>
#include <string>
#include <vector>

class wxCmdLineParser;

// The program's command line: options game (text) and gameId (number),
// switches silent and uninstall, option manifest_param (accepted, not used);
// "/" or "-" starts an option, ":" or "=" (or the next argument) gives its value.
namespace CommandLine {

struct Request {
    bool uninstall = false;
    bool hasGame = false;
    std::string game;
    bool hasGameId = false;
    int32_t gameId = 0;
    bool silent = false;
};

// No shell splits Quor's command line the Windows way, so the toolkit's Windows
// rule is applied to each argument: every double quote toggles quoting and is
// removed (`/game:"""Space Game"""` gives `/game:Space Game`).
std::vector<std::string> ApplyWindowsQuoting(const std::vector<std::string>& arguments);

void Declare(wxCmdLineParser& parser);
// Reads what the parser found; false (with the reason) for a gameId outside
// the 32-bit range, which the parser's own number check lets through.
bool Read(const wxCmdLineParser& parser, Request& request, std::string& error);

// The whole road for the arguments after the program name: the quoting rule,
// the parser and Read. False when the parser rejects them; errorText then holds
// the toolkit's usage and error texts.
bool Parse(const std::vector<std::string>& arguments, Request& request, std::string& errorText);

}  // namespace CommandLine
