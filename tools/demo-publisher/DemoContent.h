#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "tools/demo-publisher/DemoGame.h"
#include "tools/demo-publisher/PublisherSettings.h"

// Everything the demo publisher serves, made at start in its data folder:
//
//   builds/<slug>/<n>/...              the three builds of each game
//   patches/<slug>/<slug>-<a>-<b>.quorpatch  the patches 1 -> 2 and 2 -> 3 (quor-mkpatch's builder)
//   installers/<slug>/<Setup>.exe      a "#!/bin/sh" installer of build 1
//   installers/<slug>/broken/<Setup>.exe  one that exits without installing
//   update/QuorSetup.exe               the launcher's update installer
//   banners/<slug>.png, icons/<slug>.png
//
// and the documents that depend on the publisher's address and settings: the
// manifest, each game's patch catalogue and install manifest.
class DemoContent {
public:
    struct Options {
        std::string dataFolder;
        std::string recordFolder;  // where the games and installers note that they ran
        std::string quorReg;       // the registry tool the installers call
        std::string bsdiff = "bsdiff";
        int playSeconds = 2;
    };

    bool Generate(const Options& options, std::string& error);

    std::string Manifest(const std::string& base, const PublisherSettings& settings) const;
    std::string PatchCatalogue(const DemoGame& game, const std::string& base, const PublisherSettings& settings) const;
    // The files of the build it describes (the latest offered unless set) with
    // their CRC-32, one "\path,crc" line each.
    std::string InstallManifest(const DemoGame& game, const PublisherSettings& settings) const;

    // A file of a build ("" and false when the build has no such file).
    bool BuildFile(const DemoGame& game, int build, const std::string& path, std::string& bytes) const;
    const std::string& Installer(const DemoGame& game, bool broken) const;
    const std::string& Patch(const DemoGame& game, int from) const;  // from -> from + 1
    const std::string& UpdateInstaller() const { return updateInstaller; }
    const std::string& Banner(const DemoGame& game) const;
    const std::string& Icon(const DemoGame& game) const;

    std::string BuildFolder(const DemoGame& game, int build) const;
    uint32_t ShibbolethCrc(const DemoGame& game, int build) const;

    static std::string UpdateInstallerPath(int32_t version);  // "/quor/update/QuorSetup-<version>.exe"
    // "<slug>-<from>-<from + 1>.quorpatch": the launcher saves downloads under their
    // address's file name in one folder, so every game's patches need names of their own.
    static std::string PatchFileName(const DemoGame& game, int from);

private:
    struct GameContent {
        std::array<std::map<std::string, std::string>, DemoGame::kBuilds + 1> builds;  // [1..3]
        std::array<std::string, DemoGame::kBuilds> patches;                            // [1], [2]
        std::string installer, brokenInstaller, banner, icon;
    };

    std::string InstallerScript(const DemoGame& game, const std::map<std::string, std::string>& files) const;
    const GameContent& Of(const DemoGame& game) const { return games.at(game.slug); }

    Options options;
    std::map<std::string, GameContent> games;
    std::string updateInstaller;
};
