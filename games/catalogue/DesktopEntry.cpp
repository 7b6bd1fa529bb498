#include "games/catalogue/DesktopEntry.h"

#include <sys/stat.h>
#include <unistd.h>

#include "core/system/ProgramLauncher.h"
#include "core/text/StringUtils.h"
#include "platform/PathParts.h"

namespace DesktopEntry {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string UnescapeString(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        char c = raw[++i];
        switch (c) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += c;
            break;  // left for the Exec rules
        }
    }
    return out;
}

bool IsFieldCode(char c) {
    switch (c) {
    case 'f':
    case 'F':
    case 'u':
    case 'U':
    case 'd':
    case 'D':
    case 'n':
    case 'N':
    case 'i':
    case 'c':
    case 'k':
    case 'v':
    case 'm': return true;
    default: return false;
    }
}

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string Value(const std::string& fileText, const std::string& key) {
    bool inMainGroup = false;
    size_t start = 0;
    while (start < fileText.size()) {
        size_t end = fileText.find('\n', start);
        if (end == std::string::npos)
            end = fileText.size();
        std::string line = Trim(fileText.substr(start, end - start), kBlanks);
        start = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos || Trim(line.substr(0, equals), kBlanks) != key)
            continue;
        return UnescapeString(Trim(line.substr(equals + 1), kBlanks));
    }
    return {};
}

std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;  // something (maybe quotes only) was seen
    bool hadFieldCode = false;
    bool quoted = false;
    auto finish = [&] {
        // An argument that was only field codes disappears with them.
        if (inArgument && !(hadFieldCode && current.empty()))
            arguments.push_back(current);
        current.clear();
        inArgument = hadFieldCode = false;
    };
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() &&
                       (exec[i + 1] == '"' || exec[i + 1] == '`' || exec[i + 1] == '$' || exec[i + 1] == '\\')) {
                current += exec[++i];
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            finish();
        } else if (c == '"') {
            quoted = inArgument = true;
        } else if (c == '\\' && i + 1 < exec.size()) {
            current += exec[++i];
            inArgument = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            char code = exec[++i];
            inArgument = true;
            if (code == '%')
                current += '%';
            else if (IsFieldCode(code))
                hadFieldCode = true;
            // any other code is not a field code and expands to nothing
        } else {
            current += c;
            inArgument = true;
        }
    }
    finish();
    return arguments;
}

std::string ExecProgram(const std::string& exec) {
    std::vector<std::string> arguments = SplitExec(exec);
    size_t i = 0;
    if (i < arguments.size() && platform::BaseName(arguments[i]) == "env") {
        ++i;
        while (i < arguments.size() && arguments[i].find('=') != std::string::npos && arguments[i][0] != '=')
            ++i;
    }
    return i < arguments.size() ? arguments[i] : std::string();
}

std::string ResolveProgram(const std::string& program) {
    if (program.find('/') == std::string::npos)
        return FindOnPath(program);
    return program[0] == '/' && IsExecutableFile(program) ? program : std::string();
}

std::string ProgramOfFile(const std::string& fileText) {
    if (Value(fileText, "Hidden") == "true")
        return {};
    return ResolveProgram(ExecProgram(Value(fileText, "Exec")));
}

}  // namespace DesktopEntry
