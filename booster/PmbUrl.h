#pragma once
#include <functional>
#include <string>

#include "booster/PmbParams.h"

// The request address of a booster method:
// "http://127.0.0.1:<port>/rest/<method>?format=xml" and the method's query
// fragments in their fixed order. Every value is percent-encoded (UTF-8, then
// UrlEncode), so no value can add a parameter. currentNetToken is asked only
// by the methods that send the current token. Throws ConversionError when a
// value is not valid text (nothing is sent then).
std::string BuildPmbUrl(const std::string& method, const PmbParams& params, int port,
                        const std::function<std::wstring()>& currentNetToken);
