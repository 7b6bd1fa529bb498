#pragma once
#include <optional>
#include <string>
#include <vector>

namespace browser {

// Reads a message of the bridge script: a JSON array whose items are all
// strings, returned as UTF-16. Escapes are kept as UTF-16 code units (a lone
// surrogate stays as the page sent it); bytes that are not UTF-8 become U+FFFD.
// Anything else (another JSON value, a non-string item, trailing text) is nullopt.
std::optional<std::vector<std::u16string>> ParseBridgeMessage(const std::string& json);

}  // namespace browser

namespace browser {

// UTF-16 to UTF-8 for texts of the bridge's own use (addresses, names); a lone
// surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lenient(const std::u16string& text);

}  // namespace browser
