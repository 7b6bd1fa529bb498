#include "plugins/activex/ControlRegistration.h"

#include <cerrno>
#include <functional>
#include <vector>

#include "platform/RegistryStore.h"

namespace ControlRegistration {

namespace {

using platform::RegistryValue;

const char kClassName[] = "LauncherCtl Class";
const char kProgId[] = "Tessaline.LauncherCtl.1";
const char kIndependentProgId[] = "Tessaline.LauncherCtl";
const char kTypeLibId[] = "{BBD4C710-71F5-11D2-8BB0-000000001235}";
const size_t kDescriptionChars = 127;  // the category record's field holds 128 with the terminator

platform::RegistryStore& Store() {
    return platform::RegistryStore::ForHive(platform::Hive::LocalMachine);
}

std::string Key(const std::string& relative) {
    return std::string(kClassesRoot) + "\\" + relative;
}

std::string ClassKey() {
    return Key(std::string("CLSID\\") + kClassId);
}

HRESULT FromErrno(int error) {
    if (error == 0)
        return S_OK;
    return (error == EACCES || error == EPERM || error == EROFS) ? E_ACCESSDENIED : E_FAIL;
}

// Writes the default value of a key (creating it); 0 or an errno value.
int SetDefault(const std::string& key, const std::string& text) {
    return Store().WriteValue(key, "", RegistryValue::Text(text));
}

int RemoveKey(const std::string& key) {
    const int error = Store().DeleteKey(key);
    return error == ENOENT ? 0 : error;
}

HRESULT RunScript(const std::string& modulePath) {
    const std::string cls = ClassKey();
    // The script's writes in order; the first failure ends it.
    const std::vector<std::function<int()>> steps = {
        [&] { return SetDefault(Key(kProgId), kClassName); },
        [&] { return SetDefault(Key(kProgId) + "\\CLSID", kClassId); },
        [&] { return SetDefault(Key(kIndependentProgId), kClassName); },
        [&] { return SetDefault(Key(kIndependentProgId) + "\\CLSID", kClassId); },
        [&] { return SetDefault(Key(kIndependentProgId) + "\\CurVer", kProgId); },
        [&] { return RemoveKey(cls); },  // the class key is written afresh
        [&] { return SetDefault(cls, kClassName); },
        [&] { return SetDefault(cls + "\\ProgID", kProgId); },
        [&] { return SetDefault(cls + "\\VersionIndependentProgID", kIndependentProgId); },
        [&] { return Store().CreateKey(cls + "\\Programmable"); },
        [&] { return Store().CreateKey(cls + "\\Control"); },
        [&] { return Store().CreateKey(cls + "\\Insertable"); },
        [&] { return SetDefault(cls + "\\InprocServer32", modulePath); },
        [&] {
            return Store().WriteValue(cls + "\\InprocServer32", "ThreadingModel", RegistryValue::Text("Apartment"));
        },
        [&] { return SetDefault(cls + "\\MiscStatus", "0"); },
        [&] { return SetDefault(cls + "\\MiscStatus\\1", "131473"); },
        [&] { return SetDefault(cls + "\\TypeLib", kTypeLibId); },
        [&] { return SetDefault(cls + "\\Version", "1.0"); },
    };
    for (const auto& step : steps) {
        if (const int error = step())
            return FromErrno(error);
    }
    return S_OK;
}

HRESULT CreateCategory(const char* catid, const std::string& description) {
    const std::string text = description.substr(0, kDescriptionChars);
    return FromErrno(
        Store().WriteValue(Key(std::string("Component Categories\\") + catid), "409", RegistryValue::Text(text)));
}

HRESULT ImplementCategory(const char* catid) {
    return FromErrno(Store().CreateKey(ClassKey() + "\\Implemented Categories\\" + catid));
}

HRESULT RemoveImplementedCategory(const char* catid) {
    return FromErrno(RemoveKey(ClassKey() + "\\Implemented Categories\\" + catid));
}

}  // namespace

HRESULT Register(const std::string& modulePath) {
    HRESULT hr = RunScript(modulePath);
    if (hr == S_OK)
        hr = CreateCategory(kSafeForInitializing, "Controls safely initializable from persistent data!");
    if (hr == S_OK)
        hr = ImplementCategory(kSafeForInitializing);
    if (hr == S_OK)
        hr = CreateCategory(kSafeForScripting, "Controls safely scriptable!");
    if (hr == S_OK)
        hr = ImplementCategory(kSafeForScripting);
    return hr;
}

HRESULT Unregister() {
    int e = RemoveKey(Key(kProgId));
    if (e == 0)
        e = RemoveKey(Key(kIndependentProgId));
    if (e == 0)
        e = RemoveKey(ClassKey());
    HRESULT hr = FromErrno(e);
    if (hr == S_OK)
        hr = RemoveImplementedCategory(kSafeForInitializing);
    if (hr == S_OK)
        hr = RemoveImplementedCategory(kSafeForScripting);
    return hr;
}

}  // namespace ControlRegistration
