#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/DiskSpace.h"

// The booster client's process-wide settings. The limits and the sleep are
// injection points: tests shorten them; the library itself never changes them.
class PmbSettings {
public:
    static PmbSettings& Get();

    int Port() const { return port.load(); }
    void SetPort(int value) { port.store(value); }
    std::wstring MinimumVersion() const;
    void SetMinimumVersion(const std::wstring& value);

    // QUOR_BOOSTER_INSTALLER_URL, else the build's default.
    static std::string InstallerUrl();

    static constexpr const wchar_t* kClientId = L"PMB_Client";
    static constexpr const char* kInstallerFolder = "Pando_Temp";
    static constexpr int kDefaultPort = 60524;

    // Requests: never through a proxy, never hanging. A request is given up
    // after the stall limit without a byte and after its overall limit in any
    // case, so that a reply trickling in cannot hold a lock for long: a request
    // to the booster keeps the connect and stall waits within its minute, the
    // installer download has a quarter of an hour.
    long connectTimeoutSeconds = 5;
    long stallSeconds = 30;
    long requestSeconds = 60;
    long installerSeconds = 900;
    uint64_t replyCap = 16ull << 20;
    uint64_t installerCap = 512ull << 20;
    // The installer download leaves the reserve free on its disk (statvfs
    // unless freeSpace is set).
    uint64_t freeSpaceReserveBytes = kFreeSpaceReserveBytes;
    FreeSpaceQuery freeSpace;
    // The library's 5000 ms steps go through this; tests scale or record them.
    std::function<void(int64_t ms)> sleep;

    void Sleep(int64_t ms) const;
    std::optional<uint64_t> FreeBytes(const std::string& folder) const;

private:
    PmbSettings();
    std::atomic<int> port{kDefaultPort};
    mutable std::mutex lock;
    std::wstring minimumVersion = L"2.3.0.0";
};
