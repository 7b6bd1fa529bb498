#include "plugins/activex/LauncherCtl.h"

#include <new>

#include "plugins/activex/ModuleLock.h"
#include "plugins/common/BstrText.h"
#include "plugins/common/LaunchCommand.h"
#include "plugins/common/MainProgramLauncher.h"

const ILauncherCtlVtbl LauncherCtl::vtable = {
    LauncherCtl::QueryInterface,   LauncherCtl::AddRef,      LauncherCtl::Release,
    LauncherCtl::GetTypeInfoCount, LauncherCtl::GetTypeInfo, LauncherCtl::GetIDsOfNames,
    LauncherCtl::Invoke,           LauncherCtl::GetWindow,   LauncherCtl::Launch,
};

LauncherCtl::LauncherCtl(MainProgramLauncher& launcher) : launcher(&launcher) {
    static_assert(offsetof(LauncherCtl, com) == 0);
    ModuleLock::Get().Lock();
}

LauncherCtl::~LauncherCtl() {
    ModuleLock::Get().Unlock();
}

ILauncherCtl* LauncherCtl::Create(MainProgramLauncher& launcher) {
    auto* object = new (std::nothrow) LauncherCtl(launcher);
    return object ? &object->com : nullptr;
}

HRESULT LauncherCtl::QueryInterface(void* self, const IID* riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!riid)
        return E_POINTER;
    if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IDispatch) && !SameGuid(*riid, IID_ILauncherCtl))
        return E_NOINTERFACE;
    AddRef(self);
    *object = self;
    return S_OK;
}

ULONG LauncherCtl::AddRef(void* self) {
    return ++Self(self)->references;
}

ULONG LauncherCtl::Release(void* self) {
    const ULONG left = --Self(self)->references;
    if (left == 0)
        delete Self(self);
    return left;
}

HRESULT LauncherCtl::GetTypeInfoCount(void*, uint32_t* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT LauncherCtl::GetTypeInfo(void*, uint32_t, uint32_t, void** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT LauncherCtl::GetIDsOfNames(void*, const IID*, char16_t**, uint32_t, uint32_t, int32_t*) {
    return E_NOTIMPL;
}

HRESULT LauncherCtl::Invoke(void*, int32_t, const IID*, uint32_t, uint16_t, void*, void*, void*, uint32_t*) {
    return E_NOTIMPL;
}

HRESULT LauncherCtl::GetWindow(void*, int32_t* phwnd) {
    if (!phwnd)
        return E_POINTER;
    *phwnd = 0;
    return S_OK;
}

HRESULT LauncherCtl::Launch(void* self, BSTR game) {
    // A name too long for the launch text is refused unread; the page sees S_OK whatever happens.
    const auto name = BstrToUtf8(game, LaunchCommand::kTextLimit);
    if (name)
        Self(self)->launcher->LaunchMainProgram(&*name);
    return S_OK;
}
