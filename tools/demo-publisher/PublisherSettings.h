#pragma once
#include <cstdint>
#include <set>
#include <string>

// What the publisher offers at a moment; the options set it at start and the
// control endpoint changes it while it runs.
struct PublisherSettings {
    // The build the install manifest and its files are: the one set, else the newest offered.
    int RepairBuild() const { return installManifestBuild > 0 ? installManifestBuild : catalogueLatest; }

    int catalogueLatest = 1;                // the newest build the patch catalogues name (1 to 3)
    int installManifestBuild = 0;           // the build the install manifest describes; 0: catalogueLatest
    int32_t updateVersion = 31680;          // the launcher build offered; 31680 is Quor's own: no update
    int32_t manifestRefreshTime = 7200;     // seconds, the manifest's "manifestrefreshtime"
    int rateKbps = 0;                       // installers, patches and the update at most this fast; 0: no limit
    std::set<std::string> failDownload;     // games whose installer answers 404
    std::set<std::string> brokenInstaller;  // games whose installer exits without installing
    int generation = 1;                     // goes up with every change; the manifest's version
};
