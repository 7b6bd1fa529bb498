#pragma once
#include <optional>
#include <string>

namespace platform {

// The one join of a base folder and a relative path taken from data (patch
// entries, install manifests, download file names, registry values written on
// Windows). "\" and "/" both separate. One leading separator stands for the base
// itself ("\bin" is <base>/bin). Refused (nullopt): "..", drive prefixes ("C:"),
// NUL bytes, and anything that would leave the base. The result uses "/".
std::optional<std::string> SafeJoin(const std::string& base, const std::string& relative);

}  // namespace platform
