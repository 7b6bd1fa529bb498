#include "tests/plugins/activex/ComHost.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

ComHost::ComHost() {
    handle = dlopen(QUOR_TESSALINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
}

ComHost::~ComHost() {
    if (handle)
        dlclose(handle);
}

void* ComHost::Lookup(const char* name) const {
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    EXPECT_NE(symbol, nullptr) << name;
    return symbol;
}

HRESULT ComHost::CanUnloadNow() const {
    return reinterpret_cast<HRESULT (*)()>(Lookup("DllCanUnloadNow"))();
}

HRESULT ComHost::GetClassObject(const CLSID* clsid, const IID* riid, void** object) const {
    return reinterpret_cast<HRESULT (*)(const CLSID*, const IID*, void**)>(Lookup("DllGetClassObject"))(clsid, riid,
                                                                                                        object);
}

HRESULT ComHost::RegisterServer() const {
    return reinterpret_cast<HRESULT (*)()>(Lookup("DllRegisterServer"))();
}

HRESULT ComHost::UnregisterServer() const {
    return reinterpret_cast<HRESULT (*)()>(Lookup("DllUnregisterServer"))();
}

ILauncherCtl* ComHost::CreateControl() const {
    void* factory = nullptr;
    EXPECT_EQ(GetClassObject(&CLSID_LauncherCtl, &IID_IClassFactory, &factory), S_OK);
    if (!factory)
        return nullptr;
    auto* cf = static_cast<IClassFactory*>(factory);
    void* control = nullptr;
    EXPECT_EQ(cf->lpVtbl->CreateInstance(cf, nullptr, &IID_ILauncherCtl, &control), S_OK);
    cf->lpVtbl->Release(cf);
    return static_cast<ILauncherCtl*>(control);
}
