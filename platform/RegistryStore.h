#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryValue.h"

namespace platform {

enum class Hive { CurrentUser, LocalMachine };

// One registry hive kept in a text file (".reg" export format). Key paths use "\"
// between their parts and are relative to the hive ("Software\Brindlemoor\Quor!").
// Key and value names compare without regard to ASCII case and keep the case they
// were first written in. The empty value name is the key's default value.
//
// Safe across processes: every write takes an exclusive flock on "<file>.lock",
// re-reads the file, applies its change, writes a temporary file, fsyncs it and
// renames it into place. Reads see the newest file (re-parsed only when it changed).
//
// A key path deeper than RegistryTree::kMaxDepth is refused (EINVAL); a file
// holding one is damaged, and that key with its values is left out.
//
// A damaged file (cut short, edited by hand) is used as far as it can be read; the
// damage is reported once on standard error, and the first write afterwards keeps
// the file as it was found in "<file>.bad". A missing file and its folders are
// created by the first write: private to the user for HKEY_CURRENT_USER, readable
// by everyone for the machine-wide HKEY_LOCAL_MACHINE.
class RegistryStore {
public:
    explicit RegistryStore(std::string filePath, Hive hive = Hive::CurrentUser);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The store of a hive, at the file QUOR_HKCU_FILE / QUOR_HKLM_FILE names, else
    // $XDG_CONFIG_HOME/Brindlemoor/hkcu.reg and /etc/xdg/Brindlemoor/hklm.reg.
    // The environment is read on every call, so tests may point a hive elsewhere.
    static RegistryStore& ForHive(Hive hive);

    const std::string& FilePath() const { return path; }

    bool KeyExists(const std::string& keyPath);
    std::optional<RegistryValue> ReadValue(const std::string& keyPath, const std::string& valueName);
    std::vector<std::string> ValueNames(const std::string& keyPath);
    std::vector<std::string> SubkeyNames(const std::string& keyPath);

    // Writes return 0 on success, else an errno value (ENOENT: nothing to delete;
    // EINVAL: a key name with a control character, or a key path too deep).
    int CreateKey(const std::string& keyPath);
    int WriteValue(const std::string& keyPath, const std::string& valueName, const RegistryValue& value);
    int DeleteValue(const std::string& keyPath, const std::string& valueName);
    int DeleteKey(const std::string& keyPath);  // with its subkeys

private:
    struct Impl;
    std::string path;
    std::recursive_mutex mutex;
    std::shared_ptr<Impl> impl;
};

}  // namespace platform
