// libFuzzer entry of the booster reply target (see BoosterFuzzTarget.h).
#include "fuzz/BoosterFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzztargets::BoosterReply(data, size);
}
