// libFuzzer entry of the bridge message target (see FuzzTargets.h).
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzztargets::BridgeMessage(data, size);
}
