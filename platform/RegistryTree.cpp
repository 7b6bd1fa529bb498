#include "platform/RegistryTree.h"

namespace platform {

std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::vector<std::string> SplitKeyPath(std::string_view keyPath) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string_view::npos)
            end = keyPath.size();
        if (end > start)
            parts.emplace_back(keyPath.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

RegistryTree::RegistryTree() {
    keys[""];
}

std::string RegistryTree::FoldedPath(std::string_view keyPath) {
    std::string folded;
    for (const std::string& part : SplitKeyPath(keyPath)) {
        if (!folded.empty())
            folded += '\\';
        folded += FoldName(part);
    }
    return folded;
}

const RegistryTree::Key* RegistryTree::Find(std::string_view keyPath) const {
    auto it = keys.find(FoldedPath(keyPath));
    return it == keys.end() ? nullptr : &it->second;
}

RegistryTree::Key& RegistryTree::Ensure(std::string_view keyPath) {
    std::string folded;
    Key* key = &keys[""];
    for (const std::string& part : SplitKeyPath(keyPath)) {
        if (!folded.empty())
            folded += '\\';
        folded += FoldName(part);
        auto [it, created] = keys.try_emplace(folded);
        if (created) {
            it->second.name = part;
            it->second.path = key->path.empty() ? part : key->path + '\\' + part;
        }
        key = &it->second;
    }
    return *key;
}

void RegistryTree::SetValue(std::string_view keyPath, const std::string& valueName, const RegistryValue& value) {
    auto& values = Ensure(keyPath).values;
    auto [it, created] = values.try_emplace(FoldName(valueName), valueName, value);
    if (!created)
        it->second.second = value;  // the name keeps the case of its first writing
}

bool RegistryTree::DeleteValue(std::string_view keyPath, const std::string& valueName) {
    auto it = keys.find(FoldedPath(keyPath));
    return it != keys.end() && it->second.values.erase(FoldName(valueName)) > 0;
}

bool RegistryTree::DeleteKey(std::string_view keyPath) {
    std::string folded = FoldedPath(keyPath);
    if (folded.empty())
        return false;
    auto it = keys.find(folded);
    if (it == keys.end())
        return false;
    keys.erase(it);
    // The subkeys lie together in the order of folded paths (though not directly
    // after their parent: "a b" sorts between "a" and "a\\b").
    std::string prefix = folded + '\\';
    auto begin = keys.lower_bound(prefix);
    auto end = begin;
    while (end != keys.end() && end->first.compare(0, prefix.size(), prefix) == 0)
        ++end;
    keys.erase(begin, end);
    return true;
}

std::vector<std::string> RegistryTree::ValueNames(std::string_view keyPath) const {
    std::vector<std::string> names;
    if (const Key* key = Find(keyPath))
        for (const auto& [folded, entry] : key->values)
            names.push_back(entry.first);
    return names;
}

std::vector<std::string> RegistryTree::SubkeyNames(std::string_view keyPath) const {
    std::vector<std::string> names;
    std::string folded = FoldedPath(keyPath);
    if (!keys.count(folded))
        return names;
    std::string prefix = folded.empty() ? std::string() : folded + '\\';
    for (auto it = keys.lower_bound(prefix); it != keys.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        if (it->first.size() > prefix.size() && it->first.find('\\', prefix.size()) == std::string::npos)
            names.push_back(it->second.name);
    }
    return names;
}

std::vector<const RegistryTree::Key*> RegistryTree::AllKeys() const {
    std::vector<const Key*> all;
    for (const auto& entry : keys)
        all.push_back(&entry.second);
    return all;
}

}  // namespace platform
