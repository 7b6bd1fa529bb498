#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/threads/Thread.h"
#include "games/install/InstallManifest.h"

class StaleFetchFiles;
struct FileReadFacts;

// Checks an installed game against its install manifest and fetches again each
// file that is missing or differs, on a thread of its own. The manifest is
// written on Windows: each line finds its file whatever the case of its names
// (as the patcher does), and a name that exists in no case is created as the
// line spells it. Files are read ahead, but each line is judged on its file as
// it is when its turn comes, after the repairs of the lines before it. The game
// panel starts it, polls the progress and the current file, and joins it when
// the progress reads 1.0 (Run marks the stop itself at its end, so one run is
// all).
class InstallRepair : public Thread {
public:
    InstallRepair(std::string installFolder, std::string installManifestUrl, std::string fileBaseUrl);
    ~InstallRepair() override;

    float GetProgress();
    // The file being checked, as the manifest writes it, with "/" between folders.
    std::string GetCurrentFile();

    // Fetches one file again: to a temporary file beside it, renamed into place
    // only after a complete 2xx reply whose checksum (when the line gives one)
    // is right, with the mode of the file it replaces (a new file the umask's),
    // and the execute bits where it has read bits when it is a program (an ELF
    // binary or a "#!" script). The mode is set on the open file and synced with
    // the data before the rename, the folder synced after it. On any failure the
    // existing file stays. True when the file was replaced; a failed fetch is
    // not reported, and the check goes on either way.
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
    void Check(const std::vector<InstallManifestLine>& lines);
    void SetProgress(float value);
    // A program found with the right checksum but without its owner's execute
    // bit (left so by a power cut after an older repair's rename, before its mode
    // reached the disk, or by a copy that lost the modes) gets its execute bits
    // back.
    void RestoreExecuteBits(const std::string& localPath, const FileReadFacts& read) const;
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
