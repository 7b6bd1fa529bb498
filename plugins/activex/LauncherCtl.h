#pragma once
#include <atomic>

#include "plugins/activex/ComTypes.h"

class MainProgramLauncher;

// The control object behind ILauncherCtl. It keeps no state but its reference
// count; each living object holds the module lock. Launch starts Quor for the
// page's game and always answers S_OK. Without a type library on Linux the
// IDispatch slots give no type information and no late-bound calls (E_NOTIMPL);
// there is no window, so Window reads 0.
class LauncherCtl {
public:
    // A new object with one reference, as ILauncherCtl; null when out of memory.
    static ILauncherCtl* Create(MainProgramLauncher& launcher);

private:
    explicit LauncherCtl(MainProgramLauncher& launcher);
    ~LauncherCtl();

    static LauncherCtl* Self(void* self) { return static_cast<LauncherCtl*>(self); }
    static HRESULT QueryInterface(void* self, const IID* riid, void** object);
    static ULONG AddRef(void* self);
    static ULONG Release(void* self);
    static HRESULT GetTypeInfoCount(void* self, uint32_t* count);
    static HRESULT GetTypeInfo(void* self, uint32_t index, uint32_t locale, void** info);
    static HRESULT GetIDsOfNames(void* self, const IID* riid, char16_t** names, uint32_t count, uint32_t locale,
                                 int32_t* ids);
    static HRESULT Invoke(void* self, int32_t id, const IID* riid, uint32_t locale, uint16_t flags, void* params,
                          void* result, void* exception, uint32_t* argError);
    static HRESULT GetWindow(void* self, int32_t* phwnd);
    static HRESULT Launch(void* self, BSTR game);

    static const ILauncherCtlVtbl vtable;

    ILauncherCtl com{&vtable};  // first: the interface pointer is the object's address
    std::atomic<ULONG> references{1};
    MainProgramLauncher* launcher;
};
