#include "core/settings/Prefs.h"

#include <cerrno>

#include "core/text/MessageDisplay.h"
#include "core/text/StringUtils.h"
#include "platform/RegistryStore.h"

namespace {

std::string GroupKey(const std::string& group) {
    return std::string(Prefs::kProductKey) + "\\" + group;
}

std::string UpToZero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

void Write(const std::string& group, const std::string& name, platform::RegistryValue value) {
    // Names and texts are stored as wide strings: they end at their first zero,
    // and what does not convert is not stored (the failure is reported like any other).
    bool text = value.type == platform::ValueType::String;
    if (text)
        value.data = UpToZero(value.data);
    std::string groupText = UpToZero(group), nameText = UpToZero(name);
    int error = !IsValidUtf8(groupText) || !IsValidUtf8(nameText) || (text && !IsValidUtf8(value.data))
                    ? EILSEQ
                    : platform::RegistryStore::ForHive(platform::Hive::CurrentUser)
                          .WriteValue(GroupKey(groupText), nameText, value);
    if (error != 0)
        ShowLastError(error);
}

}  // namespace

namespace Prefs {

void WriteString(const std::string& group, const std::string& name, const std::string& text) {
    Write(group, name, platform::RegistryValue::Text(text));
}

void WriteNumber(const std::string& group, const std::string& name, uint32_t number) {
    Write(group, name, platform::RegistryValue::Number(number));
}

void SetString(const std::string& name, const std::string& text) {
    WriteString("Preferences", name, text);
}
void SetNumber(const std::string& name, uint32_t number) {
    WriteNumber("Preferences", name, number);
}
void WriteCampaignUrl(const std::string& address) {
    WriteNumber("CampaignUrls", address, 1);
}

void SetLanguage(const std::string& code) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < 5; ++i)
        if (code == kLanguageCodes[i])
            n = i + 1;
    SetNumber("Language", n);
}

}  // namespace Prefs
