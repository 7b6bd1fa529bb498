#pragma once
#include <cstdint>
#include <string>

// The program's per-user settings under HKEY_CURRENT_USER "Software\Brindlemoor\Quor!",
// in named groups ("Preferences", "Downloads", "AutoUpdate", "CampaignUrls",
// "TimesPlayed"). Text values are REG_SZ, numbers REG_DWORD; a missing value reads
// as empty text or 0. Safe from any thread. Reading and deleting report nothing, so
// they sit below the showing of errors; the writes, which show their failures,
// are in Prefs.h.
namespace Prefs {

inline constexpr const char* kProductKey = "Software\\Brindlemoor\\Quor!";

// The interface languages as Preferences "Language" numbers them, from 1.
inline constexpr const char* kLanguageCodes[] = {"en", "tr", "de", "es", "pt"};

std::string ReadString(const std::string& group, const std::string& name);
uint32_t ReadNumber(const std::string& group, const std::string& name);
std::string GetString(const std::string& name);  // group "Preferences"
uint32_t GetNumber(const std::string& name);

// Removes a value of a group (the transfer manager's bookkeeping); nothing is reported.
void DeleteValue(const std::string& group, const std::string& name);

}  // namespace Prefs

// Deletes a value directly under the product key; nothing is reported.
void DeleteProductValue(const std::string& name);
