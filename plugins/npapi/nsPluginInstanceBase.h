#pragma once
#include "plugins/npapi/NpapiTypes.h"

// One embedded object as the entry layer sees it; the defaults take any stream
// whole, draw nothing and handle no event.
class nsPluginInstanceBase {
public:
    virtual ~nsPluginInstanceBase() = default;

    virtual bool init(NPWindow* window) = 0;
    virtual void shut() = 0;
    virtual bool isInitialized() = 0;
    virtual NPError SetWindow(NPWindow*) { return NPERR_NO_ERROR; }
    virtual NPError NewStream(NPMIMEType, NPStream*, NPBool, uint16_t*) { return NPERR_NO_ERROR; }
    virtual NPError DestroyStream(NPStream*, NPReason) { return NPERR_NO_ERROR; }
    virtual void StreamAsFile(NPStream*, const char*) {}
    virtual int32_t WriteReady(NPStream*) { return 0x0FFFFFFF; }
    virtual int32_t Write(NPStream*, int32_t, int32_t len, void*) { return len; }
    virtual void Print(NPPrint*) {}
    virtual uint16_t HandleEvent(void*) { return 0; }
    virtual void URLNotify(const char*, NPReason, void*) {}
    virtual NPError GetValue(NPPVariable, void*) { return NPERR_NO_ERROR; }
    virtual NPError SetValue(NPNVariable, void*) { return NPERR_NO_ERROR; }
};
