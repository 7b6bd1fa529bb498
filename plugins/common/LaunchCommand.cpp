#include "plugins/common/LaunchCommand.h"

#include "core/text/StringUtils.h"

namespace {

const char kPrefix[] = "/game:\"\"\"";
const char kSuffix[] = "\"\"\"";

}  // namespace

bool LaunchCommand::IsAcceptableGameName(const std::string& game) {
    if (game.empty() || !IsValidUtf8(game))
        return false;
    for (unsigned char c : game) {
        if (c < 0x20 || c == 0x7f || c == '"')
            return false;
    }
    // C1 controls (U+0080..U+009F) are two bytes in UTF-8: C2 80..C2 9F.
    for (size_t i = 0; i + 1 < game.size(); ++i) {
        if (static_cast<unsigned char>(game[i]) == 0xc2 && static_cast<unsigned char>(game[i + 1]) < 0xa0)
            return false;
    }
    return true;
}

std::optional<LaunchCommand> LaunchCommand::Build(const std::string& installFolder, const std::string& game) {
    if (installFolder.empty() || installFolder[0] != '/')
        return std::nullopt;  // never the filesystem root's or the working folder's
                              // Quor
    // A NUL would end the path early: "/usr/bin/x\0" would start /usr/bin/x.
    if (installFolder.find('\0') != std::string::npos)
        return std::nullopt;
    if (!IsAcceptableGameName(game))
        return std::nullopt;
    std::string folder = installFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    LaunchCommand command;
    command.program = (folder == "/" ? std::string() : folder) + "/Quor";
    command.workingFolder = folder;
    std::string argument = kPrefix + game + kSuffix;
    if (command.program.size() + 1 > kTextLimit || argument.size() + 1 > kTextLimit)
        return std::nullopt;
    command.argv = {command.program, std::move(argument)};
    return command;
}
