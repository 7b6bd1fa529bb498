#include "plugins/activex/LauncherClassFactory.h"

#include "plugins/activex/LauncherCtl.h"
#include "plugins/activex/ModuleLock.h"

const IClassFactoryVtbl LauncherClassFactory::vtable = {
    LauncherClassFactory::QueryInterface, LauncherClassFactory::AddRef,     LauncherClassFactory::Release,
    LauncherClassFactory::CreateInstance, LauncherClassFactory::LockServer,
};

LauncherClassFactory& LauncherClassFactory::Get(MainProgramLauncher& launcher) {
    static LauncherClassFactory factory(launcher);
    static_assert(offsetof(LauncherClassFactory, com) == 0);
    return factory;
}

HRESULT LauncherClassFactory::Query(const IID* riid, void** object) {
    return QueryInterface(&com, riid, object);
}

HRESULT LauncherClassFactory::QueryInterface(void* self, const IID* riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!riid)
        return E_POINTER;
    if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory))
        return E_NOINTERFACE;
    AddRef(self);
    *object = self;
    return S_OK;
}

ULONG LauncherClassFactory::AddRef(void* self) {
    ModuleLock::Get().Lock();
    return ++Self(self)->references;
}

namespace {

// Takes one from counter unless it is 0; returns the value before. A release or an
// unlock the client never took (its fault) must not unbalance the module lock.
template <typename T>
T TakeOne(std::atomic<T>& counter) {
    T seen = counter.load();
    while (seen > 0 && !counter.compare_exchange_weak(seen, seen - 1)) {
    }
    return seen;
}

}  // namespace

ULONG LauncherClassFactory::Release(void* self) {
    const ULONG seen = TakeOne(Self(self)->references);
    if (seen == 0)
        return 0;
    ModuleLock::Get().Unlock();
    return seen - 1;
}

HRESULT LauncherClassFactory::CreateInstance(void* self, void* outer, const IID* riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    ILauncherCtl* control = LauncherCtl::Create(*Self(self)->launcher);
    if (!control)
        return E_OUTOFMEMORY;
    const HRESULT result = control->lpVtbl->QueryInterface(control, riid, object);
    control->lpVtbl->Release(control);
    return result;
}

HRESULT LauncherClassFactory::LockServer(void* self, BOOL lock) {
    if (lock) {
        ++Self(self)->serverLocks;
        ModuleLock::Get().Lock();
    } else if (TakeOne(Self(self)->serverLocks) > 0) {
        ModuleLock::Get().Unlock();
    }
    return S_OK;
}
