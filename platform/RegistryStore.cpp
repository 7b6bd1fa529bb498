// Provisional in-memory store so that the layers above build and run; the
// file-backed store replaces it.
#include "platform/RegistryStore.h"

#include <cstdlib>
#include <map>

namespace platform {

namespace {
std::string Fold(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}
}  // namespace

struct RegistryStore::Impl {
    std::map<std::string, std::map<std::string, RegistryValue>> keys;
};

RegistryStore::RegistryStore(std::string filePath) : path(std::move(filePath)), impl(std::make_shared<Impl>()) {}

RegistryStore& RegistryStore::ForHive(Hive hive) {
    static std::mutex m;
    static std::map<std::string, std::unique_ptr<RegistryStore>> stores;
    const char* env = std::getenv(hive == Hive::CurrentUser ? "QUOR_HKCU_FILE" : "QUOR_HKLM_FILE");
    std::string file = env ? env : (hive == Hive::CurrentUser ? "hkcu.reg" : "hklm.reg");
    std::lock_guard<std::mutex> g(m);
    auto& s = stores[file];
    if (!s)
        s = std::make_unique<RegistryStore>(file);
    return *s;
}

bool RegistryStore::KeyExists(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    return impl->keys.count(Fold(keyPath)) > 0;
}

std::optional<RegistryValue> RegistryStore::ReadValue(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    auto k = impl->keys.find(Fold(keyPath));
    if (k == impl->keys.end())
        return std::nullopt;
    auto v = k->second.find(Fold(valueName));
    if (v == k->second.end())
        return std::nullopt;
    return v->second;
}

std::vector<std::string> RegistryStore::ValueNames(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    std::vector<std::string> names;
    auto k = impl->keys.find(Fold(keyPath));
    if (k != impl->keys.end())
        for (auto& [n, v] : k->second)
            names.push_back(n);
    return names;
}

std::vector<std::string> RegistryStore::SubkeyNames(const std::string&) { return {}; }

int RegistryStore::CreateKey(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    std::string folded = Fold(keyPath);
    for (size_t pos = 0; (pos = folded.find('\\', pos)) != std::string::npos; ++pos)
        impl->keys[folded.substr(0, pos)];
    impl->keys[folded];
    return 0;
}

int RegistryStore::WriteValue(const std::string& keyPath, const std::string& valueName, const RegistryValue& value) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    CreateKey(keyPath);
    impl->keys[Fold(keyPath)][Fold(valueName)] = value;
    return 0;
}

int RegistryStore::DeleteValue(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    auto k = impl->keys.find(Fold(keyPath));
    if (k != impl->keys.end())
        k->second.erase(Fold(valueName));
    return 0;
}

int RegistryStore::DeleteKey(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> g(mutex);
    impl->keys.erase(Fold(keyPath));
    return 0;
}

}  // namespace platform
