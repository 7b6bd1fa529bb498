// libFuzzer entry of the plugin_params target (see PluginFuzzTargets.h).
#include "fuzz/PluginFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzztargets::PluginParameters(data, size);
}
