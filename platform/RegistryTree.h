#pragma once
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/RegistryValue.h"

namespace platform {

// Folds a key or value name for comparison: ASCII letters only, by a fixed rule
// that no locale changes (Turkish dotted and dotless i stay as they are).
std::string FoldName(std::string_view name);

// The parts of a key path ("\" between them); empty parts are skipped.
std::vector<std::string> SplitKeyPath(std::string_view keyPath);

// The keys and values of one hive in memory. Keys are found by their folded
// path; each keeps the case of its first writing. The root (path "") always exists.
class RegistryTree {
public:
    struct Key {
        std::string name;  // this key's own name as first written ("" for the root)
        std::string path;  // the full path, each part as first written
        // folded value name -> (name as first written, value); "" is the default value
        std::map<std::string, std::pair<std::string, RegistryValue>> values;
    };

    RegistryTree();

    const Key* Find(std::string_view keyPath) const;
    // Creates the key and its missing parents; returns it.
    Key& Ensure(std::string_view keyPath);
    void SetValue(std::string_view keyPath, const std::string& valueName, const RegistryValue& value);
    bool DeleteValue(std::string_view keyPath, const std::string& valueName);
    bool DeleteKey(std::string_view keyPath);  // with its subkeys; never the root

    std::vector<std::string> ValueNames(std::string_view keyPath) const;
    std::vector<std::string> SubkeyNames(std::string_view keyPath) const;

    // Every key, the root first, in the order of their folded paths.
    std::vector<const Key*> AllKeys() const;

private:
    static std::string FoldedPath(std::string_view keyPath);
    std::map<std::string, Key> keys;  // folded full path -> key
};

}  // namespace platform
