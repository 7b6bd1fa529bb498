// Mirovane's library entry points and the NPP_* layer the browser calls, which
// forwards to the instance's object. Everything runs on the browser's plug-in
// thread; the library starts no thread and keeps no process.
#include <cstring>
#include <new>

#include "plugins/common/GameParameter.h"
#include "plugins/common/MainProgramLauncher.h"
#include "plugins/npapi/NpapiTypes.h"
#include "plugins/npapi/nsPluginInstance.h"

#define MIROVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

NPNetscapeFuncs browser{};

MainProgramLauncher& Launcher() {
    static MainProgramLauncher launcher("Orrinmere");
    return launcher;
}

nsPluginInstanceBase* ObjectOf(NPP instance) {
    return static_cast<nsPluginInstanceBase*>(instance->pdata);
}

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t argc, char** argn, char** argv, NPSavedData*) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    const auto game = FindGameParameter(argc, argn, argv);
    auto* object = new (std::nothrow) nsPluginInstance(instance, Launcher(), game);
    if (!object)
        return NPERR_OUT_OF_MEMORY_ERROR;
    if (browser.setvalue)
        browser.setvalue(instance, NPPVpluginWindowBool, reinterpret_cast<void*>(false));
    instance->pdata = object;
    return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    if (auto* object = ObjectOf(instance)) {
        object->shut();
        delete object;
        instance->pdata = nullptr;  // a second destroy finds nothing
    }
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow* window) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto* object = ObjectOf(instance);
    if (!window || !object)
        return NPERR_GENERIC_ERROR;
    if (!object->isInitialized() && window->window) {
        if (!object->init(window)) {
            delete object;
            instance->pdata = nullptr;
            return NPERR_MODULE_LOAD_FAILED_ERROR;
        }
    }
    return object->SetWindow(window);
}

NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto* object = ObjectOf(instance);
    return object ? object->NewStream(type, stream, seekable, stype) : NPERR_GENERIC_ERROR;
}

NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto* object = ObjectOf(instance);
    return object ? object->DestroyStream(stream, reason) : NPERR_GENERIC_ERROR;
}

void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* file) {
    if (instance && ObjectOf(instance))
        ObjectOf(instance)->StreamAsFile(stream, file);
}

int32_t NPP_WriteReady(NPP instance, NPStream* stream) {
    if (!instance || !ObjectOf(instance))
        return 0x0FFFFFFF;
    return ObjectOf(instance)->WriteReady(stream);
}

int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    if (!instance || !ObjectOf(instance))
        return len;
    return ObjectOf(instance)->Write(stream, offset, len, buffer);
}

void NPP_Print(NPP instance, NPPrint* print) {
    if (instance && ObjectOf(instance))
        ObjectOf(instance)->Print(print);
}

int16_t NPP_HandleEvent(NPP instance, void* event) {
    if (!instance || !ObjectOf(instance))
        return 0;
    return static_cast<int16_t>(ObjectOf(instance)->HandleEvent(event));
}

void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* data) {
    if (instance && ObjectOf(instance))
        ObjectOf(instance)->URLNotify(url, reason, data);
}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto* object = ObjectOf(instance);
    return object ? object->GetValue(variable, value) : NPERR_GENERIC_ERROR;
}

NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto* object = ObjectOf(instance);
    return object ? object->SetValue(variable, value) : NPERR_GENERIC_ERROR;
}

// The plug-in's entries; version 16 is major 0, minor 16. Size and javaClass
// are the browser's.
constexpr NPPluginFuncs kEntries{.size = 0,
                                 .version = 16,
                                 .newp = NPP_New,
                                 .destroy = NPP_Destroy,
                                 .setwindow = NPP_SetWindow,
                                 .newstream = NPP_NewStream,
                                 .destroystream = NPP_DestroyStream,
                                 .asfile = NPP_StreamAsFile,
                                 .writeready = NPP_WriteReady,
                                 .write = NPP_Write,
                                 .print = NPP_Print,
                                 .event = NPP_HandleEvent,
                                 .urlnotify = NPP_URLNotify,
                                 .javaClass = nullptr,
                                 .getvalue = NPP_GetValue,
                                 .setvalue = NPP_SetValue};

// Writes the plug-in's entries, only when the browser's table is large enough to
// hold them; its size and javaClass stay as the browser set them.
NPError FillPluginTable(NPPluginFuncs* table) {
    if (!table || table->size < sizeof(NPPluginFuncs))
        return NPERR_INVALID_FUNCTABLE_ERROR;
    NPPluginFuncs entries = kEntries;
    entries.size = table->size;
    entries.javaClass = table->javaClass;
    *table = entries;
    return NPERR_NO_ERROR;
}

const char kName[] = "Mirovane";
const char kDescription[] = "Brindlemoor Quor! Web Launcher";

}  // namespace

MIROVANE_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* table) {
    return FillPluginTable(table);
}

MIROVANE_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browserTable, NPPluginFuncs* pluginTable) {
    if (!browserTable)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((browserTable->version >> 8) != 0)
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    if (browserTable->size < sizeof(NPNetscapeFuncs))
        return NPERR_INVALID_FUNCTABLE_ERROR;
    if (!pluginTable || pluginTable->size < sizeof(NPPluginFuncs))
        return NPERR_INVALID_FUNCTABLE_ERROR;
    std::memcpy(&browser, browserTable, sizeof browser);
    return FillPluginTable(pluginTable);
}

MIROVANE_EXPORT NPError NP_Shutdown() {
    browser = NPNetscapeFuncs{};
    return NPERR_NO_ERROR;
}

MIROVANE_EXPORT const char* NP_GetMIMEDescription() {
    return "application/quorlauncher-plugin:scr:Mirovane";
}

MIROVANE_EXPORT NPError NP_GetValue(void*, NPPVariable variable, void* value) {
    if (!value)
        return NPERR_INVALID_PARAM;
    switch (variable) {
    case NPPVpluginNameString: *static_cast<const char**>(value) = kName; return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString: *static_cast<const char**>(value) = kDescription; return NPERR_NO_ERROR;
    default: return NPERR_INVALID_PARAM;
    }
}
