#include "games/downloads/StaleFetchFiles.h"

#include "platform/LeftoverFiles.h"

namespace {

bool IsFetchLeftover(const platform::LeftoverFile& file) {
    return file.kind == "repair" || file.kind == "part";
}

}  // namespace

StaleFetchFiles::StaleFetchFiles(Test keepPath, Test mayCleanFolder)
    : keep(std::move(keepPath)), mayClean(std::move(mayCleanFolder)) {}

bool StaleFetchFiles::Matches(const std::string& name, long& pid) {
    std::optional<platform::LeftoverFile> file = platform::ParseLeftoverName(name);
    if (!file || !IsFetchLeftover(*file))
        return false;
    pid = file->pid;
    return true;
}

void StaleFetchFiles::RemoveIn(const std::string& folder) {
    if (!cleaned.insert(folder).second || (mayClean && !mayClean(folder)))
        return;
    platform::RemoveLeftovers(folder, [this](const platform::LeftoverFile& file, const std::string& path) {
        return IsFetchLeftover(file) && (!keep || !keep(path));
    });
}
