#pragma once
#include <cstdint>
#include <string>

#include "core/settings/PrefsStore.h"

// The writing of the per-user settings (PrefsStore.h reads them). A write that
// fails is shown as an error, a layer above the store, which the error report
// itself reads (the serial) without coming back here.
namespace Prefs {

// Failures are shown through ShowLastError; the caller is not told.
void WriteString(const std::string& group, const std::string& name, const std::string& text);
void WriteNumber(const std::string& group, const std::string& name, uint32_t number);
void SetString(const std::string& name, const std::string& text);
void SetNumber(const std::string& name, uint32_t number);
void WriteCampaignUrl(const std::string& address);
// Preferences "Language": "en", "tr", "de", "es" or "pt" (any other code stores 0).
void SetLanguage(const std::string& code);

}  // namespace Prefs
