#include "app/SingleInstance.h"

#include <cstdlib>
#include <memory>

#include "platform/InstanceLock.h"
#include "platform/XdgPaths.h"

namespace SingleInstance {

namespace {

constexpr const char* kLockName = "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}";
constexpr const char* kEventName = "Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show";
constexpr int64_t kStartupWaitMs = 10000;

constexpr size_t kMaxTokenBytes = 512;

bool handedOver = false;
std::string startupToken;

std::unique_ptr<platform::InstanceLock>& Lock() {
    static std::unique_ptr<platform::InstanceLock> lock;
    return lock;
}

}  // namespace

void Acquire() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            startupToken = ValidStartupToken(value);
            break;
        }
    }
    if (!Lock())
        Lock() = std::make_unique<platform::InstanceLock>(platform::XdgRuntimeDir(), kLockName, kStartupWaitMs);
}

bool IsSecond() {
    return Lock() && !Lock()->IsFirst();
}

void MarkReady() {
    if (Lock())
        Lock()->MarkReady();
}

std::string ShowWindowEventPath() {
    std::string folder = platform::XdgRuntimeDir();
    return folder.empty() ? std::string() : folder + "/" + kEventName;
}

std::string StartupToken() {
    return startupToken;
}

std::string ValidStartupToken(const std::string& text) {
    if (text.empty() || text.size() > kMaxTokenBytes)
        return {};
    for (char c : text)
        if (c < 0x21 || c > 0x7e)
            return {};
    return text;
}

void MarkHandedOver() {
    handedOver = true;
}

bool HandedOver() {
    return handedOver;
}

}  // namespace SingleInstance
