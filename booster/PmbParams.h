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
};
