#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct CatalogPatch;

// One known build of a game, identified by the CRC-32 of its shibboleth file.
struct CatalogBuild {
    std::string version;  // compared as exact text
    uint32_t checksum = 0;
    bool latest = false;
    std::vector<CatalogPatch*> outgoing;  // patches that start here, in document order
};

// One patch file from the build named start to the build named end.
struct CatalogPatch {
    std::string start;
    std::string end;
    std::string url;
    CatalogBuild* endBuild = nullptr;  // none when no build has the end's version
};

// A game's patch catalogue: its known builds, the patches between them, and the
// file whose checksum tells which build is installed. Built per use.
//
//   <catalog>
//     <shibboleth installkey="HKEY_LOCAL_MACHINE\..." installpathsubkey="Path" file="\bin\game.exe"/>
//     <build version="1.0" checksum="1a2b3c4d"/>
//     <build version="1.1" checksum="0x5e6f7a8b" latest="true"/>
//     <patch start="1.0" end="1.1" url="http://.../1.0-1.1.quorpatch"/>
//   </catalog>
class PatchCatalog {
public:
    // Chains are searched up to this many patches; ChainLength gives kNoChain
    // when no latest build is reachable within them.
    static constexpr int kMaxChain = 999;
    static constexpr int kNoChain = 1000;

    PatchCatalog() = default;
    PatchCatalog(const PatchCatalog&) = delete;
    PatchCatalog& operator=(const PatchCatalog&) = delete;

    // Fetches the catalogue (3-second connect time-out) and reads it; on any
    // failure it stays empty.
    void Parse(const std::string& catalogueAddress);
    // Reads a catalogue document. False, and the catalogue empty, when the text
    // is not well-formed or lacks "catalog", "shibboleth" or a required attribute.
    bool ParseText(const std::string& text);
    void Clear();

    bool HasShibboleth() const { return !file.empty(); }
    const std::string& InstallKey() const { return installKey; }
    const std::string& InstallPathSubkey() const { return installPathSubkey; }
    const std::string& ShibbolethFile() const { return file; }
    const std::vector<std::unique_ptr<CatalogBuild>>& Builds() const { return builds; }
    const std::vector<std::unique_ptr<CatalogPatch>>& Patches() const { return patches; }

    // The first build whose version is the text.
    const CatalogBuild* FindBuild(const std::string& version) const;

    // The installed build: the first whose checksum equals the shibboleth file's
    // (its path joined to the install folder read from the registry). None when
    // the key is missing (message 35), the checksum cannot be computed (message
    // 34) or no build matches (no message).
    const CatalogBuild* IdentifyBuild() const;

    // Patches on the shortest chain from the build to a latest build: 0 for a
    // latest build, kNoChain when none is reachable within kMaxChain patches.
    int ChainLength(const CatalogBuild* build) const;

    // The patch to apply next from an installed build: of its patches, the first
    // whose end has the shortest chain (below kMaxChain). Null for a latest build
    // and when none leads on.
    const CatalogPatch* NextPatchFrom(const CatalogBuild* build) const;

    // The address of the patch file to apply next; empty when the installed build
    // is unknown, is the latest, or has no path to a latest build (message 38).
    std::string NextPatchUrl() const;

private:
    // Every build's chain length, by one breadth-first search back from the
    // latest builds: linear in the catalogue, whatever its shape.
    std::unordered_map<const CatalogBuild*, int> ChainLengths() const;

    std::string installKey;
    std::string installPathSubkey;
    std::string file;
    std::vector<std::unique_ptr<CatalogBuild>> builds;
    std::vector<std::unique_ptr<CatalogPatch>> patches;
};

// A catalogue checksum as a 32-bit strtoul reads it in base 16: leading blanks,
// an optional sign (a minus negates), an optional "0x", the hexadecimal digits up
// to the first other character; saturating at 0xFFFFFFFF, 0 without digits.
uint32_t ParseCatalogChecksum(const std::string& text);
