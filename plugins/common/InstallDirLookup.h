#pragma once
#include <mutex>
#include <string>

// Finds the launcher's folder: HKEY_LOCAL_MACHINE
// "SOFTWARE\Brindlemoor\<product>", value "Install_Dir". Each add-on has one
// per process, with its own product key. A query that finds no value keeps the
// folder of the last successful lookup; a value that is not REG_SZ or does not
// fit the 2048-byte buffer empties it. Safe from several threads.
class InstallDirLookup {
public:
    static constexpr size_t kBufferSize = 2048;  // with the terminator

    explicit InstallDirLookup(std::string productKey);

    std::string GetInstallDir();

private:
    const std::string productKey;
    std::mutex lock;
    std::string folder;
};
