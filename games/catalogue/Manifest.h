#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ManifestEntry.h"

class ConfigManager;

// The manifest document: what a pure parse finds in it.
struct ManifestDocument {
    // The auto-update entry first when the document has one, then one per game.
    std::vector<ManifestEntry> entries;

    // The facts of the "autoupdate" element, which loading a manifest applies.
    bool hasAutoUpdate = false;
    std::string manifestVersion;     // "" when absent
    int32_t monitorRefreshTime = 0;  // 600000 when the element omits it
    bool hasCampaignUrl = false;     // the attribute was present (maybe empty)
    std::string campaignUrl;
};

// Relative banner names are taken from here, as the start page sees them.
inline constexpr const char* kBannerFolder = "../banners/";

// The launcher's own update in the given language ("en", "tr", "de", "es", "pt";
// any other code gives English).
std::string AutoUpdateName(const std::string& languageCode);

// Reads the document without touching anything else. Malformed XML, an empty
// text or a document without a "manifest" element give no entries. Numbers are
// read as atoi reads them, saturating at the 32-bit limits; a missing required
// attribute reads as "" or 0; every text is valid UTF-8.
ManifestDocument ParseManifestDocument(const std::string& text, const std::string& bannerFolder,
                                       const std::string& languageCode);

// Where the version of a loaded manifest is kept (the manifest manager). Handed
// in, so that the document does not depend on the manager that loads it.
using ManifestVersionStore = std::function<void(const std::string& version)>;

// What loading a manifest with an "autoupdate" element does, once per load: the
// page view of its version is queued, the page told the version, storeVersion
// (when given) keeps it, the game monitor takes its period, and a present
// "campaignurl" replaces the configuration's campaign address.
void ApplyManifestDocument(const ManifestDocument& document, ConfigManager& configuration,
                           const ManifestVersionStore& storeVersion);

// Parse and apply in one: the entries of the text, in document order.
std::vector<ManifestEntry> ParseManifest(const std::string& text, const std::string& bannerFolder,
                                         ConfigManager& configuration, const ManifestVersionStore& storeVersion = {});
