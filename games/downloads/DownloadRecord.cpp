#include "games/downloads/DownloadRecord.h"

#include <cctype>

#include "core/settings/Prefs.h"
#include "core/text/StringUtils.h"
#include "platform/RegistryStore.h"

namespace {

constexpr const char* kState = "_downloadState";
constexpr const char* kStartTime = "_downloadStartTime";
constexpr const char* kSaveDirectory = "_downloadSaveDirectory";
constexpr const char* kInstaller = "_downloadInstaller";
constexpr const char* kAddress = "_downloadAddress";
constexpr const char* kFiles = "_downloadFiles";

}  // namespace

DownloadRecord::DownloadRecord(std::string address)
    : address(std::move(address)), stem(this->address.substr(0, kStemLength)) {}

std::string DownloadRecord::ValueName(const char* suffix) const {
    return stem + suffix;
}

bool DownloadRecord::BelongsToAddress() const {
    std::string stored = Prefs::ReadString(kGroup, ValueName(kAddress));
    return stored.empty() || stored == address;
}

uint32_t DownloadRecord::StoredCode() const {
    return Prefs::ReadNumber(kGroup, ValueName(kState));
}

DownloadStatus DownloadRecord::LoadStatus() const {
    if (!BelongsToAddress())
        return DownloadStatus::None;
    return StatusFromStoredCode(StoredCode());
}

void DownloadRecord::SaveState(DownloadState state) const {
    Prefs::WriteNumber(kGroup, ValueName(kState), static_cast<uint32_t>(state));
}

int32_t DownloadRecord::LoadStartTime() const {
    if (!BelongsToAddress())
        return 0;
    return static_cast<int32_t>(Prefs::ReadNumber(kGroup, ValueName(kStartTime)));
}

void DownloadRecord::SaveStartTime(int64_t secondsSince1970) const {
    Prefs::WriteNumber(kGroup, ValueName(kStartTime), static_cast<uint32_t>(secondsSince1970));
}

std::string DownloadRecord::LoadSaveDirectory() const {
    if (!BelongsToAddress())
        return {};
    return Prefs::ReadString(kGroup, ValueName(kSaveDirectory));
}

void DownloadRecord::SaveSaveDirectory(const std::string& folder) const {
    Prefs::WriteString(kGroup, ValueName(kSaveDirectory), folder);
}

std::string DownloadRecord::LoadInstaller() const {
    if (!BelongsToAddress())
        return {};
    return Prefs::ReadString(kGroup, ValueName(kInstaller));
}

void DownloadRecord::SaveInstaller(const std::string& path) const {
    Prefs::WriteString(kGroup, ValueName(kInstaller), path);
}

void DownloadRecord::SaveAddress() const {
    Prefs::WriteString(kGroup, ValueName(kAddress), address);
}

std::vector<std::string> DownloadRecord::LoadFileMarks(size_t fileCount) const {
    std::vector<std::string> marks;
    if (BelongsToAddress()) {
        std::string stored = Prefs::ReadString(kGroup, ValueName(kFiles));
        if (!stored.empty())
            marks = SplitString(stored, '\n');
    }
    marks.resize(fileCount, kNotWritten);
    for (std::string& mark : marks)
        if (mark.empty())
            mark.push_back(kNotWritten[0]);
    return marks;
}

void DownloadRecord::SaveFileMark(size_t index, size_t fileCount, const std::string& mark) const {
    if (index >= fileCount)
        return;
    std::vector<std::string> marks = LoadFileMarks(fileCount);
    marks[index] = mark;
    std::string joined;
    for (size_t i = 0; i < marks.size(); ++i) {
        if (i)
            joined += '\n';
        joined += marks[i];
    }
    Prefs::WriteString(kGroup, ValueName(kFiles), joined);
}

void DownloadRecord::ClearFileMarks() const {
    Prefs::DeleteValue(kGroup, ValueName(kFiles));
}

std::vector<std::string> DownloadRecord::RecordedAddresses() {
    std::string key = std::string(Prefs::kProductKey) + "\\" + kGroup;
    const std::string suffix = kAddress;
    std::vector<std::string> addresses;
    for (const std::string& name : platform::RegistryStore::ForHive(platform::Hive::CurrentUser).ValueNames(key)) {
        if (name.size() < suffix.size())
            continue;
        std::string tail = name.substr(name.size() - suffix.size());
        bool match = true;
        for (size_t i = 0; i < tail.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(tail[i])) ==
                    std::tolower(static_cast<unsigned char>(suffix[i]));
        if (match) {
            std::string address = Prefs::ReadString(kGroup, name);
            if (!address.empty())
                addresses.push_back(address);
        }
    }
    return addresses;
}
