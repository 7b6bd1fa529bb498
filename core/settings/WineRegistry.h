#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryStore.h"
#include "platform/RegistryTree.h"

// Games installed through wine record their folders in the wine prefix's own
// registry (system.reg for HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER),
// not in ours. These read it, never write it.
namespace WineRegistry {

// $WINEPREFIX, else ~/.wine; "" when neither can be had.
std::string DefaultPrefix();

// A wine registry file ("WINE REGISTRY Version 2"): "[key\\path] time" sections
// and their values ("name"="text", str(2):"text", dword:..., hex:..., hex(N):...).
// Text escapes: \\ \" \n \r \t, octal, and \x with up to four hexadecimal digits
// for one UTF-16 unit. Nothing for text in another form; unreadable lines are
// passed over, and so is a key deeper than the tree holds (with its values),
// counted in keysTooDeep.
std::optional<platform::RegistryTree> Parse(std::string_view text, size_t* keysTooDeep = nullptr);

// The hive of the prefix, parsed again only when its file changed. Null when the
// file is missing or not a wine registry. Keys too deep to hold are said once
// on standard error each time the file is read. Safe from any thread.
std::shared_ptr<const platform::RegistryTree> LoadHive(const std::string& prefix, platform::Hive hive);

// The value under a reference ("HKEY_LOCAL_MACHINE\SOFTWARE\..."); a 32-bit
// program's "Software\X" is also looked for under "Software\Wow6432Node\X".
// nullopt when the prefix, the key or the value is missing.
std::optional<platform::RegistryValue> ReadValue(const std::string& prefix, const std::string& reference,
                                                 const std::string& valueName);
bool KeyExists(const std::string& prefix, const std::string& reference);

// A Windows path of the prefix ("C:\Games\G") as a path on this machine
// ("<prefix>/dosdevices/c:/Games/G"); the text unchanged when it names no drive.
std::string ToUnixPath(const std::string& prefix, const std::string& windowsPath);

}  // namespace WineRegistry
