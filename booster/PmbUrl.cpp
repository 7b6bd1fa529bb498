#include "booster/PmbUrl.h"

#include "core/text/StringUtils.h"

namespace {

void Append(std::string& query, const char* key, const std::wstring& value) {
    query += "&";
    query += key;
    query += "=";
    query += UrlEncode(WStringToUtf8(value));
}

void AppendPlain(std::string& query, const char* key, const char* value) {
    query += "&";
    query += key;
    query += "=";
    query += value;
}

}  // namespace

std::string BuildPmbUrl(const std::string& method, const PmbParams& p, int port,
                        const std::function<std::wstring()>& currentNetToken) {
    // The fragments are built before the token is asked for where the order allows,
    // so that a value that cannot be converted sends no token requests either.
    std::string query;
    auto token = [&] { return currentNetToken ? currentNetToken() : std::wstring(); };
    if (method == "getKeyValue") {
        Append(query, "category", p.category);
        Append(query, "key", p.key);
        Append(query, "netToken", token());
    } else if (method == "getToken") {
        Append(query, "ClientID", p.ClientID);
    } else if (method == "setKeyValue") {
        Append(query, "category", p.category);
        Append(query, "key", p.key);
        Append(query, "value", p.value);
        Append(query, "netToken", token());
    } else if (method == "validateDiskToken") {
        Append(query, "netToken", p.netToken);
    } else if (method == "shutdown" || method == "upgrade") {
        Append(query, "netToken", token());
    } else if (method == "transfer.start") {
        Append(query, "packageUrl", p.packageUrl);
        if (!p.destDir.empty()) {
            Append(query, "destDir", p.destDir);
            Append(query, "netToken", token());
        }
        AppendPlain(query, "setP2P", p.setP2P ? "on" : "off");
    } else if (method == "transfer.status" || method == "transfer.files" || method == "transfer.info" ||
               method == "transfer.pause" || method == "transfer.resume") {
        Append(query, "torrentId", p.torrentId);
    } else if (method == "transfer.cancel") {
        Append(query, "torrentId", p.torrentId);
        if (p.deleteFiles) {
            AppendPlain(query, "delete", "1");
            Append(query, "netToken", token());
        }
    } else if (method == "transfer.open") {
        Append(query, "torrentId", p.torrentId);
        const std::wstring netToken = p.withNetToken ? token() : std::wstring();
        if (!netToken.empty())
            Append(query, "netToken", netToken);
    } else if (method == "transfer.update") {
        Append(query, "torrentId", p.torrentId);
        AppendPlain(query, "setP2P", p.setP2P ? "on" : "off");
    }
    return "http://127.0.0.1:" + std::to_string(port) + "/rest/" + method + "?format=xml" + query;
}
