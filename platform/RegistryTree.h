#pragma once
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
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
// How many parts the path has, counted without copying them.
size_t KeyPathDepth(std::string_view keyPath);

// The keys and values of one hive in memory, as a tree: each key holds its own
// name only, so memory grows with the names written, never with the square of a
// path's depth. Keys are found by their path, each part compared folded; each
// keeps the case of its first writing. The root (path "") always exists.
//
// No key lies deeper than kMaxDepth levels (the Windows registry's own limit):
// Ensure and SetValue refuse such a path and change nothing.
class RegistryTree {
public:
    static constexpr size_t kMaxDepth = 512;

    struct Key {
        std::string name;  // this key's own name as first written ("" for the root)
        // folded value name -> (name as first written, value); "" is the default value
        std::map<std::string, std::pair<std::string, RegistryValue>> values;
        std::map<std::string, std::unique_ptr<Key>> subkeys;  // folded name -> key

        // The name keeps the case of its first writing; false when the value was already so.
        bool SetValue(const std::string& valueName, const RegistryValue& value);
    };

    RegistryTree();
    RegistryTree(const RegistryTree& other);
    RegistryTree& operator=(const RegistryTree& other);
    // A tree moved from is left empty, the root still there.
    RegistryTree(RegistryTree&& other);
    RegistryTree& operator=(RegistryTree&& other);
    ~RegistryTree();

    const Key* Find(std::string_view keyPath) const;
    // Creates the key and its missing parents; returns it, or null for a path
    // deeper than kMaxDepth.
    Key* Ensure(std::string_view keyPath);
    // False when the value is already so or the path is too deep.
    bool SetValue(std::string_view keyPath, const std::string& valueName, const RegistryValue& value);
    bool DeleteValue(std::string_view keyPath, const std::string& valueName);
    bool DeleteKey(std::string_view keyPath);  // with its subkeys; never the root

    std::vector<std::string> ValueNames(std::string_view keyPath) const;
    std::vector<std::string> SubkeyNames(std::string_view keyPath) const;

    // Every key, the root first, each before its subkeys, with its path (each
    // part as first written, "\" between them).
    void ForEachKey(const std::function<void(const std::string& path, const Key& key)>& visit) const;

private:
    Key* FindMutable(std::string_view keyPath);
    std::unique_ptr<Key> root;
};

}  // namespace platform
