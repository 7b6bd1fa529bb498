#pragma once
#include <string>

// The parameters of one booster request; a call fills those its method uses.
struct PmbParams {
    std::wstring ClientID;
    std::wstring category;
    std::wstring key;
    std::wstring value;
    std::wstring netToken;
    std::wstring packageUrl;
    std::wstring destDir;
    std::wstring torrentId;
    bool setP2P = true;
    bool deleteFiles = false;  // the query key "delete"
    // "transfer.open": the current net token is sent, when there is one. It is
    // asked for while the address is built, after the values before it have
    // been converted, so a value that cannot be sends no token request either.
    bool withNetToken = false;
};
