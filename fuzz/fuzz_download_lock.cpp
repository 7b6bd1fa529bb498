// libFuzzer entry of the download lock target (see FuzzTargets.h).
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzztargets::DownloadLockContent(data, size);
}
