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
// re-reads the file, applies its change, writes a temporary file, fsyncs it,
// renames it into place and fsyncs the folder; so a power cut leaves the old file
// or the new one, and a write that returned is durable. A write of several edits
// puts them all in place at once or none of them. Temporary files of writes that
// were killed are removed by the next write. Reads see the newest file
// (re-parsed only when it changed).
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
    // A program never frees these stores: it ends with _exit, and its threads may
    // use a store until then.
    static RegistryStore& ForHive(Hive hive);
    // Frees every store ForHive made, for the unload of a shared library (see
    // platform/LibraryUnload.cpp): nothing of this copy of the code may use one
    // then or afterwards.
    static void ReleaseAll();

    const std::string& FilePath() const { return path; }

    bool KeyExists(const std::string& keyPath);
    std::optional<RegistryValue> ReadValue(const std::string& keyPath, const std::string& valueName);
    std::vector<std::string> ValueNames(const std::string& keyPath);
    std::vector<std::string> SubkeyNames(const std::string& keyPath);

    // One change of a write; see Write.
    struct Edit {
        enum class Kind { CreateKey, WriteValue, DeleteValue, DeleteKey };
        Kind kind;
        std::string keyPath;
        std::string valueName;
        RegistryValue value;

        static Edit CreateKey(std::string keyPath);
        static Edit WriteValue(std::string keyPath, std::string valueName, RegistryValue value);
        static Edit DeleteValue(std::string keyPath, std::string valueName);
        static Edit DeleteKey(std::string keyPath);  // with its subkeys
    };

    // Makes the edits in their order, in one write of the file: a power cut or a
    // kill leaves all of them or none. What is already so, and a delete of what is
    // not there, changes nothing (when nothing changes, nothing is written).
    // 0 on success, else an errno value (EINVAL: a key to make named with a
    // control character, a key path too deep, or the hive itself to delete; then
    // nothing is written).
    int Write(const std::vector<Edit>& edits);

    // Writes of one edit each, as Write; the deletes give ENOENT when there was
    // nothing to delete.
    int CreateKey(const std::string& keyPath);
    int WriteValue(const std::string& keyPath, const std::string& valueName, const RegistryValue& value);
    int DeleteValue(const std::string& keyPath, const std::string& valueName);
    int DeleteKey(const std::string& keyPath);  // with its subkeys

private:
    int Write(const std::vector<Edit>& edits, bool& changed);

    struct Impl;
    std::string path;
    std::recursive_mutex mutex;
    std::shared_ptr<Impl> impl;
};

}  // namespace platform
