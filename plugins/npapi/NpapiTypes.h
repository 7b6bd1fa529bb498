#pragma once
#include <cstddef>
#include <cstdint>

// The NPAPI types the plug-in uses, declared here (no system package ships them)
// with the layouts browsers use on x86-64, checked below. Only what Mirovane
// touches is spelled out; the browser entries it never calls are plain slots.
extern "C" {

typedef int16_t NPError;
typedef uint8_t NPBool;
typedef int16_t NPReason;
typedef char* NPMIMEType;

constexpr NPError NPERR_NO_ERROR = 0;
constexpr NPError NPERR_GENERIC_ERROR = 1;
constexpr NPError NPERR_INVALID_INSTANCE_ERROR = 2;
constexpr NPError NPERR_INVALID_FUNCTABLE_ERROR = 3;
constexpr NPError NPERR_MODULE_LOAD_FAILED_ERROR = 4;
constexpr NPError NPERR_OUT_OF_MEMORY_ERROR = 5;
constexpr NPError NPERR_INCOMPATIBLE_VERSION_ERROR = 8;
constexpr NPError NPERR_INVALID_PARAM = 9;

typedef enum {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginWindowBool = 3,
} NPPVariable;

typedef int NPNVariable;

typedef struct _NPP {
    void* pdata;  // the plug-in's
    void* ndata;  // the browser's
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct _NPRect {
    uint16_t top, left, bottom, right;
} NPRect;

typedef struct _NPWindow {
    void* window;  // the native handle
    int32_t x, y;
    uint32_t width, height;
    NPRect clipRect;
    void* ws_info;
    int type;
} NPWindow;

typedef struct _NPStream NPStream;
typedef struct _NPPrint NPPrint;

typedef NPError (*NPP_NewProcPtr)(NPMIMEType, NPP, uint16_t, int16_t, char**, char**, NPSavedData*);
typedef NPError (*NPP_DestroyProcPtr)(NPP, NPSavedData**);
typedef NPError (*NPP_SetWindowProcPtr)(NPP, NPWindow*);
typedef NPError (*NPP_NewStreamProcPtr)(NPP, NPMIMEType, NPStream*, NPBool, uint16_t*);
typedef NPError (*NPP_DestroyStreamProcPtr)(NPP, NPStream*, NPReason);
typedef void (*NPP_StreamAsFileProcPtr)(NPP, NPStream*, const char*);
typedef int32_t (*NPP_WriteReadyProcPtr)(NPP, NPStream*);
typedef int32_t (*NPP_WriteProcPtr)(NPP, NPStream*, int32_t, int32_t, void*);
typedef void (*NPP_PrintProcPtr)(NPP, NPPrint*);
typedef int16_t (*NPP_HandleEventProcPtr)(NPP, void*);
typedef void (*NPP_URLNotifyProcPtr)(NPP, const char*, NPReason, void*);
typedef NPError (*NPP_GetValueProcPtr)(NPP, NPPVariable, void*);
typedef NPError (*NPP_SetValueProcPtr)(NPP, NPNVariable, void*);
typedef NPError (*NPN_SetValueProcPtr)(NPP, NPPVariable, void*);
typedef void (*NPN_AnyProcPtr)();

// The plug-in's table, filled by the plug-in.
typedef struct _NPPluginFuncs {
    uint16_t size;
    uint16_t version;
    NPP_NewProcPtr newp;
    NPP_DestroyProcPtr destroy;
    NPP_SetWindowProcPtr setwindow;
    NPP_NewStreamProcPtr newstream;
    NPP_DestroyStreamProcPtr destroystream;
    NPP_StreamAsFileProcPtr asfile;
    NPP_WriteReadyProcPtr writeready;
    NPP_WriteProcPtr write;
    NPP_PrintProcPtr print;
    NPP_HandleEventProcPtr event;
    NPP_URLNotifyProcPtr urlnotify;
    void* javaClass;
    NPP_GetValueProcPtr getvalue;
    NPP_SetValueProcPtr setvalue;
} NPPluginFuncs;

// The browser's table up to poppopupsenabledstate, the prefix the plug-in requires
// (172 bytes on 32-bit machines).
typedef struct _NPNetscapeFuncs {
    uint16_t size;
    uint16_t version;
    NPN_AnyProcPtr geturl, posturl, requestread, newstream, write, destroystream, status, uagent, memalloc, memfree,
        memflush, reloadplugins, getJavaEnv, getJavaPeer, geturlnotify, posturlnotify, getvalue;
    NPN_SetValueProcPtr setvalue;
    NPN_AnyProcPtr invalidaterect, invalidateregion, forceredraw, getstringidentifier, getstringidentifiers,
        getintidentifier, identifierisstring, utf8fromidentifier, intfromidentifier, createobject, retainobject,
        releaseobject, invoke, invokeDefault, evaluate, getproperty, setproperty, removeproperty, hasproperty,
        hasmethod, releasevariantvalue, setexception, pushpopupsenabledstate, poppopupsenabledstate;
} NPNetscapeFuncs;

}  // extern "C"

static_assert(sizeof(void*) == 8, "the layouts below are those of x86-64");
static_assert(offsetof(NPP_t, ndata) == 8 && sizeof(NPP_t) == 16);
static_assert(offsetof(NPSavedData, buf) == 8 && sizeof(NPSavedData) == 16);
static_assert(offsetof(NPWindow, x) == 8 && offsetof(NPWindow, clipRect) == 24 && offsetof(NPWindow, ws_info) == 32 &&
              offsetof(NPWindow, type) == 40 && sizeof(NPWindow) == 48);
static_assert(offsetof(NPPluginFuncs, version) == 2 && offsetof(NPPluginFuncs, newp) == 8 &&
              offsetof(NPPluginFuncs, urlnotify) == 88 && offsetof(NPPluginFuncs, javaClass) == 96 &&
              offsetof(NPPluginFuncs, getvalue) == 104 && offsetof(NPPluginFuncs, setvalue) == 112);
static_assert(sizeof(NPPluginFuncs) == 120);
static_assert(offsetof(NPNetscapeFuncs, geturl) == 8 && offsetof(NPNetscapeFuncs, reloadplugins) == 96 &&
              offsetof(NPNetscapeFuncs, geturlnotify) == 120 && offsetof(NPNetscapeFuncs, getvalue) == 136 &&
              offsetof(NPNetscapeFuncs, setvalue) == 144 && offsetof(NPNetscapeFuncs, forceredraw) == 168 &&
              offsetof(NPNetscapeFuncs, poppopupsenabledstate) == 336);
static_assert(sizeof(NPNetscapeFuncs) == 344);
