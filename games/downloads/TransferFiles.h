#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "games/downloads/DownloadRecord.h"

struct TransferSettings;

// The files of one download address: their names in the save folder, which
// one is being fetched, and what the record keeps of them (each file's mark and
// durable length, the installer). The names are guarded for the report's
// threads; the marks belong to Prepare and then to the transfer's thread, whose
// file syncer may record durable lengths from a thread of its own.
class TransferFiles {
public:
    explicit TransferFiles(const std::string& address);

    const std::vector<std::string>& Urls() const { return urls; }
    size_t Count() const { return urls.size(); }
    // Every URL's file name is a plain name and no two are equal.
    bool HasUsableFileNames() const;

    void SetSaveFolder(const std::string& folder);
    std::string SaveFolder() const;
    std::string CurrentUrl() const;
    std::string CurrentFileName() const;
    // Makes the URL the one being fetched; returns its output path.
    std::string SetCurrent(const std::string& url);
    // Save folder + the URL's file name; also makes it the current file.
    std::string OutputPath(const std::string& url);
    // Where the files land in a folder.
    std::vector<std::string> OutputPathsIn(const std::string& folder) const;

    // A resumed download takes the recorded marks and durable lengths; a new
    // one clears them.
    void LoadMarks(bool resume);
    const std::string& Mark(size_t index) const { return marks[index]; }
    // This download has written the file (it may be resumed).
    bool IsWritten(size_t index) const { return marks[index] != DownloadRecord::kNotWritten; }
    // Recorded before the first byte lands, so that a restart knows this
    // download wrote the file and which version it is.
    void RecordMark(size_t index, const std::string& mark);
    // The bytes of a written file that a resume keeps: what lies on the disk, but
    // no more than was recorded durable (all of it for a record that never said).
    int64_t KeptLength(size_t index, int64_t sizeOnDisk) const;
    // Recorded only once the file's first `length` bytes are durable; false when
    // the record could not be written.
    bool RecordDurableLength(size_t index, int64_t length);
    // A fetched file ending in ".exe", ".msi" or ".quorpatch" is the installer.
    static bool IsInstaller(const std::string& path);
    void RecordInstaller(const std::string& path) const;

    // The size of a regular file; -1 when there is none.
    static int64_t SizeOnDisk(const std::string& path);
    // A file the download may write at that name: none yet, or a regular file
    // with no other name (never a link, a pipe or a device).
    static bool IsWritableName(const std::string& path);
    // Makes the files' names in the save folder durable.
    bool SyncSaveFolder(const TransferSettings& settings) const;

private:
    const std::vector<std::string> urls;
    const DownloadRecord record;
    std::vector<std::string> marks;  // per file, see DownloadRecord
    mutable std::mutex durableLock;  // guards the lengths and their record
    std::vector<int64_t> durable;    // per file, see DownloadRecord

    mutable std::mutex lock;  // guards the strings below
    std::string saveFolder;
    std::string currentUrl;
    std::string currentFileName;
    std::string outputPath;
};
