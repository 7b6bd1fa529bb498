#pragma once
#include <string>

#include "booster/PmbRecords.h"

// Reads booster reply bodies into the records. Texts are strict UTF-8: a reply
// whose text cannot be converted is a bad reply, as is one that is not XML or
// lacks the expected root, and a token reply whose disk or net token holds a
// line end or a NUL. Numbers overflowing their field are clamped.
namespace pmbreply {

enum class Outcome { NoReply, BadReply, Ok };

// The roots: "VersionResp", "LoginStatus", "TokenResp", "KeyResp",
// "TransferStatus", "TransferFiles", "TransferInfo"; the status replies name
// theirs ("KeyResp", "Shutdown", "UpgradeResp", "CancelStatus", "OpenStatus", "Update").
Outcome Read(const std::string& body, VersionResp& record);
Outcome Read(const std::string& body, LoginStatusResp& record);
Outcome Read(const std::string& body, TokenResp& record);
Outcome Read(const std::string& body, KeyResp& record);
Outcome Read(const std::string& body, TransferStatus& record);
Outcome Read(const std::string& body, TransferFiles& record);
Outcome Read(const std::string& body, PD_Lib_TransferInfo& record);
Outcome ReadStatus(const std::string& body, const char* root, StatusResp& record);

// The most wide characters a TransferFiles list may hold (its paths together);
// a longer one is a bad reply.
inline constexpr size_t kMaxFileListCharacters = 16u << 20;

// Decimal as atoi reads it (leading blanks, a sign, digits up to the first
// other character, 0 without digits), clamped to the 64-bit range.
int64_t ReadInt64(const char* text);

}  // namespace pmbreply
