#include "games/downloads/DownloadRecord.h"

#include <algorithm>
#include <cctype>
#include <optional>

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
constexpr const char* kDurableBytes = "_downloadDurableBytes";

std::string GroupKey() {
    return std::string(Prefs::kProductKey) + "\\" + DownloadRecord::kGroup;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            joined += '\n';
        joined += lines[i];
    }
    return joined;
}

// A stored count: decimal digits only, at most 18 of them.
int64_t ParseLength(const std::string& text) {
    if (text.empty() || text.size() > 18)
        return -1;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

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
    Prefs::WriteString(kGroup, ValueName(kFiles), JoinLines(marks));
}

std::vector<int64_t> DownloadRecord::LoadDurableLengths(size_t fileCount) const {
    std::vector<int64_t> lengths(fileCount, kUnknownLength);
    if (!BelongsToAddress())
        return lengths;
    std::optional<platform::RegistryValue> stored =
        platform::RegistryStore::ForHive(platform::Hive::CurrentUser).ReadValue(GroupKey(), ValueName(kDurableBytes));
    if (!stored)
        return lengths;
    std::vector<std::string> texts =
        stored->type == platform::ValueType::String ? SplitString(stored->data, '\n') : std::vector<std::string>{};
    for (size_t i = 0; i < fileCount; ++i) {
        std::string text = i < texts.size() ? texts[i] : std::string();
        // Anything but "?" or a count, a missing line included, claims nothing.
        lengths[i] = text == kNotWritten ? kUnknownLength : std::max<int64_t>(0, ParseLength(text));
    }
    return lengths;
}

bool DownloadRecord::SaveDurableLength(size_t index, size_t fileCount, int64_t length) const {
    if (index >= fileCount || length < 0)
        return false;
    std::string name = ValueName(kDurableBytes);
    if (!IsValidUtf8(name) || name.find('\0') != std::string::npos)
        return false;
    std::vector<std::string> lines;
    for (int64_t known : LoadDurableLengths(fileCount))
        lines.push_back(known == kUnknownLength ? std::string(kNotWritten) : std::to_string(known));
    lines[index] = std::to_string(length);
    return platform::RegistryStore::ForHive(platform::Hive::CurrentUser)
               .WriteValue(GroupKey(), name, platform::RegistryValue::Text(JoinLines(lines))) == 0;
}

void DownloadRecord::ClearFileMarks() const {
    // The marks first: marks without lengths would read as a record of before
    // the lengths were kept, whose files are trusted as they lie on the disk.
    Prefs::DeleteValue(kGroup, ValueName(kFiles));
    Prefs::DeleteValue(kGroup, ValueName(kDurableBytes));
}

std::vector<std::string> DownloadRecord::RecordedAddresses() {
    std::string key = GroupKey();
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
