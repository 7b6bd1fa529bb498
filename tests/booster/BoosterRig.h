#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "booster/PmbInstallation.h"
#include "booster/PmbLib.h"
#include "booster/PmbLibraryState.h"
#include "booster/PmbSettings.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/StandInBooster.h"
#include "tests/fixtures/TestEnvironment.h"

// The library's process-wide settings as they were, put back at the end (so a
// test may change any of them), and its state made afresh at both ends, as at
// load: no token, no installer, no started program carries over to the next
// test of the process.
struct FreshLibrary {
    PmbSettings& settings = PmbSettings::Get();
    const int port = settings.Port();
    const std::wstring minimumVersion = settings.MinimumVersion();
    const std::function<void(int64_t)> sleep = settings.sleep;
    const FreeSpaceQuery freeSpace = settings.freeSpace;
    const long stallSeconds = settings.stallSeconds;
    const long requestSeconds = settings.requestSeconds;
    const long installerSeconds = settings.installerSeconds;
    const uint64_t replyCap = settings.replyCap;
    const uint64_t installerCap = settings.installerCap;
    const uint64_t freeSpaceReserveBytes = settings.freeSpaceReserveBytes;

    FreshLibrary() { PmbLibraryState::Reset(); }
    ~FreshLibrary() {
        PmbLibraryState::Reset();
        settings.SetPort(port);
        settings.SetMinimumVersion(minimumVersion);
        settings.sleep = sleep;
        settings.freeSpace = freeSpace;
        settings.stallSeconds = stallSeconds;
        settings.requestSeconds = requestSeconds;
        settings.installerSeconds = installerSeconds;
        settings.replyCap = replyCap;
        settings.installerCap = installerCap;
        settings.freeSpaceReserveBytes = freeSpaceReserveBytes;
    }
};

// One booster test's world: a private HOME and hives, a fresh library, a
// stand-in booster on an ephemeral port that the library is pointed at, and
// the library's pauses recorded (and shortened to a fiftieth, so a started
// child has time to listen).
struct BoosterRig {
    TestEnvironment env;
    FreshLibrary library;
    StandInBooster booster;
    std::mutex sleepLock;
    std::vector<int64_t> sleeps;
    std::atomic<int64_t> scale{50};  // a pause really lasts ms / scale

    BoosterRig() {
        PMB_Lib_SetPMBPort(booster.Port());
        PmbSettings::Get().sleep = [this](int64_t ms) {
            {
                std::lock_guard<std::mutex> guard(sleepLock);
                sleeps.push_back(ms);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(ms / scale));
        };
    }

    size_t SleepCount() {
        std::lock_guard<std::mutex> guard(sleepLock);
        return sleeps.size();
    }

    // Registers a booster in Quor's HKEY_CURRENT_USER hive; with pmbExe the
    // folder gets that file as PMB.exe (executable).
    std::string Register(const std::string& version = "2.3.0.0", const std::string& pmbExe = {}) {
        const std::string folder = env.Path("Pando/PMB");
        std::filesystem::create_directories(folder);
        if (!pmbExe.empty()) {
            std::filesystem::copy_file(pmbExe, folder + "/PMB.exe", std::filesystem::copy_options::overwrite_existing);
            std::filesystem::permissions(folder + "/PMB.exe", std::filesystem::perms::owner_all);
        }
        auto& store = platform::RegistryStore::ForHive(platform::Hive::CurrentUser);
        store.WriteValue(kPmbKey, "Version Number", platform::RegistryValue::Text(version));
        store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(folder));
        return folder;
    }

    // A PMB.exe that only notes that it was started (in <folder>/started).
    std::string RegisterRecordingBooster(const std::string& version = "2.3.0.0") {
        const std::string script =
            env.WriteFile("recording-pmb", "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started\"\n");
        return Register(version, script);
    }

    static std::string StandInProgram() { return std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_stand_in_pmb"; }
};
