#include "games/downloads/TransferFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "core/text/StringUtils.h"
#include "games/downloads/SaveFolder.h"
#include "games/downloads/TransferSettings.h"

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

TransferFiles::TransferFiles(const std::string& address)
    : urls(SplitString(address, ',')),
      record(address),
      marks(urls.size(), DownloadRecord::kNotWritten),
      durable(urls.size(), DownloadRecord::kUnknownLength) {}

bool TransferFiles::HasUsableFileNames() const {
    if (urls.empty())
        return false;
    std::set<std::string> seen;
    for (const std::string& url : urls) {
        std::string name = GetUrlFileName(url);
        if (!IsPlainFileName(name) || !seen.insert(name).second)
            return false;
    }
    return true;
}

void TransferFiles::SetSaveFolder(const std::string& folder) {
    std::lock_guard<std::mutex> guard(lock);
    saveFolder = folder;
}

std::string TransferFiles::SaveFolder() const {
    std::lock_guard<std::mutex> guard(lock);
    return saveFolder;
}

std::string TransferFiles::CurrentUrl() const {
    std::lock_guard<std::mutex> guard(lock);
    return currentUrl;
}

std::string TransferFiles::CurrentFileName() const {
    std::lock_guard<std::mutex> guard(lock);
    return currentFileName;
}

std::string TransferFiles::SetCurrent(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock);
    currentUrl = url;
    currentFileName = GetUrlFileName(url);
    outputPath = saveFolder + currentFileName;
    return outputPath;
}

std::string TransferFiles::OutputPath(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock);
    currentFileName = GetUrlFileName(url);
    outputPath = saveFolder + currentFileName;
    return outputPath;
}

std::vector<std::string> TransferFiles::OutputPathsIn(const std::string& folder) const {
    std::vector<std::string> paths;
    for (const std::string& url : urls)
        paths.push_back(folder + GetUrlFileName(url));
    return paths;
}

void TransferFiles::LoadMarks(bool resume) {
    std::lock_guard<std::mutex> guard(durableLock);
    if (resume) {
        marks = record.LoadFileMarks(urls.size());
        durable = record.LoadDurableLengths(urls.size());
    } else {
        marks.assign(urls.size(), DownloadRecord::kNotWritten);
        durable.assign(urls.size(), DownloadRecord::kUnknownLength);
        record.ClearFileMarks();
    }
}

void TransferFiles::RecordMark(size_t index, const std::string& mark) {
    marks[index] = mark;
    record.SaveFileMark(index, urls.size(), mark);
}

int64_t TransferFiles::KeptLength(size_t index, int64_t sizeOnDisk) const {
    std::lock_guard<std::mutex> guard(durableLock);
    int64_t known = durable[index];
    return known == DownloadRecord::kUnknownLength ? sizeOnDisk : std::min(sizeOnDisk, known);
}

bool TransferFiles::RecordDurableLength(size_t index, int64_t length) {
    std::lock_guard<std::mutex> guard(durableLock);
    if (!record.SaveDurableLength(index, urls.size(), length))
        return false;
    durable[index] = length;
    return true;
}

bool TransferFiles::IsInstaller(const std::string& path) {
    return EndsWith(path, ".exe") || EndsWith(path, ".msi") || EndsWith(path, ".quorpatch");
}

void TransferFiles::RecordInstaller(const std::string& path) const {
    record.SaveInstaller(path);
}

int64_t TransferFiles::SizeOnDisk(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

bool TransferFiles::IsWritableName(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

bool TransferFiles::SyncSaveFolder(const TransferSettings& settings) const {
    return settings.SyncFolder(SaveFolder());
}
