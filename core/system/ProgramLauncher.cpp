#include "core/system/ProgramLauncher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/system/SystemPaths.h"
#include "platform/PathParts.h"

namespace {

enum class ProgramKind { Native, WindowsProgram, WindowsInstaller, Unknown };

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// By content first: installers and games arrive with any name.
ProgramKind Recognise(const std::string& path) {
    char head[4] = {};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ProgramKind::Unknown;
    ssize_t n;
    do
        n = read(fd, head, sizeof head);
    while (n < 0 && errno == EINTR);
    close(fd);
    if (n > 0 && IsNativeProgramStart(std::string_view(head, static_cast<size_t>(n))))
        return ProgramKind::Native;
    if (EndsWithNoCase(path, ".exe"))
        return ProgramKind::WindowsProgram;
    if (EndsWithNoCase(path, ".msi"))
        return ProgramKind::WindowsInstaller;
    return ProgramKind::Unknown;
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return {};
    std::string cwd = buffer;
    return cwd == "/" ? "/" + path : cwd + "/" + path;
}

}  // namespace

bool IsNativeProgramStart(std::string_view head) {
    return head.substr(0, 4) == "\177ELF" || head.substr(0, 2) == "#!";
}

std::vector<std::string> SplitWindowsParameters(const std::string& parameters) {
    std::vector<std::string> result;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    size_t backslashes = 0;
    auto flushBackslashes = [&] {
        current.append(backslashes, '\\');
        backslashes = 0;
    };
    for (size_t i = 0; i < parameters.size(); ++i) {
        char c = parameters[i];
        if ((c == ' ' || c == '\t') && !inQuotes) {
            flushBackslashes();
            if (inArgument)
                result.push_back(std::move(current));
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            current.append(backslashes / 2, '\\');
            bool escaped = backslashes % 2 == 1;
            backslashes = 0;
            if (escaped) {
                current += '"';
            } else if (inQuotes && i + 1 < parameters.size() && parameters[i + 1] == '"') {
                current += '"';
                inQuotes = false;
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
            continue;
        }
        flushBackslashes();
        current += c;
    }
    flushBackslashes();
    if (inArgument)
        result.push_back(std::move(current));
    return result;
}

std::string FindOnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string folder = path.substr(start, end - start);
        start = end + 1;
        // An empty part would mean the current folder: never look there.
        if (folder.empty() || folder[0] != '/')
            continue;
        std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

namespace {

// The absolute path of an existing regular file to start, or "" with the reason
// in `failure`; `st` receives the file's status. A bare name is looked for in the
// program folder.
std::string ResolveProgramPath(const std::string& path, std::string& failure, struct stat& st) {
    if (path.empty()) {
        failure = "no program given";
        return {};
    }
    std::string program = path.find('/') == std::string::npos ? GetProgramDirectory() + path : path;
    program = AbsolutePath(program);
    if (program.empty()) {
        failure = "the current folder is unknown";
        return {};
    }
    if (stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = program + ": no such file";
        return {};
    }
    return program;
}

}  // namespace

bool CanLaunchProgram(const std::string& path, std::string* failure) {
    auto fail = [&](const std::string& text) {
        if (failure)
            *failure = text;
        return false;
    };
    std::string reason;
    struct stat st;
    const std::string program = ResolveProgramPath(path, reason, st);
    if (program.empty())
        return fail(reason);
    const std::string fileName = platform::BaseName(program);
    switch (Recognise(program)) {
    case ProgramKind::Native: return true;
    case ProgramKind::WindowsProgram:
        return !FindOnPath("wine").empty() || fail(fileName + " is a Windows program, and wine is not installed");
    case ProgramKind::WindowsInstaller:
        return !FindOnPath("wine").empty() || fail(fileName + " is a Windows installer, and wine is not installed");
    case ProgramKind::Unknown: break;
    }
    return fail(fileName + " is not a program that can be started here");
}

std::unique_ptr<ProcessHandle> LaunchProgram(const std::string& path, const std::string& parameters, bool /*plainOpen*/,
                                             std::string* failure) {
    auto fail = [&](const std::string& text) -> std::unique_ptr<ProcessHandle> {
        if (failure)
            *failure = text;
        return nullptr;
    };
    std::string reason;
    struct stat st;
    const std::string program = ResolveProgramPath(path, reason, st);
    if (program.empty())
        return fail(reason);

    const std::string folder = program.substr(0, program.rfind('/') + 1);
    const std::string fileName = platform::BaseName(program);
    std::vector<std::string> args = SplitWindowsParameters(parameters);
    std::vector<std::string> argv;
    std::string executable;

    switch (Recognise(program)) {
    case ProgramKind::Native:
        if (!(st.st_mode & S_IXUSR) && chmod(program.c_str(), (st.st_mode & 07777) | S_IXUSR) != 0)
            return fail(program + ": cannot be made executable: " + std::strerror(errno));
        executable = program;
        argv.push_back(program);
        break;
    case ProgramKind::WindowsProgram:
        executable = FindOnPath("wine");
        if (executable.empty())
            return fail(fileName + " is a Windows program, and wine is not installed");
        argv = {executable, program};
        break;
    case ProgramKind::WindowsInstaller:
        executable = FindOnPath("wine");
        if (executable.empty())
            return fail(fileName + " is a Windows installer, and wine is not installed");
        // msiexec would read a leading "/" as an option: name the package
        // relative to the working folder.
        argv = {executable, "msiexec", "/i", fileName};
        break;
    case ProgramKind::Unknown: return fail(fileName + " is not a program that can be started here");
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return ProcessHandle::Spawn(executable, argv, folder, failure);
}
