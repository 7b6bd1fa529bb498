#include "core/settings/RegistryReference.h"

#include "core/text/StringUtils.h"
#include "platform/RegistryStore.h"

bool SplitRegistryReference(const std::string& reference, EmptyKeyParts emptyParts, platform::Hive& hive,
                            std::string& keyPath) {
    size_t slash = reference.find('\\');
    std::string root = reference.substr(0, slash);
    if (root == "HKEY_CURRENT_USER")
        hive = platform::Hive::CurrentUser;
    else if (root == "HKEY_LOCAL_MACHINE")
        hive = platform::Hive::LocalMachine;
    else
        return false;
    keyPath.clear();
    if (slash == std::string::npos)
        return true;
    std::string rest = reference.substr(slash + 1);
    if (emptyParts == EmptyKeyParts::Keep) {
        keyPath = rest;
        return true;
    }
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos)
            end = rest.size();
        if (end > start) {
            if (!keyPath.empty())
                keyPath += '\\';
            keyPath += rest.substr(start, end - start);
        }
        start = end + 1;
    }
    return true;
}

namespace {

// The hive and key path of an existing key; empty parts (doubled or trailing "\") are skipped.
bool OpenReference(const std::string& reference, platform::Hive& hive, std::string& keyPath) {
    if (!SplitRegistryReference(reference, EmptyKeyParts::Skip, hive, keyPath))
        return false;
    return keyPath.empty() || platform::RegistryStore::ForHive(hive).KeyExists(keyPath);
}

std::optional<platform::RegistryValue> ReadReferenceValue(const std::string& reference, const std::string& valueName) {
    platform::Hive hive;
    std::string keyPath;
    if (!OpenReference(reference, hive, keyPath))
        return std::nullopt;
    return platform::RegistryStore::ForHive(hive).ReadValue(keyPath, valueName == "@" ? "" : valueName);
}

}  // namespace

bool KeyExists(const std::string& reference) {
    if (reference == kDuskmarchMarker || reference == kIronvaleMarker)
        return true;
    platform::Hive hive;
    std::string keyPath;
    return OpenReference(reference, hive, keyPath);
}

std::string ReadRegistryString(const std::string& reference, const std::string& valueName) {
    auto value = ReadReferenceValue(reference, valueName);
    if (!value || (value->type != platform::ValueType::String && value->type != platform::ValueType::ExpandString))
        return {};
    // Text ends at its first zero, as the stored wide string does; text that is not
    // UTF-8 (a file edited by hand) fails like a failed conversion. No length limit.
    std::string text = value->data.substr(0, value->data.find('\0'));
    return IsValidUtf8(text) ? text : std::string();
}

uint32_t ReadRegistryDword(const std::string& reference, const std::string& valueName) {
    auto value = ReadReferenceValue(reference, valueName);
    if (!value || value->type != platform::ValueType::Dword)
        return 0;
    return value->dword;
}
