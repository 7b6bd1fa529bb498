#include "games/catalogue/GameLocation.h"

#include <optional>
#include <sys/stat.h>

#include "core/settings/RegistryReference.h"
#include "core/settings/WineRegistry.h"
#include "core/text/StringUtils.h"
#include "games/catalogue/DesktopEntry.h"
#include "platform/AtomicFile.h"
#include "platform/SafePath.h"
#include "platform/XdgPaths.h"

namespace {

// Reads one part of a location: a literal, or a value under the install key in
// our registry, or, for a game that wine installed, in the wine prefix's.
class LocationReader {
public:
    explicit LocationReader(const std::string& installkey) : installkey(installkey), ours(KeyExists(installkey)) {
        if (!ours) {
            std::string candidate = WineRegistry::DefaultPrefix();
            if (!candidate.empty() && WineRegistry::KeyExists(candidate, installkey))
                winePrefix = candidate;
        }
    }

    bool KeyFound() const { return ours || !winePrefix.empty(); }

    std::string Part(const std::string& subkey, bool isFolder) const {
        if (subkey.empty())
            return {};
        if (subkey[0] == '!')
            return subkey.substr(1);
        return Value(subkey, isFolder);
    }

    std::string Value(const std::string& subkey, bool isFolder) const {
        if (subkey.empty())
            return {};
        if (winePrefix.empty())
            return ReadRegistryString(installkey, subkey);
        auto value = WineRegistry::ReadValue(winePrefix, installkey, subkey);
        if (!value || (value->type != platform::ValueType::String && value->type != platform::ValueType::ExpandString))
            return {};
        return isFolder ? WineRegistry::ToUnixPath(winePrefix, value->data) : value->data;
    }

private:
    const std::string& installkey;
    bool ours;
    std::string winePrefix;  // set when the key is wine's, not ours
};

std::string ShortcutFile(const std::string& marker) {
    if (marker == kDuskmarchMarker)
        return "Duskmarch/Duskmarch.desktop";
    if (marker == kIronvaleMarker)
        return "Ironvale/Ironvale.desktop";
    return {};
}

}  // namespace

std::string ResolveGameLocation(const std::string& installkey, const std::string& launchpathsubkey,
                                const std::string& launchfilesubkey) {
    if (installkey == kDuskmarchMarker || installkey == kIronvaleMarker)
        return ShortcutTarget(installkey);
    LocationReader reader(installkey);
    std::string folder = reader.Part(launchpathsubkey, true);
    std::string file = reader.Part(launchfilesubkey, false);
    if (folder.empty())
        return file;
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    if (file.empty())
        return folder;
    // A folder written on Windows ends with "\": the join keeps that one
    // separator rather than adding "/" after it.
    char separator = folder.back();
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    if (folder.empty())
        folder.push_back('/');  // "= \"/\"" draws a false -Wrestrict from GCC 12 here
    std::optional<std::string> joined = platform::SafeJoin(folder, file);
    if (!joined)
        return {};
    if (separator == '\\' && folder != "/" && joined->size() > folder.size())
        (*joined)[folder.size()] = '\\';
    return *joined;
}

bool GameKeyExists(const std::string& installkey) {
    return LocationReader(installkey).KeyFound();
}

std::string ReadGameFolder(const std::string& installkey, const std::string& valueName) {
    return LocationReader(installkey).Value(valueName, true);
}

std::string ResolveGameLocation(const ManifestLocation& location) {
    return ResolveGameLocation(location.installkey, location.launchpathsubkey, location.launchfilesubkey);
}

std::string ShortcutTarget(const std::string& marker) {
    std::string relative = ShortcutFile(marker);
    if (relative.empty())
        return {};
    std::vector<std::string> folders;
    if (std::string home = platform::XdgDataHome(); !home.empty())
        folders.push_back(home);
    for (const std::string& folder : SplitString(platform::XdgDataDirs(), ':'))
        if (!folder.empty() && folder[0] == '/')
            folders.push_back(folder);
    for (const std::string& folder : folders) {
        std::string path = folder + "/applications/" + relative;
        struct stat info;
        if (stat(path.c_str(), &info) != 0)
            continue;
        std::string text;
        if (!S_ISREG(info.st_mode) || !platform::ReadWholeFile(path, text))
            return {};
        return DesktopEntry::ProgramOfFile(text);
    }
    return {};
}
