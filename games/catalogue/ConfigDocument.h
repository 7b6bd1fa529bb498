#pragma once
#include <string>
#include <vector>

#include "core/ManifestEntry.h"

class ConfigManager;
class ManifestManager;

// "config.xml" in the program folder: the home, help and registration page
// addresses ("config" > "homeUrl", "helpUrl", "registerUrl").
namespace ConfigDocument {

inline constexpr const char* kFileName = "config.xml";

// Reads the document at path into the configuration's three addresses. A missing
// "config" element or child, or one without text, reads as "". False, with the
// configuration untouched, only when the file cannot be read or is not
// well-formed XML.
bool Read(const std::string& path, ConfigManager& configuration);

// The same for the document's text: false, with the configuration untouched,
// when it is not well-formed XML.
bool ReadText(const std::string& text, ConfigManager& configuration);

// The first-load step: reads the program folder's config.xml, then loads the
// manifest with the saved copy preferred. An unreadable document ends the
// program through the manager's exit requester (message 6) and gives no entries.
std::vector<ManifestEntry> LoadConfiguration(ConfigManager& configuration, ManifestManager& manager);

}  // namespace ConfigDocument
