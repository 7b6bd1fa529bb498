#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

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

    // Requests: never through a proxy, never hanging.
    long connectTimeoutSeconds = 5;
    long stallSeconds = 30;           // given up after this long without a byte
    uint64_t replyCap = 16ull << 20;  // reply bodies; the installer has none
    // The library's 5000 ms steps go through this; tests scale or record them.
    std::function<void(int64_t ms)> sleep;

    void Sleep(int64_t ms) const;

private:
    PmbSettings();
    std::atomic<int> port{kDefaultPort};
    mutable std::mutex lock;
    std::wstring minimumVersion = L"2.3.0.0";
};
