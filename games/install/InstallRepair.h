#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "core/threads/Thread.h"
#include "games/install/InstallManifest.h"

class StaleFetchFiles;

// Checks an installed game against its install manifest and fetches again each
// file that is missing or differs, on a thread of its own. The game panel starts
// it, polls the progress and the current file, and joins it when the progress
// reads 1.0 (Run marks the stop itself at its end, so one run is all).
class InstallRepair : public Thread {
public:
    InstallRepair(std::string installFolder, std::string installManifestUrl, std::string fileBaseUrl);
    ~InstallRepair() override;

    float GetProgress();
    // The file being checked, as the manifest writes it, with "/" between folders.
    std::string GetCurrentFile();

    // Fetches one file again: to a temporary file beside it, renamed into place
    // only after a complete 2xx reply whose checksum (when the line gives one)
    // is right, with the mode of the file it replaces. On any failure the
    // existing file stays. Always true: a failed fetch is not reported.
    bool RepairFile(const std::string& localPath, const InstallManifestLine& line);

    // The file's address: blanks as "%20", "\" as "/", after the base without
    // one trailing "/".
    std::string FileUrl(const std::string& relativePath) const;

    // How many files the check reads at once; before Start. 0 (the default):
    // one on a spinning disk, else up to 8.
    void SetReaders(unsigned count);

protected:
    void Run() override;

private:
    void SetProgress(float value);
    void RemoveStaleFetchFiles(const std::string& localPath, StaleFetchFiles& leftovers) const;
    std::function<bool()> Stopping() const;
    unsigned CheckReaders() const;

    const std::string installFolder;
    const std::string installManifestUrl;
    const std::string fileBaseUrl;
    unsigned readerCount = 0;

    std::mutex lock;  // guards the two below
    std::string currentFile;
    float progress = 0;
};
