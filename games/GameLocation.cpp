#include "games/GameLocation.h"

#include <sys/stat.h>

#include "core/RegistryReference.h"
#include "core/StringUtils.h"
#include "games/DesktopEntry.h"
#include "platform/AtomicFile.h"
#include "platform/SafePath.h"
#include "platform/XdgPaths.h"

namespace {

std::string LocationPart(const std::string& installkey, const std::string& subkey) {
    if (subkey.empty())
        return {};
    if (subkey[0] == '!')
        return subkey.substr(1);
    return ReadRegistryString(installkey, subkey);
}

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
    std::string folder = LocationPart(installkey, launchpathsubkey);
    std::string file = LocationPart(installkey, launchfilesubkey);
    if (folder.empty())
        return file;
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    if (file.empty())
        return folder;
    return platform::SafeJoin(folder, file).value_or(std::string());
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
