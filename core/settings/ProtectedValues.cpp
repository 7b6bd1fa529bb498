#include "core/settings/ProtectedValues.h"

#include <cerrno>

#include "core/text/StringUtils.h"
#include "platform/ProtectedStore.h"
#include "platform/RegistryStore.h"

int SaveProtectedValue(const std::string& keyPath, const std::string& valueName, const std::string& plain) {
    // The names are wide strings in the registry: what does not convert is refused.
    if (!IsValidUtf8(keyPath) || !IsValidUtf8(valueName))
        return EILSEQ;
    auto& store = platform::RegistryStore::ForHive(platform::Hive::CurrentUser);
    if (int error = store.CreateKey(keyPath); error != 0)
        return error;
    std::string blob;
    if (int error = platform::ProtectedStore::ForCurrentUser().Protect(plain, blob); error != 0)
        return error;
    return store.WriteValue(keyPath, valueName, platform::RegistryValue::Bytes(std::move(blob)));
}

std::string LoadProtectedValue(const std::string& keyPath, const std::string& valueName) {
    auto value = platform::RegistryStore::ForHive(platform::Hive::CurrentUser).ReadValue(keyPath, valueName);
    if (!value)
        return {};
    // The type is not checked: whatever is not a blob of ours fails to unprotect.
    return platform::ProtectedStore::ForCurrentUser().Unprotect(value->data).value_or(std::string());
}
