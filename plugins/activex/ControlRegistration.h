#pragma once
#include <string>

#include "plugins/activex/ComTypes.h"

// The control's registration in our store: HKEY_CLASSES_ROOT is
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes of the machine-wide hive. Register writes
// the ProgIDs, the class key and the two safety categories (kept as the category
// manager keeps them: "Component Categories\{CATID}" with the description in
// value "409", and the class's "Implemented Categories\{CATID}"). Each makes
// all its changes in one write of the hive and returns its HRESULT: a failure,
// a kill or a power cut leaves the hive as it was or with every change made.
// There is no type library on Linux, so none is registered.
namespace ControlRegistration {

constexpr const char* kClassesRoot = "SOFTWARE\\Classes";
constexpr const char* kClassId = "{BBD4C71D-71F5-11D2-8BB0-000000001235}";
constexpr const char* kSafeForInitializing = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
constexpr const char* kSafeForScripting = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

HRESULT Register(const std::string& modulePath);
// Removes the ProgIDs, the class key with all under it and the class's category
// listings; the categories and "CLSID" stay. What is gone already counts as removed.
HRESULT Unregister();

}  // namespace ControlRegistration
