#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The records the booster client hands to its caller, who owns and deletes them.
// Fresh records hold empty texts, zeros and false; a reply overwrites only the
// fields whose elements it holds.

// The result code the start, restart and transfer functions write.
enum PDLibCode {
    PD_LIB_OK = 0,
    PD_LIB_NO_REPLY = 2,
    PD_LIB_TOKEN_REJECTED = 3,
    PD_LIB_NOT_LOGGED_IN = 4,
    PD_LIB_VERSION_TOO_OLD = 5,
    PD_LIB_INSTALL_FAILED = 6,
    PD_LIB_START_FAILED = 7,
    PD_LIB_NOT_INSTALLED = 8,
    PD_LIB_TOKEN_NOT_VALIDATED = 9,
    PD_LIB_TOKEN_RENEWED = 10,
    PD_LIB_LOGGED_IN = 11,
    PD_LIB_LOGIN_TIMEOUT = 12,
    PD_LIB_BAD_REPLY = 13,
};

struct StatusResp {
    int32_t statusId = 0;
    std::wstring statusLink;
    std::wstring statusStr;
};

struct VersionResp {
    std::wstring buildId;
    std::wstring version;
    bool upgradeAvailable = false;
    std::wstring exclusivity;
};

struct TokenResp {
    std::wstring diskToken;
    std::wstring netToken;
    std::wstring filePath;
    bool validated = false;
};

struct LoginStatusResp {
    std::wstring loginStatus;
    int32_t subscriptionLevel = 0;
};

// Only inside the library: the reply of "getKeyValue".
struct KeyResp {
    StatusResp status;
    std::wstring value;
};

struct TransferStatus {
    StatusResp status;
    std::wstring torrentId;
    std::wstring type;
    int64_t bytesDownloaded = 0;
    int64_t torrentSize = 0;
    int32_t bitRate = 0;
    int64_t bytesFromCDN = 0;
    int64_t bytesFromSPs = 0;
    int64_t bytesFromPeers = 0;
};

struct TransferFiles {
    std::vector<std::wstring> files;  // full paths, in the reply's order
};

struct TransferInfoFile {
    std::wstring name;
    int64_t size = 0;
};

struct PD_Lib_TransferInfo {
    std::wstring packageId;
    std::wstring key;
    std::wstring description;
    std::wstring packageURL;
    std::wstring packager;
    std::wstring creationDate;
    std::vector<TransferInfoFile> files;
    int64_t packageSize = 0;
    bool Sequential = false;
    int32_t targetRate = 0;
    int32_t idleRate = 0;
    bool httpEncrypted = false;
    bool LeaveEncrypted = false;
    bool noP2PPermitted = false;
    int32_t DownloadToExpire = 0;
    int32_t PlayToExpire = 0;
};
