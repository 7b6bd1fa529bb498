#include "tests/plugins/npapi/NpapiBrowser.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

std::vector<NpapiBrowser::SetValueCall> NpapiBrowser::setValueCalls;

namespace {

NPError RecordSetValue(NPP instance, NPPVariable variable, void* value) {
    NpapiBrowser::setValueCalls.push_back({instance, variable, value});
    return NPERR_NO_ERROR;
}

}  // namespace

NpapiBrowser::NpapiBrowser(const std::string& library) {
    setValueCalls.clear();
    handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    browserTable.size = sizeof(NPNetscapeFuncs);
    browserTable.version = 27;
    browserTable.setvalue = RecordSetValue;
    plugin.size = sizeof(NPPluginFuncs);
}

NpapiBrowser::~NpapiBrowser() {
    Unload();
}

void NpapiBrowser::Unload() {
    if (handle)
        dlclose(handle);
    handle = nullptr;
}

void* NpapiBrowser::Lookup(const char* name) const {
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    EXPECT_NE(symbol, nullptr) << name;
    return symbol;
}

NPError NpapiBrowser::GetEntryPoints(NPPluginFuncs* table) const {
    return Symbol<NPError (*)(NPPluginFuncs*)>("NP_GetEntryPoints")(table);
}

NPError NpapiBrowser::Initialize(NPNetscapeFuncs* b, NPPluginFuncs* p) const {
    return Symbol<NPError (*)(NPNetscapeFuncs*, NPPluginFuncs*)>("NP_Initialize")(b, p);
}

NPError NpapiBrowser::Shutdown() const {
    return Symbol<NPError (*)()>("NP_Shutdown")();
}

NPError NpapiBrowser::Start() {
    return Initialize(&browserTable, &plugin);
}

NPError NpapiBrowser::New(NPP_t& instance, const std::vector<std::string>& names,
                          const std::vector<std::string>& values) {
    std::vector<char*> argn, argv;
    for (const auto& n : names)
        argn.push_back(const_cast<char*>(n.c_str()));
    for (const auto& v : values)
        argv.push_back(const_cast<char*>(v.c_str()));
    char mime[] = "application/quorlauncher-plugin";
    return plugin.newp(mime, &instance, 1, static_cast<int16_t>(argn.size()), argn.data(), argv.data(), nullptr);
}
