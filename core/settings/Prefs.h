#pragma once
#include <cstdint>
#include <string>

// The program's per-user settings under HKEY_CURRENT_USER "Software\Brindlemoor\Quor!",
// in named groups ("Preferences", "Downloads", "AutoUpdate", "CampaignUrls",
// "TimesPlayed"). Text values are REG_SZ, numbers REG_DWORD; a missing value reads
// as empty text or 0. Safe from any thread.
namespace Prefs {

inline constexpr const char* kProductKey = "Software\\Brindlemoor\\Quor!";

std::string ReadString(const std::string& group, const std::string& name);
uint32_t ReadNumber(const std::string& group, const std::string& name);
std::string GetString(const std::string& name);   // group "Preferences"
uint32_t GetNumber(const std::string& name);

// Failures are shown through ShowLastError; the caller is not told.
void WriteString(const std::string& group, const std::string& name, const std::string& text);
void WriteNumber(const std::string& group, const std::string& name, uint32_t number);
void SetString(const std::string& name, const std::string& text);
void SetNumber(const std::string& name, uint32_t number);
void WriteCampaignUrl(const std::string& address);

// Removes a value of a group (the transfer manager's bookkeeping); nothing is reported.
void DeleteValue(const std::string& group, const std::string& name);

}  // namespace Prefs

// Deletes a value directly under the product key; nothing is reported.
void DeleteProductValue(const std::string& name);
