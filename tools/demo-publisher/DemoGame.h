#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One game of the demo publisher and the files of each of its three builds.
struct DemoGame {
    int32_t id = 0;
    std::string name;       // "Star Courier": the registry key, the install folder ~/Games/<name>/
    std::string slug;       // "starcourier": its addresses
    std::string setupName;  // "StarCourierSetup.exe"
    std::string exeName;    // "starcourier.exe", a "#!/bin/sh" script
    std::string exeParams;  // what the manifest gives the game on its command line
    bool requireLogin = false;
    uint32_t colourA = 0, colourB = 0;  // banner colours, 0xRRGGBB

    static constexpr int kBuilds = 3;
    static constexpr const char* kShibboleth = "build.id";
    static constexpr const char* kInstallPathValue = "InstallPath";
    static constexpr const char* kProgramValue = "Program";

    // "Software\Brindlemoor Demo\<name>" under HKEY_CURRENT_USER.
    std::string RegistryKey() const;

    // The files of a build (1 to 3), relative paths with "/". Each build has its
    // own shibboleth file; from one build to the next files are added, removed
    // and changed, so the patches need all three kinds of entry.
    std::map<std::string, std::string> BuildFiles(int build, const std::string& gameScript) const;

    // The game program: notes its command line (and working folder) in
    // <recordFolder>/<slug>-runs.log, stays up for a while, ends.
    std::string GameScript(const std::string& recordFolder, int playSeconds) const;

    static const std::vector<DemoGame>& All();
    static const DemoGame* Find(const std::string& name);
};

// A text as one shell word: '...' with every ' written as '\''.
std::string ShellQuote(const std::string& text);
