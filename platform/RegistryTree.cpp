#include "platform/RegistryTree.h"

#include <utility>

namespace platform {

namespace {

// Calls part(text) for each non-empty part of the path, in order, until it returns false.
template <typename Part>
bool EachPart(std::string_view keyPath, Part part) {
    size_t start = 0;
    while (start <= keyPath.size()) {
        size_t end = keyPath.find('\\', start);
        if (end == std::string_view::npos)
            end = keyPath.size();
        if (end > start && !part(keyPath.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

std::unique_ptr<RegistryTree::Key> Copy(const RegistryTree::Key& key) {
    auto copy = std::make_unique<RegistryTree::Key>();
    copy->name = key.name;
    copy->values = key.values;
    for (const auto& [folded, subkey] : key.subkeys)
        copy->subkeys.emplace(folded, Copy(*subkey));
    return copy;
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.type == b.type && a.data == b.data && a.dword == b.dword;
}

}  // namespace

std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::vector<std::string> SplitKeyPath(std::string_view keyPath) {
    std::vector<std::string> parts;
    EachPart(keyPath, [&](std::string_view part) {
        parts.emplace_back(part);
        return true;
    });
    return parts;
}

size_t KeyPathDepth(std::string_view keyPath) {
    size_t depth = 0;
    EachPart(keyPath, [&](std::string_view) {
        ++depth;
        return true;
    });
    return depth;
}

bool RegistryTree::Key::SetValue(const std::string& valueName, const RegistryValue& value) {
    auto [it, created] = values.try_emplace(FoldName(valueName), valueName, value);
    if (created)
        return true;
    if (SameValue(it->second.second, value))
        return false;
    it->second.second = value;
    return true;
}

RegistryTree::RegistryTree() : root(std::make_unique<Key>()) {}

RegistryTree::RegistryTree(const RegistryTree& other) : root(Copy(*other.root)) {}

RegistryTree& RegistryTree::operator=(const RegistryTree& other) {
    if (this != &other)
        root = Copy(*other.root);
    return *this;
}

RegistryTree::RegistryTree(RegistryTree&& other) : root(std::exchange(other.root, std::make_unique<Key>())) {}

RegistryTree& RegistryTree::operator=(RegistryTree&& other) {
    if (this != &other)
        root = std::exchange(other.root, std::make_unique<Key>());
    return *this;
}

RegistryTree::~RegistryTree() = default;

RegistryTree::Key* RegistryTree::FindMutable(std::string_view keyPath) {
    Key* key = root.get();
    std::string folded;
    bool found = EachPart(keyPath, [&](std::string_view part) {
        folded = FoldName(part);
        auto it = key->subkeys.find(folded);
        if (it == key->subkeys.end())
            return false;
        key = it->second.get();
        return true;
    });
    return found ? key : nullptr;
}

const RegistryTree::Key* RegistryTree::Find(std::string_view keyPath) const {
    return const_cast<RegistryTree*>(this)->FindMutable(keyPath);
}

RegistryTree::Key* RegistryTree::Ensure(std::string_view keyPath) {
    // Counted first, so that a refused path leaves no part of itself behind.
    if (KeyPathDepth(keyPath) > kMaxDepth)
        return nullptr;
    Key* key = root.get();
    EachPart(keyPath, [&](std::string_view part) {
        auto [it, created] = key->subkeys.try_emplace(FoldName(part));
        if (created) {
            it->second = std::make_unique<Key>();
            it->second->name = part;
        }
        key = it->second.get();
        return true;
    });
    return key;
}

bool RegistryTree::SetValue(std::string_view keyPath, const std::string& valueName, const RegistryValue& value) {
    Key* key = Ensure(keyPath);
    return key && key->SetValue(valueName, value);
}

bool RegistryTree::DeleteValue(std::string_view keyPath, const std::string& valueName) {
    Key* key = FindMutable(keyPath);
    return key && key->values.erase(FoldName(valueName)) > 0;
}

bool RegistryTree::DeleteKey(std::string_view keyPath) {
    std::vector<std::string> parts = SplitKeyPath(keyPath);
    if (parts.empty())
        return false;
    std::string last = FoldName(parts.back());
    parts.pop_back();
    Key* parent = root.get();
    for (const std::string& part : parts) {
        auto it = parent->subkeys.find(FoldName(part));
        if (it == parent->subkeys.end())
            return false;
        parent = it->second.get();
    }
    return parent->subkeys.erase(last) > 0;
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
    if (const Key* key = Find(keyPath))
        for (const auto& [folded, subkey] : key->subkeys)
            names.push_back(subkey->name);
    return names;
}

void RegistryTree::ForEachKey(const std::function<void(const std::string& path, const Key& key)>& visit) const {
    // Depth first with one path that grows and shrinks: the work is that of the
    // paths handed out, never more.
    std::string path;
    std::function<void(const Key&)> walk = [&](const Key& key) {
        visit(path, key);
        for (const auto& [folded, subkey] : key.subkeys) {
            size_t length = path.size();
            if (!path.empty())
                path += '\\';
            path += subkey->name;
            walk(*subkey);
            path.resize(length);
        }
    };
    walk(*root);
}

}  // namespace platform
