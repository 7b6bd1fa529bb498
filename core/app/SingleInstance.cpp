#include "core/app/SingleInstance.h"

#include <memory>

#include "platform/InstanceLock.h"
#include "platform/XdgPaths.h"

namespace SingleInstance {

namespace {

constexpr const char* kLockName = "Brindlemoor-Quor-{B989F3F5-DE31-434E-BD6C-E02FF2B5D05D}";
constexpr const char* kEventName = "Brindlemoor-Quor-{278EF617-35A5-498D-A5AD-843E6902F881}.show";
constexpr int64_t kStartupWaitMs = 10000;

bool handedOver = false;

std::unique_ptr<platform::InstanceLock>& Lock() {
    static std::unique_ptr<platform::InstanceLock> lock;
    return lock;
}

}  // namespace

void Acquire() {
    if (!Lock())
        Lock() = std::make_unique<platform::InstanceLock>(platform::XdgRuntimeDir(), kLockName,
                                                          kStartupWaitMs);
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

void MarkHandedOver() {
    handedOver = true;
}

bool HandedOver() {
    return handedOver;
}

}  // namespace SingleInstance
