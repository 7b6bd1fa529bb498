#include "core/Prefs.h"

#include "core/RegistryReference.h"
#include "core/SystemPaths.h"
#include "platform/RegistryStore.h"

namespace {

std::string GroupKey(const std::string& group) {
    return std::string(Prefs::kProductKey) + "\\" + group;
}

std::string GroupReference(const std::string& group) {
    return "HKEY_CURRENT_USER\\" + GroupKey(group);
}

void Write(const std::string& group, const std::string& name, const platform::RegistryValue& value) {
    int error = platform::RegistryStore::ForHive(platform::Hive::CurrentUser).WriteValue(GroupKey(group), name, value);
    if (error != 0)
        ShowLastError(error);
}

}  // namespace

namespace Prefs {

std::string ReadString(const std::string& group, const std::string& name) {
    return ReadRegistryString(GroupReference(group), name);
}

uint32_t ReadNumber(const std::string& group, const std::string& name) {
    return ReadRegistryDword(GroupReference(group), name);
}

std::string GetString(const std::string& name) { return ReadString("Preferences", name); }
uint32_t GetNumber(const std::string& name) { return ReadNumber("Preferences", name); }

void WriteString(const std::string& group, const std::string& name, const std::string& text) {
    Write(group, name, platform::RegistryValue::Text(text));
}

void WriteNumber(const std::string& group, const std::string& name, uint32_t number) {
    Write(group, name, platform::RegistryValue::Number(number));
}

void SetString(const std::string& name, const std::string& text) { WriteString("Preferences", name, text); }
void SetNumber(const std::string& name, uint32_t number) { WriteNumber("Preferences", name, number); }
void WriteCampaignUrl(const std::string& address) { WriteNumber("CampaignUrls", address, 1); }

void DeleteValue(const std::string& group, const std::string& name) {
    platform::RegistryStore::ForHive(platform::Hive::CurrentUser).DeleteValue(GroupKey(group), name);
}

}  // namespace Prefs

void DeleteProductValue(const std::string& name) {
    platform::RegistryStore::ForHive(platform::Hive::CurrentUser).DeleteValue(Prefs::kProductKey, name);
}
