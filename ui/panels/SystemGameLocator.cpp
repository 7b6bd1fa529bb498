#include "ui/panels/SystemGameLocator.h"

#include "core/settings/RegistryReference.h"
#include "core/text/StringUtils.h"
#include "games/catalogue/GameLocation.h"

bool SystemGameLocator::KeyExists(const std::string& installkey) {
    return GameKeyExists(installkey);
}

std::string SystemGameLocator::ProgramPath(const ManifestLocation& location) {
    return ResolveGameLocation(location);
}

std::string SystemGameLocator::InstallFolder(const ManifestLocation& location) {
    if (location.installkey == kDuskmarchMarker || location.installkey == kIronvaleMarker) {
        std::string program = ShortcutTarget(location.installkey);
        return program.empty() ? std::string() : GetDirectoryPart(program);
    }
    // A game whose key is gone is not installed, whatever folder the manifest names.
    if (!KeyExists(location.installkey))
        return {};
    if (!location.launchpathsubkey.empty() && location.launchpathsubkey[0] == '!')
        return location.launchpathsubkey.substr(1);
    return ReadGameFolder(location.installkey, location.launchpathsubkey);
}
