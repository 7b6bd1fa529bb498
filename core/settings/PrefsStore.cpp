#include "core/settings/PrefsStore.h"

#include "core/settings/RegistryReference.h"
#include "platform/RegistryStore.h"

namespace {

std::string GroupKey(const std::string& group) {
    return std::string(Prefs::kProductKey) + "\\" + group;
}

std::string GroupReference(const std::string& group) {
    return "HKEY_CURRENT_USER\\" + GroupKey(group);
}

}  // namespace

namespace Prefs {

std::string ReadString(const std::string& group, const std::string& name) {
    return ReadRegistryString(GroupReference(group), name);
}

uint32_t ReadNumber(const std::string& group, const std::string& name) {
    return ReadRegistryDword(GroupReference(group), name);
}

std::string GetString(const std::string& name) {
    return ReadString("Preferences", name);
}
uint32_t GetNumber(const std::string& name) {
    return ReadNumber("Preferences", name);
}

void DeleteValue(const std::string& group, const std::string& name) {
    platform::RegistryStore::ForHive(platform::Hive::CurrentUser).DeleteValue(GroupKey(group), name);
}

}  // namespace Prefs

void DeleteProductValue(const std::string& name) {
    platform::RegistryStore::ForHive(platform::Hive::CurrentUser).DeleteValue(Prefs::kProductKey, name);
}
