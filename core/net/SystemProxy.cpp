#include "core/net/SystemProxy.h"

#include <curl/curl.h>

#include <cstdlib>

#include "core/text/StringUtils.h"

namespace {

std::string Env(const char* lower, const char* upper) {
    if (const char* v = std::getenv(lower); v && *v)
        return v;
    if (const char* v = std::getenv(upper); v && *v)
        return v;
    return {};
}

// ASCII only: strncasecmp would follow the user's locale.
bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

}  // namespace

ProxySetting GetSystemProxy(const std::string& url) {
    ProxySetting setting;
    setting.proxy =
        StartsWithNoCase(url, "https:") ? Env("https_proxy", "HTTPS_PROXY") : Env("http_proxy", "HTTP_PROXY");
    if (setting.proxy.empty())
        setting.proxy = Env("all_proxy", "ALL_PROXY");

    std::string bypass;
    for (const std::string& raw : SplitString(Env("no_proxy", "NO_PROXY"), ',')) {
        std::string entry = Trim(raw, " \t\r\n");
        // An empty entry would occur in every address and so bypass them all.
        if (entry.empty())
            continue;
        // The one entry no_proxy gives a meaning of its own: no proxy for anything.
        if (entry == "*")
            setting.proxy.clear();
        bypass += entry + ";";
    }
    setting.bypass = bypass + "127.0.0.1;localhost";
    return setting;
}

bool SetCurlProxy(const std::string& url, void* curlHandle, const ProxySetting& setting) {
    if (setting.proxy.empty())
        return false;
    for (const std::string& entry : SplitString(setting.bypass, ';'))
        if (!entry.empty() && url.find(entry) != std::string::npos)
            return false;
    return curl_easy_setopt(static_cast<CURL*>(curlHandle), CURLOPT_PROXY, setting.proxy.c_str()) == CURLE_OK;
}
