#include "booster/PmbInstallation.h"

#include <sys/stat.h>

#include "booster/PmbReplyReader.h"
#include "core/settings/WineRegistry.h"
#include "core/system/ProgramLauncher.h"
#include "core/text/StringUtils.h"
#include "platform/RegistryStore.h"

namespace {

std::optional<std::string> TextOf(const std::optional<platform::RegistryValue>& value) {
    if (!value || (value->type != platform::ValueType::String && value->type != platform::ValueType::ExpandString))
        return std::nullopt;
    return value->data;
}

// Only a value that the caller's buffer can take whole counts as read.
std::optional<std::string> Fitting(const std::optional<std::string>& value) {
    try {
        if (value && Utf8ToWString(*value).size() < kPmbValueLength)
            return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

PmbInstalled PmbFindInstalled() {
    PmbInstalled result;
    platform::RegistryStore& store = platform::RegistryStore::ForHive(platform::Hive::CurrentUser);
    std::optional<std::string> version, folder;
    if (store.KeyExists(kPmbKey)) {
        version = TextOf(store.ReadValue(kPmbKey, "Version Number"));
        folder = TextOf(store.ReadValue(kPmbKey, "Program Directory"));
    } else {
        const std::string prefix = WineRegistry::DefaultPrefix();
        const std::string reference = std::string("HKEY_CURRENT_USER\\") + kPmbKey;
        if (!prefix.empty() && WineRegistry::KeyExists(prefix, reference)) {
            result.winePrefix = prefix;
            version = TextOf(WineRegistry::ReadValue(prefix, reference, "Version Number"));
            folder = TextOf(WineRegistry::ReadValue(prefix, reference, "Program Directory"));
            if (folder)
                folder = WineRegistry::ToUnixPath(prefix, *folder);
        }
    }
    version = Fitting(version);
    folder = Fitting(folder);
    if (version) {
        result.versionRead = true;
        result.version = *version;
    }
    if (folder) {
        result.keyFound = true;
        result.folder = *folder;
        // A relative folder would resolve against whatever the caller's current folder is.
        result.found =
            !result.folder.empty() && result.folder[0] == '/' && IsRegularFile(PmbProgramPath(result.folder));
    }
    return result;
}

std::string PmbInstalledFolder() {
    const PmbInstalled installed = PmbFindInstalled();
    return installed.found ? installed.folder : std::string();
}

std::string PmbMapBoosterPath(const PmbInstalled& installed, const std::string& path) {
    if (installed.winePrefix.empty())
        return path;
    return WineRegistry::ToUnixPath(installed.winePrefix, path);
}

bool PmbVersionBelow(const std::wstring& installed, const std::wstring& minimum) {
    auto parts = [](const std::wstring& text) {
        std::vector<int64_t> numbers;
        if (text.empty())
            return numbers;
        size_t start = 0;
        while (start <= text.size()) {
            const size_t dot = text.find(L'.', start);
            const std::wstring part = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
            if (dot == std::wstring::npos && part.empty())
                break;  // a trailing "." gives no empty last part
            std::string narrow;
            for (wchar_t c : part)
                narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            numbers.push_back(pmbreply::ReadInt64(narrow.c_str()));
            if (dot == std::wstring::npos)
                break;
            start = dot + 1;
        }
        return numbers;
    };
    const std::vector<int64_t> have = parts(installed), need = parts(minimum);
    for (size_t k = 0; k < have.size() && k < need.size(); ++k)
        if (have[k] != need[k])
            return need[k] > have[k];
    return false;
}

std::string PmbQuoteParameter(const std::string& text) {
    if (!text.empty() && text.find_first_of(" \t\"") == std::string::npos)
        return text;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            out.append(backslashes * 2 + 1, '\\');
        else
            out.append(backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

std::unique_ptr<ProcessHandle> PmbStartProcess(const std::string& path, const std::string& parameters) {
    if (path.empty() || path[0] != '/')
        return nullptr;
    const size_t dot = path.rfind('.');
    const bool msi = dot != std::string::npos && path.substr(dot + 1) == "msi";
    return LaunchProgram(path, msi ? std::string() : parameters, false);
}

std::string PmbProgramPath(const std::string& folder) {
    return folder + (!folder.empty() && folder.back() == '/' ? "" : "/") + "PMB.exe";
}

bool PmbLaunchBooster(const std::string& folder, PmbChildren& children) {
    if (folder.empty() || folder[0] != '/')
        return false;
    std::shared_ptr<ProcessHandle> started = PmbStartProcess(PmbProgramPath(folder), "");
    if (!started)
        return false;
    children.Keep(std::move(started));
    return true;
}
