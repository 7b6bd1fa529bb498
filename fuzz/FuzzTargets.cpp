#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include <tinyxml.h>

#include "core/settings/ConfigManager.h"
#include "core/settings/WineRegistry.h"
#include "core/system/MachineSerial.h"
#include "core/text/XmlReading.h"
#include "games/catalogue/ConfigDocument.h"
#include "games/catalogue/DesktopEntry.h"
#include "games/catalogue/Manifest.h"
#include "games/downloads/DownloadLock.h"
#include "games/downloads/ReplyHeaders.h"
#include "games/downloads/ResumeReply.h"
#include "games/downloads/TransferSettings.h"
#include "games/install/InstallManifest.h"
#include "games/patching/BinaryPatch.h"
#include "games/patching/LzmaAloneDecoder.h"
#include "games/patching/MemoryByteSource.h"
#include "games/patching/PatchCatalog.h"
#include "games/patching/PatchFile.h"
#include "platform/AtomicFile.h"
#include "platform/RegFileFormat.h"
#include "platform/SafePath.h"
#include "platform/browser/BridgeMessage.h"

namespace fuzztargets {

namespace {

// Takes output up to a budget and keeps nothing, so that a decompression bomb
// ends quickly instead of filling memory.
class CappedSink : public ByteSink {
public:
    explicit CappedSink(uint64_t cap) : cap(cap) {}
    bool Write(const void* data, size_t size) override {
        if (size > cap - taken)
            return false;
        taken += size;
        if (size > 0)
            last = static_cast<const unsigned char*>(data)[size - 1];  // touch what was produced
        return true;
    }

private:
    uint64_t cap;
    uint64_t taken = 0;
    unsigned char last = 0;
};

constexpr uint64_t kOutputCap = 32ull << 20;
constexpr uint64_t kLzmaMemoryCap = 64ull << 20;

const std::string& FixedOldFile() {
    static const std::string old = [] {
        std::string bytes;
        for (int i = 0; i < 8192; ++i)
            bytes += static_cast<char>((i * 7) ^ (i >> 3));
        return bytes;
    }();
    return old;
}

std::string DumpNode(const TiXmlNode& node) {
    std::string out = std::to_string(node.Type()) + ":" + node.ValueStr();
    if (const TiXmlElement* element = node.ToElement())
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
            out += " " + a->NameTStr() + "=" + a->ValueStr();
    out += "{";
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling())
        out += DumpNode(*child);
    return out + "}";
}

class DumpingReader final : public xmlread::ChildElementReader {
public:
    void Begin(size_t count) override { dumps.assign(count, std::string()); }
    void Visit(size_t index, const TiXmlElement& element) override { dumps[index] = DumpNode(element); }
    std::vector<std::string> dumps;
};

// Levels of elements that hold something: those the parser entered and that
// the nesting count must see open (a self-closed element is not a level there).
int OpenDepth(const TiXmlNode& node) {
    int deepest = 0;
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling())
        deepest = std::max(deepest, OpenDepth(*child));
    return deepest + (node.ToElement() && node.FirstChild() ? 1 : 0);
}

void CheckDepthCoversTree(const std::string& text) {
    if (!DepthCoversTree(text)) {
        std::fprintf(stderr, "the nesting count is below the depth of the parsed tree\n");
        std::abort();
    }
}

}  // namespace

bool DepthCoversTree(const std::string& text) {
    const int counted = xmlread::NestingDepth(text);
    if (counted > xmlread::kMaxDepth)
        return true;  // refused before parsing
    // Parsed without the reader's own depth check, padded as the reader pads.
    std::string buffer = text + std::string(8, '\0');
    TiXmlDocument document;
    document.Parse(buffer.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return counted >= OpenDepth(document);
}

int PatchFile(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    MemoryByteSource source(bytes);
    CheckPatchFile(source, "/fuzz/install");

    ::PatchFile file(source);
    if (!file.ReadHeader())
        return 0;
    MemoryByteSource old(FixedOldFile());
    PatchEntry entry;
    for (uint32_t i = 0; i < file.EntryCount() && file.NextEntry(entry); ++i) {
        PatchEntryTarget("/fuzz/install", entry);
        CappedSink sink(kOutputCap);
        if (entry.operation == kPatchWrite)
            DecodeLzmaAlone(source, entry.dataOffset, entry.dataLength, sink, kLzmaMemoryCap, kLzmaMemoryCap);
        else if (entry.operation == kPatchBinaryDiff)
            ApplyBsdiff(old, source, entry.dataOffset, entry.dataLength, sink);
    }
    return 0;
}

int Bsdiff(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    size_t oldLength = std::min<size_t>(size - 2, (static_cast<size_t>(data[0]) << 8 | data[1]) % 4096);
    std::string_view old(reinterpret_cast<const char*>(data) + 2, oldLength);
    std::string_view patch(reinterpret_cast<const char*>(data) + 2 + oldLength, size - 2 - oldLength);
    MemoryByteSource oldSource(old);
    MemoryByteSource patchSource(patch);
    BsdiffHeader header;
    ReadBsdiffHeader(patchSource, 0, patch.size(), header);
    CappedSink sink(kOutputCap);
    ApplyBsdiff(oldSource, patchSource, 0, patch.size(), sink);
    return 0;
}

int Catalog(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckDepthCoversTree(text);
    PatchCatalog catalog;
    if (!catalog.ParseText(text))
        return 0;
    for (const auto& build : catalog.Builds()) {
        catalog.NextPatchFrom(build.get());
        catalog.ChainLength(build.get());
        catalog.FindBuild(build->version);
    }
    return 0;
}

bool ChildByChildAgrees(const std::string& text) {
    DumpingReader reader;
    bool read = xmlread::ReadRootChildren(text, "manifest", reader);
    std::vector<std::string> whole;
    bool wholeRead = false;
    TiXmlDocument document;
    if (xmlread::ParseDocument(text, document)) {
        if (const TiXmlElement* root = document.FirstChildElement("manifest")) {
            wholeRead = true;
            for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement())
                whole.push_back(DumpNode(*child));
        }
    }
    return read == wholeRead && (!read || reader.dumps == whole);
}

int Manifest(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckDepthCoversTree(text);
    ParseManifestDocument(text, kBannerFolder, "tr");

    if (!ChildByChildAgrees(text)) {
        std::fprintf(stderr, "child-by-child reading differs from the whole document's\n");
        std::abort();
    }

    DesktopEntry::ExecProgram(DesktopEntry::Value("[Desktop Entry]\nExec=" + text, "Exec"));
    WineRegistry::Parse("WINE REGISTRY Version 2\n" + text);
    MemoryCapacitiesFromUdev(text);
    MemoryCapacitiesFromUdev("E:MEMORY_DEVICE_" + text);
    return 0;
}

int InstallManifest(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const InstallManifestLine& line : ParseInstallManifest(text)) {
        std::optional<std::string> joined = platform::SafeJoin("/fuzz/install", line.path);
        if (joined && joined->compare(0, 13, "/fuzz/install") != 0) {
            std::fprintf(stderr, "a manifest line joined outside its folder\n");
            std::abort();
        }
    }
    bool readable = false;
    ParseManifestChecksum(text, &readable);
    return 0;
}

int ResumeReply(const uint8_t* data, size_t size) {
    // Lines: the status line, then header lines, then the stored mark and the
    // offset, as a transfer meets them.
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ReplyFacts facts;
    std::string etag, lastModified, storedMark;
    int64_t offset = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (k == 0) {
            facts.status =
                std::strtol(line.substr(line.find(' ') == std::string::npos ? 0 : line.find(' ')).c_str(), nullptr, 10);
            continue;
        }
        size_t colon = line.find(':');
        std::string name = colon == std::string::npos ? std::string() : line.substr(0, colon);
        std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
        if (name == "Content-Range")
            facts.contentRange = value;
        else if (name == "ETag")
            etag = value;
        else if (name == "Last-Modified")
            lastModified = value;
        else if (name == "Mark")
            storedMark = value;
        else if (name == "Offset")
            offset = std::strtoll(value.c_str(), nullptr, 10);
    }
    facts.validator = ValidatorOf(etag, lastModified);
    ReplyVerdict verdict = JudgeReply(facts, offset, storedMark);
    const int64_t start = ContentRangeStart(facts.contentRange);
    ContentRangeReachesTheEnd(facts.contentRange);
    UnsatisfiedRangeLength(facts.contentRange);
    // A part is written at the offset only when it starts there.
    if (verdict == ReplyVerdict::Write && facts.status == 206 && start != offset) {
        std::fprintf(stderr, "a range that does not start at the offset was taken\n");
        std::abort();
    }

    // The same lines as libcurl hands them to a transfer, through the transfer's
    // own header reading, then judged as the transfer judges them.
    ReplyHeaders headers;
    for (const std::string& line : lines) {
        const std::string wire = line + "\r\n";
        headers.Take(wire.data(), wire.size());
    }
    for (const std::string* value : {&headers.ContentRange(), &headers.ETag(), &headers.LastModified()}) {
        if (!value->empty() && (value->front() == ' ' || value->front() == '\t' || value->back() == '\r' ||
                                value->back() == '\n' || value->back() == ' ' || value->back() == '\t')) {
            std::fprintf(stderr, "a header value kept its blanks or its line end\n");
            std::abort();
        }
    }
    if (headers.ContentLength() < -1 || headers.ProbedLength() < 0) {
        std::fprintf(stderr, "a header length came out negative\n");
        std::abort();
    }
    ReplyFacts read{facts.status, headers.ContentRange(), ValidatorOf(headers.ETag(), headers.LastModified()),
                    headers.ProbedLength()};
    ReplyVerdict readVerdict = JudgeReply(read, offset, storedMark);
    if (readVerdict == ReplyVerdict::Write && read.status == 206 && ContentRangeStart(read.contentRange) != offset) {
        std::fprintf(stderr, "a range read from the headers that does not start at the offset was taken\n");
        std::abort();
    }
    ContentRangeTotal(read.contentRange);
    ContentRangeEnd(read.contentRange);
    return 0;
}

int BridgeMessage(const uint8_t* data, size_t size) {
    auto items = browser::ParseBridgeMessage(std::string(reinterpret_cast<const char*>(data), size));
    if (items)
        for (const std::u16string& item : *items)
            browser::Utf16ToUtf8Lenient(item);
    return 0;
}

int ConfigDocument(const uint8_t* data, size_t size) {
    ConfigManager configuration;  // its own: a kept one would stand as the program's instance
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckDepthCoversTree(text);
    ::ConfigDocument::ReadText(text, configuration);
    return 0;
}

int RegStore(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::RegFileContents contents = platform::ParseRegFile(text, "HKEY_CURRENT_USER");
    // What was read is written back and read again without a complaint.
    const std::string written = platform::FormatRegFile(contents.tree, "HKEY_CURRENT_USER");
    platform::RegFileContents again = platform::ParseRegFile(written, "HKEY_CURRENT_USER");
    if (!again.errors.empty()) {
        std::fprintf(stderr, "a written store reads back with errors: %s\n", again.errors.front().c_str());
        std::abort();
    }
    // What is written grows with what was read (a byte may take four, "\x01" or
    // "dword:0" to "dword:00000000"), never with the square of a key's depth; and
    // writing it again changes nothing.
    if (written.size() > 4 * size + 64) {
        std::fprintf(stderr, "%zu bytes read were written as %zu\n", size, written.size());
        std::abort();
    }
    if (platform::FormatRegFile(again.tree, "HKEY_CURRENT_USER") != written) {
        std::fprintf(stderr, "a written store is written otherwise the second time\n");
        std::abort();
    }
    return 0;
}

int DownloadLockContent(const uint8_t* data, size_t size) {
    // A private folder for each input, holding the lock as it was found.
    char name[] = "/tmp/quor-fuzz-lock-XXXXXX";
    if (!mkdtemp(name))
        return 0;
    const std::string folder = std::string(name) + "/";
    const std::string path = folder + DownloadLock::kFileName;
    struct Cleanup {
        const std::string& folder;
        const std::string& path;
        ~Cleanup() {
            ::unlink(path.c_str());
            ::rmdir(folder.c_str());
        }
    } cleanup{folder, path};
    const std::string found(reinterpret_cast<const char*>(data), size);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    const bool written = platform::WriteDescriptor(fd, found.data(), found.size()) == 0;
    ::close(fd);
    if (!written)
        return 0;
    TransferSettings settings;
    settings.syncFile = [](int) { return true; };  // what is synced does not change the verdict
    const DownloadLock::Result result = DownloadLock::Take(folder, "alice", settings);
    // The verdict on a regular file: its first line (at most 254 bytes with the
    // line end, nothing from a zero byte on) is the user's own, or empty and then
    // claimed with the user's name; anything else is another user's, untouched.
    std::string line = found.substr(0, 254);
    if (size_t end = line.find('\n'); end != std::string::npos)
        line.resize(end + 1);
    line = line.substr(0, line.find('\0'));
    std::string after;
    platform::ReadWholeFile(path, after);
    const bool ownsIt = line.empty() || line == "alice";
    if (result != (ownsIt ? DownloadLock::Result::Owned : DownloadLock::Result::OtherUser) ||
        after != (line.empty() ? std::string("alice") : found)) {
        std::fprintf(stderr, "the lock was judged or left wrongly\n");
        std::abort();
    }
    return 0;
}

}  // namespace fuzztargets
