// libFuzzer entry of the install manifest target (see FuzzTargets.h).
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzztargets::InstallManifest(data, size);
}
