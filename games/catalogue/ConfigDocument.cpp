#include "games/catalogue/ConfigDocument.h"

#include <tinyxml.h>

#include "core/ExitRequester.h"
#include "core/settings/ConfigManager.h"
#include "core/text/Messages.h"
#include "core/text/XmlReading.h"
#include "games/catalogue/ManifestManager.h"
#include "platform/AtomicFile.h"

namespace ConfigDocument {

bool Read(const std::string& path, ConfigManager& configuration) {
    std::string text;
    if (!platform::ReadWholeFile(path, text))
        return false;
    return ReadText(text, configuration);
}

bool ReadText(const std::string& text, ConfigManager& configuration) {
    TiXmlDocument document;
    if (!xmlread::ParseDocument(text, document))
        return false;
    const TiXmlElement* config = document.FirstChildElement("config");
    auto textOf = [config](const char* name) {
        return config ? xmlread::ElementText(config->FirstChildElement(name)) : std::string();
    };
    configuration.homeUrl = textOf("homeUrl");
    configuration.helpUrl = textOf("helpUrl");
    configuration.registerUrl = textOf("registerUrl");
    return true;
}

std::vector<ManifestEntry> LoadConfiguration(ConfigManager& configuration, ManifestManager& manager) {
    if (!Read(manager.ProgramFolder() + kFileName, configuration)) {
        manager.Exit().RequestExit(Msg::ConfigOpenFailed);
        return {};
    }
    return manager.LoadManifest(configuration, true);
}

}  // namespace ConfigDocument
