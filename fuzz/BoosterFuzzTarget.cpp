#include "fuzz/BoosterFuzzTarget.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "booster/PmbAnnouncedLength.h"
#include "booster/PmbReplyReader.h"
#include "core/text/StringUtils.h"

namespace fuzztargets {

namespace {

void MustConvert(const std::wstring& text) {
    try {
        WStringToUtf8(text);
    } catch (const ConversionError&) {
        std::abort();  // the reader let malformed text into a record
    }
}

// A token goes whole into a file and a request: one line, no NUL.
void MustBeOneLine(const std::wstring& token) {
    MustConvert(token);
    if (token.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos)
        std::abort();
}

void Check(const StatusResp& s) {
    MustConvert(s.statusLink);
    MustConvert(s.statusStr);
}

}  // namespace

int BoosterReply(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    // The same bytes as a reply's header lines.
    PmbAnnouncedLength announced;
    for (size_t start = 0; start < body.size();) {
        const size_t end = std::min(body.find('\n', start), body.size() - 1);
        announced.ReadHeaderLine(body.substr(start, end - start + 1));
        start = end + 1;
    }
    if (announced.Length() < -1)
        std::abort();
    using pmbreply::Outcome;
    VersionResp version;
    if (pmbreply::Read(body, version) == Outcome::Ok) {
        MustConvert(version.buildId);
        MustConvert(version.version);
        MustConvert(version.exclusivity);
    }
    LoginStatusResp login;
    if (pmbreply::Read(body, login) == Outcome::Ok)
        MustConvert(login.loginStatus);
    TokenResp token;
    if (pmbreply::Read(body, token) == Outcome::Ok) {
        MustBeOneLine(token.diskToken);
        MustBeOneLine(token.netToken);
        MustConvert(token.filePath);
    }
    KeyResp key;
    if (pmbreply::Read(body, key) == Outcome::Ok) {
        Check(key.status);
        MustConvert(key.value);
    }
    TransferStatus transfer;
    if (pmbreply::Read(body, transfer) == Outcome::Ok) {
        Check(transfer.status);
        MustConvert(transfer.torrentId);
        MustConvert(transfer.type);
    }
    TransferFiles files;
    if (pmbreply::Read(body, files) == Outcome::Ok)
        for (const std::wstring& file : files.files)
            MustConvert(file);
    PD_Lib_TransferInfo info;
    if (pmbreply::Read(body, info) == Outcome::Ok) {
        for (const std::wstring* text :
             {&info.packageId, &info.key, &info.description, &info.packageURL, &info.packager, &info.creationDate})
            MustConvert(*text);
        for (const TransferInfoFile& file : info.files)
            MustConvert(file.name);
    }
    for (const char* root : {"Shutdown", "UpgradeResp", "CancelStatus", "OpenStatus", "Update"}) {
        StatusResp status;
        if (pmbreply::ReadStatus(body, root, status) == Outcome::Ok)
            Check(status);
    }
    pmbreply::ReadInt64(body.c_str());
    return 0;
}

}  // namespace fuzztargets
