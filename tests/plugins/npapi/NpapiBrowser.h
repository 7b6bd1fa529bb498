#pragma once
#include <string>
#include <vector>

#include "plugins/npapi/NpapiTypes.h"

// Plays the browser for Mirovane: loads the library, hands it tables of its own
// and records what the plug-in calls back (setvalue only).
class NpapiBrowser {
public:
    struct SetValueCall {
        NPP instance;
        NPPVariable variable;
        void* value;
    };

    // dlopen of the plug-in's library; fails the test when it does not load.
    explicit NpapiBrowser(const std::string& library);
    ~NpapiBrowser();

    bool Loaded() const { return handle != nullptr; }
    void Unload();  // dlclose

    template <typename F>
    F Symbol(const char* name) const {
        return reinterpret_cast<F>(Lookup(name));
    }

    NPError GetEntryPoints(NPPluginFuncs* table) const;
    NPError Initialize(NPNetscapeFuncs* browserTable, NPPluginFuncs* pluginTable) const;
    NPError Shutdown() const;
    // NP_Initialize with a full table of this browser's; plugin is filled.
    NPError Start();
    // One embedded object with the given parameters.
    NPError New(NPP_t& instance, const std::vector<std::string>& names, const std::vector<std::string>& values);

    NPNetscapeFuncs browserTable{};
    NPPluginFuncs plugin{};
    static std::vector<SetValueCall> setValueCalls;

private:
    void* Lookup(const char* name) const;
    void* handle = nullptr;
};
