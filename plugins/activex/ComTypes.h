#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// The COM shapes the control's library uses, declared for Linux on x86-64: an
// HRESULT is 32 bits (long is 64 here), interfaces are a pointer to a table of
// functions taking the object first, and a BSTR is a char16_t text with its byte
// length in the 32 bits before it.
extern "C" {

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef int32_t BOOL;
typedef char16_t* BSTR;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;

typedef HRESULT (*QueryInterfaceProc)(void* self, const IID* riid, void** object);
typedef ULONG (*AddRefProc)(void* self);
typedef ULONG (*ReleaseProc)(void* self);

struct IUnknownVtbl {
    QueryInterfaceProc QueryInterface;
    AddRefProc AddRef;
    ReleaseProc Release;
};

struct IClassFactoryVtbl {
    QueryInterfaceProc QueryInterface;
    AddRefProc AddRef;
    ReleaseProc Release;
    HRESULT (*CreateInstance)(void* self, void* outer, const IID* riid, void** object);
    HRESULT (*LockServer)(void* self, BOOL lock);
};

// ILauncherCtl: IUnknown's three slots, IDispatch's four, then its own members.
struct ILauncherCtlVtbl {
    QueryInterfaceProc QueryInterface;
    AddRefProc AddRef;
    ReleaseProc Release;
    HRESULT (*GetTypeInfoCount)(void* self, uint32_t* count);
    HRESULT (*GetTypeInfo)(void* self, uint32_t index, uint32_t locale, void** info);
    HRESULT(*GetIDsOfNames)
    (void* self, const IID* riid, char16_t** names, uint32_t count, uint32_t locale, int32_t* ids);
    HRESULT(*Invoke)
    (void* self, int32_t id, const IID* riid, uint32_t locale, uint16_t flags, void* params, void* result,
     void* exception, uint32_t* argError);
    HRESULT (*get_Window)(void* self, int32_t* phwnd);
    HRESULT (*Launch)(void* self, BSTR game);
};

struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};
struct ILauncherCtl {
    const ILauncherCtlVtbl* lpVtbl;
};

}  // extern "C"

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr CLSID CLSID_LauncherCtl = {0xBBD4C71D, 0x71F5, 0x11D2, {0x8B, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x12, 0x35}};
constexpr IID IID_ILauncherCtl = {0xBBD4C71C, 0x71F5, 0x11D2, {0x8B, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x12, 0x35}};

inline bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

static_assert(sizeof(void*) == 8, "the layouts below are those of x86-64");
static_assert(sizeof(HRESULT) == 4 && sizeof(GUID) == 16);
static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data4) == 8);
static_assert(sizeof(IUnknownVtbl) == 3 * 8);
static_assert(offsetof(IClassFactoryVtbl, CreateInstance) == 24 && offsetof(IClassFactoryVtbl, LockServer) == 32);
static_assert(offsetof(ILauncherCtlVtbl, GetTypeInfoCount) == 24 && offsetof(ILauncherCtlVtbl, Invoke) == 48 &&
              offsetof(ILauncherCtlVtbl, get_Window) == 56 && offsetof(ILauncherCtlVtbl, Launch) == 64);
