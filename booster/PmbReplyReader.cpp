#include "booster/PmbReplyReader.h"

#include <limits>
#include <stdexcept>
#include <tinyxml.h>

#include "core/text/StringUtils.h"
#include "core/text/XmlReading.h"

namespace pmbreply {

int64_t ReadInt64(const char* text) {
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // Accumulated as a negative number, whose range holds the 64-bit minimum.
    int64_t value = 0;
    const int64_t lowest = std::numeric_limits<int64_t>::min();
    bool clamped = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (clamped)
            continue;
        if (value < (lowest + digit) / 10) {
            clamped = true;
            value = lowest;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::numeric_limits<int64_t>::max();
    return -value;
}

namespace {

const TiXmlElement* Child(const TiXmlElement* parent, const char* name) {
    return parent ? parent->FirstChildElement(name) : nullptr;
}

// nullptr for a missing element or one without text.
const char* Text(const TiXmlElement* parent, const char* name) {
    const TiXmlElement* element = Child(parent, name);
    return element ? element->GetText() : nullptr;
}

void ReadText(const TiXmlElement* parent, const char* name, std::wstring& field) {
    if (const char* text = Text(parent, name))
        field = Utf8ToWString(text);  // throws on malformed text: a bad reply
}

void ReadInt(const TiXmlElement* parent, const char* name, int64_t& field) {
    if (const char* text = Text(parent, name))
        field = ReadInt64(text);
}

void ReadInt(const TiXmlElement* parent, const char* name, int32_t& field) {
    if (const char* text = Text(parent, name)) {
        const int64_t value = ReadInt64(text);
        if (value > std::numeric_limits<int32_t>::max())
            field = std::numeric_limits<int32_t>::max();
        else if (value < std::numeric_limits<int32_t>::min())
            field = std::numeric_limits<int32_t>::min();
        else
            field = static_cast<int32_t>(value);
    }
}

void ReadBool(const TiXmlElement* parent, const char* name, bool& field) {
    if (const char* text = Text(parent, name))
        field = std::string(text) == "true";
}

void ReadStatusBlock(const TiXmlElement* root, StatusResp& status) {
    const TiXmlElement* block = Child(root, "status");
    ReadInt(block, "statusId", status.statusId);
    ReadText(block, "statusLink", status.statusLink);
    ReadText(block, "statusStr", status.statusStr);
}

// Parses the body and hands the root to fill, which fills a fresh record; the
// caller's record is replaced only when the whole reply could be read.
template <typename Record, typename Fill>
Outcome ReadWith(const std::string& body, const char* rootName, Record& record, Fill fill) {
    if (body.empty())
        return Outcome::NoReply;
    TiXmlDocument document;
    if (!xmlread::ParseDocument(body, document))
        return Outcome::BadReply;
    const TiXmlElement* root = document.FirstChildElement(rootName);
    if (!root)
        return Outcome::BadReply;
    Record fresh = record;
    try {
        fill(root, fresh);
    } catch (const std::exception&) {
        return Outcome::BadReply;
    }
    record = std::move(fresh);
    return Outcome::Ok;
}

}  // namespace

Outcome Read(const std::string& body, VersionResp& record) {
    return ReadWith(body, "VersionResp", record, [](const TiXmlElement* root, VersionResp& r) {
        ReadText(root, "buildId", r.buildId);
        ReadText(root, "version", r.version);
        ReadBool(root, "upgradeAvailable", r.upgradeAvailable);
        ReadText(root, "exclusivity", r.exclusivity);
    });
}

Outcome Read(const std::string& body, LoginStatusResp& record) {
    return ReadWith(body, "LoginStatus", record, [](const TiXmlElement* root, LoginStatusResp& r) {
        ReadText(root, "loginStatus", r.loginStatus);
        ReadInt(root, "subscriptionLevel", r.subscriptionLevel);
    });
}

Outcome Read(const std::string& body, TokenResp& record) {
    return ReadWith(body, "TokenResp", record, [](const TiXmlElement* root, TokenResp& r) {
        ReadText(root, "diskToken", r.diskToken);
        ReadText(root, "netToken", r.netToken);
        ReadText(root, "filePath", r.filePath);
        ReadBool(root, "validated", r.validated);
    });
}

Outcome Read(const std::string& body, KeyResp& record) {
    return ReadWith(body, "KeyResp", record, [](const TiXmlElement* root, KeyResp& r) {
        ReadStatusBlock(root, r.status);
        ReadText(root, "value", r.value);
    });
}

Outcome Read(const std::string& body, TransferStatus& record) {
    return ReadWith(body, "TransferStatus", record, [](const TiXmlElement* root, TransferStatus& r) {
        ReadStatusBlock(root, r.status);
        ReadText(root, "torrentId", r.torrentId);
        ReadText(root, "type", r.type);
        ReadInt(root, "bytesDownloaded", r.bytesDownloaded);
        ReadInt(root, "torrentSize", r.torrentSize);
        ReadInt(root, "bitRate", r.bitRate);
        ReadInt(root, "bytesFromCDN", r.bytesFromCDN);
        ReadInt(root, "bytesFromSPs", r.bytesFromSPs);
        ReadInt(root, "bytesFromPeers", r.bytesFromPeers);
    });
}

Outcome Read(const std::string& body, TransferFiles& record) {
    return ReadWith(body, "TransferFiles", record, [](const TiXmlElement* root, TransferFiles& r) {
        // The booster's own "\" between folder and name is kept; without a
        // folder the names stand alone.
        std::wstring folder;
        ReadText(root, "DestDir", folder);
        if (!folder.empty() && folder.back() != L'\\')
            folder += L'\\';
        // The folder is repeated before every name: a long folder and many
        // names would multiply a small reply into an unbounded list.
        size_t total = 0;
        for (const TiXmlElement* file = root->FirstChildElement("File"); file;
             file = file->NextSiblingElement("File")) {
            const char* name = file->GetText();
            std::wstring path = folder + (name ? Utf8ToWString(name) : std::wstring());
            total += path.size() + 1;
            if (total > kMaxFileListCharacters)
                throw std::length_error("file list too long");
            r.files.push_back(std::move(path));
        }
    });
}

Outcome Read(const std::string& body, PD_Lib_TransferInfo& record) {
    return ReadWith(body, "TransferInfo", record, [](const TiXmlElement* root, PD_Lib_TransferInfo& r) {
        ReadText(root, "packageId", r.packageId);
        ReadText(root, "key", r.key);
        ReadText(root, "description", r.description);
        ReadText(root, "packageURL", r.packageURL);
        ReadText(root, "packager", r.packager);
        ReadText(root, "creationDate", r.creationDate);
        if (const TiXmlElement* files = Child(root, "files")) {
            for (const TiXmlElement* file = files->FirstChildElement("file"); file;
                 file = file->NextSiblingElement("file")) {
                TransferInfoFile entry;
                ReadText(file, "name", entry.name);
                ReadInt(file, "size", entry.size);
                r.files.push_back(std::move(entry));
            }
        }
        ReadInt(root, "packageSize", r.packageSize);
        ReadBool(root, "Sequential", r.Sequential);
        ReadInt(root, "targetRate", r.targetRate);
        ReadInt(root, "idleRate", r.idleRate);
        ReadBool(root, "httpEncrypted", r.httpEncrypted);
        ReadBool(root, "LeaveEncrypted", r.LeaveEncrypted);
        ReadBool(root, "noP2PPermitted", r.noP2PPermitted);
        ReadInt(root, "DownloadToExpire", r.DownloadToExpire);
        ReadInt(root, "PlayToExpire", r.PlayToExpire);
    });
}

Outcome ReadStatus(const std::string& body, const char* root, StatusResp& record) {
    return ReadWith(body, root, record, [](const TiXmlElement* r, StatusResp& s) { ReadStatusBlock(r, s); });
}

}  // namespace pmbreply
