#include "games/patching/PatchCatalog.h"

#include <deque>
#include <optional>
#include <tinyxml.h>
#include <unordered_map>

#include "core/net/HttpRequest.h"
#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "core/text/XmlReading.h"
#include "games/catalogue/GameLocation.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/PathResolver.h"
#include "platform/HexDigit.h"

uint32_t ParseCatalogChecksum(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && i + 2 < text.size() &&
        platform::HexDigitValue(text[i + 2]) >= 0)
        i += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && platform::HexDigitValue(text[i]) >= 0; ++i) {
        value = value * 16 + static_cast<uint64_t>(platform::HexDigitValue(text[i]));
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - result) : result;
}

void PatchCatalog::Clear() {
    installKey.clear();
    installPathSubkey.clear();
    file.clear();
    patches.clear();
    builds.clear();
}

void PatchCatalog::Parse(const std::string& catalogueAddress) {
    Clear();
    std::string body = HttpGetToString(catalogueAddress, 3);
    if (body.empty())
        return;
    ParseText(body);
}

bool PatchCatalog::ParseText(const std::string& text) {
    Clear();
    TiXmlDocument document;
    if (!xmlread::ParseDocument(text, document))
        return false;
    const TiXmlElement* catalog = document.FirstChildElement("catalog");
    const TiXmlElement* shibboleth = catalog ? catalog->FirstChildElement("shibboleth") : nullptr;
    auto key = xmlread::Attribute(shibboleth, "installkey");
    auto subkey = xmlread::Attribute(shibboleth, "installpathsubkey");
    auto path = xmlread::Attribute(shibboleth, "file");
    if (!key || !subkey || !path)
        return false;

    // Every build first, so that patches link to builds wherever they stand.
    std::vector<std::unique_ptr<CatalogBuild>> readBuilds;
    for (const TiXmlElement* e = catalog->FirstChildElement("build"); e; e = e->NextSiblingElement("build")) {
        auto version = xmlread::Attribute(e, "version");
        auto checksum = xmlread::Attribute(e, "checksum");
        if (!version || !checksum)
            return false;
        auto build = std::make_unique<CatalogBuild>();
        build->version = *version;
        build->checksum = ParseCatalogChecksum(*checksum);
        build->latest = EqualsIgnoringAsciiCase(xmlread::AttributeText(e, "latest"), "true");
        readBuilds.push_back(std::move(build));
    }
    builds = std::move(readBuilds);
    std::unordered_map<std::string, CatalogBuild*> byVersion;  // the first build of each version
    for (const auto& b : builds)
        byVersion.emplace(b->version, b.get());
    auto find = [&](const std::string& version) -> CatalogBuild* {
        auto it = byVersion.find(version);
        return it == byVersion.end() ? nullptr : it->second;
    };
    for (const TiXmlElement* e = catalog->FirstChildElement("patch"); e; e = e->NextSiblingElement("patch")) {
        auto start = xmlread::Attribute(e, "start");
        auto end = xmlread::Attribute(e, "end");
        auto url = xmlread::Attribute(e, "url");
        if (!start || !end || !url) {
            Clear();
            return false;
        }
        auto patch = std::make_unique<CatalogPatch>();
        patch->start = *start;
        patch->end = *end;
        patch->url = *url;
        patch->endBuild = find(*end);
        if (CatalogBuild* from = find(*start))
            from->outgoing.push_back(patch.get());
        patches.push_back(std::move(patch));
    }
    installKey = *key;
    installPathSubkey = *subkey;
    file = *path;
    return true;
}

const CatalogBuild* PatchCatalog::FindBuild(const std::string& version) const {
    for (const auto& b : builds)
        if (b->version == version)
            return b.get();
    return nullptr;
}

const CatalogBuild* PatchCatalog::IdentifyBuild() const {
    if (!GameKeyExists(installKey)) {
        ShowMessage(Msg::RegistryKeyMissing);
        return nullptr;
    }
    std::string folder = ReadGameFolder(installKey, installPathSubkey);
    std::optional<std::string> path = ResolveDataPath(folder, file);
    uint32_t crc = 0;
    if (!path || ComputeFileCrc32(*path, crc) != 0) {
        ShowMessage(Msg::ShibbolethChecksumFailed);
        return nullptr;
    }
    for (const auto& b : builds)
        if (b->checksum == crc)
            return b.get();
    return nullptr;
}

std::unordered_map<const CatalogBuild*, int> PatchCatalog::ChainLengths() const {
    // A shortest chain never visits a build twice, so the breadth-first distance
    // is what a search that skips builds already on its path finds, capped the same.
    std::unordered_map<const CatalogBuild*, size_t> index;
    for (size_t i = 0; i < builds.size(); ++i)
        index.emplace(builds[i].get(), i);
    std::vector<std::vector<size_t>> leadingHere(builds.size());  // builds with a patch to this one
    for (size_t i = 0; i < builds.size(); ++i)
        for (const CatalogPatch* p : builds[i]->outgoing)
            if (p->endBuild)
                leadingHere[index.at(p->endBuild)].push_back(i);

    std::vector<int> length(builds.size(), kNoChain);
    std::deque<size_t> queue;
    for (size_t i = 0; i < builds.size(); ++i)
        if (builds[i]->latest) {
            length[i] = 0;
            queue.push_back(i);
        }
    while (!queue.empty()) {
        size_t at = queue.front();
        queue.pop_front();
        if (length[at] + 1 >= kNoChain)
            continue;
        for (size_t from : leadingHere[at]) {
            if (length[from] == kNoChain) {
                length[from] = length[at] + 1;
                queue.push_back(from);
            }
        }
    }
    std::unordered_map<const CatalogBuild*, int> byBuild;
    for (size_t i = 0; i < builds.size(); ++i)
        byBuild.emplace(builds[i].get(), length[i]);
    return byBuild;
}

int PatchCatalog::ChainLength(const CatalogBuild* build) const {
    auto lengths = ChainLengths();
    auto it = lengths.find(build);
    return it == lengths.end() ? kNoChain : it->second;
}

const CatalogPatch* PatchCatalog::NextPatchFrom(const CatalogBuild* build) const {
    if (!build || build->latest)
        return nullptr;
    auto length = ChainLengths();
    int best = kMaxChain;
    const CatalogPatch* chosen = nullptr;
    for (const CatalogPatch* p : build->outgoing) {
        if (!p->endBuild)
            continue;
        int n = length.at(p->endBuild);
        if (n < best) {  // ties keep the earlier patch
            best = n;
            chosen = p;
        }
    }
    return chosen;
}

std::string PatchCatalog::NextPatchUrl() const {
    const CatalogBuild* installed = IdentifyBuild();
    if (!installed || installed->latest)
        return {};
    const CatalogPatch* next = NextPatchFrom(installed);
    if (!next) {
        ShowMessage(Msg::NoPatchPath);
        return {};
    }
    return next->url;
}
