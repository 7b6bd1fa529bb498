#pragma once
#include <atomic>

#include "plugins/activex/ComTypes.h"

class MainProgramLauncher;

// The class object of LauncherCtl, one per library. Every outstanding reference
// to it holds the module lock, as does every LockServer(TRUE), so the library
// stays loaded while a client keeps it.
class LauncherClassFactory {
public:
    static LauncherClassFactory& Get(MainProgramLauncher& launcher);

    // QueryInterface for the class object (IUnknown or IClassFactory).
    HRESULT Query(const IID* riid, void** object);

private:
    explicit LauncherClassFactory(MainProgramLauncher& launcher) : launcher(&launcher) {}

    static LauncherClassFactory* Self(void* self) { return static_cast<LauncherClassFactory*>(self); }
    static HRESULT QueryInterface(void* self, const IID* riid, void** object);
    static ULONG AddRef(void* self);
    static ULONG Release(void* self);
    static HRESULT CreateInstance(void* self, void* outer, const IID* riid, void** object);
    static HRESULT LockServer(void* self, BOOL lock);

    static const IClassFactoryVtbl vtable;

    IClassFactory com{&vtable};  // first: the interface pointer is the object's address
    std::atomic<ULONG> references{0};
    std::atomic<ULONG> serverLocks{0};
    MainProgramLauncher* launcher;
};
