#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "games/downloads/DownloadState.h"

// What the registry group "Downloads" keeps about one download address. Value
// names are the address cut to its first 155 characters plus a suffix, so two
// addresses that agree that far share them; the full address is stored too, and
// a record whose stored address differs is treated as absent (an absent stored
// address, as written before it was kept, counts as matching).
class DownloadRecord {
public:
    static constexpr const char* kGroup = "Downloads";
    static constexpr size_t kStemLength = 155;

    explicit DownloadRecord(std::string address);

    const std::string& Address() const { return address; }
    std::string ValueName(const char* suffix) const;  // stem + suffix

    // False when another address holds the shared value names.
    bool BelongsToAddress() const;

    DownloadStatus LoadStatus() const;
    void SaveState(DownloadState state) const;
    int32_t LoadStartTime() const;
    void SaveStartTime(int64_t secondsSince1970) const;
    std::string LoadSaveDirectory() const;
    void SaveSaveDirectory(const std::string& folder) const;
    // "_downloadInstaller": the fetched file ending in ".exe", ".msi" or ".quorpatch".
    std::string LoadInstaller() const;
    void SaveInstaller(const std::string& path) const;
    // Claims the value names for this address.
    void SaveAddress() const;

    // Per file of the address (in URL order): whether this download has written
    // it, and the first reply's validator ("E:" + ETag or "L:" + Last-Modified,
    // "-" when the reply had neither). A file without a mark was never written by
    // this download and is never resumed.
    static constexpr const char* kNotWritten = "?";
    std::vector<std::string> LoadFileMarks(size_t fileCount) const;
    void SaveFileMark(size_t index, size_t fileCount, const std::string& mark) const;

    // "_downloadDurableBytes", per file in URL order: how many of the file's first
    // bytes were synced to the disk under its mark, so that a resume after a power
    // cut keeps no byte that may not have reached the disk. Written only after the
    // sync returned; "?" for a file of which nothing is known. A record without
    // the value (written before it was kept) knows nothing of any file.
    static constexpr int64_t kUnknownLength = -1;
    std::vector<int64_t> LoadDurableLengths(size_t fileCount) const;
    // False when the store could not be written. Not shown to the user: a length
    // that stays behind only costs a resume some bytes, and the writer decides.
    bool SaveDurableLength(size_t index, size_t fileCount, int64_t length) const;

    // Forgets the marks and durable lengths of every file.
    void ClearFileMarks() const;

    // The full addresses of every record that names one.
    static std::vector<std::string> RecordedAddresses();

private:
    uint32_t StoredCode() const;

    std::string address;
    std::string stem;
};
