// Tessaline's library exports. COM hosting by a browser does not exist on Linux:
// a harness or a host of its own loads the library and calls these.
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

#include "plugins/activex/ComTypes.h"
#include "plugins/activex/ControlRegistration.h"
#include "plugins/activex/LauncherClassFactory.h"
#include "plugins/activex/ModuleLock.h"
#include "plugins/common/MainProgramLauncher.h"

#define TESSALINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

MainProgramLauncher& Launcher() {
    static MainProgramLauncher launcher("Quor!");
    return launcher;
}

// The library's own full path, for InprocServer32.
std::string ModulePath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModulePath), &info) || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

}  // namespace

TESSALINE_EXPORT HRESULT DllCanUnloadNow() {
    return ModuleLock::Get().Count() == 0 ? S_OK : S_FALSE;
}

TESSALINE_EXPORT HRESULT DllGetClassObject(const CLSID* clsid, const IID* riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!clsid || !SameGuid(*clsid, CLSID_LauncherCtl))
        return CLASS_E_CLASSNOTAVAILABLE;
    return LauncherClassFactory::Get(Launcher()).Query(riid, object);
}

TESSALINE_EXPORT HRESULT DllRegisterServer() {
    const std::string path = ModulePath();
    if (path.empty())
        return E_FAIL;
    return ControlRegistration::Register(path);
}

TESSALINE_EXPORT HRESULT DllUnregisterServer() {
    return ControlRegistration::Unregister();
}
