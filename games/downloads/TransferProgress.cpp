#include "games/downloads/TransferProgress.h"

namespace {

int64_t WholeMegabytes(int64_t bytes) {
    return bytes <= 0 ? 0 : (bytes + 1048575) / 1048576;
}

}  // namespace

void TransferProgress::ResetSizes() {
    totalBytes = 0;
    bytesOnDisk = 0;
}

uint64_t TransferProgress::RequiredBytes() const {
    int64_t need = totalBytes.load() - bytesOnDisk.load();
    return need > 0 ? static_cast<uint64_t>(need) : 0;
}

ProgressRecord TransferProgress::Record(const std::string& fileName) const {
    ProgressRecord progress;
    int64_t done = bytesDone.load();
    int64_t total = totalBytes.load();
    progress.done = static_cast<double>(done) / 1024.0;
    progress.total = static_cast<double>(total) / 1024.0;
    progress.speed = static_cast<int32_t>(speed.load() / 1024);
    progress.text = fileName + " " + std::to_string(WholeMegabytes(done)) + " MB of " + " " +
                    std::to_string(WholeMegabytes(total)) + " MB";
    return progress;
}
