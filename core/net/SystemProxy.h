#pragma once
#include <string>

// The proxy for the current user: host:port handed to libcurl unchanged and a
// ";"-separated bypass list. An empty proxy is a direct connection.
struct ProxySetting {
    std::string proxy;
    std::string bypass;
};

// From http_proxy / https_proxy / all_proxy and no_proxy; 127.0.0.1 and
// localhost are always in the bypass list.
ProxySetting GetSystemProxy(const std::string& url);

// Applies the proxy to a libcurl easy handle (passed as void* so this header
// needs no curl.h) unless an entry of the bypass list occurs in the address.
// True when the proxy was set.
bool SetCurlProxy(const std::string& url, void* curlHandle, const ProxySetting& setting);
