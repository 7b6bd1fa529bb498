#include "plugins/activex/ControlRegistration.h"

#include <cerrno>
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

using Edit = platform::RegistryStore::Edit;

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

// The edits in one write of the machine-wide hive: a failure, a kill or a power
// cut leaves all of them or none, never a ProgID naming a class that is not there.
HRESULT WriteAll(const std::vector<Edit>& edits) {
    return FromErrno(platform::RegistryStore::ForHive(platform::Hive::LocalMachine).Write(edits));
}

Edit SetDefault(const std::string& key, const std::string& text) {
    return Edit::WriteValue(key, "", RegistryValue::Text(text));
}

Edit CreateCategory(const char* catid, const std::string& description) {
    return Edit::WriteValue(Key(std::string("Component Categories\\") + catid), "409",
                            RegistryValue::Text(description.substr(0, kDescriptionChars)));
}

std::string ImplementedCategory(const char* catid) {
    return ClassKey() + "\\Implemented Categories\\" + catid;
}

}  // namespace

HRESULT Register(const std::string& modulePath) {
    const std::string cls = ClassKey();
    return WriteAll({
        SetDefault(Key(kProgId), kClassName),
        SetDefault(Key(kProgId) + "\\CLSID", kClassId),
        SetDefault(Key(kIndependentProgId), kClassName),
        SetDefault(Key(kIndependentProgId) + "\\CLSID", kClassId),
        SetDefault(Key(kIndependentProgId) + "\\CurVer", kProgId),
        Edit::DeleteKey(cls),  // the class key is written afresh
        SetDefault(cls, kClassName),
        SetDefault(cls + "\\ProgID", kProgId),
        SetDefault(cls + "\\VersionIndependentProgID", kIndependentProgId),
        Edit::CreateKey(cls + "\\Programmable"),
        Edit::CreateKey(cls + "\\Control"),
        Edit::CreateKey(cls + "\\Insertable"),
        SetDefault(cls + "\\InprocServer32", modulePath),
        Edit::WriteValue(cls + "\\InprocServer32", "ThreadingModel", RegistryValue::Text("Apartment")),
        SetDefault(cls + "\\MiscStatus", "0"),
        SetDefault(cls + "\\MiscStatus\\1", "131473"),
        SetDefault(cls + "\\TypeLib", kTypeLibId),
        SetDefault(cls + "\\Version", "1.0"),
        CreateCategory(kSafeForInitializing, "Controls safely initializable from persistent data!"),
        Edit::CreateKey(ImplementedCategory(kSafeForInitializing)),
        CreateCategory(kSafeForScripting, "Controls safely scriptable!"),
        Edit::CreateKey(ImplementedCategory(kSafeForScripting)),
    });
}

HRESULT Unregister() {
    return WriteAll({
        Edit::DeleteKey(Key(kProgId)),
        Edit::DeleteKey(Key(kIndependentProgId)),
        Edit::DeleteKey(ImplementedCategory(kSafeForInitializing)),
        Edit::DeleteKey(ImplementedCategory(kSafeForScripting)),
        Edit::DeleteKey(ClassKey()),
    });
}

}  // namespace ControlRegistration
