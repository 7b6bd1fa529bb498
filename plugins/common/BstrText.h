#pragma once
#include <cstddef>
#include <optional>
#include <string>

// A COM BSTR (UTF-16 units with their byte length in the 32 bits before them)
// from a page as UTF-8, through the strict converter. Null, an odd byte
// length, a length beyond maxUnits UTF-16 units, a zero unit within the length or
// malformed UTF-16 give no text, and nothing past the announced length is read.
std::optional<std::string> BstrToUtf8(const char16_t* bstr, size_t maxUnits);
