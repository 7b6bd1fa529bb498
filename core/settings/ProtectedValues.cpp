#include "core/settings/ProtectedValues.h"

#include <cerrno>

#include "core/text/StringUtils.h"
#include "platform/ProtectedStore.h"
#include "platform/RegistryStore.h"

int SaveProtectedValue(const std::string& keyPath, const std::string& valueName, const std::string& plain) {
    return SaveProtectedValues(keyPath, {{valueName, plain}});
}

int SaveProtectedValues(const std::string& keyPath, const std::vector<std::pair<std::string, std::string>>& values) {
    // The names are wide strings in the registry: what does not convert is refused.
    if (!IsValidUtf8(keyPath))
        return EILSEQ;
    const platform::ProtectedStore protection = platform::ProtectedStore::ForCurrentUser();
    std::vector<platform::RegistryStore::Edit> edits;
    for (const auto& [name, plain] : values) {
        if (!IsValidUtf8(name))
            return EILSEQ;
        // The key is durable before Protect returns, so the blobs never outlive it.
        std::string blob;
        if (int error = protection.Protect(plain, blob); error != 0)
            return error;
        edits.push_back(
            platform::RegistryStore::Edit::WriteValue(keyPath, name, platform::RegistryValue::Bytes(std::move(blob))));
    }
    return platform::RegistryStore::ForHive(platform::Hive::CurrentUser).Write(edits);
}

std::string LoadProtectedValue(const std::string& keyPath, const std::string& valueName) {
    auto value = platform::RegistryStore::ForHive(platform::Hive::CurrentUser).ReadValue(keyPath, valueName);
    if (!value)
        return {};
    // The type is not checked: whatever is not a blob of ours fails to unprotect.
    return platform::ProtectedStore::ForCurrentUser().Unprotect(value->data).value_or(std::string());
}
