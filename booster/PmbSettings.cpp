#include "booster/PmbSettings.h"

#include <chrono>
#include <cstdlib>
#include <thread>

PmbSettings::PmbSettings() {
    sleep = [](int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

PmbSettings& PmbSettings::Get() {
    static PmbSettings settings;
    return settings;
}

std::wstring PmbSettings::MinimumVersion() const {
    std::lock_guard<std::mutex> guard(lock);
    return minimumVersion;
}

void PmbSettings::SetMinimumVersion(const std::wstring& value) {
    std::lock_guard<std::mutex> guard(lock);
    minimumVersion = value;
}

std::string PmbSettings::InstallerUrl() {
    const char* overridden = std::getenv("QUOR_BOOSTER_INSTALLER_URL");
    if (overridden && *overridden)
        return overridden;
    return QUOR_BOOSTER_INSTALLER_URL;
}

void PmbSettings::Sleep(int64_t ms) const {
    if (sleep)
        sleep(ms);
}

std::optional<uint64_t> PmbSettings::FreeBytes(const std::string& folder) const {
    const std::optional<DiskFreeBytes> bytes = freeSpace ? freeSpace(folder) : GetDiskFreeBytes(folder);
    if (!bytes)
        return std::nullopt;
    return bytes->freeForUser;
}
