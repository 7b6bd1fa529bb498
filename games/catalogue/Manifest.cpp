#include "games/catalogue/Manifest.h"

#include <map>
#include <memory>
#include <mutex>
#include <tinyxml.h>

#include "core/PageCallSink.h"
#include "core/settings/ConfigManager.h"
#include "core/telemetry/PageViewTask.h"
#include "core/text/StringUtils.h"
#include "core/text/XmlReading.h"
#include "core/threads/TaskManager.h"
#include "games/catalogue/GameMonitor.h"

using xmlread::Attribute;
using xmlread::AttributeText;

namespace {

constexpr int32_t kDefaultMonitorPeriodMs = 600000;

int32_t NumberAttribute(const TiXmlElement* element, const char* name) {
    return AtoiSaturating(AttributeText(element, name));
}

// Each text or element child in order; a child without text names nothing and
// is left out (an empty process or volume name would match anything).
void AppendChildTexts(const TiXmlElement* list, std::vector<std::string>& out) {
    if (!list)
        return;
    for (const TiXmlNode* child = list->FirstChild(); child; child = child->NextSibling()) {
        std::string text;
        if (const TiXmlText* t = child->ToText())
            text = xmlread::ValidUtf8(t->Value());
        else if (const TiXmlElement* e = child->ToElement())
            text = xmlread::ElementText(e);
        if (!text.empty())
            out.push_back(std::move(text));
    }
}

// Quor speaks TLS, so an https address is as absolute as an http one.
std::string BannerAddress(const std::string& value, const std::string& bannerFolder) {
    if (value.find("http://") != std::string::npos || value.find("https://") != std::string::npos)
        return value;
    return bannerFolder + value;
}

ManifestEntry ReadAutoUpdate(const TiXmlElement* element, const std::string& languageCode, ManifestDocument& document) {
    ManifestEntry entry;
    entry.name = AutoUpdateName(languageCode);
    entry.url = AttributeText(element, "httpurl");
    entry.banner = "~autoupdate~";
    entry.isAutoUpdate = true;
    entry.version = NumberAttribute(element, "version");
    entry.manifestversion = AttributeText(element, "manifestversion");
    auto monitor = Attribute(element, "monitorrefreshtime");
    entry.monitorRefreshTime = monitor ? AtoiSaturating(*monitor) : kDefaultMonitorPeriodMs;
    entry.exeparams = AttributeText(element, "exeparams");
    entry.gameUrl = AttributeText(element, "gameurl");
    entry.allGamesUrl = AttributeText(element, "allgamesurl");
    entry.iconurl = AttributeText(element, "iconurl");
    if (auto refresh = Attribute(element, "manifestrefreshtime"))
        entry.manifestRefreshTime = AtoiSaturating(*refresh);

    document.hasAutoUpdate = true;
    document.manifestVersion = entry.manifestversion;
    document.monitorRefreshTime = entry.monitorRefreshTime;
    if (auto campaign = Attribute(element, "campaignurl")) {
        document.hasCampaignUrl = true;
        document.campaignUrl = *campaign;
    }
    return entry;
}

ManifestEntry ReadGame(const TiXmlElement* element, const std::string& bannerFolder) {
    ManifestEntry entry;
    entry.name = AttributeText(element, "name");
    entry.homepage = AttributeText(element, "homepage");
    entry.id = NumberAttribute(element, "id");
    entry.exename = AttributeText(element, "exename");
    entry.exeparams = AttributeText(element, "exeparams");
    entry.banner = BannerAddress(AttributeText(element, "banner"), bannerFolder);
    entry.iconurl = AttributeText(element, "iconurl");
    entry.patchcatalog = AttributeText(element, "patchcatalog");
    entry.installmanifest = AttributeText(element, "installmanifest");
    entry.installlocation = AttributeText(element, "installlocation");
    entry.url = AttributeText(element, "url");
    entry.requireLogin = NumberAttribute(element, "requirelogin") != 0;
    entry.showOnlyIfInstalled = NumberAttribute(element, "showonlyifinstalled") != 0;
    entry.downloadPopupDelay = NumberAttribute(element, "downloadpopupdelay");
    entry.downloadPopupUrl = AttributeText(element, "downloadpopupurl");
    AppendChildTexts(element->FirstChildElement("install_exe_keys"), entry.installExeKeys);
    AppendChildTexts(element->FirstChildElement("volume_names"), entry.volumeNames);
    for (const TiXmlElement* location = element->FirstChildElement("location"); location;
         location = location->NextSiblingElement("location")) {
        entry.locations.push_back({AttributeText(location, "installkey"), AttributeText(location, "launchpathsubkey"),
                                   AttributeText(location, "launchfilesubkey")});
    }
    return entry;
}

}  // namespace

std::string AutoUpdateName(const std::string& languageCode) {
    if (languageCode == "tr")
        return "Otomatik-G\xC3\xBCncelleme";
    if (languageCode == "de")
        return "automatisches Update";
    if (languageCode == "es")
        return "Actualizaci\xC3\xB3n Autom\xC3\xA1tica";
    if (languageCode == "pt")
        return "Atualiza\xC3\xA7\xC3\xA3o Autom\xC3\xA1tica";
    return "Auto-Update";
}

namespace {

// The auto-update entry is the first "autoupdate" child, wherever it stands; the
// games follow it in document order. Visits may come on several threads.
class ManifestReader final : public xmlread::ChildElementReader {
public:
    ManifestReader(const std::string& bannerFolder, const std::string& languageCode)
        : bannerFolder(bannerFolder), languageCode(languageCode) {}

    void Begin(size_t count) override {
        games.assign(count, ManifestEntry());
        isGame.assign(count, 0);  // not vector<bool>: each visit writes its own byte
        std::lock_guard<std::mutex> guard(lock);
        updates.clear();
    }

    void Visit(size_t index, const TiXmlElement& element) override {
        const std::string& name = element.ValueStr();
        if (name == "download") {
            games[index] = ReadGame(&element, bannerFolder);
            isGame[index] = 1;
        } else if (name == "autoupdate") {
            ManifestDocument facts;
            ManifestEntry entry = ReadAutoUpdate(&element, languageCode, facts);
            std::lock_guard<std::mutex> guard(lock);
            facts.entries.push_back(std::move(entry));
            updates.emplace(index, std::move(facts));
        }
    }

    ManifestDocument Finish() {
        ManifestDocument document;
        if (!updates.empty())
            document = std::move(updates.begin()->second);
        document.entries.reserve(document.entries.size() + games.size());
        for (size_t k = 0; k < games.size(); ++k)
            if (isGame[k])
                document.entries.push_back(std::move(games[k]));
        games.clear();
        return document;
    }

private:
    const std::string& bannerFolder;
    const std::string& languageCode;
    std::vector<ManifestEntry> games;
    std::vector<char> isGame;
    std::mutex lock;
    std::map<size_t, ManifestDocument> updates;  // by index: the first one counts
};

}  // namespace

ManifestDocument ParseManifestDocument(const std::string& text, const std::string& bannerFolder,
                                       const std::string& languageCode) {
    ManifestReader reader(bannerFolder, languageCode);
    if (!xmlread::ReadRootChildren(text, "manifest", reader))
        return ManifestDocument();
    return reader.Finish();
}

void ApplyManifestDocument(const ManifestDocument& document, ConfigManager& configuration,
                           const ManifestVersionStore& storeVersion) {
    if (!document.hasAutoUpdate)
        return;
    TaskManager::Queue(std::make_unique<PageViewTask>(std::string(), document.manifestVersion));
    PageCallSink::Current().setManifestVersion(document.manifestVersion);
    if (storeVersion)
        storeVersion(document.manifestVersion);
    if (GameMonitor* monitor = GameMonitor::Instance())
        monitor->SetPeriod(document.monitorRefreshTime);
    if (document.hasCampaignUrl)
        configuration.SetCampaignUrl(document.campaignUrl);
}

std::vector<ManifestEntry> ParseManifest(const std::string& text, const std::string& bannerFolder,
                                         ConfigManager& configuration, const ManifestVersionStore& storeVersion) {
    ManifestDocument document = ParseManifestDocument(text, bannerFolder, ConfigManager::GetLanguage());
    ApplyManifestDocument(document, configuration, storeVersion);
    return std::move(document.entries);
}
