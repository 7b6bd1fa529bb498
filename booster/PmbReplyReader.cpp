#include "booster/PmbReplyReader.h"

#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <tinyxml.h>
#include <variant>

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

void ReadValue(const TiXmlElement* parent, const char* name, std::wstring& field) {
    if (const char* text = Text(parent, name))
        field = Utf8ToWString(text);  // throws on malformed text: a bad reply
}

void ReadValue(const TiXmlElement* parent, const char* name, int64_t& field) {
    if (const char* text = Text(parent, name))
        field = ReadInt64(text);
}

void ReadValue(const TiXmlElement* parent, const char* name, int32_t& field) {
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

void ReadValue(const TiXmlElement* parent, const char* name, bool& field) {
    if (const char* text = Text(parent, name))
        field = std::string(text) == "true";
}

// A token goes whole into a file and a request: its entire text is read (a
// character reference may put a NUL in it, where GetText would end), and one
// holding a line end or a NUL is refused.
void ReadToken(const TiXmlElement* parent, const char* name, std::wstring& field) {
    const TiXmlElement* element = Child(parent, name);
    const TiXmlText* text = element && element->FirstChild() ? element->FirstChild()->ToText() : nullptr;
    if (!text)
        return;
    const std::string& value = text->ValueStr();
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw std::invalid_argument("a token holds a line end or a NUL");
    field = Utf8ToWString(value);
}

void ReadValue(const TiXmlElement* parent, const char* name, StatusResp& status) {
    const TiXmlElement* block = Child(parent, name);
    ReadValue(block, "statusId", status.statusId);
    ReadValue(block, "statusLink", status.statusLink);
    ReadValue(block, "statusStr", status.statusStr);
}

// One element of a reply and the member of Record it is read into.
template <typename Record>
struct Field {
    const char* name;
    std::variant<std::wstring Record::*, int64_t Record::*, int32_t Record::*, bool Record::*, StatusResp Record::*>
        member;
};

template <typename Record>
using Fields = std::initializer_list<Field<Record>>;

// Reads the fields in the table's order; a missing element leaves its member as it was.
template <typename Record>
void ReadFields(const TiXmlElement* parent, Record& record, Fields<Record> fields) {
    for (const Field<Record>& field : fields)
        std::visit([&](auto member) { ReadValue(parent, field.name, record.*member); }, field.member);
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

// A reply that is only a table of fields below its root.
template <typename Record>
Outcome ReadFlat(const std::string& body, const char* rootName, Record& record, Fields<Record> fields) {
    return ReadWith(body, rootName, record,
                    [fields](const TiXmlElement* root, Record& r) { ReadFields(root, r, fields); });
}

}  // namespace

Outcome Read(const std::string& body, VersionResp& record) {
    return ReadFlat<VersionResp>(body, "VersionResp", record,
                                 {{"buildId", &VersionResp::buildId},
                                  {"version", &VersionResp::version},
                                  {"upgradeAvailable", &VersionResp::upgradeAvailable},
                                  {"exclusivity", &VersionResp::exclusivity}});
}

Outcome Read(const std::string& body, LoginStatusResp& record) {
    return ReadFlat<LoginStatusResp>(
        body, "LoginStatus", record,
        {{"loginStatus", &LoginStatusResp::loginStatus}, {"subscriptionLevel", &LoginStatusResp::subscriptionLevel}});
}

Outcome Read(const std::string& body, TokenResp& record) {
    return ReadWith(body, "TokenResp", record, [](const TiXmlElement* root, TokenResp& r) {
        ReadToken(root, "diskToken", r.diskToken);
        ReadToken(root, "netToken", r.netToken);
        ReadFields<TokenResp>(root, r, {{"filePath", &TokenResp::filePath}, {"validated", &TokenResp::validated}});
    });
}

Outcome Read(const std::string& body, KeyResp& record) {
    return ReadFlat<KeyResp>(body, "KeyResp", record, {{"status", &KeyResp::status}, {"value", &KeyResp::value}});
}

Outcome Read(const std::string& body, TransferStatus& record) {
    return ReadFlat<TransferStatus>(body, "TransferStatus", record,
                                    {{"status", &TransferStatus::status},
                                     {"torrentId", &TransferStatus::torrentId},
                                     {"type", &TransferStatus::type},
                                     {"bytesDownloaded", &TransferStatus::bytesDownloaded},
                                     {"torrentSize", &TransferStatus::torrentSize},
                                     {"bitRate", &TransferStatus::bitRate},
                                     {"bytesFromCDN", &TransferStatus::bytesFromCDN},
                                     {"bytesFromSPs", &TransferStatus::bytesFromSPs},
                                     {"bytesFromPeers", &TransferStatus::bytesFromPeers}});
}

Outcome Read(const std::string& body, TransferFiles& record) {
    return ReadWith(body, "TransferFiles", record, [](const TiXmlElement* root, TransferFiles& r) {
        // The booster's own "\" between folder and name is kept; without a
        // folder the names stand alone.
        std::wstring folder;
        ReadValue(root, "DestDir", folder);
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
        ReadFields<PD_Lib_TransferInfo>(root, r,
                                        {{"packageId", &PD_Lib_TransferInfo::packageId},
                                         {"key", &PD_Lib_TransferInfo::key},
                                         {"description", &PD_Lib_TransferInfo::description},
                                         {"packageURL", &PD_Lib_TransferInfo::packageURL},
                                         {"packager", &PD_Lib_TransferInfo::packager},
                                         {"creationDate", &PD_Lib_TransferInfo::creationDate}});
        if (const TiXmlElement* files = Child(root, "files")) {
            for (const TiXmlElement* file = files->FirstChildElement("file"); file;
                 file = file->NextSiblingElement("file")) {
                TransferInfoFile entry;
                ReadValue(file, "name", entry.name);
                ReadValue(file, "size", entry.size);
                r.files.push_back(std::move(entry));
            }
        }
        ReadFields<PD_Lib_TransferInfo>(root, r,
                                        {{"packageSize", &PD_Lib_TransferInfo::packageSize},
                                         {"Sequential", &PD_Lib_TransferInfo::Sequential},
                                         {"targetRate", &PD_Lib_TransferInfo::targetRate},
                                         {"idleRate", &PD_Lib_TransferInfo::idleRate},
                                         {"httpEncrypted", &PD_Lib_TransferInfo::httpEncrypted},
                                         {"LeaveEncrypted", &PD_Lib_TransferInfo::LeaveEncrypted},
                                         {"noP2PPermitted", &PD_Lib_TransferInfo::noP2PPermitted},
                                         {"DownloadToExpire", &PD_Lib_TransferInfo::DownloadToExpire},
                                         {"PlayToExpire", &PD_Lib_TransferInfo::PlayToExpire}});
    });
}

Outcome ReadStatus(const std::string& body, const char* root, StatusResp& record) {
    return ReadWith(body, root, record, [](const TiXmlElement* r, StatusResp& s) { ReadValue(r, "status", s); });
}

}  // namespace pmbreply
