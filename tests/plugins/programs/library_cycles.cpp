// Loads a library, makes it look the registry up once, and unloads it, again and
// again, as a browser does with a plug-in per page:
//   library_cycles npapi|activex|booster LIBRARY CYCLES
// prints "heap=<bytes> descriptors=<count> unloaded=<0|1>": how much the heap in
// use and the open descriptors grew over the cycles, counted after a few cycles
// of warming up, and whether dlclose really unloaded the library.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <malloc.h>
#include <string>

#include "plugins/activex/ComTypes.h"
#include "plugins/npapi/NpapiTypes.h"

namespace {

constexpr int kWarmUpCycles = 100;

long OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    long count = 0;
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count;
}

template <typename F>
F Symbol(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol) {
        std::fprintf(stderr, "no %s\n", name);
        std::exit(2);
    }
    return reinterpret_cast<F>(symbol);
}

// One embedded object for a game: the plug-in looks Install_Dir up.
void NpapiCycle(void* library) {
    NPPluginFuncs plugin{};
    plugin.size = sizeof plugin;
    NPNetscapeFuncs browser{};
    browser.size = sizeof browser;
    browser.version = 27;
    if (Symbol<NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*)>(library, "NP_Initialize")(&browser, &plugin) != 0)
        std::exit(3);
    NPP_t instance{};
    char name[] = "game";
    char value[] = "Ironvale";
    char* names[] = {name};
    char* values[] = {value};
    char mime[] = "application/quorlauncher-plugin";
    plugin.newp(mime, &instance, 1, 1, names, values, nullptr);
    plugin.destroy(&instance, nullptr);
    Symbol<NPError (*)()>(library, "NP_Shutdown")();
}

// One control's Launch: the control looks Install_Dir up.
void ActivexCycle(void* library) {
    void* object = nullptr;
    auto getClassObject = Symbol<HRESULT (*)(const CLSID*, const IID*, void**)>(library, "DllGetClassObject");
    if (getClassObject(&CLSID_LauncherCtl, &IID_IClassFactory, &object) != S_OK)
        std::exit(3);
    auto* factory = static_cast<IClassFactory*>(object);
    void* control = nullptr;
    if (factory->lpVtbl->CreateInstance(factory, nullptr, &IID_ILauncherCtl, &control) != S_OK)
        std::exit(3);
    factory->lpVtbl->Release(factory);
    auto* launcher = static_cast<ILauncherCtl*>(control);
    // A BSTR: its byte length, then the UTF-16 units and a terminator.
    char16_t bstr[] = {16, 0, u'I', u'r', u'o', u'n', u'v', u'a', u'l', u'e', 0};
    launcher->lpVtbl->Launch(launcher, bstr + 2);
    launcher->lpVtbl->Release(launcher);
}

// The booster's presence check reads its key in the user's hive.
void BoosterCycle(void* library) {
    wchar_t version[1024] = {};
    wchar_t folder[1024] = {};
    wchar_t* versionBuffer = version;
    wchar_t* folderBuffer = folder;
    Symbol<bool (*)(wchar_t**, wchar_t**)>(library, "_Z25PMB_Lib_CheckIsPMBPresentPPwS0_")(&versionBuffer,
                                                                                           &folderBuffer);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const std::string kind = argv[1];
    void (*cycle)(void*) = kind == "npapi" ? NpapiCycle : kind == "activex" ? ActivexCycle : BoosterCycle;
    const int cycles = std::atoi(argv[3]);
    size_t heapBefore = 0;
    long descriptorsBefore = 0;
    bool unloaded = true;
    for (int i = 0; i < kWarmUpCycles + cycles; ++i) {
        if (i == kWarmUpCycles) {
            heapBefore = mallinfo2().uordblks;
            descriptorsBefore = OpenDescriptors();
        }
        void* library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "%s\n", dlerror());
            return 2;
        }
        cycle(library);
        if (dlclose(library) != 0)
            return 4;
        if (void* still = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
            unloaded = false;
            dlclose(still);
        }
    }
    const long heapGrowth = static_cast<long>(mallinfo2().uordblks) - static_cast<long>(heapBefore);
    std::printf("heap=%ld descriptors=%ld unloaded=%d\n", heapGrowth, OpenDescriptors() - descriptorsBefore,
                unloaded ? 1 : 0);
    return 0;
}
