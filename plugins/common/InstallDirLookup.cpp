#include "plugins/common/InstallDirLookup.h"

#include "platform/RegistryStore.h"

InstallDirLookup::InstallDirLookup(std::string productKey) : productKey(std::move(productKey)) {}

std::string InstallDirLookup::GetInstallDir() {
    auto& store = platform::RegistryStore::ForHive(platform::Hive::LocalMachine);
    const auto value = store.ReadValue("SOFTWARE\\Brindlemoor\\" + productKey, "Install_Dir");
    std::lock_guard<std::mutex> guard(lock);
    if (value) {
        const bool fits = value->data.size() + 1 < kBufferSize;
        folder = (value->type == platform::ValueType::String && fits) ? value->data : std::string();
    }
    return folder;
}
