#pragma once
#include <optional>
#include <string>
#include <vector>

// The command that starts the main program for a game a web page named: the
// program <folder>/Quor and the argument vector {program, /game:"""<name>"""}.
// The name arrives from a web page, so it is refused (nullopt) when it is
// empty, not valid UTF-8, holds a double quote or a control character, or makes
// the argument longer than its 2048-byte buffer; the folder must be absolute,
// hold no NUL byte and the program text fit the same limit. The argument is
// passed as one vector element, never through a shell, so it can add nothing to
// the command line.
struct LaunchCommand {
    static constexpr size_t kTextLimit = 2048;  // with the terminator

    std::string program;
    std::vector<std::string> argv;
    std::string workingFolder;

    static std::optional<LaunchCommand> Build(const std::string& installFolder, const std::string& game);
    static bool IsAcceptableGameName(const std::string& game);
};
